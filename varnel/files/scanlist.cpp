#include "varnel/files/scanlist.h"

#include <QBuffer>
#include <QFile>
#include <QListWidget>
#include <filesystem>
#include <system_error>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/files/naming.h"
#include "varnel/files/schemes.h"
#include "varnel/files/texts.h"

namespace varnel {

ScanListText ParseScanList(QIODevice& in) {
  ScanListText list;
  QByteArray line;
  bool tooLong = false;
  int number = 0;
  // Takes the line read so far; false once the list is full and reading stops.
  auto take = [&]() {
    ++number;
    if (number == 1 && line.startsWith("\xEF\xBB\xBF")) line.remove(0, 3);
    if (tooLong) {
      if (list.longLines.size() < 10) list.longLines << number;
    } else {
      QString text = QString::fromUtf8(line);
      if (text.toUtf8() != line) text = QString::fromLatin1(line);
      if (!text.trimmed().isEmpty()) {
        if (list.entries.size() >= kMaxScanListEntries) {
          list.firstLeftOut = number;
          return false;
        }
        // Every later step takes the file name from before the first comma.
        list.entries << (text.contains(',') ? text.toUpper() : text.trimmed().toUpper() + ",");
      }
    }
    line.clear();
    tooLong = false;
    return true;
  };
  char buffer[16384];
  bool afterCr = false;  // CR LF is one line end, as is a CR or an LF alone
  for (qint64 n; (n = in.read(buffer, sizeof buffer)) > 0;) {
    for (qint64 i = 0; i < n; ++i) {
      const char c = buffer[i];
      if (c == '\n' || c == '\r') {
        const bool secondHalf = c == '\n' && afterCr;
        afterCr = c == '\r';
        if (!secondHalf && !take()) return list;
        continue;
      }
      afterCr = false;
      if (tooLong) continue;
      if (line.size() >= kMaxScanListLine) {
        tooLong = true;
        line.clear();
      } else {
        line += c;
      }
    }
  }
  if (!line.isEmpty() || tooLong) take();
  return list;
}

ScanListText ParseScanList(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return ParseScanList(buffer);
}

void LoadScanList(Station& st, const QString& commandLine) {
  // The command line may carry blanks around the name.
  st.ScanListMode = false;
  const QString fileName = commandLine.trimmed();
  if (fileName.isEmpty() || !FileExists(fileName)) return;
  auto tell = [&](const QString& text) {
    st.seams.prompts->MsgBox(text, Prompts::Buttons::Ok, Prompts::Icon::Exclamation,
                             LoadResString(resAppTitle));
  };
  // Only a plain file: a pipe or a device would hold the start-up for ever.
  const QString host = HostPath(fileName);
  std::error_code error;
  if (!std::filesystem::is_regular_file(host.toStdString(), error)) {
    tell(LoadResString(resScanListNotAFile).arg(fileName));
    return;
  }
  if (st.seams.windows) st.seams.windows->ShowSplashStatus(LoadResString(resLoadingScanList));
  // Entries 1 to the maximum; entry 0 stays unused.
  st.ScanFileList = QStringList(kMaxScanListEntries + 1);
  QFile file(host);
  if (!file.open(QIODevice::ReadOnly)) return;
  ScanListText list = ParseScanList(file);
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
    st.ScanListFile = fileName;
  }
  if (!list.longLines.isEmpty()) {
    QStringList numbers;
    for (int line : list.longLines) numbers << QString::number(line);
    tell(LoadResString(resScanListLongLines)
             .arg(fileName)
             .arg(kMaxScanListLine)
             .arg(numbers.join(", ")));
  }
  if (list.firstLeftOut > 0)
    tell(LoadResString(resScanListTooLong).arg(fileName).arg(list.firstLeftOut));
}

QString GetToken(TokenState& state, const QString& text, const std::optional<QString>& delimiter) {
  QString& remaining = state.remaining;
  // A call with a delimiter starts a new text; calls without one take its next token.
  if (delimiter) {
    remaining = text;
    state.delimiter = *delimiter;
  }
  const QString& storedDelimiter = state.delimiter;
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
  TokenState tokens;
  for (int field = 1; field <= 6; ++field) {
    QString token = field == 1 ? GetToken(tokens, entry, QStringLiteral(",")) : GetToken(tokens, QString());
    if (field == 6) field6 = token;
    if (f.lstDisplayScanInfo) f.lstDisplayScanInfo->addItem(token + "   ");
  }
  // Field 6 names the scheme to load for this entry.
  LoadEntryScheme(st, f, field6);
}

}  // namespace varnel
