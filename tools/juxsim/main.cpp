// juxsim: the simulated interface card. A daemon that serves the device files
// of a device folder, and the commands that start, stop and steer it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tools/juxsim/card.h"

namespace {

using juxsim::Card;
using juxsim::CardOptions;
using juxsim::Clock;

constexpr const char* kUsage =
    "usage: juxsim [--dir D] COMMAND\n"
    "  start [--devices combined|split] [--tick-ms N] [--fast] [--buffers N] [--buffer-size B]\n"
    "        [--owner-pid P]\n"
    "                         start the card in the background; returns when the devices are ready;\n"
    "                         with --owner-pid it ends by itself once process P is gone\n"
    "  serve [same options]   the same in the foreground (ends on Ctrl-C)\n"
    "  stop                   stop the card; returns when it is gone and its files are removed\n"
    "  feed IMAGE|FOLDER [--width-code N] [--ansi|--metric] [--start-after MS] [--start-on-ask MS]\n"
    "                         put a document (PBM or 1-bit TIFF) into the scanner; a folder\n"
    "                         stacks its images (name order), one document per scan;\n"
    "                         --start-on-ask: Start is pressed MS after a scan waits for it\n"
    "  press-start            the operator presses Start at the scanner\n"
    "  width CODE             the scanner reports a new width code (0-15) for its document,\n"
    "                         also during a scan (IntrptStat0 bit 0x0400)\n"
    "  fault [NAME on|off]    switch a fault (without arguments: list them)\n"
    "  set [NAME VALUE]       change a setting (without arguments: list them)\n"
    "  show                   the record of every device, the registers, the controllers\n"
    "  sample FILE            write the sample drawing as a PBM file\n"
    "The device folder is D, else JUX_DEVICE_DIR, else /tmp/jux-<uid>.\n";

constexpr const char* kSocketName = "juxsim.sock";
constexpr const char* kPidName = "juxsim.pid";
const char* const kDeviceNames[] = {"JUXDEV", "JUXDEV_S", "JUXDEV_P"};

volatile sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

int Fail(const std::string& message, int code = 1) {
  std::cerr << "juxsim: " << message << "\n";
  return code;
}

std::string DefaultDir() { return "/tmp/jux-" + std::to_string(getuid()); }

// The device folder as an absolute path; only the per-user default is
// created when missing.
bool ResolveDir(const std::string& given, std::string* dir, std::string* error) {
  std::string d = given;
  if (d.empty()) {
    const char* env = std::getenv("JUX_DEVICE_DIR");
    d = env != nullptr && *env != '\0' ? env : "";
  }
  if (d.empty()) {
    d = DefaultDir();
    if (mkdir(d.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = "cannot create device folder " + d + ": " + std::strerror(errno);
      return false;
    }
  }
  char* real = realpath(d.c_str(), nullptr);
  struct stat st {};
  if (real == nullptr || stat(real, &st) != 0) {
    std::free(real);
    *error = "device folder " + d + " does not exist";
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    std::free(real);
    *error = "device folder " + d + " is not a folder";
    return false;
  }
  *dir = real;
  std::free(real);
  return true;
}

bool SocketAddress(const std::string& dir, sockaddr_un* address, std::string* error) {
  const std::string path = dir + "/" + kSocketName;
  *address = {};
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) {
    *error = "device folder path too long for the control socket: " + dir;
    return false;
  }
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// The folder lock: held by the running daemon for its whole life and freed
// by the system when it ends, however it ends.
int TryLockDir(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string RunningPid(const std::string& dir) {
  std::ifstream file(dir + "/" + kPidName);
  std::string pid;
  file >> pid;
  return pid.empty() ? "?" : pid;
}

// Files of a daemon that died without cleaning up.
void RemoveLeftovers(const std::string& dir) {
  for (const char* name : kDeviceNames) {
    unlink((dir + "/" + name).c_str());
    unlink((dir + "/" + name + ".new").c_str());
  }
  unlink((dir + "/" + kSocketName).c_str());
  unlink((dir + "/" + kPidName).c_str());
}

bool LeftoversPresent(const std::string& dir) {
  for (const char* name : kDeviceNames)
    if (access((dir + "/" + name).c_str(), F_OK) == 0) return true;
  return access((dir + "/" + kSocketName).c_str(), F_OK) == 0 ||
         access((dir + "/" + kPidName).c_str(), F_OK) == 0;
}

// ---------------------------------------------------------------------------
// Daemon

struct ServeOptions {
  CardOptions card;
  pid_t ownerPid = 0;  // stop when this process is gone (a test that crashed)
};

bool ParseServeOptions(const std::vector<std::string>& args, ServeOptions* o, std::string* error) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    char* end = nullptr;
    const long v = hasValue ? std::strtol(args[i + 1].c_str(), &end, 10) : 0;
    const bool number = hasValue && !args[i + 1].empty() && *end == '\0';
    if (a == "--fast") {
      o->card.fast = true;
    } else if (a == "--devices" && hasValue && (args[i + 1] == "combined" || args[i + 1] == "split")) {
      o->card.split = args[++i] == "split";
    } else if (a == "--tick-ms" && number && v >= 1 && v <= 1000) {
      o->card.tickMs = static_cast<int>(v);
      ++i;
    } else if (a == "--buffers" && number && v >= 0 && v <= kMaxBuffers) {
      o->card.buffers = static_cast<uint32_t>(v);
      ++i;
    } else if (a == "--owner-pid" && number && v > 0) {
      o->ownerPid = static_cast<pid_t>(v);
      ++i;
    } else if (a == "--buffer-size" && number && v >= 4096 && v <= (1 << 24) && v % 4096 == 0) {
      o->card.bufferSize = static_cast<uint32_t>(v);
      ++i;
    } else {
      *error = "bad option '" + a + (hasValue ? " " + args[i + 1] : "") +
               "' (--devices combined|split, --tick-ms 1-1000, --fast, --buffers 0-20, "
               "--buffer-size 4096-16777216 in steps of 4096, --owner-pid PID)";
      return false;
    }
  }
  return true;
}

// Reads a request (arguments separated by NUL) and answers "<code>\n<text>".
// Returns true when the request was `stop`.
bool HandleRequest(int fd, Card& card) {
  timeval timeout{2, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string request;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) request.append(buffer, static_cast<size_t>(n));
  std::vector<std::string> args;
  size_t start = 0;
  for (size_t i = 0; i < request.size(); ++i)
    if (request[i] == '\0') {
      args.push_back(request.substr(start, i - start));
      start = i + 1;
    }
  const bool stop = !args.empty() && args[0] == "stop";
  const juxsim::Reply reply = stop ? juxsim::Reply{} : card.Control(args, Clock::now());
  const std::string answer = std::to_string(reply.code) + "\n" + reply.text;
  size_t done = 0;
  while (done < answer.size() && (n = write(fd, answer.data() + done, answer.size() - done)) > 0)
    done += static_cast<size_t>(n);
  return stop;
}

// Runs the card in `dir` until stopped. `ready` (a pipe, or -1 in the
// foreground) receives "ok" once the devices are there, or the error.
int Serve(const std::string& dir, const ServeOptions& options, int ready) {
  auto report = [&](const std::string& message) {
    if (ready >= 0) {
      const std::string text = message + "\n";
      if (write(ready, text.data(), text.size()) < 0) {
      }
      close(ready);
      ready = -1;
    } else if (message != "ok") {
      std::cerr << "juxsim: " << message << "\n";
    }
  };
  const int lock = TryLockDir(dir);
  if (lock < 0) {
    report("already running in " + dir + " (pid " + RunningPid(dir) + ")");
    return 1;
  }
  RemoveLeftovers(dir);

  std::string error;
  Card card;
  sockaddr_un address{};
  int listener = -1;
  if (card.Create(dir, options.card, &error) && SocketAddress(dir, &address, &error)) {
    listener = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 16) != 0)
      error = "cannot open the control socket in " + dir + ": " + std::strerror(errno);
  }
  if (error.empty()) {
    const std::string pidTemp = dir + "/" + kPidName + ".new";
    std::ofstream(pidTemp) << getpid() << "\n";
    if (std::rename(pidTemp.c_str(), (dir + "/" + kPidName).c_str()) != 0)
      error = "cannot write the pid file in " + dir;
  }
  if (error.empty()) card.Publish(&error);
  if (!error.empty()) {
    card.Remove();
    if (listener >= 0) close(listener);
    RemoveLeftovers(dir);
    report(error);
    close(lock);
    return 1;
  }

  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  signal(SIGPIPE, SIG_IGN);
  report("ok");
  if (ready < 0) std::cout << "juxsim: serving " << dir << std::endl;

  bool stop = false;
  auto ownerCheck = Clock::now();
  while (!stop && !stopRequested) {
    const auto now = Clock::now();
    card.Step(now);
    if (options.ownerPid > 0 && now - ownerCheck > std::chrono::milliseconds(500)) {
      ownerCheck = now;
      if (kill(options.ownerPid, 0) != 0 && errno == ESRCH) break;
    }
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, 1) > 0) {
      const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        stop = HandleRequest(client, card);
        // Files go before the answer is complete, so that `stop` finds them gone.
        if (stop) {
          card.Remove();
          RemoveLeftovers(dir);
        }
        close(client);
      }
    }
  }
  card.Remove();
  close(listener);
  RemoveLeftovers(dir);
  close(lock);
  return 0;
}

