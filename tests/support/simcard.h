// Test support (no GoogleTest in here): run the station's programs as
// processes, and a simulated card (juxsim) in a device folder of the test's
// own.
//
//   simcard::SimCard card;                       // juxsim started, devices ready
//   card.Feed(card.WritePbm("a.pbm", 64, 32, simcard::Stripes));
//   auto scan = card.Start("juxscan", {"/O:" + card.Scratch("a.tif")});
//   scan.WaitForOutput("ESC to exit from scan...");
//   card.PressStart();
//   simcard::RunResult r = scan.Wait();          // exit code and output
//   card.Value("IntrptStat0");                   // a field of `juxsim show`
//
// Every call that fails for a reason outside the test's control (juxsim does
// not start, a program is missing) throws std::runtime_error with the reason.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace simcard {

// <build>/bin, where every program of the station is built.
std::string BinDir();

struct RunResult {
  int exitCode = -1;   // the process exit code; -1 when killed (signal or time-out)
  std::string out;     // standard output (with a terminal: everything the program printed)
  std::string err;     // standard error (empty with a terminal)
  bool timedOut = false;
};

struct RunOptions {
  // Variables set (or replaced) in the child's environment; the rest is inherited.
  std::vector<std::pair<std::string, std::string>> env;
  std::string input;     // written to the child's standard input (or terminal), then closed
  bool terminal = false; // run on a pseudo-terminal: console keyboard reads work, ESC can be sent
  std::string cwd;       // working folder; empty = the test's
  int timeoutMs = 60000; // the child is killed after this long
};

// A running child program. Owns the process: the destructor kills it if it
// still runs.
class Process {
 public:
  // `program` is a name in BinDir() or a path containing '/'.
  Process(const std::string& program, const std::vector<std::string>& args,
          const RunOptions& options = {});
  ~Process();
  Process(Process&&) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Waits until the output so far contains `text`; false after timeoutMs or
  // when the program ended without printing it.
  bool WaitForOutput(const std::string& text, int timeoutMs = 10000);
  // Sends bytes to the program's standard input or terminal ("\x1b" for ESC).
  void Send(const std::string& bytes);
  // Waits for the end (RunOptions::timeoutMs from the start at most) and
  // returns exit code and all output.
  RunResult Wait();
  // Whether the program still runs (without waiting; an ended one is reaped,
  // and Wait() then returns at once).
  bool Running();
  // Asks the program to end (SIGTERM) and waits up to graceMs for it, then
  // kills it.
  RunResult Terminate(int graceMs = 5000);
  const std::string& OutputSoFar() const { return result_.out; }
  pid_t Pid() const { return pid_; }

 private:
  void Pump(int timeoutMs);
  pid_t pid_ = -1;
  int inFd_ = -1, outFd_ = -1, errFd_ = -1;  // with a terminal, all three are the master
  bool terminal_ = false;
  long long deadlineMs_ = 0;
  RunResult result_;
  bool done_ = false;
};

// Runs a program to its end.
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options = {});

// A pixel of a test image: true = black.
using Pixels = std::function<bool(int x, int y)>;
bool Stripes(int x, int y);  // black/white stripes, 8 lines high, offset per column block

// Writes a binary PBM (P4) image; returns its path.
std::string WritePbmFile(const std::string& path, int width, int height, const Pixels& pixel);

// Decodes PackBits data into rows of `rowBytes`; stops at the end of data,
// or after `maxRows` rows. Throws on malformed data (a run past the row end)
// before that.
std::vector<std::vector<uint8_t>> UnpackBits(const std::vector<uint8_t>& data, size_t rowBytes,
                                             size_t maxRows = SIZE_MAX);

// One line of a 1-bit image, packed as the card delivers it (MSB first,
// 1 = black), from `pixel` at row y, `rowBytes` wide.
std::vector<uint8_t> PackRow(const Pixels& pixel, int width, int y, size_t rowBytes);

struct SimCardOptions {
  std::string devices = "combined";  // "combined" (JUXDEV) or "split" (JUXDEV_S and JUXDEV_P)
  int tickMs = 10;
  bool fast = true;      // deliver scan lines as fast as the ring drains (tests need no real line rate)
  int buffers = -1;      // ring entries (0..20); -1 = juxsim's default
  int bufferSize = -1;   // bytes per buffer (multiple of 4096); -1 = juxsim's default
};

// juxsim in a fresh temporary device folder, stopped and removed by the
// destructor. Child programs started through Run()/Start() get
// JUX_DEVICE_DIR = Dir(); the test's own environment is not changed.
class SimCard {
 public:
  explicit SimCard(const SimCardOptions& options = {});
  ~SimCard();
  SimCard(const SimCard&) = delete;
  SimCard& operator=(const SimCard&) = delete;

  const std::string& Dir() const { return dir_; }
  // A path for the test's own files, in a scratch folder next to the device folder.
  std::string Scratch(const std::string& name) const;
  // Environment for child programs: JUX_DEVICE_DIR, plus JUX_DRIVES with C: =
  // the scratch folder and HOME = the scratch folder.
  std::vector<std::pair<std::string, std::string>> Env() const;

  // `juxsim ARGS...` against this card's folder.
  RunResult Juxsim(const std::vector<std::string>& args) const;
  // These throw when juxsim refuses (with its message).
  void Feed(const std::string& image, const std::vector<std::string>& options = {});
  void PressStart();
  void Fault(const std::string& name, bool on);
  void Set(const std::string& name, const std::string& value);

  // Every line of `juxsim show` as name -> value ("JUXDEV.IntrptStat0" -> "0x00a4").
  std::map<std::string, std::string> Show() const;
  // One field of `juxsim show`. A bare record field or register name
  // ("IntrptStat0", "reg4") means the scanner-side device (JUXDEV, or
  // JUXDEV_S when split); "JUXDEV_P.IntrptStat0" names a device; controller
  // and table names ("scanner.mode", "busy-channel") are used as they are.
  std::string Field(const std::string& name) const;
  // Field() as a number (decimal or 0x hex; "on"/"off" as 1/0).
  uint64_t Value(const std::string& name) const;

  // Writes a PBM image into the scratch folder; returns its path.
  std::string WritePbm(const std::string& name, int width, int height, const Pixels& pixel) const;

  // Runs a program of BinDir() with Env() added to options.env.
  RunResult Run(const std::string& program, const std::vector<std::string>& args,
                RunOptions options = {}) const;
  Process Start(const std::string& program, const std::vector<std::string>& args,
                RunOptions options = {}) const;

 private:
  std::string root_, dir_, scratch_, scannerDevice_;
};

}  // namespace simcard
