// The scripted operator: usage
//   operator STATIONFOLDER SCANLIST PICTURE.png
// Runs the real workstation in STATIONFOLDER (the folder that holds
// Varnel.Ini, Windows-style or host path) with SCANLIST as its command line,
// offscreen where there is no display. Once the main window is up it presses
// Auto Mode with a reference in the data field, as a person would, answers
// every message box, writes a picture of the window when the run has ended
// and closes the window.
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdio>

#include "varnel/core/hostfiles.h"
#include "varnel/core/seams.h"
#include "varnel/core/station.h"
#include "varnel/ui/frmmain.h"
#include "varnel/ui/workstation.h"

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

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc != 4) {
    std::fprintf(stderr, "usage: operator STATIONFOLDER SCANLIST PICTURE.png\n");
    return 2;
  }
  auto windowsName = [](const char* arg) {
    QString name = QString::fromLocal8Bit(arg);
    return name.startsWith('/') ? WindowsPath(name) : name;
  };
  const QString picture = QString::fromLocal8Bit(argv[3]);

  ReadingOperator prompts;
  bool filed = false;
  WorkstationScript script;
  script.programFolder = windowsName(argv[1]);
  script.commandLine = windowsName(argv[2]);
  script.prompts = &prompts;
  // The operator presses Auto Mode once the window is up, looks at the window
  // when the run has ended, and closes it.
  script.shown = [&](frmMain& main, Station& st) {
    std::printf("Operator: Auto Mode, scan list %s (%d entries)\n", qPrintable(script.commandLine),
                st.ScanCnt);
    std::fflush(stdout);
    // A reference for the scan database, typed into the data field.
    main.form().txtDataField->setText("JOB12");
    main.form().cmdAutoMode->click();
    QTimer::singleShot(200, &main, [&] {
      main.grab().save(picture);
      filed = !st.LastScanFile.isEmpty();
      main.close();
    });
  };
  int code = RunWorkstation(1, argv, &script);
  return code != 0 ? code : (filed ? 0 : 1);
}
