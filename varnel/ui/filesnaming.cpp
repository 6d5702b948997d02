#include "varnel/ui/filesnaming.h"

#include <QPushButton>

#include "varnel/core/strings.h"

#include "varnel/files/lists.h"
#include "varnel/files/naming.h"
#include "varnel/files/scanlist.h"

namespace varnel {

QString FilesNaming::ParsePath(const QString& path) { return varnel::ParsePath(path); }
bool FilesNaming::SetNewName() { return varnel::SetNewName(st_, f_, varnel::DisplayScanInfo); }
void FilesNaming::DisplayFileName() { varnel::DisplayFileName(st_, f_, varnel::DisplayScanInfo); }

void FilesNaming::LoadList(const QString& folderPath) {
  QString path = folderPath;
  varnel::LoadList(st_, f_, path);
}

void FilesNaming::DisplayScanInfo() { varnel::DisplayScanInfo(st_, f_); }

void FilesNaming::UpdateFileFields(int source, const QString& drive, const QString& folder,
                                   const QString& ext, const QString& fileName) {
  varnel::UpdateFileFields(st_, f_, source, drive, folder, ext, fileName);
}

QString FilesNaming::FolderListPath() { return f_.DirMasterList ? f_.DirMasterList->Path() : QString(); }

void FilesNaming::SelectFormat(const QString& format) { SelectComboItem(format, f_.cboFormat); }

void FilesNaming::ChangeFolder(const QString& drive, const QString& folder) {
  // Errors are the caller's to ignore: the lists stay where they could go.
  if (f_.dlbDrive) f_.dlbDrive->SetDrive(drive.left(2));
  if (f_.DirMasterList) f_.DirMasterList->SetPath(drive.left(2) + "\\" + folder);
}

void FilesNaming::SetScanCaption(int textId) {
  if (f_.cmdScan) f_.cmdScan->setText(LoadResString(textId));
}

void FilesNaming::FocusScanNext() {
  if (f_.cmdScanNext) f_.cmdScanNext->setFocus();
}

}  // namespace varnel
