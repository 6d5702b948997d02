// The child-program runner: every program the workstation starts (juxscan,
// juxstat, the converters, the viewer, the print tools) goes through Execute.
// Callers judge a run by the files it leaves; the exit code of a child waited
// for to its end is kept in LastExitCode for those that can tell more by it
// (the scan road names why a scan was not finished).
#pragma once

#include <QString>

#include "varnel/core/station.h"

namespace varnel {

// What happens to a child whose wait is given up (ESC, or a wait that fails).
// A converter is ended, so that it cannot write its output after the
// workstation has moved on. juxscan is left to end through the channel reset;
// while the window is being closed (CloseRequested) that end is awaited, and
// forced when the reset does not bring it, so that no scan outlives the
// workstation.
enum class OnAbort { LeaveRunning, End, EndThroughReset };

// Checks that ExePath exists, logs the command and runs it. For the viewer
// (ExePath equal to ViewExe) it starts it, lets AutoModeViewDelayTime pass and
// returns without waiting for it. Result: true when a child was run to its end.
void Execute(Station& st, const QString& Args, const QString& ExePath, bool& Result,
             OnAbort onAbort = OnAbort::LeaveRunning);

// Starts "ExePath" Args hidden and waits for it in 500 ms steps while window
// events run. AbortRequested, or a wait that fails, ends the wait with false;
// with the scanner attached the scanner channel is then reset (StatusExe /F /S,
// not waited for). The child is ended only with OnAbort::End, and with
// OnAbort::EndThroughReset during a close when the reset does not end it. Sets
// LastExitCode.
bool RunAndWait(Station& st, const QString& Args, const QString& ExePath,
                OnAbort onAbort = OnAbort::LeaveRunning);

// Starts StatusExe with " /F /S": juxstat forces a reset of the scanner channel.
// Returns its task id (0 when it could not be started).
qint64 StartScannerReset(Station& st);

}  // namespace varnel
