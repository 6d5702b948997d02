// The current drive and, per drive, the current folder, as the station's
// procedures use them ("make the drive current", "the current directory").
// The host process has one working folder; the other drives remember the
// folder last made current on them, as the station's platform does. Names are
// Windows-style; a folder that cannot be entered leaves everything as it was
// and the call returns false with the platform's description of the error.
#pragma once

#include <QString>

namespace varnel {

// The current directory: drive letter, colon, backslash and the folder ("C:\SCANS",
// "C:\" for a root). A working folder under no drive of the station counts as C:\.
QString CurDir();
// The current folder of one drive ("D:" or "D:\..."), its root when none was made current.
QString CurDir(const QString& drive);
// Makes the drive of the first letter current, in the folder last current on it.
bool ChDrive(const QString& drive, QString& error);
// Makes the folder current on its drive ("C:\SCANS\", or "\SCANS" on the current
// drive); the current drive stays as it is.
bool ChDir(const QString& path, QString& error);

// The folder part of a name as a folder from its drive's root, "\\" at both
// ends ("\\SCANS\\JOB12\\", "\\" for the root), read the Windows way: "." is
// dropped and ".." goes up but never above the root; a folder that does not
// begin with a backslash (also none at all, as in "C:NAME") is below the
// drive's current folder. Either slash separates.
QString FolderFromRoot(const QString& drive, const QString& folder);

// Texts of the two errors a drive or folder step raises.
QString DeviceUnavailableText();
QString PathNotFoundText();

}  // namespace varnel
