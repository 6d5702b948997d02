// The about dialog: the program's title and version, and the way to the
// operating system's system information program.
#pragma once

#include <QDialog>
#include <QString>

#include "varnel/core/station.h"

class QLabel;
class QPushButton;

namespace varnel {

// Registry roots GetKeyValue reads from.
enum class RegistryRoot { LocalMachine };

// The text of a registry value: true and the text when the key opens and the
// value can be read, false and an empty text otherwise. A host without a
// registry finds nothing.
bool GetKeyValue(RegistryRoot root, const QString& keyName, const QString& subKeyRef,
                 QString& keyValue);

class frmAbout : public QDialog {
  Q_OBJECT
 public:
  frmAbout(Station& st, QWidget* parent);

  void cmdOK_Click();
  // Starts the system information program, or says it is unavailable.
  void cmdSysInfo_Click();

  QLabel* lblTitle;
  QLabel* lblVersion;
  QLabel* lblDescription;
  QLabel* lblDisclaimer;
  QLabel* picIcon;
  QPushButton* cmdOK;
  QPushButton* cmdSysInfo;

 private:
  Station& st_;
};

// The dialog's icon and the splash window's picture: a drawing of a scanner
// feeding a sheet, in the given size.
QPixmap StationPicture(int size);

}  // namespace varnel
