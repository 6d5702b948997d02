#include "varnel/core/runner.h"

#include <QFile>
#include <algorithm>
#include <cmath>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/strings.h"

namespace varnel {
namespace {

constexpr int kWaitStepMs = 500;

// "-@ <list file>": with debugging on, the first line of the list file is logged.
void LogResponseFile(const Station& st, const QString& Args) {
  qsizetype at = Args.indexOf("-@");
  if (at < 0) return;
  QString listFile = Args.mid(at + 3);
  QFile file(HostPath(listFile));
  QString first;
  if (file.open(QIODevice::ReadOnly)) {
    first = QString::fromLocal8Bit(file.readLine());
    while (first.endsWith('\n') || first.endsWith('\r')) first.chop(1);
  } else {
    first = "(cannot be read)";
  }
  WriteLog(st, 0, listFile + ": " + first);
}

qint64 ShellLogged(Station& st, const QString& commandLine, ShellWindow window) {
  qint64 task = st.seams.processes->Shell(commandLine, window);
  if (task == 0) WriteLog(st, 0, commandLine + " - could not be started");
  return task;
}

// True when the task has ended (or is unknown) within the given wait steps.
bool EndsWithin(Station& st, qint64 task, int steps) {
  for (int i = 0; i < steps; ++i)
    if (st.seams.processes->WaitForTask(task, kWaitStepMs) != WaitResult::TimedOut) return true;
  return false;
}

// The window closes after an aborted scan: the scan that the channel reset
// ends, and the reset itself, are seen to their end. A scan that was still
// starting when the channel was reset takes it again and waits for its sheet;
// it gets a second reset once the first is done (two at once would leave the
// channel down). A scan that still runs then is ended.
void AwaitEndThroughReset(Station& st, qint64 scan, qint64 reset) {
  constexpr int kScanSteps = 4, kResetSteps = 10;
  const bool hardware = st.HardwareConnect == "YES";
  if (!EndsWithin(st, scan, kScanSteps)) {
    if (hardware) {
      EndsWithin(st, reset, kResetSteps);
      reset = StartScannerReset(st);
    }
    if (!EndsWithin(st, scan, kScanSteps)) {
      WriteLog(st, 0, "The scan did not end at the channel reset and was ended");
      st.seams.processes->EndTask(scan);
    }
  }
  EndsWithin(st, reset, kResetSteps);
}

}  // namespace

qint64 StartScannerReset(Station& st) {
  return ShellLogged(st, st.StatusExe + " /F /S", ShellWindow::MinimizedFocus);
}

void Execute(Station& st, const QString& Args, const QString& ExePath, bool& Result,
             OnAbort onAbort) {
  Result = false;
  st.LastExitCode.reset();
  // The program must be there.
  if (!FileExists(ExePath)) {
    ShowError(st, ExePath + " " + LoadResString(resNotFound));
    return;
  }
  // Log what is run.
  if (st.DebugFlag) LogResponseFile(st, Args);
  WriteLog(st, 0, ExePath + " " + Args);

  // The viewer stays up; the workstation only gives the operator time to look.
  if (ExePath == st.ViewExe) {
    st.ViewerTaskId = ShellLogged(st, ExePath + " " + Args, ShellWindow::MaximizedFocus);
    // At most a day: a mistyped delay must not freeze the workstation for good.
    double seconds = std::min(double(st.AutoModeViewDelayTime), 86400.0);
    if (seconds > 0) st.seams.pump->Pause(static_cast<int>(std::lround(seconds * 1000.0)));
    if (st.AutoModeViewDelayTime == 0) st.StayingViewerTaskId = st.ViewerTaskId;
    return;
  }
  // Everything else is waited for.
  Result = RunAndWait(st, Args, ExePath, onAbort);
}

bool RunAndWait(Station& st, const QString& Args, const QString& ExePath, OnAbort onAbort) {
  st.LastExitCode.reset();
  WindowHooks& windows = *st.seams.windows;
  windows.SetMousePointer(kHourglass);
  windows.SetMainEnabled(false);

  qint64 task = st.seams.processes->Shell("\"" + ExePath + "\" " + Args, ShellWindow::Hide);
  bool result = true;
  std::optional<int> exitCode;
  for (;;) {
    WaitResult wait = st.seams.processes->WaitForTask(task, kWaitStepMs);
    if (wait == WaitResult::Failed || st.AbortRequested) {
      if (onAbort == OnAbort::End && wait != WaitResult::Failed) st.seams.processes->EndTask(task);
      // A scan that waits for the operator's start ends when its channel is reset.
      qint64 reset = st.HardwareConnect == "YES" ? StartScannerReset(st) : 0;
      if (onAbort == OnAbort::EndThroughReset && st.CloseRequested && wait != WaitResult::Failed)
        AwaitEndThroughReset(st, task, reset);
      result = false;
      break;
    }
    if (wait == WaitResult::Ended) exitCode = st.seams.processes->ExitCode(task);
    st.seams.pump->DoEvents();
    if (wait != WaitResult::TimedOut) break;
  }

  windows.SetMainEnabled(true);
  windows.SetMousePointer(kDefaultPointer);
  st.LastExitCode = exitCode;
  return result;
}

}  // namespace varnel
