#include "tests/window/xdisplay.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace window_test {
namespace {

const char* const kTools[] = {"Xvfb", "openbox", "xdotool", "xwininfo", "xprop"};

// The full path of a program on PATH; empty when it is not there.
std::string OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::string Program(const std::string& name) {
  std::string path = OnPath(name);
  if (path.empty()) throw std::runtime_error(name + " is not installed");
  return path;
}

// "75,180-199" -> 75, 180, ..., 199.
std::vector<int> Numbers(const std::string& list) {
  std::vector<int> numbers;
  std::stringstream items(list);
  std::string item;
  while (std::getline(items, item, ',')) {
    const size_t dash = item.find('-');
    const int first = std::atoi(item.substr(0, dash).c_str());
    const int last = dash == std::string::npos ? first : std::atoi(item.substr(dash + 1).c_str());
    for (int n = first; n <= last && n > 0; ++n) numbers.push_back(n);
  }
  return numbers;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace

std::vector<std::string> MissingTools() {
  std::vector<std::string> missing;
  for (const char* tool : kTools)
    if (OnPath(tool).empty()) missing.push_back(tool);
  return missing;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::unique_ptr<simcard::Process> StartLogged(const std::string& program,
                                              const std::vector<std::string>& args,
                                              const std::string& log,
                                              const simcard::RunOptions& options) {
  // The shell gives its place to the program at once: the process is the program's.
  std::vector<std::string> shellArgs{"-c", "log=$1; shift; exec \"$@\" >>\"$log\" 2>&1", "sh",
                                     log, program};
  shellArgs.insert(shellArgs.end(), args.begin(), args.end());
  simcard::RunOptions longRun = options;
  longRun.timeoutMs = 60 * 60 * 1000;
  return std::make_unique<simcard::Process>("/bin/sh", shellArgs, longRun);
}

simcard::RunResult Tool(const XDisplay& display, const std::string& tool,
                        const std::vector<std::string>& args) {
  simcard::RunOptions options;
  options.env = {{"DISPLAY", display.Name()}};
  options.timeoutMs = 20000;
  return simcard::Run(Program(tool), args, options);
}

XDisplay::XDisplay(const std::string& logFolder, bool windowManager) {
  const char* list = std::getenv("JUX_TEST_DISPLAYS");
  for (int number : Numbers(list != nullptr && *list != '\0' ? list : "75,180-199"))
    if (TryNumber(number, logFolder)) break;
  if (name_.empty()) throw std::runtime_error("no free X display number (JUX_TEST_DISPLAYS)");
  if (!windowManager) return;
  // openbox with a home of its own: no operator's settings come in.
  const std::string home = logFolder + "/openbox-home";
  fs::create_directories(home);
  simcard::RunOptions options;
  options.env = {{"DISPLAY", name_}, {"HOME", home}, {"XDG_CONFIG_HOME", home + "/config"}};
  manager_ = StartLogged(Program("openbox"), {"--sm-disable"}, logFolder + "/openbox.log", options);
  // Ready when it has announced itself on the root window.
  const bool ready = WaitFor(
      [&] {
        return Tool(*this, "xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).out.find("window id") !=
               std::string::npos;
      },
      20000);
  if (!ready) {
    Stop();
    throw std::runtime_error("openbox did not start (see openbox.log)");
  }
}

bool XDisplay::TryNumber(int number, const std::string& logFolder) {
  const std::string n = std::to_string(number);
  // Our claim first; then the X server's own signs that the display is in use.
  const std::string claim = "/tmp/.jux-test-display-" + n + ".lock";
  const int fd = open(claim.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || Exists("/tmp/.X" + n + "-lock") ||
      Exists("/tmp/.X11-unix/X" + n)) {
    close(fd);
    return false;
  }
  lockFd_ = fd;
  name_ = ":" + n;
  server_ = StartLogged(Program("Xvfb"),
                        {name_, "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-dpi", "96", "-noreset"},
                        logFolder + "/Xvfb.log", {});
  const bool ready = WaitFor(
      [&] { return !server_->Running() || Tool(*this, "xprop", {"-root"}).exitCode == 0; }, 20000);
  if (ready && server_->Running()) return true;
  server_.reset();
  name_.clear();
  close(lockFd_);
  lockFd_ = -1;
  return false;
}

void XDisplay::Stop() {
  if (manager_) manager_->Terminate();
  manager_.reset();
  // Ended by a signal it handles, the server removes its lock and socket.
  if (server_) server_->Terminate();
  server_.reset();
  if (lockFd_ >= 0) close(lockFd_);
  lockFd_ = -1;
}

XDisplay::~XDisplay() { Stop(); }

WindowInfo Window(const XDisplay& display, const std::string& id) {
  WindowInfo w;
  simcard::RunResult info = Tool(display, "xwininfo", {"-id", id});
  if (info.exitCode != 0) return w;
  w.exists = true;
  auto number = [&](const std::string& label) {
    const size_t at = info.out.find(label);
    return at == std::string::npos ? 0 : std::atoi(info.out.c_str() + at + label.size());
  };
  w.x = number("Absolute upper-left X:");
  w.y = number("Absolute upper-left Y:");
  w.width = number("Width:");
  w.height = number("Height:");
  w.viewable = info.out.find("Map State: IsViewable") != std::string::npos;
  simcard::RunResult props =
      Tool(display, "xprop", {"-id", id, "WM_STATE", "_NET_WM_STATE", "_NET_FRAME_EXTENTS"});
  w.minimised = props.out.find("Iconic") != std::string::npos ||
                props.out.find("_NET_WM_STATE_HIDDEN") != std::string::npos;
  std::smatch extents;
  static const std::regex kExtents(R"(_NET_FRAME_EXTENTS\(CARDINAL\) = (\d+), (\d+), (\d+), (\d+))");
  if (std::regex_search(props.out, extents, kExtents)) {
    w.frameLeft = std::stoi(extents[1]);
    w.frameRight = std::stoi(extents[2]);
    w.frameTop = std::stoi(extents[3]);
    w.frameBottom = std::stoi(extents[4]);
  }
  return w;
}

std::string ActiveWindow(const XDisplay& display) {
  std::string active = Tool(display, "xdotool", {"getactivewindow"}).out;
  return active.substr(0, active.find('\n'));
}

std::string FindWindow(const XDisplay& display, const std::string& title, int pid,
                       const std::string& type, int timeoutMs) {
  std::string found;
  WaitFor(
      [&] {
        simcard::RunResult r = Tool(display, "xdotool",
                                    {"search", "--all", "--onlyvisible", "--pid",
                                     std::to_string(pid), "--name", title});
        std::stringstream ids(r.out);
        while (ids >> found) {
          if (Tool(display, "xdotool", {"getwindowpid", found}).out != std::to_string(pid) + "\n")
            continue;
          simcard::RunResult types = Tool(display, "xprop", {"-id", found, "_NET_WM_WINDOW_TYPE"});
          if (types.out.find("_NET_WM_WINDOW_TYPE_" + type) != std::string::npos) return true;
        }
        found.clear();
        return false;
      },
      timeoutMs);
  return found;
}

void TypeKeys(const XDisplay& display, const std::string& id, const std::vector<std::string>& keys) {
  simcard::RunResult activated = Tool(display, "xdotool", {"windowactivate", "--sync", id});
  if (activated.exitCode != 0)
    throw std::runtime_error("window " + id + " cannot be activated: " + activated.err);
  for (const std::string& key : keys) {
    simcard::RunResult typed = Tool(display, "xdotool", {"key", "--clearmodifiers", key});
    if (typed.exitCode != 0) throw std::runtime_error("xdotool key " + key + ": " + typed.err);
  }
}

}  // namespace window_test
