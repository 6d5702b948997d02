// The scan-list report: per entry of the list what is on the disk and in the
// database (scanned, missing, rescanned, blank or bad image; size,
// resolution, black share, time), then the files of the list's target
// folders that the list does not name. Everything is read from the disk and
// the database files, so the report is as right after a crash and a resume as
// after an undisturbed run. Written beside the list as NAME.rpt (plain text)
// and NAME.csv (the same rows).
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include "varnel/core/station.h"

namespace varnel {

struct ReportRow {
  int entry = 0;  // 0: a file the list does not name
  QString file;
  bool exists = false;
  int databaseLines = 0;  // lines naming the file in its folder's Database.Asc
  bool blank = false, bad = false;
  qint64 size = 0;
  int dpi = 0;          // 0: unknown (not a TLC file)
  double blackShare = -1;  // percent; below 0: not counted
  QDateTime time;       // the file's time stamp
};

struct ListReport {
  QString listFile;
  QList<ReportRow> rows;  // the entries in list order, then the files not named
  int scanned = 0, rescanned = 0, missing = 0, blank = 0, bad = 0, notInList = 0;
};

// The status text of a row: "scanned", "missing", "rescanned N times",
// "not in the list", with "; blank image" or "; bad image" after it.
QString RowStatus(const ReportRow& row);
// The file names of the report beside the list: NAME.rpt and NAME.csv.
QString ReportFile(const QString& listFile, const QString& extension);

// Reads the list's state from the disk: the station's loaded list, its target
// files, their folders' Database.Asc, and the export converter's statistics
// of every TLC file (run through the runner).
ListReport BuildListReport(Station& st);

QByteArray FormatReportText(const ListReport& report, const QDateTime& written);
QByteArray FormatReportCsv(const ListReport& report);
// The summary shown to the operator.
QString ReportSummary(const ListReport& report, const QString& rptFile);

// Builds and writes the report of the loaded list and shows its summary
// through the prompt seam (with show). Nothing without a scan list; with
// show, the operator is told so.
void WriteListReport(Station& st, bool show);

// A list run ended (auto mode stopped, or the end of the list was reached):
// at the end of the list the job's journal goes; the report is written and
// its summary shown (unless the window has been closed, which showed it).
// Nothing outside scan-list mode.
void ListRunEnded(Station& st);

}  // namespace varnel
