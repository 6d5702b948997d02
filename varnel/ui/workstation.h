#pragma once

namespace varnel {

// The workstation program: wires the Qt seams, loads the main window, runs
// until it closes and ends the run. Returns the exit code.
int RunWorkstation(int argc, char** argv);

}  // namespace varnel
