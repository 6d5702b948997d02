// Host path mapping: the station names files the Windows way (drive letter,
// backslashes, case-insensitive names); this module is the one place that
// turns such a name into a path of the host and back. Standard library only.
//
// On Windows both directions are the identity. Elsewhere the drive table comes
// from JUX_DRIVES ("C=/home/op;D=/media/usb"); without it, C: is the user's
// home folder. A path that begins with "/" is already a host path, in which a
// backslash the station appended is a separator too.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace hostpath {

// Drive letter (upper case) -> host folder.
using DriveTable = std::map<char, std::string>;

// Parses "C=/home/op;D=/media/usb"; entries without a letter or folder are skipped.
DriveTable ParseDrives(std::string_view spec);
// The table of this process: JUX_DRIVES, else C: = $HOME (or "/" without HOME).
DriveTable CurrentDrives();

// The host path for a Windows-style path. "C:\SCANS\a.tif" -> "/home/op/scans/A.tif"
// when those components exist under other case, else as written; every
// component of a host path is found the same way. Names are read as Windows
// reads them: "." is dropped, ".." goes one folder up but never above the
// drive's root ("C:\..\X" is "C:\X"), "C:NAME" is in the current folder of C:
// (its root unless the process works on C:), "\NAME" at the root of the
// current drive, and a name without either below the process's working folder
// (which, under no drive, is a host folder like any other). So a name that
// begins with a drive letter always maps inside that drive's folder. Empty when
// the drive is not in the table (no such drive on this station).
std::string ToHost(std::string_view windowsPath, const DriveTable& drives);
std::string ToHost(std::string_view windowsPath);

// The short (8.3) form of an existing path, as the host gives it: every
// component that is not a valid 8.3 name already (a blank, a second dot, a
// long stem or extension, a character FAT names cannot hold) becomes an alias
// of at most 6 + "~N" characters and a 3-character extension, so a short path
// never holds a blank. Empty when the path does not exist. On Windows the host
// call answers; elsewhere the alias is made from the long name itself (two of
// its characters and a hash of the whole name), so it names the same file for
// as long as the file keeps its name, whatever else the folder gains. ToHost
// resolves every alias back to its long name.
std::string ShortPath(std::string_view windowsPath, const DriveTable& drives);
std::string ShortPath(std::string_view windowsPath);

// The Windows-style name of a host path: the drive whose folder is the longest
// prefix of the path, then the rest with backslashes. A path under no drive
// stays a host path.
std::string ToWindows(std::string_view hostPath, const DriveTable& drives);
std::string ToWindows(std::string_view hostPath);

}  // namespace hostpath
