#include "varnel/files/scanlist.h"

#include <QFile>
#include <QListWidget>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/files/naming.h"
#include "varnel/files/schemes.h"
#include "varnel/files/texts.h"

namespace varnel {

ScanListText ParseScanList(const QByteArray& bytes) {
  QString text = QString::fromUtf8(bytes);
  if (text.toUtf8() != bytes) text = QString::fromLatin1(bytes);
  text.replace("\r\n", "\n").replace('\r', '\n');
  ScanListText list;
  for (const QString& line : text.split('\n')) {
    if (line.trimmed().isEmpty()) continue;
    if (list.entries.size() >= kMaxScanListEntries) {
      ++list.leftOut;
      continue;
    }
    // Every later step takes the file name from before the first comma.
    list.entries << (line.contains(',') ? line.toUpper() : line.trimmed().toUpper() + ",");
  }
  return list;
}

void LoadScanList(Station& st, const QString& commandLine) {
  // The command line may carry blanks around the name.
  st.ScanListMode = false;
  const QString fileName = commandLine.trimmed();
  if (fileName.isEmpty() || !FileExists(fileName)) return;
  if (st.seams.windows) st.seams.windows->ShowSplashStatus(LoadResString(resLoadingScanList));
  // Entries 1 to the maximum; entry 0 stays unused.
  st.ScanFileList = QStringList(kMaxScanListEntries + 1);
  QFile file(HostPath(fileName));
  if (!file.open(QIODevice::ReadOnly)) return;
  ScanListText list = ParseScanList(file.readAll());
  file.close();
  int count = 0;
  for (const QString& entry : list.entries) {
    st.ScanFileList[++count] = entry;
    WriteLog(st, 1, SignedText(count) + ": " + entry);
  }
  // A list with entries switches the station to scan-list mode at its first entry.
  if (count > 0) {
    st.ScanCnt = count;
    st.ScanListMode = true;
    st.CurScanCnt = 1;
  }
  if (list.leftOut > 0)
    st.seams.prompts->MsgBox(
        LoadResString(resScanListTooLong).arg(fileName).arg(list.leftOut), Prompts::Buttons::Ok,
        Prompts::Icon::Exclamation, LoadResString(resAppTitle));
}

QString GetToken(const QString& text, const std::optional<QString>& delimiter) {
  static QString remaining;
  static QString storedDelimiter;
  // A call with a delimiter starts a new text; calls without one take its next token.
  if (delimiter) {
    remaining = text;
    storedDelimiter = *delimiter;
  }
  if (storedDelimiter.isEmpty()) return QString();
  qsizetype at = remaining.indexOf(storedDelimiter);
  if (at < 0) {
    QString token = remaining;
    remaining.clear();
    return token;
  }
  // The text goes on after the delimiter's first character.
  QString token = remaining.left(at);
  remaining = remaining.mid(at + 1);
  return token;
}

QString EntrySchemeName(const QString& field6) {
  QString name = field6;
  while (name.endsWith(' ')) name.chop(1);
  return name.right(2).trimmed();
}

void DisplayScanInfo(Station& st, Form& f) {
  if (st.CurScanCnt < 1 || st.CurScanCnt >= st.ScanFileList.size()) return;
  const QString entry = st.ScanFileList[st.CurScanCnt];
  // The entry's number and its fields, one a line.
  if (f.lstDisplayScanInfo) {
    f.lstDisplayScanInfo->setVisible(true);
    f.lstDisplayScanInfo->clear();
    f.lstDisplayScanInfo->addItem(LoadResString(resScaningImage) + SignedText(st.CurScanCnt) +
                                  " " + LoadResString(resOf) + SignedText(st.ScanCnt) + ", " +
                                  st.FreeSpaceText);
  }
  // Fields 1 to 6.
  QString field6;
  for (int field = 1; field <= 6; ++field) {
    QString token = field == 1 ? GetToken(entry, QStringLiteral(",")) : GetToken(QString());
    if (field == 6) field6 = token;
    if (f.lstDisplayScanInfo) f.lstDisplayScanInfo->addItem(token + "   ");
  }
  // Field 6 names the scheme to load for this entry.
  LoadEntryScheme(st, f, field6);
}

}  // namespace varnel
