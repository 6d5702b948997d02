// The scripted operator: usage
//   varnel_operator [--view] [--print] [--edit] STATIONFOLDER SCANLIST PICTURE.png
// Runs the real workstation in STATIONFOLDER (the folder that holds
// Varnel.Ini, Windows-style or host path) with SCANLIST as its command line,
// offscreen where there is no display. Once the main window is up it ticks
// the image options named (View Image, Auto Set Print, Edit Image), presses
// Auto Mode with a reference in the data field, as a person would, answers
// every message box (Yes to a question, so a journalled list is resumed),
// writes a picture of the window when the run has ended and closes the
// window.
#include <QCheckBox>
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
  // The image options to tick, before the three names.
  QStringList options;
  int first = 1;
  while (first < argc && QString::fromLocal8Bit(argv[first]).startsWith("--"))
    options << QString::fromLocal8Bit(argv[first++]);
  const QStringList known{"--view", "--print", "--edit"};
  bool good = argc - first == 3;
  for (const QString& option : options) good = good && known.contains(option);
  if (!good) {
    std::fprintf(stderr, "usage: varnel_operator [--view] [--print] [--edit] STATIONFOLDER SCANLIST PICTURE.png\n");
    return 2;
  }
  char** names = argv + first - 1;  // names[1] to names[3]
  auto windowsName = [](const char* arg) {
    QString name = QString::fromLocal8Bit(arg);
    return name.startsWith('/') ? WindowsPath(name) : name;
  };
  const QString picture = QString::fromLocal8Bit(names[3]);

  ReadingOperator prompts;
  bool filed = false;
  WorkstationScript script;
  script.programFolder = windowsName(names[1]);
  script.commandLine = windowsName(names[2]);
  script.prompts = &prompts;
  // The operator presses Auto Mode once the window is up, looks at the window
  // when the run has ended, and closes it.
  script.shown = [&](frmMain& main, Station& st) {
    std::printf("Operator: Auto Mode, scan list %s (%d entries)\n", qPrintable(script.commandLine),
                st.ScanCnt);
    std::fflush(stdout);
    Form& f = main.form();
    const std::pair<const char*, QCheckBox*> boxes[] = {
        {"--view", f.chkViewFlag}, {"--print", f.chkAutoSetPrint}, {"--edit", f.chkEditFlag}};
    for (const auto& [option, box] : boxes)
      if (options.contains(option) && !box->isChecked()) box->click();
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
