// Image statistics of a TLC file: its header (size, resolution) and, for a
// suspiciously small file, the export converter's black-pixel count.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "varnel/core/station.h"

namespace varnel {

// What the first 128 bytes of a TLC file say. Nothing when they do not begin
// with "Virozoro Size".
struct TlcHeader {
  int32_t SizeX = 0, SizeY = 0;
  int16_t Dpi = 0;
};
std::optional<TlcHeader> ParseTlcHeader(const QByteArray& first128);

// The black share of a statistics report: the value from character 49 of the
// last line that contains "black dots", its unit character dropped. Nothing
// when no line has one.
std::optional<float> ParseStatReport(const QStringList& lines);

// ParseStatReport of a report file's lines; nothing for a file that cannot be read.
std::optional<float> ReadStatReport(const QString& reportFile);

// The statistics run's argument line.
QString StatsArgs(const Station& st, const QString& FileName);

// FileSize: the file's length, -1 when it is missing, -2 when it is not a TLC
// file (nothing else is set then). PercCoverage is set only by a statistics
// run that answers, or to 1.0 when the file is large enough to need none.
void GetTlcStats(Station& st, const QString& FileName, int32_t& SizeX, int32_t& SizeY,
                 int16_t& Dpi, int32_t& FileSize, float& PercCoverage, float& PercFileSize);

}  // namespace varnel
