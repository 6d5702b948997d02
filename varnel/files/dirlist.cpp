// The folder list: the current folder's parent chain from the root down to the
// folder itself, then its subfolders. Row r of the widget is entry
// r - (depth + 1), where depth is the number of folders below the root, so the
// root is entry -(depth + 1), the folder itself -1 and the first subfolder 0.
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>

#include "varnel/core/hostfiles.h"
#include "varnel/files/curdir.h"
#include "varnel/files/lists.h"

namespace varnel {
namespace {

// "C:\A\B" -> {"C:\", "C:\A", "C:\A\B"}.
QStringList ParentChain(const QString& path) {
  QStringList chain{path.left(3)};
  const QStringList parts = path.mid(3).split('\\', Qt::SkipEmptyParts);
  QString built = path.left(2);
  for (const QString& part : parts) {
    built += '\\' + part;
    chain << built;
  }
  return chain;
}

}  // namespace

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!filling_ && row >= 0) emit Click();
  });
}

QString DirListBox::Path() const { return path_; }

bool DirListBox::SetPath(const QString& path) {
  QString wanted = QDir::fromNativeSeparators(path).replace('/', '\\');
  if (wanted.size() < 2 || wanted[1] != ':') {
    error_ = PathNotFoundText();
    return false;
  }
  QString host = HostPath(wanted.left(2) + '\\');
  if (host.isEmpty() || !QFileInfo(host).isDir()) {
    error_ = DeviceUnavailableText();
    return false;
  }
  host = HostPath(wanted);
  QFileInfo info(host);
  if (!info.isDir() || !info.isReadable()) {
    error_ = PathNotFoundText();
    return false;
  }
  // The name as the station spells it: the folders' own letter case, no trailing backslash.
  QString name = WindowsPath(info.absoluteFilePath());
  if (name.size() < 2 || name[1] != ':') {
    error_ = PathNotFoundText();
    return false;
  }
  name[0] = name[0].toUpper();
  while (name.size() > 3 && name.endsWith('\\')) name.chop(1);
  if (name.size() == 2) name += '\\';
  bool changed = name.compare(path_, Qt::CaseSensitive) != 0;
  Fill(name, host);
  if (changed) emit Change();
  return true;
}

void DirListBox::Refresh() {
  if (path_.isEmpty()) return;
  QString host = HostPath(path_);
  if (!host.isEmpty() && QFileInfo(host).isDir()) Fill(path_, host);
}

void DirListBox::Fill(const QString& path, const QString& host) {
  filling_ = true;
  path_ = path;
  entries_ = ParentChain(path);
  depth_ = static_cast<int>(entries_.size()) - 1;
  const QFileInfoList subfolders =
      QDir(host).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                               QDir::Name | QDir::IgnoreCase);
  QString prefix = path.endsWith('\\') ? path : path + '\\';
  for (const QFileInfo& sub : subfolders) entries_ << prefix + sub.fileName();

  clear();
  for (int row = 0; row < entries_.size(); ++row) {
    // The chain is indented by level; subfolders one level below the folder.
    int level = row <= depth_ ? row : depth_ + 1;
    QString text = row == 0 ? entries_[row].left(2).toLower() + '\\'
                            : entries_[row].mid(entries_[row].lastIndexOf('\\') + 1);
    addItem(QString(level * 2, ' ') + text);
  }
  setCurrentRow(depth_);
  filling_ = false;
}

QString DirListBox::List(int index) const {
  int row = index + depth_ + 1;
  return row >= 0 && row < entries_.size() ? entries_[row] : QString();
}

int DirListBox::ListCount() const { return static_cast<int>(entries_.size()) - depth_ - 1; }

int DirListBox::ListIndex() const { return currentRow() < 0 ? -1 : currentRow() - depth_ - 1; }

void DirListBox::SetListIndex(int index) {
  int row = index + depth_ + 1;
  if (row >= 0 && row < count()) setCurrentRow(row);
}

QString DirListBox::error() const { return error_; }

void DirListBox::keyPressEvent(QKeyEvent* event) {
  int key = event->key();
  if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
    emit KeyPress(key == Qt::Key_Space ? 32 : 13);
    event->accept();
    return;
  }
  QListWidget::keyPressEvent(event);
}

void DirListBox::mousePressEvent(QMouseEvent* event) {
  emit MouseDown();
  QListWidget::mousePressEvent(event);
}

void DirListBox::mouseReleaseEvent(QMouseEvent* event) {
  QListWidget::mouseReleaseEvent(event);
  emit MouseUp();
}

}  // namespace varnel
