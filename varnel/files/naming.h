// The scan file name: how a full path is split and rebuilt, how the next name
// is proposed, and the procedures that keep the file controls of the main
// window (drive list, folder list, format list, file name box, "Contents of"
// list) and the Station's naming state in step.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "varnel/core/station.h"
#include "varnel/files/form.h"

namespace varnel {

// Which control caused a change of the file fields; that control is not written back.
enum FileFieldSource : int {
  kFieldsRecovery = 0,   // UpdateFileFields' own recovery: the saved copy
  kFieldsDrive = 1,      // dlbDrive change
  kFieldsFolder = 2,     // DirMasterList change, auto mode start, the options menu
  kFieldsFormat = 3,     // cboFormat click
  kFieldsFileName = 4,   // txtFileName lost focus (errors pass silently)
};

// ---- Plain text work ----

// Splits a full name: drive "C:" (upper case, empty without one), folder "\SCANS\"
// ("\" for the root, empty without a backslash), base name and extension. Never fails.
void ParseFileName(const QString& fullName, QString& drive, QString& folder, QString& name,
                   QString& ext);
// Everything before the last backslash ("C:\SCANS\A.TIF" gives "C:\SCANS").
QString ParsePath(const QString& path);
// The counter step of SetNewName: TEMP001 for an empty name, else the trailing
// number (at most its last 9 digits) plus one, zero-padded to its old width.
QString NextCounterName(const QString& name);
// A number as text with a leading sign position: " 3", "-3".
QString SignedText(qint64 value);
// Size column of the "Contents of" list: kilobytes rounded up, " 2KB".
QString SizeText(qint64 bytes);
// FormatDrive's text for a drive list entry and its free bytes: " c: 1234 Meg. Free".
QString DriveFreeText(const QString& entry, qint64 freeBytes);
// "Free Space on Scan Drive:" and the figure part of a FormatDrive text.
QString FreeSpaceFromDriveText(const QString& driveText);
// The base name part of a file name box text, for overtyping on focus.
void BaseNameSelection(const QString& text, int& start, int& length);
// Characters the file name box discards as they are typed.
bool IsDiscardedFileNameKey(int keyAscii);

// ---- Procedures on the main window ----

// Shows the current scan-list entry on the window, its fields and its scheme:
// the scan list's DisplayScanInfo, handed in by the caller, so that naming
// does not call into the scan list (which loads schemes, which name files).
using ShowScanEntry = std::function<void(Station&, Form&)>;

// Advances to the next name (counter, or the next scan-list entry) and shows it.
// False only when the scan list is exhausted (the operator has been told).
bool SetNewName(Station& st, Form& f, const ShowScanEntry& showEntry);
// Rebuilds ScanExt and ScanFileName from the current state or the current
// scan-list entry (correcting its drive and format) and shows it in txtFileName;
// the entry's fields are shown by showEntry (which may be null outside
// scan-list mode, where there is no entry).
void DisplayFileName(Station& st, Form& f, const ShowScanEntry& showEntry);
// Applies one change of a file-related control to every file control and the
// naming state; drive, folder, extension and file name may each be empty.
void UpdateFileFields(Station& st, Form& f, int source, QString drive, QString folder,
                      QString ext, QString fileName);
// Refills the "Contents of" list for a folder; a missing trailing backslash is appended.
void LoadList(Station& st, Form& f, QString& path);
// The display text of entry index of dlbDrive.
QString FormatDrive(const Form& f, int index);

// Event handlers of the file name and data field boxes.
void txtFileName_KeyPress(int& keyAscii);
void txtFileName_Change(Station& st, Form& f);
void txtFileName_GotFocus(Form& f);
void txtFileName_LostFocus(Station& st, Form& f);
void txtDataField_GotFocus(Form& f);

// Selects the first entry of a list that begins with the text (any case); a
// change raises the list's own handlers. The list stays as it was when none does.
void SelectComboItem(const QString& text, QComboBox* list);
// The texts of a list's entries, in order (none for a null list).
QStringList ComboItems(const QComboBox* list);

}  // namespace varnel