int Start(const std::string& dir, const ServeOptions& options) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return Fail("cannot start: no pipe");
  std::cout.flush();
  const pid_t child = fork();
  if (child < 0) return Fail("cannot start: fork failed");
  if (child == 0) {
    // Detach: a new session, and a grandchild that init adopts.
    setsid();
    if (fork() != 0) _exit(0);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    for (int fd = 3; fd < 1024; ++fd)
      if (fd != pipeFds[1]) close(fd);
    _exit(Serve(dir, options, pipeFds[1]));
  }
  close(pipeFds[1]);
  waitpid(child, nullptr, 0);
  std::string answer;
  char buffer[512];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) answer.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  while (!answer.empty() && answer.back() == '\n') answer.pop_back();
  if (answer == "ok") return 0;
  return Fail(answer.empty() ? "the card did not start" : answer);
}

// ---------------------------------------------------------------------------
// Client

// Sends a request to the daemon; prints its answer; returns its code.
int Request(const std::string& dir, const std::vector<std::string>& args) {
  sockaddr_un address{};
  std::string error;
  if (!SocketAddress(dir, &address, &error)) return Fail(error);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) close(fd);
    return Fail("not running in " + dir);
  }
  std::string request;
  for (const auto& a : args) request += a + '\0';
  if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
    close(fd);
    return Fail("the card did not take the request");
  }
  shutdown(fd, SHUT_WR);
  std::string answer;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) answer.append(buffer, static_cast<size_t>(n));
  close(fd);
  const size_t newline = answer.find('\n');
  if (newline == std::string::npos) return Fail("no answer from the card");
  const int code = std::atoi(answer.substr(0, newline).c_str());
  const std::string text = answer.substr(newline + 1);
  if (code == 0)
    std::cout << text;
  else
    std::cerr << "juxsim: " << text << "\n";
  return code;
}

