// The workstation's main window. This first form starts the program (reads the
// configuration, resets the scanner channel, reads the threshold), shows the
// configured lists and ends the run; the scan commands, the folder browser and
// the schemes join it later.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>

#include "varnel/core/seams.h"
#include "varnel/core/station.h"

namespace varnel {

// Version shown as "Version major.minor.revision".
inline constexpr const char* kProgramVersion = "1.0.0";

class frmMain : public QMainWindow, public WindowHooks {
  Q_OBJECT
 public:
  explicit frmMain(Station& st);

  // Start-up in order; programFolder is the Windows-style name of the folder that
  // holds Varnel.Ini. False when the program must end at once: Varnel.Ini is
  // missing (nothing has been written) or the scanner does not answer
  // (terminate then asks for the final log line).
  bool Form_Load(const QString& programFolder, const QString& commandLine, bool& terminate);
  // Final log line and removal of the last scan's working files.
  void Form_Terminate();

  // WindowHooks
  void SetMousePointer(int pointer) override;
  void SetMainEnabled(bool enabled) override;
  void ShowSplashStatus(const QString& text) override;

  QLabel* pnlJUX;
  QLabel* pnlAppTitle;
  QLabel* lblVersion;
  QLabel *lblOriginalWidth, *lblResoultion, *lblLeadingEdge;
  QComboBox *cboOriginalWidth, *cboResolution, *cboLeadingEdge;
  QLabel* lblThreshold;
  QLineEdit* txtThreshold;
  QWidget* pnlBottom;
  QLabel *lblFormat, *lblFileName, *lblDataField;
  QComboBox* cboFormat;
  QLineEdit *txtFileName, *txtDataField;
  QPushButton* cmdExit;

 private:
  void LoadIniFile(const QString& programFolder);
  Station& st_;
  int16_t threshold_ = -1;  // scanner threshold read at start-up
};

}  // namespace varnel
