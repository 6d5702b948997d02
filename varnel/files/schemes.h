// Setting schemes: named sets of scan parameters, one text file each in the
// folder "Settings" below the program folder. DEFAULT is always listed first
// and cannot be deleted.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "varnel/core/station.h"
#include "varnel/files/form.h"

namespace varnel {

// At most this many schemes besides DEFAULT are listed.
inline constexpr int kMaxSchemes = 99;

// The 13 lines of a scheme file.
struct SchemeValues {
  QString folder;       // 1: the folder below the drive root, empty for the root
  QString format;       // 2: cboFormat
  QString drive;        // 3: dlbDrive as it shows it
  QString width;        // 4: cboOriginalWidth
  QString resolution;   // 5: cboResolution
  QString leadingEdge;  // 6: cboLeadingEdge
  QString speed;        // 7: cboScannerSpeed (never applied)
  int view = 0, mirror = 0, invert = 0;  // 8-10: check box states
  std::optional<int> mode;  // 11: 0 line art, 1 photo 1, 2 photo 2; none when no option is set
  QString dataField;        // 12: txtDataField
  std::optional<int> edit;  // 13: chkEditFlag; none when the file ends before it
};

// The file's bytes: 13 lines ended by CR LF, numbers with a blank before and after.
QByteArray SchemeFileText(const SchemeValues& values);
// The values of a file's bytes; numbers are read with blanks around them, missing lines are empty.
SchemeValues ParseSchemeFile(const QByteArray& bytes);
// The part of a resolution or leading-edge line that selects the list entry:
// the trimmed line up to its first blank (the whole trimmed line when it has none).
QString SchemeSelectPart(const QString& line);
// The names listed for the scheme files of a folder listing: DEFAULT first (when
// a file's upper-cased name is DEFAULT.SET), then the others' names up to their
// first dot, at most kMaxSchemes of them.
QStringList SchemeNames(const QStringList& fileNames);

// AppDir followed by "Settings\".
QString SettingsFolder(const Station& st);

// Rebuilds the list of cboSettings from the Settings folder; no entry is selected afterwards.
void LoadCfgFiles(Station& st, Form& f);
// Loads the scheme named by the text of cboSettings into the controls.
void LoadSettings(Station& st, Form& f);
// Writes the controls' values to a scheme file, then rebuilds the list. False
// when the file could not be written (the operator has been told; the list stays).
bool CreateNewSettings(Station& st, Form& f, const QString& PathSet);
// A scheme-held control changed: the scheme selection is cleared (not while loading).
void SettingsChanged(Station& st, Form& f);
void cboSettings_Click(Station& st, Form& f);
void cmdSaveAs_Click(Station& st, Form& f);
void cmdDelete_Click(Station& st, Form& f);
// Field 6 of a scan-list entry as a scheme name: trailing blanks removed, its
// last two characters, trimmed ("xxd1" gives "D1" once upper-cased).
QString EntrySchemeName(const QString& field6);
// The scheme named by field 6 of the current scan-list entry, when it exists.
void LoadEntryScheme(Station& st, Form& f, const QString& field6);

}  // namespace varnel
