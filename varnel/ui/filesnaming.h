// The scan road's file-naming calls, answered by the file naming, scan list
// and folder browser procedures on the main window's controls.
#pragma once

#include "varnel/core/station.h"
#include "varnel/files/form.h"
#include "varnel/pipeline/naming.h"

namespace varnel {

class FilesNaming : public FileNaming {
 public:
  FilesNaming(Station& st, Form& f) : st_(st), f_(f) {}
  QString ParsePath(const QString& path) override;
  bool SetNewName() override;
  void DisplayFileName() override;
  void LoadList(const QString& folderPath) override;
  void DisplayScanInfo() override;
  void UpdateFileFields(int source, const QString& drive, const QString& folder,
                        const QString& name, const QString& fileName) override;
  QString FolderListPath() override;
  void SelectFormat(const QString& format) override;
  void ChangeFolder(const QString& drive, const QString& folder) override;
  void SetScanCaption(int textId) override;
  void FocusScanNext() override;

 private:
  Station& st_;
  Form& f_;
};

}  // namespace varnel
