#include "varnel/ui/workstation.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include "varnel/core/hostfiles.h"
#include "varnel/core/qtprocess.h"
#include "varnel/core/qttaskwindows.h"
#include "varnel/core/strings.h"
#include "varnel/pipeline/print.h"
#include "varnel/pipeline/printhost.h"
#include "varnel/files/inputbox.h"
#include "varnel/ui/statusbox.h"
#include "varnel/ui/frmmain.h"
#include "varnel/ui/instance.h"
#include "varnel/ui/qtprompts.h"
#include "varnel/ui/splash.h"

namespace varnel {

int RunWorkstation(int argc, char** argv, const WorkstationScript* script) {
  QApplication app(argc, argv);
  // The application's title names the program and its settings.
  QApplication::setApplicationName(LoadResString(resAppTitle));
  QApplication::setApplicationVersion(kProgramVersion);

  // A workstation already running is brought to the front; this one ends.
  SingleInstance instance("varnel");
  if (!script && instance.HandOver()) return 0;

  QtPrompts prompts;
  Prompts* answers = script && script->prompts ? script->prompts : &prompts;
  QtProcessHost processes;
  QtEventPump pump;
  QtTaskWindows tasks;
  ProcessHost* children = script && script->processes ? script->processes : &processes;
  TaskWindows* viewer = script && script->tasks ? script->tasks : &tasks;
  Station st(Seams{answers, children, &pump, nullptr, nullptr, viewer});
  frmMain main(st);
  QtInputDialogs inputs(&main);
  StatusBox status(st, &main);
  status.onRescanKey = [&main] { RescanPrevious(main.road()); };
  status.onWindowClose = [&main] { main.close(); };
  st.seams.windows = &main;
  st.seams.status = &status;
  // No window list on this host: a running unattended-print program is its window.
  ProcessWindowList topWindows(
      [&st](const QString& title) { return title == kUnattendTitle ? st.UnattendExe : QString(); });
  st.seams.topWindows = &topWindows;
  st.seams.inputs = &inputs;
  prompts.SetParent(&main);
  if (!script) instance.SetWindow(&main);
  // The auto-mode prompt is the status window while auto mode runs.
  main.SetAutoModeWindowShown([&st] { return st.AutoModeOn && st.MessageBoxUp; });

  // The splash, drawn before the load begins.
  QPointer<frmSplash> splash = new frmSplash;
  prompts.SetBeforeBox([&splash] {
    if (splash) splash->hide();
  });
  splash->show();
  main.SetSplash(splash);
  main.ShowSplashStatus(LoadResString(resLoading));
  QApplication::processEvents();

  // The main window; its load may end the program.
  QString commandLine =
      script ? script->commandLine : QApplication::arguments().mid(1).join(' ');
  bool terminate = false;
  // The station folder (Varnel.Ini, the log, the schemes) is the program's
  // own, unless JUX_STATION_DIR names another (an installed workstation).
  QString stationDir = qEnvironmentVariable("JUX_STATION_DIR");
  if (stationDir.isEmpty()) stationDir = QApplication::applicationDirPath();
  QString programFolder = script && !script->programFolder.isEmpty() ? script->programFolder
                                                                      : WindowsPath(stationDir);
  bool loaded = main.Form_Load(programFolder, commandLine, terminate);
  // The splash goes once the window is loaded (or has given up).
  delete splash.data();
  if (!loaded) {
    if (terminate) main.Form_Terminate();
    return 0;
  }
  if (script && script->shown) QTimer::singleShot(300, &main, [&] { script->shown(main, st); });
  int code = app.exec();
  main.Form_Terminate();
  return code;
}

}  // namespace varnel
