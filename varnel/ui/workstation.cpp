#include "varnel/ui/workstation.h"

#include <QApplication>

#include "varnel/core/hostfiles.h"
#include "varnel/core/qtprocess.h"
#include "varnel/core/qttaskwindows.h"
#include "varnel/core/strings.h"
#include "varnel/pipeline/print.h"
#include "varnel/pipeline/printhost.h"
#include "varnel/pipeline/statusbox.h"
#include "varnel/ui/frmmain.h"
#include "varnel/ui/qtprompts.h"

namespace varnel {

int RunWorkstation(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(LoadResString(resAppTitle));
  QApplication::setApplicationVersion(kProgramVersion);

  QtPrompts prompts;
  QtProcessHost processes;
  QtEventPump pump;
  QtTaskWindows tasks;
  Station st(Seams{&prompts, &processes, &pump, nullptr, nullptr, &tasks});
  frmMain main(st);
  StatusBox status(st, &main);
  st.seams.windows = &main;
  st.seams.status = &status;
  // No window list on this host: a running unattended-print program is its window.
  ProcessWindowList topWindows(
      [&st](const QString& title) { return title == kUnattendTitle ? st.UnattendExe : QString(); });
  st.seams.topWindows = &topWindows;
  prompts.SetParent(&main);

  // The scan list file named on the command line, as one text.
  QString commandLine = QApplication::arguments().mid(1).join(' ');
  bool terminate = false;
  QString programFolder = WindowsPath(QApplication::applicationDirPath());
  if (!main.Form_Load(programFolder, commandLine, terminate)) {
    if (terminate) main.Form_Terminate();
    return 0;
  }
  int code = app.exec();
  main.Form_Terminate();
  return code;
}

}  // namespace varnel
