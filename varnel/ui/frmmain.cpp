#include "varnel/ui/frmmain.h"

#include <QDateTime>
#include <QDir>
#include <QFontMetricsF>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QVBoxLayout>
#include <type_traits>

#include "varnel/core/config.h"
#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/runner.h"
#include "varnel/core/scanner.h"
#include "varnel/core/strings.h"

namespace varnel {

frmMain::frmMain(Station& st) : st_(st) {
  setObjectName("frmMain");
  auto* central = new QWidget(this);
  auto* outer = new QVBoxLayout(central);

  auto* pnlTop = new QHBoxLayout;
  pnlJUX = new QLabel;
  pnlAppTitle = new QLabel;
  lblVersion = new QLabel;
  pnlTop->addStretch();
  pnlTop->addWidget(pnlJUX);
  pnlTop->addWidget(pnlAppTitle);
  pnlTop->addStretch();
  outer->addLayout(pnlTop);
  outer->addWidget(lblVersion, 0, Qt::AlignHCenter);

  // A label and its control on one row.
  auto row = [](QFormLayout* form, QLabel*& label, auto*& control) {
    label = new QLabel;
    control = new std::remove_reference_t<decltype(*control)>;
    form->addRow(label, control);
  };
  auto* pnlRight = new QFormLayout;
  row(pnlRight, lblOriginalWidth, cboOriginalWidth);
  row(pnlRight, lblResoultion, cboResolution);
  row(pnlRight, lblLeadingEdge, cboLeadingEdge);
  row(pnlRight, lblThreshold, txtThreshold);
  outer->addLayout(pnlRight);
  outer->addStretch();

  pnlBottom = new QWidget;
  auto* bottom = new QFormLayout(pnlBottom);
  row(bottom, lblFormat, cboFormat);
  row(bottom, lblFileName, txtFileName);
  row(bottom, lblDataField, txtDataField);
  lblDataField->setVisible(false);
  txtDataField->setVisible(false);
  outer->addWidget(pnlBottom);

  cmdExit = new QPushButton;
  outer->addWidget(cmdExit, 0, Qt::AlignHCenter);
  connect(cmdExit, &QPushButton::clicked, this, &QWidget::close);
  setCentralWidget(central);
}

void frmMain::LoadIniFile(const QString& programFolder) {
  // The leading-edge entries are lined up in the list's own font.
  QFontMetricsF metrics(cboLeadingEdge->font());
  IniLists lists;
  if (!varnel::LoadIniFile(st_, programFolder,
                           [&](const QString& text) { return metrics.horizontalAdvance(text); },
                           lists))
    return;
  cboOriginalWidth->addItems(lists.widths);
  cboLeadingEdge->addItems(lists.leadingEdges);
  for (const IniLists::Format& format : lists.formats) cboFormat->addItem(format.text, format.itemData);
  cboResolution->addItems(lists.resolutions);
  lblDataField->setVisible(lists.dataFieldVisible);
  txtDataField->setVisible(lists.dataFieldVisible);
}

bool frmMain::Form_Load(const QString& programFolder, const QString& commandLine,
                        bool& terminate) {
  terminate = false;
  // 1. Title.
  setWindowTitle(LoadResString(resAppTitle));
  // 2. The configuration; without it the program ends at once.
  LoadIniFile(programFolder);
  if (st_.LogFile.isEmpty()) return false;
  setWindowTitle(LoadResString(resAppTitle));
  pnlJUX->setText(LoadResString(2201));
  pnlAppTitle->setText(st_.ConfiguredMachineType.trimmed() + LoadResString(2202));
  lblVersion->setText(LoadResString(resVersion) + " " + kProgramVersion);
  // 3. Captions.
  const std::pair<QWidget*, int> kCaptions[] = {
      {lblOriginalWidth, 2211}, {lblResoultion, 2212}, {lblLeadingEdge, 2213},
      {lblThreshold, 2225},     {lblFormat, 2226},     {lblFileName, 2227},
      {lblDataField, 2228},     {cmdExit, 2232}};
  for (auto [widget, id] : kCaptions) {
    if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(LoadResString(id));
    if (auto* button = qobject_cast<QPushButton*>(widget)) button->setText(LoadResString(id));
  }
  // 6. A scanner channel left busy by an earlier run is freed.
  if (st_.HardwareConnect == "YES") StartScannerReset(st_);
  // 7. The scanner's threshold; no answer ends the program.
  threshold_ = ReadThreshold(st_);
  txtThreshold->setText(QString::number(threshold_));
  if (threshold_ == -1) {
    st_.seams.prompts->MsgBox(LoadResString(resNotCommunicating), Prompts::Buttons::Ok,
                              Prompts::Icon::None, LoadResString(resAppTitle));
    terminate = true;
    return false;
  }
  // 9. The command line names a scan list (not loaded yet: the scan list comes later).
  WriteLog(st_, 1, "Command Line Specified: " + commandLine);
  // 11. Start folder.
  QString current = WindowsPath(QDir::currentPath());
  // A current folder under no mapped drive has no Windows name; the station
  // then starts at the root of drive C:.
  if (current.size() < 2 || current[1] != ':') current = "C:\\";
  QString ScanDrive = current.left(3);
  QString ScanFolder = current.mid(3);
  if (!ScanFolder.isEmpty()) ScanFolder += "\\";
  WriteLog(st_, 1, "Start Drive: " + ScanDrive);
  WriteLog(st_, 1, "Start Dir: " + ScanFolder);
  // 12. The first format is selected.
  if (cboFormat->count() > 0) cboFormat->setCurrentIndex(0);
  // 15. Shown, ready for a file name.
  show();
  txtFileName->setFocus();
  return true;
}

void frmMain::Form_Terminate() {
  WriteLog(st_, 0, "Program Terminated: " + GeneralDate(QDateTime::currentDateTime()));
  if (!st_.DebugFlag) {
    // Missing files and files that cannot be deleted are no error here.
    DeleteFile(st_.TempDir + "Brevik.TIF");
    DeleteFile(st_.TempDir + "Brevik.Tlc");
  }
}

void frmMain::SetMousePointer(int pointer) {
  if (pointer == 11)
    setCursor(Qt::WaitCursor);
  else
    unsetCursor();
}

void frmMain::SetMainEnabled(bool enabled) {
  // The window's contents, not the window: the status window it owns must keep
  // taking the operator's ESC while the main window is disabled.
  centralWidget()->setEnabled(enabled);
  menuBar()->setEnabled(enabled);
}

void frmMain::ShowSplashStatus(const QString& /*text*/) {
  // The splash window comes with the start procedure; until then there is none to show it in.
}

}  // namespace varnel
