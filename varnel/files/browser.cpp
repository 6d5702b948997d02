#include "varnel/files/browser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QPushButton>
#include <QSize>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <utility>

#include "juxutil/hostpath.h"
#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/strings.h"
#include "varnel/files/curdir.h"
#include "varnel/files/inputbox.h"
#include "varnel/files/lists.h"
#include "varnel/files/naming.h"
#include "varnel/files/schemes.h"
#include "varnel/files/texts.h"

namespace varnel {
namespace {

constexpr int kDeviceUnavailable = 68;
constexpr int kPathNotFound = 76;

Prompts::Answer Ask(Station& st, const QString& text, Prompts::Buttons buttons, Prompts::Icon icon,
                    int title, std::optional<Prompts::Answer> defaultButton = std::nullopt) {
  return defaultButton ? st.seams.prompts->MsgBoxDefault(text, buttons, icon, LoadResString(title),
                                                         *defaultButton)
                       : st.seams.prompts->MsgBox(text, buttons, icon, LoadResString(title));
}

// The folder that holds a folder ("C:\\A\\B" -> "C:\\A", "C:\\A" -> "C:\\").
QString ParentFolder(QString path) {
  while (path.size() > 3 && path.endsWith('\\')) path.chop(1);
  int cut = path.lastIndexOf('\\');
  if (cut < 0) return path;
  return cut <= 2 ? path.left(2) + '\\' : path.left(cut);
}

// A folder name with a trailing backslash, for joining names to it.
QString WithBackslash(QString path) {
  if (!path.endsWith('\\')) path += '\\';
  return path;
}

}  // namespace

void DisplayDir(Station& st, Form& f, const QString& path) {
  QString drive = path.left(2).toUpper();
  // The steps in order; a failing step is tried again on Retry.
  const std::function<bool(QString&)> steps[] = {
      [&](QString& error) { return ChDrive(drive, error); },
      [&](QString& error) { return ChDir(path, error); },
      [&](QString& error) {
        if (f.DriveMasterList && !f.DriveMasterList->SetDrive(drive)) {
          error = f.DriveMasterList->error();
          return false;
        }
        return true;
      },
      [&](QString& error) {
        if (f.DirMasterList && !f.DirMasterList->SetPath(path)) {
          error = f.DirMasterList->error();
          return false;
        }
        return true;
      },
  };
  for (const auto& step : steps) {
    for (;;) {
      QString error;
      if (step(error)) break;
      int number = error == DeviceUnavailableText() ? kDeviceUnavailable : kPathNotFound;
      if (number != kDeviceUnavailable) {
        Ask(st, LoadResString(resDisplayDirError) + QString::number(number) + " " + error,
            Prompts::Buttons::Ok, Prompts::Icon::None, resDriveErrorTitle);
        return;
      }
      if (Ask(st, LoadResString(resDriveNotReady), Prompts::Buttons::RetryCancel,
              Prompts::Icon::None, resDriveErrorTitle) != Prompts::Answer::Retry) {
        // The scan file's drive goes back to the drive the folder list shows.
        if (f.dlbDrive && f.DirMasterList) f.dlbDrive->SetDrive(f.DirMasterList->Path().left(2));
        return;
      }
    }
  }
}

namespace {

// One level of DelTree on the host tree: `host` is the folder's host path,
// `name` its Windows-style name for the messages. Entries are taken by their
// host names and joined to `host` as they stand, never read again as Windows
// names, so whatever an entry is called ("..\\X", "\\") the walk stays in the
// tree it was given.
void DelTreeAt(Station& st, const QString& host, const QString& name) {
  QString deleting, removing;  // the names the message reports
  auto retry = [&](const QString& description) {
    QString text = description;
    if (!deleting.isEmpty()) text += " " + deleting;
    if (!removing.isEmpty()) text += " " + removing;
    return Ask(st, text, Prompts::Buttons::RetryCancel, Prompts::Icon::Critical, resDelTreeError,
               Prompts::Answer::Cancel) == Prompts::Answer::Retry;
  };

  // Files go at once, subfolders are collected. A link is never followed: it
  // goes as a file, whatever it points to.
  if (QFileInfo(host).isSymLink()) {
    removing = name;
    while (!QFile::remove(host))
      if (!retry(LoadResString(resAccessError))) return;
    return;
  }
  QList<std::pair<QString, QString>> subfolders;  // host path, Windows name
  const QFileInfoList entries = QDir(host).entryInfoList(
      QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  for (const QFileInfo& entry : entries) {
    const QString hostName = host + '/' + entry.fileName();
    const QString entryName = WithBackslash(name) + entry.fileName();
    if (entry.isDir() && !entry.isSymLink()) {
      subfolders.append({hostName, entryName});
      continue;
    }
    deleting = entryName;
    for (;;) {
      // A read-only file (no write permission for its owner, whoever runs
      // this) stays, as the station's platform keeps it.
      bool readOnly = !entry.isSymLink() && !(QFileInfo(hostName).permissions() & QFile::WriteOwner);
      if (!readOnly && QFile::remove(hostName)) break;
      if (!retry(LoadResString(resAccessError))) return;
    }
    deleting.clear();
  }

  // The subfolders first, each emptied and removed the same way.
  for (const auto& [subHost, subName] : subfolders) DelTreeAt(st, subHost, subName);

  // Then the folder itself.
  removing = name;
  while (!QDir().rmdir(host)) {
    if (!retry(QFileInfo(host).isDir() ? LoadResString(resAccessError) : PathNotFoundText())) return;
  }
}

}  // namespace

QString RemoveFolderRefusal(const Station& st, const QString& folder) {
  const QString host = QDir::cleanPath(HostPath(folder));
  if (host.isEmpty()) return {};
  for (const auto& [letter, root] : hostpath::CurrentDrives())
    if (host == QDir::cleanPath(QString::fromStdString(root)))
      return LoadResString(resCannotRemoveDriveRoot) + " '" + folder + "'";
  const QString app = QDir::cleanPath(HostPath(st.AppDir));
  if (!app.isEmpty() && (app == host || app.startsWith(host == "/" ? host : host + '/')))
    return LoadResString(resFolderHoldsAppFolder) + " '" + folder + "'";
  return {};
}

void DelTree(Station& st, QString path) {
  path = WithBackslash(path);
  const QString name = path.left(path.size() - 1);
  // The host name without its trailing separator: a link is looked at, not followed.
  QString host = HostPath(name);
  while (host.isEmpty()) {  // a drive this station does not have
    if (Ask(st, DeviceUnavailableText() + " " + name, Prompts::Buttons::RetryCancel,
            Prompts::Icon::Critical, resDelTreeError,
            Prompts::Answer::Cancel) != Prompts::Answer::Retry)
      return;
    host = HostPath(name);
  }
  // A drive's root and any folder that holds the program's own are never removed.
  if (QString refusal = RemoveFolderRefusal(st, name); !refusal.isEmpty()) {
    Ask(st, refusal, Prompts::Buttons::Ok, Prompts::Icon::Exclamation, resCannotDeleteFolder);
    return;
  }
  DelTreeAt(st, host, name);
}

void DirMasterList_Change(Station& st, Form& f) {
  QString path = f.DirMasterList->Path();
  UpdateFileFields(st, f, kFieldsFolder, path.left(2).toUpper(), path.mid(2), QString(), QString());
  SettingsChanged(st, f);
}

void DirMasterList_Click(Form& f) {
  // Only a click opens: the arrow keys move the highlight alone.
  if (f.DirMouseDown) f.DirMasterList->SetPath(f.DirMasterList->List(f.DirMasterList->ListIndex()));
}

void DirMasterList_KeyPress(Form& f, int keyAscii) {
  if (keyAscii == 32 || keyAscii == 13)
    f.DirMasterList->SetPath(f.DirMasterList->List(f.DirMasterList->ListIndex()));
}

void DirMasterList_MouseDown(Form& f) { f.DirMouseDown = true; }
void DirMasterList_MouseUp(Form& f) { f.DirMouseDown = false; }

void dlbDrive_Change(Station& st, Form& f) {
  UpdateFileFields(st, f, kFieldsDrive, f.dlbDrive->Drive().left(2).toUpper(), QString(), QString(),
                   QString());
}

void DriveMasterList_Change(Station& st, Form& f) {
  DisplayDir(st, f, f.DriveMasterList->Drive().left(2).toUpper());
}

void cmdCreateDir_Click(Station& st, Form& f) {
  DirListBox* list = f.DirMasterList;
  // The list opens the selected folder.
  list->SetPath(list->List(list->ListIndex()));
  // The dialog goes at half the difference between the window's inner size and its own.
  QWidget* window = f.window;
  auto place = [window](const QSize& dialog) {
    return QPoint((window->width() - dialog.width()) / 2, (window->height() - dialog.height()) / 2);
  };
  QString name = st.seams.inputs->InputBox(LoadResString(2203), LoadResString(resFolderName),
                                           LoadResString(resNewFolder),
                                           window ? std::function<QPoint(const QSize&)>(place)
                                                  : std::function<QPoint(const QSize&)>());
  if (name.isEmpty()) return;
  // However the name was given, it names a folder in the highlighted one only.
  if (!NameAccepted(name)) {
    Ask(st, LoadResString(resNameNotUsable) + " '" + name + "'", Prompts::Buttons::Ok,
        Prompts::Icon::Exclamation, resCannotCreateFolder);
    return;
  }
  QString path = WithBackslash(list->List(list->ListIndex())) + name;
  if (PathExists(path)) {
    Ask(st, LoadResString(resFolderExists) + " '" + path + "'", Prompts::Buttons::Ok,
        Prompts::Icon::None, resCannotCreateFolder);
    return;
  }
  if (!MakeDir(path)) {
    ShowError(st, LoadResString(resNewFolderNotCreated) + " '" + path + "'");
    return;
  }
  list->Refresh();
}

void cmdRemoveDir_Click(Station& st, Form& f) {
  DirListBox* list = f.DirMasterList;
  QString folder = list->List(list->ListIndex());
  if (folder.isEmpty()) return;
  // The program's own folder is the only one protected.
  QString appFolder = st.AppDir;
  while (appFolder.size() > 3 && appFolder.endsWith('\\')) appFolder.chop(1);
  if (folder.toUpper() == appFolder.toUpper()) {
    Ask(st, LoadResString(resAppFolderProtected), Prompts::Buttons::Ok, Prompts::Icon::Exclamation,
        resCannotDeleteFolder);
    return;
  }
  // Nor a drive's root, nor a folder that holds the program's own.
  if (QString refusal = RemoveFolderRefusal(st, folder); !refusal.isEmpty()) {
    Ask(st, refusal, Prompts::Buttons::Ok, Prompts::Icon::Exclamation, resCannotDeleteFolder);
    return;
  }
  if (Ask(st,
          LoadResString(resConfirmRemoveFolder) + " '" + folder + "' " +
              LoadResString(resAndAllContents),
          Prompts::Buttons::YesNo, Prompts::Icon::Exclamation,
          resDeleteFolder) != Prompts::Answer::Yes)
    return;
  // The list steps up to the parent before the folder goes.
  list->SetPath(list->List(-2));
  DelTree(st, folder);
  // The list goes to the nearest folder that is still there (the removed one
  // may have held the folder it showed).
  QString shown = list->Path();
  while (shown.size() > 3 && !PathExists(shown)) shown = ParentFolder(shown);
  if (shown != list->Path())
    list->SetPath(shown);
  else
    list->Refresh();
}

}  // namespace varnel

namespace varnel {

void ConnectBrowserControls(Station& st, Form& f) {
  if (DirListBox* dirs = f.DirMasterList) {
    QObject::connect(dirs, &DirListBox::Change, dirs, [&st, &f] { DirMasterList_Change(st, f); });
    QObject::connect(dirs, &DirListBox::Click, dirs, [&f] { DirMasterList_Click(f); });
    QObject::connect(dirs, &DirListBox::KeyPress, dirs,
                     [&f](int keyAscii) { DirMasterList_KeyPress(f, keyAscii); });
    QObject::connect(dirs, &DirListBox::MouseDown, dirs, [&f] { DirMasterList_MouseDown(f); });
    QObject::connect(dirs, &DirListBox::MouseUp, dirs, [&f] { DirMasterList_MouseUp(f); });
  }
  if (f.dlbDrive)
    QObject::connect(f.dlbDrive, &DriveListBox::Change, f.dlbDrive,
                     [&st, &f] { dlbDrive_Change(st, f); });
  if (f.DriveMasterList)
    QObject::connect(f.DriveMasterList, &DriveListBox::Change, f.DriveMasterList,
                     [&st, &f] { DriveMasterList_Change(st, f); });
  if (f.cmdCreateDir)
    QObject::connect(f.cmdCreateDir, &QPushButton::clicked, f.cmdCreateDir,
                     [&st, &f] { cmdCreateDir_Click(st, f); });
  if (f.cmdRemoveDir)
    QObject::connect(f.cmdRemoveDir, &QPushButton::clicked, f.cmdRemoveDir,
                     [&st, &f] { cmdRemoveDir_Click(st, f); });
}

}  // namespace varnel
