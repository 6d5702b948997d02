// The folder browser of the main window: the drive and folder lists' events,
// moving the browser to a drive, and the Create Folder and Remove Folder
// commands with the recursive removal of a folder tree. Names are Windows-style.
#pragma once

#include <QString>
#include <functional>

#include "varnel/core/station.h"
#include "varnel/files/form.h"

namespace varnel {

// Asks the operator for a name: caption, prompt and proposed text; the empty
// text when the operator gave none (or cancelled). The window places its dialog.
using AskName =
    std::function<QString(const QString& caption, const QString& prompt, const QString& proposed)>;

// Moves the browser to a path (in practice a drive letter and its colon).
void DisplayDir(Station& st, Form& f, const QString& path);

// Deletes a folder with all its files and subfolders. A symbolic link (also one
// to a folder) is removed as a link; nothing it points to is entered or touched.
// A read-only file is not deleted, as the station's platform refuses to.
void DelTree(Station& st, QString path);

// Event handlers.
void DirMasterList_Change(Station& st, Form& f);
void DirMasterList_Click(Form& f);
void DirMasterList_KeyPress(Form& f, int keyAscii);
void DirMasterList_MouseDown(Form& f);
void DirMasterList_MouseUp(Form& f);
void DriveMasterList_Change(Station& st, Form& f);
void cmdCreateDir_Click(Station& st, Form& f, const AskName& ask);
void cmdRemoveDir_Click(Station& st, Form& f);

}  // namespace varnel
