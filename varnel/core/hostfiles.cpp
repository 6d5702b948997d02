#include "varnel/core/hostfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

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

bool ReplaceFile(const QString& fromWindowsPath, const QString& toWindowsPath) {
  QString from = HostPath(fromWindowsPath), to = HostPath(toWindowsPath);
  if (from.isEmpty() || to.isEmpty() || QFileInfo(to).isDir()) return false;
  std::error_code error;
  std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                          std::filesystem::path(to.toStdU16String()), error);
  return !error;
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
