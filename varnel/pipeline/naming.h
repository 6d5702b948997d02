// The window's side of the scan road: the file-naming procedures it calls
// (the scan file name, the scan list position, the folder lists) and the two
// controls it sets (the Scan button's caption, the focus). The pipeline links
// neither the file procedures nor the widgets: FilesNaming
// (varnel/ui/filesnaming.h) answers these calls with them, for the window and
// the road's tests alike.
#pragma once

#include <QString>

#include "varnel/core/station.h"

namespace varnel {

class FileNaming {
 public:
  virtual ~FileNaming() = default;
  // The folder of a path ("C:\SCANS\A.TIF" gives "C:\SCANS").
  virtual QString ParsePath(const QString& path) = 0;
  // Advances to the next name (counter or next list entry) and shows it;
  // false only when the scan list is exhausted.
  virtual bool SetNewName() = 0;
  // Rebuilds ScanExt and ScanFileName and writes the name into txtFileName.
  virtual void DisplayFileName() = 0;
  // Shows the files of a folder in the contents list.
  virtual void LoadList(const QString& folderPath) = 0;
  // Shows the current scan-list entry.
  virtual void DisplayScanInfo() = 0;
  // Sets the file fields from one source (2: the folder list).
  virtual void UpdateFileFields(int source, const QString& drive, const QString& folder,
                                const QString& name, const QString& fileName) = 0;
  // The folder list's path ("C:\SCANS").
  virtual QString FolderListPath() = 0;
  // Selects the output format whose entry begins with the text (any case); the
  // selection stays as it was when none does.
  virtual void SelectFormat(const QString& format) = 0;
  // Moves the drive and folder lists to a drive ("C:\") and folder ("SCANS\");
  // errors are the caller's to ignore.
  virtual void ChangeFolder(const QString& drive, const QString& folder) = 0;
  // The Scan button's caption, a string-table text ("Scan", "Rescan").
  virtual void SetScanCaption(int textId) = 0;
  // The focus to Scan Next, where Enter scans the next drawing.
  virtual void FocusScanNext() = 0;
};

}  // namespace varnel
