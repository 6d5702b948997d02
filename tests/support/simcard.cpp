#include "tests/support/simcard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace simcard {

namespace {

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string ProgramPath(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  return BinDir() + "/" + program;
}

// The child's environment: ours with `overrides` set.
std::vector<std::string> ChildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
  std::map<std::string, std::string> set;  // a later entry wins
  for (const auto& [name, value] : overrides) set[name] = value;
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (set.count(entry.substr(0, entry.find('='))) == 0) env.push_back(entry);
  }
  for (const auto& [name, value] : set) env.push_back(name + "=" + value);
  return env;
}

std::vector<char*> CStrings(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (auto& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

std::string BinDir() {
  const char* env = std::getenv("JUX_BIN_DIR");
  return env != nullptr ? env : JUX_BIN_DIR;
}

// ---------------------------------------------------------------------------
// Process

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const RunOptions& options)
    : terminal_(options.terminal) {
  const std::string path = ProgramPath(program);
  if (access(path.c_str(), X_OK) != 0) throw std::runtime_error("no program " + path);
  std::vector<std::string> argv{path};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> envp = ChildEnvironment(options.env);
  std::vector<char*> argvC = CStrings(argv), envpC = CStrings(envp);

  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  int master = -1;
  std::string slaveName;
  if (terminal_) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
      throw std::runtime_error("no pseudo-terminal");
    slaveName = ptsname(master);
  } else if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 ||
             pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("no pipes");
  }

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (terminal_) {
      setsid();
      const int slave = open(slaveName.c_str(), O_RDWR);
      if (slave < 0) _exit(127);
      ioctl(slave, TIOCSCTTY, 0);
      dup2(slave, 0);
      dup2(slave, 1);
      dup2(slave, 2);
    } else {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
    }
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(127);
    execve(path.c_str(), argvC.data(), envpC.data());
    _exit(127);
  }
  if (terminal_) {
    inFd_ = outFd_ = master;
  } else {
    close(in[0]);
    close(out[1]);
    close(err[1]);
    inFd_ = in[1];
    outFd_ = out[0];
    errFd_ = err[0];
  }
  deadlineMs_ = NowMs() + options.timeoutMs;
  if (!options.input.empty()) Send(options.input);
  if (!terminal_) {
    close(inFd_);
    inFd_ = -1;
  }
}

Process::Process(Process&& other) noexcept
    : pid_(other.pid_),
      inFd_(other.inFd_),
      outFd_(other.outFd_),
      errFd_(other.errFd_),
      terminal_(other.terminal_),
      deadlineMs_(other.deadlineMs_),
      result_(std::move(other.result_)),
      done_(other.done_) {
  other.pid_ = -1;
  other.inFd_ = other.outFd_ = other.errFd_ = -1;
  other.done_ = true;
}

