#include "varnel/files/naming.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <functional>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/strings.h"
#include "varnel/files/curdir.h"
#include "varnel/files/lists.h"
#include "varnel/files/texts.h"

namespace varnel {

// ---- Plain text work ----

void ParseFileName(const QString& fullName, QString& drive, QString& folder, QString& name,
                   QString& ext) {
  // Drive.
  QString rest = fullName;
  drive.clear();
  if (fullName.size() >= 2 && fullName[1] == ':') {
    drive = fullName.left(2).toUpper();
    rest = fullName.mid(2);
  }
  // Extension: the text after the last dot, unless a blank or a backslash comes first.
  ext.clear();
  for (qsizetype i = rest.size() - 1; i >= 0; --i) {
    if (rest[i] == '.') {
      ext = rest.mid(i + 1);
      rest.truncate(i);
      break;
    }
    if (rest[i] == ' ' || rest[i] == '\\') break;
  }
  // Folder and name.
  qsizetype slash = rest.lastIndexOf('\\');
  if (slash >= 0) {
    name = rest.mid(slash + 1);
    folder = rest.left(slash) + '\\';
  } else {
    name = rest;
    folder.clear();
  }
}

QString ParsePath(const QString& path) {
  qsizetype slash = path.lastIndexOf('\\');
  return slash >= 0 ? path.left(slash) : QString();
}

QString NextCounterName(const QString& name) {
  if (name.isEmpty()) return QStringLiteral("TEMP001");
  // The run of digits at the end, at most its last 9.
  qsizetype start = name.size();
  while (start > 0 && name[start - 1].isDigit() && name[start - 1].unicode() < 128) --start;
  if (name.size() - start > 9) start = name.size() - 9;
  QString run = name.mid(start);
  QString next = QString::number(run.toLongLong() + 1);
  qsizetype width = std::max(run.size(), next.size());
  return name.left(start) + next.rightJustified(width, '0');
}

QString SignedText(qint64 value) {
  return value < 0 ? QString::number(value) : " " + QString::number(value);
}

QString SizeText(qint64 bytes) {
  return SignedText((bytes + 1023) / 1024) + LoadResString(resKB);
}

QString DriveFreeText(const QString& entry, qint64 freeBytes) {
  return " " + entry + " " + QString::number(freeBytes / (1024 * 1024)) + " " +
         LoadResString(resMegFree);
}

QString FreeSpaceFromDriveText(const QString& driveText) {
  // From the fifth character on, less the trailing " Free".
  QString figure = driveText.mid(4);
  figure.chop(5);
  return LoadResString(resFreeSpaceOnScanDrive) + figure;
}

void BaseNameSelection(const QString& text, int& start, int& length) {
  qsizetype end = text.lastIndexOf('.');
  if (end < 0) end = text.size();
  qsizetype slash = end > 0 ? text.lastIndexOf('\\', end - 1) : -1;
  start = static_cast<int>(slash + 1);
  length = static_cast<int>(end - start);
}

bool IsDiscardedFileNameKey(int keyAscii) {
  return QStringLiteral("\"*/<>?|").contains(QChar(keyAscii)) && keyAscii != 0;
}

QStringList ComboItems(const QComboBox* list) {
  QStringList entries;
  for (int i = 0; list && i < list->count(); ++i) entries << list->itemText(i);
  return entries;
}

void SelectComboItem(const QString& text, QComboBox* list) {
  if (!list) return;
  int index = FindListItem(text, ComboItems(list));
  if (index >= 0) list->setCurrentIndex(index);
}

// ---- Procedures ----

namespace {

QString FormatText(const Form& f) { return f.cboFormat ? f.cboFormat->currentText() : QString(); }

void ShowOk(Station& st, const QString& text) {
  st.seams.prompts->MsgBox(text, Prompts::Buttons::Ok, Prompts::Icon::None,
                           LoadResString(resAppTitle));
}

}  // namespace

bool SetNewName(Station& st, Form& f, const ShowScanEntry& showEntry) {
  bool advanced = true;
  if (st.ScanListMode) {
    // The next entry of the list.
    if (st.CurScanCnt < st.ScanCnt) {
      ++st.CurScanCnt;
    } else {
      ShowOk(st, LoadResString(resScanListComplete));
      advanced = false;
    }
  } else {
    // The counter at the end of the name.
    st.ScanName = NextCounterName(st.ScanName);
  }
  // The name now current, on the window.
  DisplayFileName(st, f, showEntry);
  return advanced;
}

QString FormatDrive(const Form& f, int index) {
  if (!f.dlbDrive) return QString();
  return DriveFreeText(f.dlbDrive->List(index), f.dlbDrive->FreeBytes(index));
}

void DisplayFileName(Station& st, Form& f, const ShowScanEntry& showEntry) {
  if (!st.ScanListMode) {
    st.ScanExt = FormatText(f).left(3);
    QString drive = f.dlbDrive ? f.dlbDrive->Drive().left(2).toUpper() : QString();
    st.ScanFileName = drive + "\\" + st.ScanFolder + st.ScanName + "." + st.ScanExt;
    if (f.txtFileName) f.txtFileName->setText(st.ScanFileName);
    return;
  }

  // The current entry; its file part is the text before its first comma.
  QString& entry = st.ScanFileList[st.CurScanCnt];
  qsizetype comma = entry.indexOf(',');
  // The file part of the entry is the scan file.
  st.ScanFileName = comma >= 0 ? entry.left(comma) : entry;
  QString drive, folder, name, ext;
  ParseFileName(QString(st.ScanFileName).replace('/', '\\'), drive, folder, name, ext);
  // A name without a drive is on the current drive; one without a folder from
  // the root is in (or below) its drive's current folder; ".." never climbs
  // above the root.
  if (drive.isEmpty()) drive = CurDir().left(2).toUpper();
  folder = FolderFromRoot(drive, folder);
  st.FreeSpaceText.clear();

  // The entry's drive in the drive list, remembering drive C: on the way.
  int cIndex = -1;
  QString cFreeSpace;
  bool driveFound = false;
  if (f.dlbDrive) {
    QChar wanted = drive.isEmpty() ? QChar() : drive[0].toUpper();
    for (int i = 0; i < f.dlbDrive->ListCount(); ++i) {
      QString entryText = f.dlbDrive->List(i);
      QChar letter = entryText.isEmpty() ? QChar() : entryText[0].toUpper();
      if (letter == 'C' && cIndex < 0) {
        cIndex = i;
        cFreeSpace = FreeSpaceFromDriveText(FormatDrive(f, i));
      }
      if (!wanted.isNull() && letter == wanted) {
        st.FreeSpaceText = FreeSpaceFromDriveText(FormatDrive(f, i));
        f.dlbDrive->setCurrentIndex(i);
        driveFound = true;
        break;
      }
    }
  }
  // An unknown drive: drive C: instead.
  if (!driveFound) {
    ShowOk(st, LoadResString(resInvalidDrive) + st.ScanFileName.left(1) +
                   LoadResString(resUsingCDrive));
    st.FreeSpaceText = cFreeSpace;
    if (f.dlbDrive && cIndex >= 0) f.dlbDrive->setCurrentIndex(cIndex);
    drive = QStringLiteral("C:");
  }

  // The entry's format in the format list, TLC when there is none.
  int tlcIndex = -1;
  bool formatFound = false;
  if (f.cboFormat) {
    for (int i = 0; i < f.cboFormat->count(); ++i) {
      QString code = f.cboFormat->itemText(i).left(3).toUpper();
      if (code == "TLC" && tlcIndex < 0) tlcIndex = i;
      if (code == ext) {
        f.cboFormat->setCurrentIndex(i);
        formatFound = true;
        break;
      }
    }
  }
  if (!formatFound) {
    ShowOk(st, LoadResString(resInvalidFormat) + ext + LoadResString(resUsingTlcFormat));
    ext = QStringLiteral("TLC");
    if (f.cboFormat && tlcIndex >= 0) f.cboFormat->setCurrentIndex(tlcIndex);
  }

  // The file named with the drive and format actually used.
  st.ScanExt = ext;
  st.ScanFileName = drive + folder + name + "." + st.ScanExt;
  // The entry names the corrected file from now on.
  WriteLog(st, 1, "Old ScanFileList$(CurScanCnt)" + entry);
  entry = st.ScanFileName + (comma >= 0 ? entry.mid(comma) : QStringLiteral(","));
  WriteLog(st, 1, "Rem New ScanFileList$(CurScanCnt)" + entry);
  // The entry's other fields, then its file name, on the window.
  if (showEntry) showEntry(st, f);
  if (f.txtFileName) f.txtFileName->setText(st.ScanFileName);
}

void LoadList(Station& st, Form& f, QString& path) {
  f.LastListedFolder = path.toUpper();
  if (!path.endsWith('\\')) path += '\\';
  if (st.seams.windows) st.seams.windows->SetMousePointer(kHourglass);
  // A folder that cannot be read leaves the file list empty.
  if (f.FileMasterList && !f.FileMasterList->SetPath(path)) f.FileMasterList->clear();
  // The title names the listed folder.
  if (f.lblTitle[1]) {
    f.lblTitle[1]->setText(LoadResString(2206) + " '" + path + "'");
    f.lblTitle[1]->repaint();
  }
  // The contents list shows every file of the folder.
  if (f.lvContentsOf) {
    f.lvContentsOf->clear();
    const QIcon doc = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    for (int i = 0; f.FileMasterList && i < f.FileMasterList->ListCount(); ++i) {
      QString file = f.FileMasterList->List(i);
      QString full = path + file;
      QFileInfo info(HostPath(full));
      auto* item = new QTreeWidgetItem(f.lvContentsOf);
      item->setData(0, Qt::UserRole, full);  // the item's key
      item->setText(0, file);
      item->setIcon(0, doc);
      item->setText(1, SizeText(info.size()));
      item->setText(2, GeneralDate(info.lastModified()));
    }
  }
  if (st.seams.windows) st.seams.windows->SetMousePointer(kDefaultPointer);
}

void UpdateFileFields(Station& st, Form& f, int source, QString drive, QString folder,
                      QString ext, QString fileName) {
  // One update at a time: the controls' own events call back in here.
  if (st.FieldsUpdating) return;
  st.FieldsUpdating = true;

  // Runs one step that can fail. A typed name (source 4) leaves a failing step
  // undone; any other source asks Retry or Cancel. False after Cancel.
  auto step = [&](const std::function<bool(QString&)>& action) {
    for (;;) {
      QString error;
      if (action(error) || source == kFieldsFileName) return true;
      Prompts::Answer answer = st.seams.prompts->MsgBox(
          error, Prompts::Buttons::RetryCancel, Prompts::Icon::Critical, LoadResString(resAppTitle));
      if (answer != Prompts::Answer::Retry) return false;
    }
  };
  // Cancel: the fields last accepted come back. When they are what failed,
  // there is nothing better to restore, and the fields stay as they are.
  auto recover = [&] {
    st.FieldsUpdating = false;
    if (source == kFieldsRecovery) return;
    // The last good folder, or the nearest one above it that is still there.
    QString folder = f.SavedFolder;
    while (folder.size() > 1 && !PathExists(f.SavedDrive + folder))
      folder = folder.left(folder.lastIndexOf('\\', -2) + 1);
    const QString file = folder == f.SavedFolder
                             ? f.SavedFileName
                             : f.SavedDrive + folder + f.SavedName + "." + f.SavedExt;
    UpdateFileFields(st, f, kFieldsRecovery, f.SavedDrive, folder, f.SavedExt, file);
  };

  // A whole file name gives the drive, folder, name and extension.
  QString name;
  if (!fileName.isEmpty())
    ParseFileName(QString(fileName).replace('/', '\\'), drive, folder, name, ext);
  const QString givenDrive = drive, givenFolder = folder, givenExt = ext;
  // The drive: the current one when none is given.
  if (drive.isEmpty()) drive = CurDir().left(2).toUpper();
  if (!step([&](QString& error) { return ChDrive(drive, error); })) return recover();
  // The folder: the drive's current one when none is given; one given below
  // the current folder or with dots is read from the root as Windows reads it.
  if (folder.isEmpty()) folder = CurDir(drive).mid(2);
  if (!folder.endsWith('\\')) folder += '\\';
  if (!fileName.isEmpty()) {
    folder = FolderFromRoot(drive, folder);
    // A whole name that said less (no drive, a folder not from the root) is
    // written out in full, so it names the same file wherever the road takes it.
    if (givenDrive.isEmpty() || givenFolder.compare(folder, Qt::CaseInsensitive) != 0)
      fileName = drive + folder + name + (givenExt.isEmpty() ? QString() : "." + givenExt);
  }
  if (!step([&](QString& error) { return ChDir(drive + folder, error); })) return recover();
  QString listed = drive + folder;
  LoadList(st, f, listed);
  // The name and extension default to TEMP001 and the chosen format.
  if (name.isEmpty()) name = QStringLiteral("TEMP001");
  if (ext.isEmpty()) ext = FormatText(f).left(3);
  if (fileName.isEmpty()) fileName = drive + folder + name + "." + ext;
  // Every control but the one that caused the update shows the new place.
  if (source != kFieldsDrive && f.dlbDrive &&
      !step([&](QString& error) {
        bool ok = f.dlbDrive->SetDrive(drive);
        error = f.dlbDrive->error();
        return ok;
      }))
    return recover();
  if (source != kFieldsFolder && f.DirMasterList &&
      !step([&](QString& error) {
        bool ok = f.DirMasterList->SetPath(drive + folder);
        error = f.DirMasterList->error();
        return ok;
      }))
    return recover();
  if (source != kFieldsFormat && !ext.isEmpty()) SelectComboItem(ext, f.cboFormat);
  if (source != kFieldsFileName && f.txtFileName) f.txtFileName->setText(fileName);
  // What the scan road takes the next file name from.
  st.ScanName = name;
  st.ScanFileName = fileName;
  st.ScanFolder = folder.mid(1);
  st.FieldsUpdating = false;
  f.SavedDrive = drive;
  f.SavedFolder = folder;
  f.SavedName = name;
  f.SavedExt = ext;
  f.SavedFileName = fileName;
}

void txtFileName_KeyPress(int& keyAscii) {
  if (IsDiscardedFileNameKey(keyAscii)) keyAscii = 0;
}

void txtFileName_Change(Station& st, Form& f) {
  if (!st.NewScanMode && !st.AutoModeOn) {
    st.NewScanMode = true;
    if (f.cmdScan) f.cmdScan->setText(LoadResString(2229));
  }
}

void txtFileName_GotFocus(Form& f) {
  if (!f.txtFileName) return;
  int start = 0, length = 0;
  BaseNameSelection(f.txtFileName->text(), start, length);
  f.txtFileName->setSelection(start, length);
}

void txtFileName_LostFocus(Station& st, Form& f) {
  if (!f.txtFileName) return;
  QString text = f.txtFileName->text();
  if (!text.isEmpty()) UpdateFileFields(st, f, kFieldsFileName, {}, {}, {}, text);
  // The box is rebuilt from the folder the name is now filed under. When the
  // folder list could not follow a typed folder (it does not exist yet: the
  // scan creates it), that is the typed folder, not the list's; the scan goes
  // to what the box shows.
  st.ScanExt = FormatText(f).left(3);
  QString folder;
  QString typed = f.SavedDrive + f.SavedFolder;
  if (f.DirMasterList) {
    folder = f.DirMasterList->Path();
    if (!folder.endsWith('\\')) folder += '\\';
  }
  if (!text.isEmpty() && !typed.isEmpty() && folder.compare(typed, Qt::CaseInsensitive) != 0)
    folder = typed;
  if (folder.isEmpty()) return;
  QString rebuilt = folder + st.ScanName + "." + st.ScanExt;
  f.txtFileName->setText(rebuilt);
  st.ScanFileName = rebuilt;
}

void txtDataField_GotFocus(Form& f) {
  if (f.txtDataField) f.txtDataField->selectAll();
}

}  // namespace varnel
