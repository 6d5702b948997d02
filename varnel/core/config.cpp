#include "varnel/core/config.h"

#include <QDateTime>
#include <cmath>

#include "varnel/core/configcheck.h"
#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/numbers.h"
#include "varnel/core/strings.h"

namespace varnel {
namespace {

const QString kPrograms = QStringLiteral("PROGRAMS");

// The [PROGRAMS] texts read first, in file order, with their defaults.
struct TextKey {
  const char* key;
  QString Station::*value;
  QString defaultValue;
};

// Reads "<prefix>1", "<prefix>2", ... until the first missing number.
template <typename Add>
void ReadList(const Station& st, const QString& section, const QString& prefix, Add add) {
  for (int n = 1;; ++n) {
    QString value = GetIniString(section, prefix + QString::number(n), MissingValue, st.IniFile);
    if (value == MissingValue) return;
    add(n, value);
  }
}

}  // namespace

QString NormaliseMachineType(const QString& configured) {
  static const struct {
    const char* from;
    const char* to;
  } kTypes[] = {{"6713", "6741"}, {"6729", "6741"}, {"6753", "6747"},
                {"6765", "6769"}, {"6791", "6769"}};
  for (const auto& t : kTypes)
    if (configured == QLatin1String(t.from)) return QString::fromLatin1(t.to);
  return configured;
}

QStringList BuildLeadingEdgeList(const TextWidth& measure) {
  QStringList pairs[4];
  double widest = 0;
  for (int i = 0; i < 4; ++i) {
    pairs[i] = {LoadResString(resEdgeTop + i), LoadResString(resAngle0 + i)};
    widest = std::max(widest, measure(pairs[i][0] + pairs[i][1]));
  }
  double blank = measure(QStringLiteral(" "));
  QStringList entries;
  for (const QStringList& pair : pairs) {
    double gap = blank > 0 ? (widest - measure(pair[0] + pair[1])) / blank : 0;
    int k = static_cast<int>(std::nearbyint(gap)) + 3;  // halves to even
    entries << pair[0] + QString(k, ' ') + pair[1];
  }
  return entries;
}

bool LoadIniFile(Station& st, const QString& programFolder, const TextWidth& measure,
                 IniLists& lists) {
  // The file next to the program.
  st.AppDir = programFolder.endsWith('\\') ? programFolder : programFolder + "\\";
  st.IniFile = st.AppDir + "Varnel.Ini";
  if (!FileExists(st.IniFile)) {
    st.seams.prompts->MsgBox(st.IniFile + " - " + LoadResString(resFileNotFound),
                             Prompts::Buttons::Ok, Prompts::Icon::None,
                             LoadResString(resAppTitle));
    return false;
  }
  const QString& ini = st.IniFile;

  // Program paths, view delay and strip amounts. Texts that are no usable
  // number are named by the check at the end.
  const TextKey kTexts[] = {
      {"ScanExe", &Station::ScanExe, {}},
      {"File2TlcExe", &Station::File2TlcExe, {}},
      {"ExportExe", &Station::ExportExe, {}},
      {"ViewExe", &Station::ViewExe, {}},
      {"EditExe", &Station::EditExe, {}},
      {"StatusExe", &Station::StatusExe, {}},
      {"RequestExe", &Station::RequestExe, DefaultRequestExe},
      {"UnattendExe", &Station::UnattendExe, DefaultUnattendExe},
      {"MiniViewSize", &Station::MiniViewSize, QStringLiteral("1000,700")},
  };
  for (const TextKey& k : kTexts) st.*k.value = ReadIniValue(st, kPrograms, k.key, k.defaultValue, ini);

  QString delay = ReadIniValue(st, kPrograms, "AutoModeViewDelayTime", "2", ini);
  st.AutoModeViewDelayTime = ToSingle(delay).value_or(2);
  for (const StripKey& k : kStripKeys) {
    QString text = ReadIniValue(st, kPrograms, k.key, "0", ini);
    st.*k.value = RoundToLong(Val(text)).value_or(0);
  }

  // Debug switch.
  QString debug = ReadIniValue(st, kPrograms, "Debug", "1", ini).trimmed().toUpper().left(1);
  st.DebugFlag = !(debug == "N" || debug == "0");
  st.LogLevel = 1;

  // A fresh log for this run.
  st.LogFile = st.AppDir + "Varnel.Log";
  DeleteFile(st.LogFile);
  WriteLog(st, 0, "Program Started: " + GeneralDate(QDateTime::currentDateTime()));

  // Scanner, units, working folder, conversion variant.
  st.MachineType = ReadIniValue(st, kPrograms, "MachineType", {}, ini);
  st.ConfiguredMachineType = st.MachineType;
  st.HardwareConnect = ReadIniValue(st, kPrograms, "HardwareConnect", {}, ini);
  st.Units = ReadIniValue(st, kPrograms, "Units", "ENGLISH", ini).toUpper();
  st.TempDir = ReadIniValue(st, kPrograms, "TempDir", {}, ini);
  st.ToyotaFlag = ReadIniValue(st, kPrograms, "Toyota", "NO", ini).left(1).toUpper() == "Y";

  // Print request folders (creation failures leave the folder as configured).
  st.RequestDir = ReadIniValue(st, "PRINTERS", "RequestDir", "C:\\Dudozev1\\Request", ini);
  CheckDir(st.RequestDir);
  st.PriorityDir = ReadIniValue(st, "PRINTERS", "PriorityDir", "C:\\Dudozev1\\PRequest", ini);
  CheckDir(st.PriorityDir);

  // The print step's marker next to the priority folder starts absent.
  if (FileExists(st.PriorityDir + ".JUX")) DeleteFile(st.PriorityDir + ".JUX");

  // Widths of the configured units.
  lists = IniLists{};
  ReadList(st, st.Units + "ScanWidths", "Width",
           [&](int, const QString& value) { lists.widths << value; });

  // Leading edges.
  lists.leadingEdges = BuildLeadingEdgeList(measure);

  // Output formats: display text and two-character code.
  st.OutputTypeCodes = QStringList{QString()};
  ReadList(st, "OutputTypes", "Type", [&](int n, const QString& value) {
    QString entry = value.trimmed();  // an entry without a code is named by the check
    while (st.OutputTypeCodes.size() <= n) st.OutputTypeCodes << QString();
    st.OutputTypeCodes[n] = entry.right(2);
    lists.formats << IniLists::Format{entry.left(std::max<qsizetype>(0, entry.size() - 2)).trimmed(), n};
  });

  // Scanner model.
  st.MachineType = NormaliseMachineType(st.MachineType);
  st.MinScanDpi = (st.MachineType == "6741" || st.MachineType == "6747") ? 100 : 200;

  // Resolutions the scanner can do.
  ReadList(st, "ScanDPI", "DPI", [&](int, const QString& value) {
    if (Val(value) >= st.MinScanDpi) lists.resolutions << value;
  });

  // Data field.
  QString dataField = GetIniString("GENERAL", "DataField", MissingValue, ini);
  lists.dataFieldVisible = dataField.trimmed().toUpper().startsWith('T');

  // Working folder.
  if (!st.TempDir.endsWith('\\')) st.TempDir += '\\';
  CheckDir(st.TempDir);

  // What the scan road cannot use is named now, in one box.
  QStringList problems = CheckConfiguration(st, lists);
  if (!problems.isEmpty()) ShowError(st, LoadResString(resIniProblems) + "\n" + problems.join('\n'));
  return true;
}

}  // namespace varnel