Process::~Process() {
  if (pid_ > 0 && !done_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
  if (inFd_ >= 0 && inFd_ != outFd_) close(inFd_);
}

void Process::Send(const std::string& bytes) {
  size_t done = 0;
  while (inFd_ >= 0 && done < bytes.size()) {
    const ssize_t n = write(inFd_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
}

// Reads what the child printed, waiting at most timeoutMs for something.
void Process::Pump(int timeoutMs) {
  pollfd fds[2];
  int count = 0;
  if (outFd_ >= 0) fds[count++] = {outFd_, POLLIN, 0};
  if (errFd_ >= 0) fds[count++] = {errFd_, POLLIN, 0};
  if (count == 0 || poll(fds, count, timeoutMs) <= 0) return;
  for (int i = 0; i < count; ++i) {
    if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    char buffer[4096];
    const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
    std::string& sink = fds[i].fd == errFd_ ? result_.err : result_.out;
    if (n > 0) {
      sink.append(buffer, static_cast<size_t>(n));
    } else {
      // End of output (a terminal reports EIO once the child is gone).
      int& fd = fds[i].fd == errFd_ ? errFd_ : outFd_;
      if (fd == inFd_) inFd_ = -1;
      close(fd);
      fd = -1;
    }
  }
}

bool Process::WaitForOutput(const std::string& text, int timeoutMs) {
  const long long until = NowMs() + timeoutMs;
  while (result_.out.find(text) == std::string::npos) {
    const long long left = until - NowMs();
    if (left <= 0 || outFd_ < 0) return result_.out.find(text) != std::string::npos;
    Pump(static_cast<int>(std::min<long long>(left, 50)));
  }
  return true;
}

RunResult Process::Wait() {
  if (done_) return result_;
  int status = 0;
  for (;;) {
    // A terminal stays readable until the child is gone, so poll its state.
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) break;
    if (NowMs() > deadlineMs_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      result_.timedOut = true;
      break;
    }
    Pump(20);
  }
  // Whatever is still buffered in the pipes or the terminal.
  for (int i = 0; i < 100 && (outFd_ >= 0 || errFd_ >= 0); ++i) Pump(terminal_ ? 5 : 50);
  result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  done_ = true;
  return result_;
}

bool Process::Running() {
  if (done_) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  for (int i = 0; i < 100 && (outFd_ >= 0 || errFd_ >= 0); ++i) Pump(terminal_ ? 5 : 50);
  result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  done_ = true;
  return false;
}

RunResult Process::Terminate(int graceMs) {
  if (!done_) {
    kill(pid_, SIGTERM);
    const long long deadline = NowMs() + graceMs;
    while (Running() && NowMs() < deadline) {
      if (outFd_ >= 0 || errFd_ >= 0)
        Pump(20);
      else
        usleep(20000);
    }
    if (!done_) {
      kill(pid_, SIGKILL);
      deadlineMs_ = 0;
      Wait();
      result_.timedOut = true;
    }
  }
  return result_;
}

RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options) {
  return Process(program, args, options).Wait();
}

// ---------------------------------------------------------------------------
// Images

bool Stripes(int x, int y) { return ((y / 8) + (x / 64)) % 2 == 0; }

std::vector<uint8_t> PackRow(const Pixels& pixel, int width, int y, size_t rowBytes) {
  std::vector<uint8_t> row(rowBytes, 0);
  for (int x = 0; x < width && static_cast<size_t>(x / 8) < rowBytes; ++x)
    if (pixel(x, y)) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  return row;
}

std::string WritePbmFile(const std::string& path, int width, int height, const Pixels& pixel) {
  std::ofstream file(path, std::ios::binary);
  file << "P4\n" << width << " " << height << "\n";
  const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
  for (int y = 0; y < height; ++y) {
    const auto row = PackRow(pixel, width, y, rowBytes);
    file.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
  }
  if (!file) throw std::runtime_error("cannot write " + path);
  return path;
}

std::vector<std::vector<uint8_t>> UnpackBits(const std::vector<uint8_t>& data, size_t rowBytes,
                                             size_t maxRows) {
  std::vector<std::vector<uint8_t>> rows;
  std::vector<uint8_t> row;
  size_t i = 0;
  auto put = [&](uint8_t b) {
    if (row.size() >= rowBytes) throw std::runtime_error("PackBits run past the row end");
    row.push_back(b);
  };
  while (i < data.size() && rows.size() < maxRows) {
    const int8_t n = static_cast<int8_t>(data[i++]);
    if (n >= 0) {
      for (int k = 0; k <= n && i < data.size(); ++k) put(data[i++]);
    } else if (n != -128 && i < data.size()) {
      const uint8_t b = data[i++];
      for (int k = 0; k < 1 - n; ++k) put(b);
    }
    if (row.size() == rowBytes) {
      rows.push_back(std::move(row));
      row.clear();
    }
  }
  if (rowBytes == 0 || !row.empty()) throw std::runtime_error("PackBits data ends inside a row");
  return rows;
}

// ---------------------------------------------------------------------------
// SimCard

SimCard::SimCard(const SimCardOptions& options) {
  std::string templ = (fs::temp_directory_path() / "simcard-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("no temporary folder");
  root_ = templ;
  dir_ = root_ + "/dev";
  scratch_ = root_ + "/c";
  fs::create_directories(dir_);
  fs::create_directories(scratch_);
  scannerDevice_ = options.devices == "split" ? "JUXDEV_S" : "JUXDEV";

  // --owner-pid: a test that crashes does not leave the card running.
  std::vector<std::string> args{"start", "--devices", options.devices, "--tick-ms",
                                std::to_string(options.tickMs), "--owner-pid",
                                std::to_string(getpid())};
  if (options.fast) args.push_back("--fast");
  if (options.buffers >= 0) args.insert(args.end(), {"--buffers", std::to_string(options.buffers)});
  if (options.bufferSize >= 0)
    args.insert(args.end(), {"--buffer-size", std::to_string(options.bufferSize)});
  const RunResult r = Juxsim(args);
  if (r.exitCode != 0) {
    fs::remove_all(root_);
    throw std::runtime_error("juxsim start failed: " + r.err);
  }
}

SimCard::~SimCard() {
  Juxsim({"stop"});
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::string SimCard::Scratch(const std::string& name) const { return scratch_ + "/" + name; }

std::vector<std::pair<std::string, std::string>> SimCard::Env() const {
  return {{"JUX_DEVICE_DIR", dir_}, {"JUX_DRIVES", "C=" + scratch_}, {"HOME", scratch_}};
}

RunResult SimCard::Juxsim(const std::vector<std::string>& args) const {
  RunOptions options;
  options.env = Env();
  options.timeoutMs = 30000;
  return simcard::Run("juxsim", args, options);
}

namespace {
void Check(const RunResult& r, const std::string& what) {
  if (r.exitCode != 0) throw std::runtime_error("juxsim " + what + ": " + r.err + r.out);
}
}  // namespace

void SimCard::Feed(const std::string& image, const std::vector<std::string>& options) {
  std::vector<std::string> args{"feed", image};
  args.insert(args.end(), options.begin(), options.end());
  Check(Juxsim(args), "feed");
}

void SimCard::PressStart() { Check(Juxsim({"press-start"}), "press-start"); }

void SimCard::Fault(const std::string& name, bool on) {
  Check(Juxsim({"fault", name, on ? "on" : "off"}), "fault " + name);
}

void SimCard::Set(const std::string& name, const std::string& value) {
  Check(Juxsim({"set", name, value}), "set " + name);
}

std::map<std::string, std::string> SimCard::Show() const {
  const RunResult r = Juxsim({"show"});
  Check(r, "show");
  std::map<std::string, std::string> fields;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) fields[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return fields;
}

std::string SimCard::Field(const std::string& name) const {
  const auto fields = Show();
  for (const std::string& key : {name, scannerDevice_ + "." + name}) {
    const auto it = fields.find(key);
    if (it != fields.end()) return it->second;
  }
  throw std::runtime_error("juxsim show has no field " + name);
}

uint64_t SimCard::Value(const std::string& name) const {
  const std::string v = Field(name);
  if (v == "on") return 1;
  if (v == "off") return 0;
  return std::strtoull(v.c_str(), nullptr, 0);
}

std::string SimCard::WritePbm(const std::string& name, int width, int height,
                              const Pixels& pixel) const {
  return WritePbmFile(Scratch(name), width, height, pixel);
}

RunResult SimCard::Run(const std::string& program, const std::vector<std::string>& args,
                       RunOptions options) const {
  const auto env = Env();
  options.env.insert(options.env.begin(), env.begin(), env.end());  // the test's own entries win
  return simcard::Run(program, args, options);
}

Process SimCard::Start(const std::string& program, const std::vector<std::string>& args,
                       RunOptions options) const {
  const auto env = Env();
  options.env.insert(options.env.begin(), env.begin(), env.end());
  return Process(program, args, options);
}

}  // namespace simcard
