// The child-program runner: every program the workstation starts (juxscan,
// juxstat, the converters, the viewer, the print tools) goes through Execute.
// The exit code is never read; callers judge a run by the files it leaves.
#pragma once

#include <QString>

#include "varnel/core/station.h"

namespace varnel {

// Checks that ExePath exists, logs the command and runs it. For the viewer
// (ExePath equal to ViewExe) it starts it, lets AutoModeViewDelayTime pass and
// returns without waiting for it. windowStyle is accepted for the callers and
// not used. Result: true when a child was run to its end.
void Execute(Station& st, const QString& Args, const QString& ExePath, int windowStyle,
             bool& Result);

// Starts "ExePath" Args hidden and waits for it in 500 ms steps while window
// events run. AbortRequested, or a wait that fails, ends the wait with false;
// with the scanner attached the scanner channel is then reset (StatusExe /F /S,
// not waited for). The child itself is never killed.
bool RunAndWait(Station& st, const QString& Args, const QString& ExePath);

// Starts StatusExe with " /F /S": juxstat forces a reset of the scanner channel.
void StartScannerReset(Station& st);

}  // namespace varnel
