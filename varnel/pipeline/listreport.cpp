#include "varnel/pipeline/listreport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/runner.h"
#include "varnel/core/strings.h"
#include "varnel/pipeline/database.h"
#include "varnel/pipeline/journal.h"
#include "varnel/pipeline/tlcstats.h"

namespace varnel {
namespace {

QString FolderOf(const QString& path) { return path.section('\\', 0, -2); }

// Field 1 of an entry: its target file.
QString EntryFile(const QString& entry) { return entry.section(',', 0, 0).trimmed(); }

// How many lines of a Database.Asc name the file (any data text).
QMap<QString, int> DatabaseCounts(const QString& folder) {
  QMap<QString, int> counts;
  QFile file(HostPath(folder + "\\Database.Asc"));
  if (!file.open(QIODevice::ReadOnly)) return counts;
  for (QByteArray line : file.readAll().split('\n')) {
    if (line.endsWith('\r')) line.chop(1);
    // "data", "file": the file is the last quoted text.
    QString text = QString::fromLatin1(line);
    if (!text.endsWith('"')) continue;
    qsizetype open = text.lastIndexOf('"', text.size() - 2);
    if (open < 0) continue;
    ++counts[text.mid(open + 1, text.size() - open - 2).toUpper()];
  }
  return counts;
}

// The export converter's statistics of a TLC file: its black share in
// percent, below 0 when the converter gives none.
double BlackShare(Station& st, const QString& file) {
  const QString report = st.TempDir + "ListStat.Dat";
  DeleteFile(report);
  bool ran = false;
  Execute(st, "-E " + st.TempDir + "ListStat.Err -Q " + report + " -# " + file, st.ExportExe,
          ran);
  std::optional<float> share = ReadStatReport(report);
  DeleteFile(report);
  DeleteFile(st.TempDir + "ListStat.Err");
  return share ? *share : -1.0;
}

// What an earlier report of the list says of a file, by name: its statistics
// stand as long as the file keeps its size and time stamp.
using KnownRows = QMap<QString, ReportRow>;
KnownRows ReadKnownRows(const QString& csvFile) {
  KnownRows known;
  QFile file(HostPath(csvFile));
  if (HostPath(csvFile).isEmpty() || !file.open(QIODevice::ReadOnly)) return known;
  QList<QByteArray> lines = file.readAll().split('\n');
  for (qsizetype i = 1; i < lines.size(); ++i) {
    QStringList f = QString::fromLatin1(lines[i].trimmed()).split(',');
    if (f.size() != 7 || f[2].contains('"')) continue;  // a quoted name is read afresh
    ReportRow row;
    row.file = f[2];
    row.size = f[3].toLongLong();
    row.dpi = f[4].toInt();
    row.blackShare = f[5].isEmpty() ? -1 : f[5].chopped(1).toDouble();
    row.time = QDateTime::fromString(f[6], "yyyy-MM-dd hh:mm:ss");
    row.bad = f[1].contains(LoadResString(resReportBad));
    row.blank = f[1].contains(LoadResString(resReportBlank));
    known[row.file.toUpper()] = row;
  }
  return known;
}

void ReadFileState(Station& st, ReportRow& row, const KnownRows& known) {
  QFileInfo info(HostPath(row.file));
  row.exists = !HostPath(row.file).isEmpty() && info.exists() && info.isFile();
  if (!row.exists) return;
  row.size = info.size();
  row.time = info.lastModified();
  if (!row.file.toUpper().endsWith(".TLC")) return;
  auto before = known.find(row.file.toUpper());
  if (before != known.end() && before->size == row.size && before->time.isValid() &&
      before->time.toString("yyyy-MM-dd hh:mm:ss") == row.time.toString("yyyy-MM-dd hh:mm:ss")) {
    row.dpi = before->dpi;
    row.blackShare = before->blackShare;
    row.bad = before->bad;
    row.blank = before->blank;
    return;
  }
  QFile file(info.filePath());
  std::optional<TlcHeader> header =
      file.open(QIODevice::ReadOnly) ? ParseTlcHeader(file.read(128)) : std::nullopt;
  if (!header) {
    row.bad = true;
    return;
  }
  row.dpi = header->Dpi;
  if (!FileExists(st.ExportExe)) return;  // not counted
  row.blackShare = BlackShare(st, row.file);
  row.bad = row.blackShare < 0;  // the converter could not decode it
  row.blank = row.blackShare == 0;
}

// Files the report never lists: the database, the station's work files.
bool StationFile(const QString& name) {
  QString upper = name.toUpper();
  return upper == "DATABASE.ASC" || upper.startsWith("$$SCAN.") || upper.startsWith('~');
}

QString CsvField(const QString& text) {
  if (!text.contains(',') && !text.contains('"')) return text;
  return '"' + QString(text).replace("\"", "\"\"") + '"';
}

QStringList RowFields(const ReportRow& row) {
  return {row.entry > 0 ? QString::number(row.entry) : QString(),
          RowStatus(row),
          row.file,
          row.exists ? QString::number(row.size) : QString(),
          row.dpi > 0 ? QString::number(row.dpi) : QString(),
          row.blackShare >= 0 ? QString::number(row.blackShare, 'f', 2) + "%" : QString(),
          row.exists ? row.time.toString("yyyy-MM-dd hh:mm:ss") : QString()};
}

bool WriteWhole(const QString& windowsPath, const QByteArray& bytes) {
  QFile file(HostPath(windowsPath));
  return !HostPath(windowsPath).isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         file.write(bytes) == bytes.size() && file.flush();
}

}  // namespace

QString RowStatus(const ReportRow& row) {
  QString status;
  if (row.entry == 0)
    status = LoadResString(resReportNotInList);
  else if (!row.exists)
    return LoadResString(resReportMissing);
  else if (row.databaseLines > 1)
    status = LoadResString(resReportRescanned).arg(row.databaseLines - 1);
  else
    status = LoadResString(resReportScanned);
  if (row.bad) status += "; " + LoadResString(resReportBad);
  if (row.blank) status += "; " + LoadResString(resReportBlank);
  return status;
}

QString ReportFile(const QString& listFile, const QString& extension) {
  QString name = listFile.trimmed();
  qsizetype slash = name.lastIndexOf('\\'), dot = name.lastIndexOf('.');
  if (dot > slash) name.truncate(dot);
  return name + "." + extension;
}

ListReport BuildListReport(Station& st) {
  ListReport report;
  report.listFile = st.ScanListFile;
  QMap<QString, QMap<QString, int>> counts;  // folder -> file -> lines
  QStringList folders;
  const KnownRows known = ReadKnownRows(ReportFile(st.ScanListFile, "csv"));
  // The list and its report are no drawings of the folder.
  QSet<QString> named{st.ScanListFile.trimmed().toUpper(),
                      ReportFile(st.ScanListFile, "rpt").toUpper(),
                      ReportFile(st.ScanListFile, "csv").toUpper()};
  for (int i = 1; i <= st.ScanCnt && i < st.ScanFileList.size(); ++i) {
    ReportRow row;
    row.entry = i;
    row.file = EntryFile(st.ScanFileList[i]);
    QString folder = FolderOf(row.file).toUpper();
    if (!counts.contains(folder)) {
      counts[folder] = DatabaseCounts(folder);
      folders << folder;
    }
    named.insert(row.file.toUpper());
    ReadFileState(st, row, known);
    row.databaseLines = counts[folder].value(row.file.toUpper());
    report.rows << row;
  }
  // The target folders' other files, in name order.
  for (const QString& folder : folders) {
    QDir dir(HostPath(folder));
    if (HostPath(folder).isEmpty() || !dir.exists()) continue;
    QStringList names = dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
      QString file = folder + "\\" + name;
      if (StationFile(name) || named.contains(file.toUpper())) continue;
      ReportRow row;
      row.file = file;
      ReadFileState(st, row, known);
      report.rows << row;
    }
  }
  for (const ReportRow& row : report.rows) {
    if (row.entry == 0) {
      ++report.notInList;
      continue;
    }
    report.scanned += row.exists;
    report.missing += !row.exists;
    report.rescanned += row.exists && row.databaseLines > 1;
    report.blank += row.blank;
    report.bad += row.bad;
  }
  return report;
}

