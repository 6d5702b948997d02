#include "varnel/files/curdir.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include "juxutil/hostpath.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/strings.h"

namespace varnel {
namespace {

// Folder last made current on each drive that is not the current one ("\SCANS").
QHash<QChar, QString>& DriveFolders() {
  static QHash<QChar, QString> folders;
  return folders;
}

bool DriveExists(QChar letter) {
  hostpath::DriveTable drives = hostpath::CurrentDrives();
  auto it = drives.find(static_cast<char>(letter.toUpper().toLatin1()));
  return it != drives.end() && QFileInfo(QString::fromStdString(it->second)).isDir();
}

// "C:\SCANS" of a drive letter and a folder from the root ("\SCANS", "SCANS\" or empty).
QString Join(QChar letter, QString folder) {
  while (folder.startsWith('\\')) folder.remove(0, 1);
  while (folder.endsWith('\\')) folder.chop(1);
  return QString(letter.toUpper()) + ":\\" + folder;
}

// The folder last entered: what the current folder was, once it has been
// removed under the process and the host no longer tells it.
QString& LastEntered() {
  static QString folder;
  return folder;
}

bool Enter(const QString& windowsFolder) {
  QString host = HostPath(windowsFolder);
  if (host.isEmpty() || !QFileInfo(host).isDir() || !QDir::setCurrent(host)) return false;
  LastEntered() = windowsFolder;
  return true;
}

}  // namespace

QString FolderFromRoot(const QString& drive, const QString& folder) {
  const bool fromRoot = folder.startsWith('\\') || folder.startsWith('/');
  QString path = (fromRoot ? QString() : CurDir(drive).mid(2)) + '\\' + folder;
  path.replace('/', '\\');
  QStringList names;
  for (const QString& part : path.split('\\', Qt::SkipEmptyParts)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!names.isEmpty()) names.removeLast();
      continue;
    }
    names << part;
  }
  return names.isEmpty() ? QStringLiteral("\\") : '\\' + names.join('\\') + '\\';
}

QString DeviceUnavailableText() { return LoadResString(resDeviceUnavailable); }
QString PathNotFoundText() { return LoadResString(resPathNotFound); }

QString CurDir() {
  const QString host = QDir::currentPath();
  // A current folder removed from under the process is still the current one
  // (every step into it then fails with "Path not found"), not the root of C:.
  if ((host.isEmpty() || !QFileInfo(host).isDir()) && !LastEntered().isEmpty())
    return LastEntered();
  QString current = WindowsPath(host);
  if (current.size() < 2 || current[1] != ':') return "C:\\";
  if (current.size() == 2) current += '\\';
  return current[0].toUpper() + current.mid(1);
}

QString CurDir(const QString& drive) {
  if (drive.isEmpty()) return CurDir();
  QChar letter = drive[0].toUpper();
  QString current = CurDir();
  if (current[0] == letter) return current;
  QString folder = Join(letter, DriveFolders().value(letter));
  // A remembered folder that has gone since counts as the root.
  return PathExists(folder) ? folder : Join(letter, QString());
}

bool ChDrive(const QString& drive, QString& error) {
  if (drive.isEmpty() || !drive[0].isLetter() || !DriveExists(drive[0])) {
    error = DeviceUnavailableText();
    return false;
  }
  QChar letter = drive[0].toUpper();
  QString current = CurDir();
  if (current[0] == letter) return true;
  QString target = CurDir(QString(letter));
  if (!Enter(target) && !Enter(Join(letter, QString()))) {
    error = DeviceUnavailableText();
    return false;
  }
  DriveFolders()[current[0]] = current.mid(2);
  DriveFolders().remove(letter);
  return true;
}

bool ChDir(const QString& path, QString& error) {
  QString current = CurDir();
  QChar letter = current[0];
  QString folder = path;
  if (path.size() >= 2 && path[1] == ':') {
    letter = path[0].toUpper();
    folder = path.mid(2);
  }
  if (!DriveExists(letter)) {
    error = DeviceUnavailableText();
    return false;
  }
  QString target = Join(letter, folder);
  QString host = HostPath(target);
  if (host.isEmpty() || !QFileInfo(host).isDir()) {
    error = PathNotFoundText();
    return false;
  }
  if (letter == current[0]) {
    if (!Enter(target)) {
      error = PathNotFoundText();
      return false;
    }
  } else {
    DriveFolders()[letter] = target.mid(2);
  }
  return true;
}

}  // namespace varnel
