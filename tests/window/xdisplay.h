// Test support for the window tests: a virtual X display of the tests' own
// with a window manager on it, and what an operator's hands and eyes do there
// (keys typed with xdotool, windows looked at with xwininfo and xprop).
//
//   XDisplay display(logFolder);                // Xvfb and openbox, ready
//   std::string id = FindWindow(display, "^JUX Tarvex$", pid);
//   TypeKeys(display, id, {"alt+p"});            // real key events
//   WindowInfo w = Window(display, id);          // mapped?  where?  minimised?
//
// Every waiting call polls its condition until a deadline; nothing waits a
// fixed time. Failures outside the test's control throw std::runtime_error.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/simcard.h"

namespace window_test {

// The programs the window tests need that are not on PATH (empty: all there).
std::vector<std::string> MissingTools();

// Polls `condition` every 50 ms until it holds (true) or `timeoutMs` passed (false).
bool WaitFor(const std::function<bool()>& condition, int timeoutMs);

// Xvfb on the first free display of the tests' range and openbox on it. The
// display is claimed with a lock file in /tmp, so test programs run side by
// side never share one. JUX_TEST_DISPLAYS ("75,180-199", the default) names
// the numbers to try.
class XDisplay {
 public:
  // Logs of the server and the window manager go into logFolder.
  explicit XDisplay(const std::string& logFolder, bool windowManager = true);
  ~XDisplay();
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;

  const std::string& Name() const { return name_; }  // ":75"

 private:
  bool TryNumber(int number, const std::string& logFolder);
  void Stop();
  std::string name_;
  int lockFd_ = -1;
  std::unique_ptr<simcard::Process> server_, manager_;
};

// A program started with its standard output and error appended to a log file.
std::unique_ptr<simcard::Process> StartLogged(const std::string& program,
                                              const std::vector<std::string>& args,
                                              const std::string& log,
                                              const simcard::RunOptions& options);

// Runs a tool (xdotool, xwininfo, xprop) on the display.
simcard::RunResult Tool(const XDisplay& display, const std::string& tool,
                        const std::vector<std::string>& args);

struct WindowInfo {
  bool exists = false;
  bool viewable = false;   // mapped and shown
  bool minimised = false;  // iconic, or hidden by the window manager
  int x = 0, y = 0, width = 0, height = 0;          // the inside, on the screen
  int frameLeft = 0, frameTop = 0, frameRight = 0, frameBottom = 0;  // the manager's frame
};

WindowInfo Window(const XDisplay& display, const std::string& id);

// The window that has the keyboard focus, as the window manager says.
std::string ActiveWindow(const XDisplay& display);

// The visible window of process `pid` whose title matches the regular
// expression and whose type is `type` ("NORMAL" for a main window, "DIALOG"
// for a message box; a splash window is neither), waited for up to
// timeoutMs; empty when none showed.
std::string FindWindow(const XDisplay& display, const std::string& title, int pid,
                       const std::string& type, int timeoutMs);

// Brings the window to the front with the keyboard focus, then types each key
// (xdotool notation: "alt+p", "Escape") as real key presses and releases.
void TypeKeys(const XDisplay& display, const std::string& id, const std::vector<std::string>& keys);

}  // namespace window_test