QByteArray FormatReportText(const ListReport& report, const QDateTime& written) {
  QStringList columns = LoadResString(resReportColumns).split(',');
  const int widths[] = {5, 24, 36, 10, 10, 11, 19};
  auto line = [&](const QStringList& fields) {
    QString text;
    for (int i = 0; i < fields.size(); ++i) {
      bool number = i == 0 || i == 3 || i == 4 || i == 5;
      QString field = number ? fields[i].rightJustified(widths[i]) : fields[i].leftJustified(widths[i]);
      text += (i ? "  " : "") + field;
    }
    while (text.endsWith(' ')) text.chop(1);
    return text;
  };
  QStringList lines{LoadResString(resReportTitle).arg(report.listFile),
                    written.toString("yyyy-MM-dd hh:mm:ss"), QString(), line(columns)};
  for (const ReportRow& row : report.rows) lines << line(RowFields(row));
  lines << QString() << ReportSummary(report, QString()).section('\n', 0, 0);
  return (lines.join("\r\n") + "\r\n").toLatin1();
}

QByteArray FormatReportCsv(const ListReport& report) {
  QStringList lines{LoadResString(resReportColumns)};
  for (const ReportRow& row : report.rows) {
    QStringList fields = RowFields(row);
    std::transform(fields.begin(), fields.end(), fields.begin(), CsvField);
    lines << fields.join(',');
  }
  return (lines.join("\r\n") + "\r\n").toLatin1();
}

