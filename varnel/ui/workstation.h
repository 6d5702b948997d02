#pragma once

#include <QString>
#include <functional>

namespace varnel {

class frmMain;
class Prompts;
class ProcessHost;
class TaskWindows;
struct Station;

// A run of the workstation driven by a program instead of a person (the
// scripted operator): its message boxes are answered by `prompts`, the
// program folder and command line are given, and `shown` runs once the main
// window is up. A scripted run does not take part in the single-instance rule.
struct WorkstationScript {
  QString programFolder;  // Windows-style folder that holds Varnel.Ini
  QString commandLine;    // the scan list file, as on the command line
  Prompts* prompts = nullptr;
  // The child programs and the viewer's window, when the script watches them
  // (a benchmark times them); else the host's own.
  ProcessHost* processes = nullptr;
  TaskWindows* tasks = nullptr;
  std::function<void(frmMain&, Station&)> shown;
};

// The workstation program: wires the Qt seams, loads the main window, runs
// until it closes and ends the run. Returns the exit code.
int RunWorkstation(int argc, char** argv, const WorkstationScript* script = nullptr);

}  // namespace varnel
