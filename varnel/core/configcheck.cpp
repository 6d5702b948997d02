#include "varnel/core/configcheck.h"

#include <QRegularExpression>
#include <cmath>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/numbers.h"
#include "varnel/core/strings.h"

namespace varnel {
namespace {

constexpr int32_t kMostStripLines = 65535;
constexpr float kLongestViewDelay = 3600;
constexpr int kLowestDpi = 100, kHighestDpi = 400;
const QString kPrograms = QStringLiteral("PROGRAMS");

// A value as the box shows it: short, and without control characters.
QString Shown(const QString& value) {
  constexpr qsizetype kLongest = 80;
  QString shown = value.left(kLongest);
  for (QChar& c : shown)
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = '?';
  return value.size() > kLongest ? shown + "..." : shown;
}

QString ProblemLine(const QString& section, const QString& key, const QString& value,
                    const QString& problem) {
  return LoadResString(resIniProblemLine).arg(section, key, Shown(value), problem);
}

}  // namespace

bool IsSizePair(const QString& text) {
  static const QRegularExpression kPair(QStringLiteral("^\\d{1,5},\\d{1,5}$"));
  return kPair.match(text).hasMatch();
}

bool IsOnePath(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar c : text)
    if (c.isSpace() || c == '"' || c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
  return true;
}

bool IsOutputTypeCode(const QString& code) {
  if (code.size() != 2) return false;
  for (QChar c : code)
    if (c.unicode() <= 0x20 || c.unicode() >= 0x7f || c == '"') return false;
  // Not one of the options the export line already carries.
  for (const char* taken : {"-E", "-Q", "-o", "-@"})
    if (code == QLatin1String(taken)) return false;
  return true;
}

QStringList CheckConfiguration(Station& st, IniLists& lists) {
  QStringList problems;
  const QString& ini = st.IniFile;

  // The programs the road runs: a configured one must be there.
  const struct {
    const char* key;
    const QString& value;
  } kProgramKeys[] = {{"ScanExe", st.ScanExe},     {"File2TlcExe", st.File2TlcExe},
                      {"ExportExe", st.ExportExe}, {"ViewExe", st.ViewExe},
                      {"EditExe", st.EditExe},     {"StatusExe", st.StatusExe}};
  for (const auto& program : kProgramKeys)
    if (!program.value.isEmpty() && !FileExists(program.value))
      problems << ProblemLine(kPrograms, program.key, program.value, LoadResString(resIniNoProgram));

  // Values that go into the option lines.
  if (!IsSizePair(st.MiniViewSize)) {
    problems << ProblemLine(kPrograms, "MiniViewSize", st.MiniViewSize,
                            LoadResString(resIniNotPair).arg("1000,700"));
    st.MiniViewSize = "1000,700";
  }
  if (!IsOnePath(st.TempDir))
    problems << ProblemLine(kPrograms, "TempDir", st.TempDir, LoadResString(resIniNotOnePath));

  // The view delay and the strip amounts, as the file holds them.
  QString delay = GetIniString(kPrograms, "AutoModeViewDelayTime", "2", ini);
  std::optional<float> seconds = ToSingle(delay);
  if (!seconds || !std::isfinite(*seconds) || *seconds < 0 || *seconds > kLongestViewDelay) {
    problems << ProblemLine(kPrograms, "AutoModeViewDelayTime", delay,
                            LoadResString(resIniNotSeconds).arg("2"));
    st.AutoModeViewDelayTime = 2;
  }
  for (const StripKey& strip : kStripKeys) {
    QString text = GetIniString(kPrograms, strip.key, "0", ini);
    // The leading number counts ("12.5 lines" is 12), but there must be one.
    static const QRegularExpression kNumber(QStringLiteral("^\\s*[-+]?(\\d|\\.\\d)"));
    std::optional<int32_t> lines = RoundToLong(Val(text));
    if (!kNumber.match(text).hasMatch() || !lines || *lines < 0 || *lines > kMostStripLines) {
      problems << ProblemLine(kPrograms, strip.key, text,
                              LoadResString(resIniNotWhole).arg(0).arg(kMostStripLines).arg(0));
      st.*strip.value = 0;
    }
  }

  // Output formats: a display text and a code the export converter takes.
  QList<IniLists::Format> formats;
  for (const IniLists::Format& format : lists.formats) {
    QString code = st.OutputTypeCodes.value(format.itemData);
    if (!format.text.isEmpty() && IsOutputTypeCode(code)) {
      formats << format;
      continue;
    }
    QString key = "Type" + QString::number(format.itemData);
    problems << ProblemLine("OutputTypes", key, GetIniString("OutputTypes", key, {}, ini),
                            LoadResString(resIniNoTypeCode));
  }
  lists.formats = formats;

  // Resolutions the scanner can scale to; below the machine's floor they are
  // left out without a word, as always.
  QStringList resolutions;
  bool badResolution = false;
  for (int n = 1;; ++n) {
    QString key = "DPI" + QString::number(n);
    QString value = GetIniString("ScanDPI", key, MissingValue, ini);
    if (value == MissingValue) break;
    double dpi = Val(value);
    bool usable = dpi >= kLowestDpi && dpi <= kHighestDpi && std::floor(dpi) == dpi;
    if (usable && dpi >= st.MinScanDpi) resolutions << value;
    if (!usable) {
      badResolution = true;
      problems << ProblemLine("ScanDPI", key, value, LoadResString(resIniBadResolution).arg(kLowestDpi));
    }
  }
  lists.resolutions = resolutions;
  if (badResolution && resolutions.isEmpty())
    problems << ProblemLine("ScanDPI", "DPI1", QString(), LoadResString(resIniNoResolution).arg(st.MinScanDpi));
  return problems;
}

}  // namespace varnel