QString ReportSummary(const ListReport& report, const QString& rptFile) {
  return LoadResString(resReportSummary)
      .arg(report.scanned + report.missing)
      .arg(report.scanned)
      .arg(report.rescanned)
      .arg(report.missing)
      .arg(report.blank)
      .arg(report.bad)
      .arg(report.notInList)
      .arg(rptFile);
}

void WriteListReport(Station& st, bool show) {
  Prompts& prompts = *st.seams.prompts;
  if (!st.ScanListMode || st.ScanListFile.isEmpty()) {
    if (show)
      prompts.MsgBox(LoadResString(resReportNoList), Prompts::Buttons::Ok,
                     Prompts::Icon::Information, LoadResString(resAppTitle));
    return;
  }
  ListReport report = BuildListReport(st);
  const QString rpt = ReportFile(st.ScanListFile, "rpt"), csv = ReportFile(st.ScanListFile, "csv");
  for (const auto& [file, bytes] :
       {std::pair{rpt, FormatReportText(report, QDateTime::currentDateTime())},
        std::pair{csv, FormatReportCsv(report)}}) {
    if (!WriteWhole(file, bytes)) {
      ShowError(st, LoadResString(resReportNotWritten).arg(file));
      return;
    }
  }
  WriteLog(st, 0, "Scan list report written: " + rpt);
  if (show)
    prompts.MsgBox(ReportSummary(report, rpt), Prompts::Buttons::Ok, Prompts::Icon::Information,
                   LoadResString(resReportTitle).arg(st.ScanListFile));
}

}  // namespace varnel

namespace varnel {

void ListRunEnded(Station& st) {
  if (!st.ScanListMode || st.ScanListFile.isEmpty()) return;
  if (ListEndReached(st)) JournalListComplete(st);
  WriteListReport(st, !st.WindowClosed);
}

}  // namespace varnel
