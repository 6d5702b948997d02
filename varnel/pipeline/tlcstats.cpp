#include "varnel/pipeline/tlcstats.h"

#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <climits>
#include <cmath>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/numbers.h"
#include "varnel/core/runner.h"
#include "varnel/core/strings.h"

namespace varnel {
namespace {

const QByteArray kSignature = "Virozoro Size";
constexpr double kBlankCheckBelow = 0.1;

// The text from `from` (0-based) up to the next blank.
QString Field(const QString& text, qsizetype from) {
  if (from < 0 || from >= text.size()) return {};
  qsizetype end = text.indexOf(' ', from);
  return text.mid(from, end < 0 ? -1 : end - from);
}

template <typename T>
T RoundTo(double value) {
  std::optional<int32_t> r = RoundToLong(value);
  if (!r) return 0;
  if constexpr (sizeof(T) == 2) return static_cast<T>(std::clamp<int32_t>(*r, INT16_MIN, INT16_MAX));
  return static_cast<T>(*r);
}

QByteArray First128(const QString& FileName, qint64* length) {
  QFile file(HostPath(FileName));
  if (!file.open(QIODevice::ReadOnly)) return {};
  if (length) *length = file.size();
  return file.read(128);
}

}  // namespace

std::optional<TlcHeader> ParseTlcHeader(const QByteArray& first128) {
  if (!first128.startsWith(kSignature)) return std::nullopt;
  QString text = QString::fromLatin1(first128);
  TlcHeader h;
  // The size follows the signature's "Size" after one separator.
  QString size = Field(text, text.indexOf("Size") + 5);
  qsizetype comma = size.indexOf(',');
  h.SizeX = RoundTo<int32_t>(Val(comma < 0 ? size : size.left(comma)));
  h.SizeY = comma < 0 ? 0 : RoundTo<int32_t>(Val(size.mid(comma + 1)));
  qsizetype density = text.indexOf("Density");
  if (density >= 0) h.Dpi = RoundTo<int16_t>(Val(Field(text, density + 8)));
  return h;
}

std::optional<float> ParseStatReport(const QStringList& lines) {
  std::optional<float> share;
  for (const QString& line : lines) {
    if (!line.contains("black dots")) continue;
    QString value = line.mid(48);
    while (value.startsWith(' ')) value.remove(0, 1);
    value.chop(1);
    share = static_cast<float>(Val(value));
  }
  return share;
}

std::optional<float> ReadStatReport(const QString& reportFile) {
  QFile file(HostPath(reportFile));
  QStringList lines;
  if (file.open(QIODevice::ReadOnly)) {
    QTextStream in(&file);
    while (!in.atEnd()) lines << in.readLine();
  }
  return ParseStatReport(lines);
}

QString StatsArgs(const Station& st, const QString& FileName) {
  const QString& t = st.TempDir;
  return "-E " + t + "TlcPr.Err -Q " + t + "FileStat.Dat -# -T -o " + t + "FileStat.Tif " + FileName;
}

void GetTlcStats(Station& st, const QString& FileName, int32_t& SizeX, int32_t& SizeY,
                 int16_t& Dpi, int32_t& FileSize, float& PercCoverage, float& PercFileSize) {
  if (!FileExists(FileName)) {
    // No file: size -1.
    FileSize = -1;
  } else {
    // The header, and the length of the whole file.
    qint64 length = 0;
    std::optional<TlcHeader> header = ParseTlcHeader(First128(FileName, &length));
    FileSize = static_cast<int32_t>(std::min<qint64>(length, INT32_MAX));
    if (!header) {
      FileSize = -2;
      return;
    }
    // Size and resolution from the header.
    SizeX = header->SizeX;
    SizeY = header->SizeY;
    Dpi = header->Dpi;
    // A header without a usable size says nothing about the image: it is
    // taken as drawn, never as blank, so that the workflow goes on.
    double perc = SizeX > 0 && SizeY > 0 ? double(FileSize) / SizeX / SizeY * 100.0 : 100.0;
    PercFileSize = static_cast<float>(perc);
    // Only a suspiciously small file is counted.
    if (PercFileSize < kBlankCheckBelow) {
      st.seams.status->ShowStatusBox(LoadResString(resCheckingBlank), LoadResString(resPleaseWait));
      bool result = false;
      Execute(st, StatsArgs(st, FileName), st.ExportExe, result);
      st.LastResult = result;
      QString report = st.TempDir + "FileStat.Dat";
      if (FileExists(report)) {
        if (std::optional<float> share = ReadStatReport(report)) PercCoverage = *share;
        DeleteFile(report);
      }
      st.seams.status->ShowStatusBox();
    } else {
      PercCoverage = 1.0f;
    }
  }
  if (st.DebugFlag) {
    WriteLog(st, 1, "ReadTlcHeader:");
    WriteLog(st, 1, "FileName: " + FileName);
    WriteLog(st, 1, "SizeX&:  " + QString::number(SizeX));
    WriteLog(st, 1, "SizeY&:  " + QString::number(SizeY));
    WriteLog(st, 1, "DPI:     " + QString::number(Dpi));
    WriteLog(st, 1, "FileSize:" + QString::number(FileSize));
    WriteLog(st, 1, "PercFileSize:" + QString::number(PercFileSize));
    WriteLog(st, 1, "PercCoverage:" + QString::number(PercCoverage));
  }
}

}  // namespace varnel
