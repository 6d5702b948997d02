#include "varnel/pipeline/database.h"

#include <QFile>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/strings.h"

namespace varnel {
namespace {

QString LeftTrimmed(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  return text.mid(i);
}

bool AppendLine(const QString& path, const QString& line) {
  QFile file(HostPath(path));
  if (HostPath(path).isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
  // The system's single-byte code page, as the print records are written.
  QByteArray bytes = line.toLatin1() + "\r\n";
  bool ok = file.write(bytes) == bytes.size();
  file.close();
  return ok && file.error() == QFileDevice::NoError;
}

}  // namespace

bool AppendDatabaseLine(const QString& path, const QString& line) { return AppendLine(path, line); }

QString DatabaseLine(const QString& DataText, const QString& FileName) {
  return "\"" + LeftTrimmed(DataText) + "\", \"" + LeftTrimmed(FileName) + "\"";
}

void Add2Database(Station& st, const QString& DataText, const QString& FileName,
                  const QString& ScanFolderPath) {
  // A drawing without data text is not recorded.
  if (LeftTrimmed(DataText).isEmpty()) return;
  // The line goes to the folder's Database.Asc, the log and the station's Database.All.
  QString line = DatabaseLine(DataText, FileName);
  QString folder = ScanFolderPath.endsWith('\\') ? ScanFolderPath : ScanFolderPath + "\\";
  QString asc = folder + "Database.Asc";
  if (!AppendLine(asc, line)) ShowError(st, LoadResString(resDatabaseNotWritten).arg(asc));
  WriteLog(st, 1, line);
  QString all = st.AppDir + "Database.All";
  if (!AppendLine(all, line)) ShowError(st, LoadResString(resDatabaseNotWritten).arg(all));
}

}  // namespace varnel
