#include "varnel/core/hostfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "juxutil/hostpath.h"

namespace varnel {

QString HostPath(const QString& windowsPath) {
  return QString::fromStdString(hostpath::ToHost(windowsPath.toStdString()));
}

QString WindowsPath(const QString& hostPath) {
  return QString::fromStdString(hostpath::ToWindows(hostPath.toStdString()));
}

bool PathExists(const QString& windowsPath) {
  QString host = HostPath(windowsPath);
  return !windowsPath.isEmpty() && !host.isEmpty() && QFileInfo::exists(host);
}

bool FileExists(const QString& windowsPath) {
  QString host = HostPath(windowsPath);
  if (windowsPath.isEmpty() || host.isEmpty()) return false;
  QFileInfo info(host);
  return info.exists() && !info.isDir();
}

bool DeleteFile(const QString& windowsPath) {
  QString host = HostPath(windowsPath);
  if (host.isEmpty()) return true;
  QFileInfo info(host);
  if (!info.exists() && !info.isSymLink()) return true;
  if (info.isDir()) return false;
  return QFile::remove(host);
}

bool MakeDir(const QString& windowsPath) {
  QString host = HostPath(windowsPath);
  return !host.isEmpty() && QDir().mkdir(host);
}

QString DriveTableText() {
  QString text;
  for (const auto& [letter, folder] : hostpath::CurrentDrives()) {
    if (!text.isEmpty()) text += ';';
    text += QChar(letter) + QStringLiteral("=") + QString::fromStdString(folder);
  }
  return text;
}

}  // namespace varnel
