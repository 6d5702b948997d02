// The workstation's file-system boundary: every Windows-style name becomes a
// host path here, through the station's one path-mapping module.
#pragma once

#include <QString>

namespace varnel {

// Host path of a Windows-style name (empty when its drive is not on this station).
QString HostPath(const QString& windowsPath);
// Windows-style name of a host path.
QString WindowsPath(const QString& hostPath);

// True when a file or folder of that name exists.
bool PathExists(const QString& windowsPath);
// True when a file (not a folder) of that name exists.
bool FileExists(const QString& windowsPath);
// Deletes a file; true when it is gone afterwards (also when it was never there).
bool DeleteFile(const QString& windowsPath);
// Moves a file to a name in one step; a file of that name is replaced by it,
// never deleted first. False (both files as they were) when it cannot be done.
bool ReplaceFile(const QString& fromWindowsPath, const QString& toWindowsPath);
// Creates one folder whose parent exists; true on success.
bool MakeDir(const QString& windowsPath);

// The drive table as the JUX_DRIVES text, for the programs the workstation starts.
QString DriveTableText();

}  // namespace varnel
