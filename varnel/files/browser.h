// The folder browser of the main window: the drive and folder lists' events,
// moving the browser to a drive, and the Create Folder and Remove Folder
// commands with the recursive removal of a folder tree. Names are Windows-style.
#pragma once

#include <QString>

#include "varnel/core/station.h"
#include "varnel/files/form.h"

namespace varnel {

// Moves the browser to a path (in practice a drive letter and its colon).
void DisplayDir(Station& st, Form& f, const QString& path);

// Deletes a folder with all its files and subfolders. A symbolic link (also one
// to a folder) is removed as a link; nothing it points to is entered or touched.
// A read-only file is not deleted, as the station's platform refuses to. The
// walk goes by the host names of the entries and never leaves the tree it was
// given; a drive's root and a folder that holds the program's own folder
// (AppDir) are refused with a message.
void DelTree(Station& st, QString path);
// Why a folder may not be removed (a drive's root, or it holds the program's
// folder), as the message tells it; empty when it may.
QString RemoveFolderRefusal(const Station& st, const QString& folder);

// Event handlers.
void DirMasterList_Change(Station& st, Form& f);
void DirMasterList_Click(Form& f);
void DirMasterList_KeyPress(Form& f, int keyAscii);
void DirMasterList_MouseDown(Form& f);
void DirMasterList_MouseUp(Form& f);
void DriveMasterList_Change(Station& st, Form& f);
void dlbDrive_Change(Station& st, Form& f);
// Asks for the name through the station's input dialog.
void cmdCreateDir_Click(Station& st, Form& f);
void cmdRemoveDir_Click(Station& st, Form& f);

// Routes the events of the folder list, the two drive lists and the two folder
// buttons of the Form (null controls are passed over) to the handlers above.
// The Station and the Form must outlive the widgets.
void ConnectBrowserControls(Station& st, Form& f);

}  // namespace varnel
