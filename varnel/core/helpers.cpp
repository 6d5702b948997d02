#include "varnel/core/helpers.h"

#include <QFile>
#include <QLocale>

#include "juxutil/hostpath.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/profile.h"
#include "varnel/core/strings.h"

namespace varnel {

QString GetIniString(const QString& section, const QString& key, const QString& defaultValue,
                     const QString& file) {
  // The platform read copies at most 254 characters into its 255-character buffer.
  std::optional<QString> value = profile::Read(HostPath(file), section, key);
  return value.value_or(defaultValue).left(254);
}

int16_t WriteIniString(const QString& section, const QString& key, const QString& value,
                       const QString& file) {
  QString host = HostPath(file);
  if (host.isEmpty()) return 0;
  bool ok;
  if (value.isEmpty())
    ok = profile::Write(host, section, key, std::nullopt);
  else if (!key.isEmpty())
    ok = profile::Write(host, section, key, value);
  else
    ok = profile::Write(host, section, std::nullopt, std::nullopt);
  return ok ? 1 : 0;
}

QString ReadIniValue(const Station& st, const QString& section, const QString& key,
                     const QString& defaultValue, const QString& file) {
  QString value = GetIniString(section, key, MissingValue, file);
  if (value != MissingValue) return value;
  WriteIniString(section, key, defaultValue, st.IniFile);  // a failed write is ignored
  return defaultValue;
}

QString GeneralDate(const QDateTime& when) {
  // The long time format without its time zone part.
  QLocale locale = QLocale::system();
  QString timeFormat = locale.timeFormat(QLocale::LongFormat);
  timeFormat.remove(QChar('t'));
  return locale.toString(when.date(), QLocale::ShortFormat) + " " +
         locale.toString(when.time(), timeFormat.trimmed());
}

QString LogLine(const QDateTime& when, const QString& message) {
  return GeneralDate(when) + " - " + message;
}

void WriteLog(const Station& st, int16_t level, const QString& message) {
  if (level > 0 && !st.DebugFlag) return;
  if (level > st.LogLevel) return;
  if (st.LogFile.isEmpty()) return;  // the configuration has not named the log yet
  QFile file(HostPath(st.LogFile));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
  file.write((LogLine(QDateTime::currentDateTime(), message) + "\r\n").toUtf8());
  file.close();
}

bool AskYesNo(const Station& st, const QString& message) {
  return st.seams.prompts->MsgBox(message, Prompts::Buttons::YesNo, Prompts::Icon::None,
                                  LoadResString(resAlertTitle)) == Prompts::Answer::Yes;
}

void ShowError(const Station& st, const QString& message) {
  WriteLog(st, 0, message);
  st.seams.prompts->MsgBox(message, Prompts::Buttons::Ok, Prompts::Icon::Critical,
                           LoadResString(resErrorTitle));
}

int FindListItem(const QString& text, const QStringList& entries) {
  QString wanted = text.toUpper();
  for (int i = 0; i < entries.size(); ++i)
    if (entries[i].left(wanted.size()).toUpper() == wanted) return i;
  return -1;
}

bool CheckDir(const QString& path) {
  QString dir = path;
  if (dir.endsWith('\\')) dir.chop(1);
  qsizetype first = dir.indexOf('\\');
  if (first >= 0) {
    for (qsizetype i = first + 1; i < dir.size() - 1; ++i) {
      if (dir[i] != '\\') continue;
      QString level = dir.left(i);
      if (!PathExists(level) && !MakeDir(level)) return false;
    }
  }
  if (dir.size() >= 4 && !PathExists(dir) && !MakeDir(dir)) return false;
  return true;
}

QString GetShortPath(const QString& path) {
  return QString::fromStdString(hostpath::ShortPath(path.toStdString()));
}

int16_t MaxInt(int16_t a, int16_t b) { return b > a ? b : a; }

}  // namespace varnel
