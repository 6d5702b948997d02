// The drive, folder and file lists of the main window. They behave like the
// station's list controls: a drive list shows one entry per drive of the
// station, a folder list shows the current folder, its parent chain and its
// subfolders, a file list every file of one folder. All names are
// Windows-style ("C:\SCANS"); the host folders behind them are found through
// the station's path mapping.
//
// Each list raises Change() when its drive or path changed, whether the
// operator or a procedure changed it. A drive or folder that cannot be read
// leaves the list as it was and makes the setter return false, with a
// description of the error for the Retry/Cancel boxes of the callers.
#pragma once

#include <QComboBox>
#include <QListWidget>
#include <QString>
#include <QStringList>

class QKeyEvent;
class QMouseEvent;

namespace varnel {

class DriveListBox : public QComboBox {
  Q_OBJECT
 public:
  explicit DriveListBox(QWidget* parent = nullptr);
  // Fills the list from the station's drive table; keeps the selected drive when it is still there.
  void Refresh();
  // The selected entry as the list shows it: lower-case drive letter, colon, and where
  // present a blank and the volume name in brackets ("c: [home]").
  QString Drive() const;
  // Selects the entry of the drive whose letter is the first character of drive
  // (any case). False (and error() tells why) when the station has no such drive
  // or its folder cannot be read.
  bool SetDrive(const QString& drive);
  // The text of entry index, as Drive() would show it.
  QString List(int index) const;
  int ListCount() const;
  QString error() const;
  // Bytes free for the station on the drive of entry index (0 when unknown).
  qint64 FreeBytes(int index) const;
 signals:
  void Change();

 private:
  bool filling_ = false;  // Refresh is refilling: no Change
  QString error_;
};

class DirListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit DirListBox(QWidget* parent = nullptr);
  // The current folder, "C:\" for a root, "C:\SCANS" below it (no trailing backslash).
  QString Path() const;
  // Lists path (any case; a trailing backslash is allowed). False when it does not exist or
  // cannot be read (error() tells why); the list then stays as it was.
  bool SetPath(const QString& path);
  // Lists the current folder again.
  void Refresh();
  // Entries: -1 the current folder itself, -2 its parent, ... up to the root;
  // 0 to ListCount()-1 its subfolders in name order. List(i) is the entry's full path.
  QString List(int index) const;
  int ListCount() const;
  // The highlighted entry (same numbering); SetListIndex only moves the highlight.
  int ListIndex() const;
  void SetListIndex(int index);
  QString error() const;
 signals:
  void Change();
  // The highlight moved (mouse or arrow keys); the list itself opens nothing.
  void Click();
  // Space (32) or Enter (13) pressed on the list.
  void KeyPress(int keyAscii);
  // A mouse button went down on the list / came up again.
  void MouseDown();
  void MouseUp();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Fill(const QString& path, const QString& host);
  QString path_;
  QStringList entries_;  // by row: the parent chain from the root, then the subfolders
  int depth_ = -1;       // folders below the root; row depth_ is entry -1
  bool filling_ = false;
  QString error_;
};

// Hidden: every file of one folder, in name order.
class FileListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit FileListBox(QWidget* parent = nullptr);
  QString Path() const;
  bool SetPath(const QString& path);
  void Refresh();
  int ListCount() const;
  QString List(int index) const;  // file name only

 private:
  QString path_;
};

}  // namespace varnel
