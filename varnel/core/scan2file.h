// Scanning one document into a file: the prompt, the juxscan command line,
// the strip of the configured leading and trailing lines, and the software
// reduction of a 400 dpi scan through the converters.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "varnel/core/station.h"

namespace varnel {

// The image-mode option buttons of the main window as the scan reads them.
struct ImageModeButtons {
  bool lineArt = false, photo1 = false, photo2 = false;
};

// "0" for Line Art, else "1" for Photo 1, else "2" for Photo 2, else empty.
QString ImageModeArg(const ImageModeButtons& buttons);

// Scale in thousandths sent to juxscan: type 1 scales to the resolution
// (Dpi / 400 × 1000, halves to even), every other type scans at 1000.
int32_t ScanScale(int16_t Dpi, int16_t ScanType);

// The juxscan arguments: threshold part, /L:, /S:, /P:, /O:.
QString ScanArgs(const QString& thresholdArg, int16_t ScanWidth, int32_t scale,
                 const QString& imageMode, const QString& scanFile);

// The configured strip amounts (leading, trailing) for a resolution; 0 and 0
// for any resolution but 100, 200, 300 and 400.
struct StripAmounts {
  int32_t leading = 0, trailing = 0;
};
StripAmounts StripAmountsFor(const Station& st, int16_t Dpi);

// Why juxscan did not finish a scan, by its exit code (the string table's
// text); empty for 0, the scan that was written completely.
QString ScanExitCause(int exitCode);

// Scans into FileName (a Windows-style path). True when juxscan ran to its
// end, finished the scan (exit code 0, where the host tells it) and the scan
// file exists; a scan cut short is never taken as a scan. Consumes
// PendingThresholdArg. On false, problem (when given) names why, for the
// operator; it stays empty after the operator's ESC and when an error box has
// already named the cause (a missing program).
bool Scan2File(Station& st, const QString& FileName, int16_t Dpi, int16_t ScanWidth,
               int16_t ScanType, const ImageModeButtons& buttons, QString* problem = nullptr);

// Result codes of StripTiff.
enum StripResult : int {
  kStripDone = 0,
  kStripNotLittleEndian = -1,
  kStripNoFile = -2,
  kStripNotPackBits = -3,
  kStripBadData = -4,
  kStripTooMany = -5,  // the amounts leave no line of the image: nothing is changed
};

// Edits the header of a juxscan TIFF in place so that it leaves out Leading
// lines at the top and Trailing lines at the end; no image data moves.
// Nothing (empty) when both are 0, else one of the StripResult codes.
std::optional<int> StripTiff(const QString& FileName, int32_t Leading, int32_t Trailing);

// Width and lines as the header of a little-endian TIFF states them (tags 256
// and 257 of its first directory; a missing tag counts as 0). Nothing when the
// file cannot be read as such a TIFF.
struct ScanSize {
  uint32_t width = 0, lines = 0;
};
std::optional<ScanSize> ReadScanSize(const QString& FileName);

}  // namespace varnel