int Stop(const std::string& dir) {
  const int lock = TryLockDir(dir);
  if (lock >= 0) {  // no daemon
    const bool leftovers = LeftoversPresent(dir);
    RemoveLeftovers(dir);
    close(lock);
    if (leftovers) {
      std::cerr << "juxsim: removed the files of a card that had ended without them\n";
      return 0;
    }
    return Fail("not running in " + dir);
  }
  const int code = Request(dir, {"stop"});
  if (code != 0) return code;
  // Gone when the folder lock is free: the process has ended.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  for (;;) {
    const int l = TryLockDir(dir);
    if (l >= 0) {
      close(l);
      break;
    }
    if (Clock::now() > deadline) return Fail("the card in " + dir + " did not end");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return LeftoversPresent(dir) ? Fail("files of the card are left in " + dir) : 0;
}

int Sample(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("sample FILE expected", 2);
  std::string error;
  if (!juxsim::WritePbm(args[1], juxsim::SampleDrawing(), &error)) return Fail(error);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  std::string dirOption;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--dir") {
      if (i + 1 >= argc) return Fail("--dir needs a folder", 2);
      dirOption = argv[++i];
    } else {
      args.push_back(a);
    }
  }
  if (args.empty() || args[0] == "help" || args[0] == "--help") {
    std::cout << kUsage;
    return args.empty() ? 2 : 0;
  }
  const std::string command = args[0];
  if (command == "sample") return Sample(args);

  std::string dir, error;
  if (!ResolveDir(dirOption, &dir, &error)) return Fail(error);

  if (command == "start" || command == "serve") {
    ServeOptions options;
    if (!ParseServeOptions(args, &options, &error)) return Fail(error, 2);
    return command == "start" ? Start(dir, options) : Serve(dir, options, -1);
  }
  if (command == "stop") return Stop(dir);
  if (command == "feed") {
    // The daemon has another working folder: name the image absolutely.
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i].rfind("--", 0) == 0) {
        if (args[i] != "--ansi" && args[i] != "--metric") ++i;  // options with a value
        continue;
      }
      if (!args[i].empty() && args[i][0] != '/') {
        char* cwd = getcwd(nullptr, 0);
        if (cwd != nullptr) args[i] = std::string(cwd) + "/" + args[i];
        std::free(cwd);
      }
    }
    return Request(dir, args);
  }
  if (command == "press-start" || command == "width" || command == "fault" || command == "set" || command == "show")
    return Request(dir, args);
  return Fail("unknown command '" + command + "' (juxsim help lists the commands)", 2);
}
