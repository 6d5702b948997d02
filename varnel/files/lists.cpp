#include "varnel/files/lists.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStorageInfo>

#include "juxutil/hostpath.h"
#include "varnel/core/hostfiles.h"
#include "varnel/files/curdir.h"

namespace varnel {
namespace {

// "c:" and, where the volume has a name, " [name]".
QString DriveText(char letter, const std::string& folder) {
  QString text = QString(QChar(letter).toLower()) + ":";
  QStorageInfo volume(QString::fromStdString(folder));
  if (volume.isValid() && !volume.name().isEmpty()) text += " [" + volume.name() + "]";
  return text;
}

}  // namespace

// ---- DriveListBox ----

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent) {
  connect(this, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) emit Change();
  });
  Refresh();
  // The list opens on the current drive.
  QString current = CurDir();
  for (int i = 0; i < count(); ++i)
    if (itemText(i).left(1).compare(current.left(1), Qt::CaseInsensitive) == 0) {
      QSignalBlocker quiet(this);
      setCurrentIndex(i);
    }
}

void DriveListBox::Refresh() {
  QString selected = Drive().left(1);
  filling_ = true;
  clear();
  for (const auto& [letter, folder] : hostpath::CurrentDrives()) addItem(DriveText(letter, folder));
  int keep = 0;
  for (int i = 0; i < count(); ++i)
    if (!selected.isEmpty() && itemText(i).startsWith(selected, Qt::CaseInsensitive)) keep = i;
  setCurrentIndex(count() > 0 ? keep : -1);
  filling_ = false;
}

QString DriveListBox::Drive() const { return currentText(); }

bool DriveListBox::SetDrive(const QString& drive) {
  error_.clear();
  if (drive.isEmpty()) {
    error_ = DeviceUnavailableText();
    return false;
  }
  hostpath::DriveTable drives = hostpath::CurrentDrives();
  auto it = drives.find(static_cast<char>(drive[0].toUpper().toLatin1()));
  if (it == drives.end() || !QFileInfo(QString::fromStdString(it->second)).isDir()) {
    error_ = DeviceUnavailableText();
    return false;
  }
  // The table may have changed since the list was filled.
  QString letter = drive.left(1);
  int index = -1;
  for (int i = 0; i < count() && index < 0; ++i)
    if (itemText(i).startsWith(letter, Qt::CaseInsensitive)) index = i;
  if (index < 0) {
    Refresh();
    for (int i = 0; i < count() && index < 0; ++i)
      if (itemText(i).startsWith(letter, Qt::CaseInsensitive)) index = i;
  }
  if (index < 0) {
    error_ = DeviceUnavailableText();
    return false;
  }
  setCurrentIndex(index);
  return true;
}

QString DriveListBox::List(int index) const { return itemText(index); }
int DriveListBox::ListCount() const { return count(); }
QString DriveListBox::error() const { return error_; }

qint64 DriveListBox::FreeBytes(int index) const {
  QString text = itemText(index);
  if (text.isEmpty()) return 0;
  hostpath::DriveTable drives = hostpath::CurrentDrives();
  auto it = drives.find(static_cast<char>(text[0].toUpper().toLatin1()));
  if (it == drives.end()) return 0;
  QStorageInfo volume(QString::fromStdString(it->second));
  return volume.isValid() ? volume.bytesAvailable() : 0;
}

// ---- FileListBox ----

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {}

QString FileListBox::Path() const { return path_; }

bool FileListBox::SetPath(const QString& path) {
  QString host = HostPath(path);
  if (host.isEmpty() || !QFileInfo(host).isDir()) return false;
  path_ = path;
  Refresh();
  return true;
}

void FileListBox::Refresh() {
  clear();
  QString host = HostPath(path_);
  if (path_.isEmpty() || host.isEmpty()) return;
  QDir folder(host);
  const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System,
                                             QDir::Name | QDir::IgnoreCase);
  addItems(names);
}

int FileListBox::ListCount() const { return count(); }
QString FileListBox::List(int index) const {
  QListWidgetItem* entry = item(index);
  return entry ? entry->text() : QString();
}

}  // namespace varnel
