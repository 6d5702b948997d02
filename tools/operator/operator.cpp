// The scripted operator: usage
//   operator STATIONFOLDER SCANLIST PICTURE.png
// STATIONFOLDER holds Varnel.Ini (Windows-style or host path); SCANLIST is the
// scan list file the workstation would get on its command line. The window
// is the workstation's scan panel, filled from the configuration exactly as
// the main window fills it; Auto Mode is clicked once the window is up.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "varnel/core/config.h"
#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/qtprocess.h"
#include "varnel/core/runner.h"
#include "varnel/core/scanner.h"
#include "varnel/core/strings.h"
#include "varnel/pipeline/statusbox.h"
#include "varnel/pipeline/workflow.h"

namespace {

using namespace varnel;

// Reads every box aloud and presses its first button, as an operator who
// acknowledges each message would.
class ReadingOperator : public Prompts {
 public:
  QStringList seen;
  Answer MsgBox(const QString& text, Buttons buttons, Icon, const QString& title) override {
    seen << title + ": " + text;
    std::printf("  [box] %s: %s\n", qPrintable(title), qPrintable(text));
    std::fflush(stdout);
    return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::Yes : Answer::Ok;
  }
};

class PanelWindow : public QWidget, public WindowHooks {
 public:
  void SetMousePointer(int pointer) override {
    if (pointer == 11) setCursor(Qt::WaitCursor); else unsetCursor();
  }
  void SetMainEnabled(bool) override {}
  void ShowSplashStatus(const QString&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QStringList args = app.arguments();
  if (args.size() != 4) {
    std::fprintf(stderr, "usage: operator STATIONFOLDER SCANLIST PICTURE.png\n");
    return 2;
  }
  QString folder = args[1].startsWith('/') ? WindowsPath(args[1]) : args[1];
  QString scanList = args[2].startsWith('/') ? WindowsPath(args[2]) : args[2];

  ReadingOperator prompts;
  QtProcessHost processes;
  QtEventPump pump;
  PanelWindow window;
  Station st(Seams{&prompts, &processes, &pump, &window, nullptr, nullptr});
  StatusBox status(st, &window);
  st.seams.status = &status;

  // The panel: the controls the scan road reads, filled from Varnel.Ini.
  Form form;
  form.window = &window;
  window.setWindowTitle(LoadResString(resAppTitle));
  auto* outer = new QVBoxLayout(&window);
  auto* title = new QLabel(LoadResString(resAppTitle));
  title->setAlignment(Qt::AlignCenter);
  outer->addWidget(title);
  auto* middle = new QHBoxLayout;
  outer->addLayout(middle);
  form.lstDisplayScanInfo = new QListWidget;
  form.lvContentsOf = new QTreeWidget;
  form.lvContentsOf->setHeaderLabels({LoadResString(2237), LoadResString(2238), LoadResString(2239)});
  auto* left = new QVBoxLayout;
  left->addWidget(form.lstDisplayScanInfo);
  left->addWidget(form.lvContentsOf);
  middle->addLayout(left, 3);
  auto* right = new QFormLayout;
  middle->addLayout(right, 2);
  form.cboOriginalWidth = new QComboBox;
  form.cboResolution = new QComboBox;
  form.cboLeadingEdge = new QComboBox;
  form.cboScannerSpeed = new QComboBox;
  right->addRow(LoadResString(2211), form.cboOriginalWidth);
  right->addRow(LoadResString(2212), form.cboResolution);
  right->addRow(LoadResString(2213), form.cboLeadingEdge);
  right->addRow(LoadResString(2214), form.cboScannerSpeed);
  form.optLineArt = new QRadioButton(LoadResString(2222));
  form.optPhoto1 = new QRadioButton(LoadResString(2223));
  form.optPhoto2 = new QRadioButton(LoadResString(2224));
  auto* original = new QHBoxLayout;
  for (QRadioButton* b : {form.optLineArt, form.optPhoto1, form.optPhoto2}) original->addWidget(b);
  right->addRow(LoadResString(2221), original);
  form.optLineArt->setChecked(true);
  form.cboFormat = new QComboBox;
  form.txtFileName = new QLineEdit;
  form.txtDataField = new QLineEdit;
  right->addRow(LoadResString(2226), form.cboFormat);
  right->addRow(LoadResString(2227).remove('&'), form.txtFileName);
  right->addRow(LoadResString(2228), form.txtDataField);
  auto* buttons = new QHBoxLayout;
  form.cmdScan = new QPushButton(LoadResString(2229));
  form.cmdScanNext = new QPushButton(LoadResString(2230).remove('&'));
  form.cmdAutoMode = new QPushButton(LoadResString(2231).remove('&'));
  for (QPushButton* b : {form.cmdScan, form.cmdScanNext, form.cmdAutoMode}) buttons->addWidget(b);
  outer->addLayout(buttons);

  QFontMetricsF metrics(form.cboLeadingEdge->font());
  IniLists lists;
  if (!LoadIniFile(st, folder, [&](const QString& t) { return metrics.horizontalAdvance(t); }, lists))
    return 1;
  form.cboOriginalWidth->addItems(lists.widths);
  form.cboLeadingEdge->addItems(lists.leadingEdges);
  for (const IniLists::Format& f : lists.formats) form.cboFormat->addItem(f.text, f.itemData);
  form.cboResolution->addItems(lists.resolutions);
  form.cboResolution->setCurrentIndex(form.cboResolution->count() - 1);
  form.txtDataField->setVisible(lists.dataFieldVisible);
  if (st.HardwareConnect == "YES") StartScannerReset(st);
  if (ReadThreshold(st) == -1) return 1;
  form.cboScannerSpeed->addItem(QString::number(st.ScannerSpeed) + " mm/s");
  form.txtDataField->setText("DEMO");

  SimpleFileNaming files(st, form);
  SimpleFileNaming::LoadScanListFile(st, scanList);
  st.ScanDrive = "C:\\";
  files.DisplayFileName();
  ScanRoad road{st, form, files};
  QObject::connect(form.cmdAutoMode, &QPushButton::clicked, [&] { cmdAutoMode_Click(road); });
  QObject::connect(form.cmdScan, &QPushButton::clicked, [&] { cmdScan_Click(road); });
  QObject::connect(form.cmdScanNext, &QPushButton::clicked, [&] { cmdScanNext_Click(road); });
  status.onRescanKey = [&] { RescanPrevious(road); };
  window.resize(1000, 640);
  window.show();

  // The operator presses Auto Mode once the window is up, and looks at the
  // window when the run has ended.
  QTimer::singleShot(300, [&] {
    std::printf("Operator: Auto Mode, scan list %s (%d entries)\n", qPrintable(scanList), st.ScanCnt);
    std::fflush(stdout);
    form.cmdAutoMode->click();
    files.LoadList(files.ParsePath(st.LastScanFile));
    QTimer::singleShot(200, [&] {
      window.grab().save(args[3]);
      app.quit();
    });
  });
  app.exec();
  return st.LastScanFile.isEmpty() ? 1 : 0;
}
