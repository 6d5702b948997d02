// The workstation as an operator meets it: the real varnel on a virtual display
// with a window manager, keys typed as real key events (xdotool), and what
// the operator sees read back from the windows (xwininfo, xprop) and the files
// the station leaves. Skipped when Xvfb, openbox, xdotool or x11-utils are
// missing (scripts/install-deps installs them).
//
// Each test's files (logs, Varnel.Log, screenshots) stay in
// window-output/<test> next to this program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

#include "tests/support/simcard.h"
#include "tests/window/xdisplay.h"

namespace fs = std::filesystem;

namespace window_test {
namespace {

const char kTitle[] = "^JUX Tarvex$";
// Generous bounds for a loaded machine; each wait ends as soon as its condition holds.
constexpr int kStartMs = 30000, kScanMs = 60000, kKeyMs = 15000;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

// Where this program lies: its output goes next to it.
fs::path ProgramFolder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

// One display and one connection to it for the whole program; the connection
// (for screenshots and the clipboard) is closed before the display goes.
class Session : public ::testing::Environment {
 public:
  void SetUp() override {
    missing_ = MissingTools();
    if (!missing_.empty()) return;
    const fs::path logs = ProgramFolder() / "window-output" / "display";
    fs::create_directories(logs);
    display_ = std::make_unique<XDisplay>(logs.string());
    setenv("DISPLAY", display_->Name().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    static int argc = 1;
    static char name[] = "window_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QGuiApplication>(argc, argv);
  }
  void TearDown() override {
    app_.reset();
    display_.reset();
  }
  static std::string Missing() {
    std::string list;
    for (const std::string& tool : instance->missing_) list += (list.empty() ? "" : ", ") + tool;
    return list;
  }
  static XDisplay& Display() { return *instance->display_; }
  static Session* instance;

 private:
  std::vector<std::string> missing_;
  std::unique_ptr<XDisplay> display_;
  std::unique_ptr<QGuiApplication> app_;
};

Session* Session::instance =
    static_cast<Session*>(::testing::AddGlobalTestEnvironment(new Session));

// A station folder (drive C:) with Varnel.Ini from scripts/station-ini and a
// copy of varnel beside it, settings and sockets of its own, and optionally
// the simulated card.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Session::Missing().empty())
      GTEST_SKIP() << "window tests need " << Session::Missing()
                   << " (scripts/install-deps installs xvfb, openbox, xdotool and x11-utils)";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    out_ = ProgramFolder() / "window-output" / info->name();
    fs::remove_all(out_);
    fs::create_directories(out_);
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/jux-window-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    ASSERT_NE(mkdtemp(buffer.data()), nullptr) << pattern;
    root_ = buffer.data();
    station_ = root_ / "station";
    for (const char* folder : {"station/Temp", "station/Dudozev1/Request",
                               "station/Dudozev1/PRequest", "config", "tmp", "home", "dev"})
      fs::create_directories(root_ / folder);
    fs::create_directories(root_ / "run");
    fs::permissions(root_ / "run", fs::perms::owner_all);
  }

  void TearDown() override {
    for (auto& running : running_)
      if (running && running->Running()) running->Terminate();
    card_.reset();
    if (fs::exists(station_ / "Varnel.Log"))
      fs::copy_file(station_ / "Varnel.Log", out_ / "Varnel.Log",
                    fs::copy_options::overwrite_existing);
    if (!root_.empty()) fs::remove_all(root_);
  }

  // The station's Varnel.Ini; with the scanner attached the simulated card is
  // started with one drawing in its feeder, its Start pressed when asked.
  void WriteStation(bool hardware) {
    const std::string bin = simcard::BinDir();
    simcard::RunResult ini =
        simcard::Run("/bin/bash", {JUX_SOURCE_DIR "/scripts/station-ini", station_.string(), bin});
    ASSERT_EQ(ini.exitCode, 0) << ini.err;
    std::string text = ReadAll(station_ / "Varnel.Ini");
    // No print monitor: a queued job stays where the workstation put it.
    Replace(text, "UnattendExe=" + bin + "/printmon", "UnattendExe=C:\\Dudozev1\\none");
    if (!hardware) Replace(text, "HardwareConnect=YES", "HardwareConnect=NO");
    std::ofstream(station_ / "Varnel.Ini", std::ios::binary) << text;
    fs::copy_file(bin + "/varnel", station_ / "varnel");
    if (hardware) {
      card_ = std::make_unique<simcard::SimCard>();
      card_->Feed(card_->WritePbm("sheet.pbm", 1600, 1200, simcard::Stripes),
                  {"--start-on-ask", "200"});
    }
  }

  simcard::RunOptions Options() const {
    simcard::RunOptions options;
    options.cwd = station_.string();
    options.env = {{"DISPLAY", Session::Display().Name()},
                   {"QT_QPA_PLATFORM", "xcb"},
                   {"JUX_DRIVES", "C=" + station_.string()},
                   {"XDG_CONFIG_HOME", (root_ / "config").string()},
                   {"XDG_RUNTIME_DIR", (root_ / "run").string()},
                   {"TMPDIR", (root_ / "tmp").string()},
                   {"HOME", (root_ / "home").string()},
                   {"JUX_DEVICE_DIR", card_ ? card_->Dir() : (root_ / "dev").string()}};
    return options;
  }

  // Starts the workstation; its output goes to the test's folder.
  simcard::Process& StartVarnel(const std::vector<std::string>& args = {}) {
    running_.push_back(StartLogged((station_ / "varnel").string(), args,
                                   (out_ / "varnel.out").string(), Options()));
    return *running_.back();
  }

  // Starts the workstation and waits for its main window, framed by the
  // window manager and in front with the keyboard focus.
  std::string StartAndFindWindow(simcard::Process*& process,
                                 const std::vector<std::string>& args = {}) {
    process = &StartVarnel(args);
    XDisplay& x = Session::Display();
    std::string id = FindWindow(x, kTitle, process->Pid(), "NORMAL", kStartMs);
    EXPECT_FALSE(id.empty()) << "no main window";
    if (id.empty()) return id;
    EXPECT_TRUE(WaitFor([&] { return Window(x, id).frameTop > 0; }, kKeyMs)) << "not framed";
    EXPECT_TRUE(WaitFor([&] { return ActiveWindow(x) == id; }, kKeyMs)) << "not in front";
    return id;
  }

  // A station with the workstation started in it and its main window found.
  void Open(bool hardware, const std::vector<std::string>& args = {}) {
    WriteStation(hardware);
    id_ = StartAndFindWindow(varnel_, args);
    ASSERT_FALSE(id_.empty());
  }

  // ESC, as the operator ends the program; waits for the end.
  void CloseWithEscape(simcard::Process& process, const std::string& id) {
    TypeKeys(Session::Display(), id, {"Escape"});
    EXPECT_TRUE(WaitFor([&] { return !process.Running(); }, kStartMs)) << "still running after ESC";
  }

  std::string Log() const { return ReadAll(station_ / "Varnel.Log"); }

  // The programs still running that the workstation started in this station
  // (their drive table names the station's folder).
  std::vector<std::string> ChildrenLeft() const {
    std::vector<std::string> left;
    const std::string drives = "JUX_DRIVES=C=" + station_.string();
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string environ = ReadAll(entry.path() / "environ");
      if (environ.find(drives + '\0') == std::string::npos) continue;
      const std::string stat = ReadAll(entry.path() / "stat");
      if (stat.empty() || stat[stat.rfind(')') + 2] == 'Z') continue;  // ended, not yet reaped
      std::string command = ReadAll(entry.path() / "cmdline");
      std::replace(command.begin(), command.end(), '\0', ' ');
      if (command.find("/varnel") == std::string::npos) left.push_back(command);
    }
    return left;
  }

  // The folders of the print jobs queued in the priority folder.
  std::vector<fs::path> PriorityJobs() const {
    std::vector<fs::path> jobs;
    for (const auto& entry : fs::directory_iterator(station_ / "Dudozev1" / "PRequest"))
      if (entry.is_directory()) jobs.push_back(entry.path());
    return jobs;
  }

  // The whole window (frame included) as the screen shows it, saved as PNG.
  void Screenshot(const std::string& id, const fs::path& file) {
    WindowInfo w = Window(Session::Display(), id);
    QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
        0, w.x - w.frameLeft, w.y - w.frameTop, w.width + w.frameLeft + w.frameRight,
        w.height + w.frameTop + w.frameBottom);
    EXPECT_TRUE(shot.save(QString::fromStdString(file.string()))) << file;
  }

  // The per-user window state the workstation stored.
  std::map<std::string, int> StoredState() const {
    QSettings store(QString::fromStdString((root_ / "config" / "JUX Tarvex" / "JUX Tarvex.conf").string()),
                    QSettings::IniFormat);
    std::map<std::string, int> values;
    store.beginGroup("Settings");
    for (const QString& key : store.childKeys()) values[key.toStdString()] = store.value(key).toInt();
    return values;
  }

  fs::path out_, root_, station_;
  simcard::Process* varnel_ = nullptr;  // the workstation Open() started
  std::string id_;                      // its main window
  std::unique_ptr<simcard::SimCard> card_;
  std::vector<std::unique_ptr<simcard::Process>> running_;
};

TEST_F(WindowTest, TheDefaultWindowIsFramedAtItsStoredSizeAndPictured) {
  ASSERT_NO_FATAL_FAILURE(Open(false));
  simcard::Process* varnel = varnel_;
  std::string id = id_;
  // First start: the whole window at 1000, 1000 twips, 10000 x 7000 twips (15 a pixel).
  WindowInfo w;
  ASSERT_TRUE(WaitFor(
      [&] {
        w = Window(Session::Display(), id);
        return w.frameTop > 0 && w.width + w.frameLeft + w.frameRight == 667 &&
               w.height + w.frameTop + w.frameBottom == 467;
      },
      kKeyMs))
      << w.x << "," << w.y << " " << w.width << "x" << w.height << " frame " << w.frameLeft << ","
      << w.frameTop << "," << w.frameRight << "," << w.frameBottom;
  EXPECT_EQ(w.x - w.frameLeft, 67);
  EXPECT_EQ(w.y - w.frameTop, 67);
  Screenshot(id, out_ / "varnel_default.png");

  // F1: the about dialog, which the window manager cannot resize.
  TypeKeys(Session::Display(), id, {"F1"});
  std::string about =
      FindWindow(Session::Display(), "^About JUX Tarvex$", varnel->Pid(), "DIALOG", kKeyMs);
  ASSERT_FALSE(about.empty()) << "F1 showed no about dialog";
  std::string hints = Tool(Session::Display(), "xprop", {"-id", about, "WM_NORMAL_HINTS"}).out;
  std::smatch minimum, maximum;
  ASSERT_TRUE(std::regex_search(hints, minimum, std::regex("minimum size: (\\d+) by (\\d+)")))
      << hints;
  ASSERT_TRUE(std::regex_search(hints, maximum, std::regex("maximum size: (\\d+) by (\\d+)")))
      << hints;
  EXPECT_EQ(minimum[1], maximum[1]);
  EXPECT_EQ(minimum[2], maximum[2]);
  ASSERT_TRUE(WaitFor([&] { return Window(Session::Display(), about).frameTop > 0; }, kKeyMs));
  Screenshot(about, out_ / "about.png");
  TypeKeys(Session::Display(), about, {"Return"});
  EXPECT_TRUE(WaitFor([&] { return !Window(Session::Display(), about).viewable; }, kKeyMs));
  CloseWithEscape(*varnel, id);
}

TEST_F(WindowTest, AfterAScanAltPQueuesAJobAndAltRPreparesTheRescanAndNoThresholdWasSent) {
  ASSERT_NO_FATAL_FAILURE(Open(true));
  simcard::Process* varnel = varnel_;
  std::string id = id_;
  XDisplay& x = Session::Display();
  const fs::path scan = station_ / "TEMP001.TLC";
  // Alt+S is Scan Next: the first scan, filed as C:\TEMP001.TLC and recorded.
  TypeKeys(x, id, {"alt+s"});
  // The pass is over once it has logged what it filed.
  ASSERT_TRUE(WaitFor([&] { return Log().find("FilePath:      C:\\TEMP001.TLC") != std::string::npos; },
                      kScanMs))
      << "no scan filed\n" << Log();
  ASSERT_TRUE(fs::exists(scan));
  // The threshold the scanner has is no change: the first scan sends none.
  std::string log = Log();
  size_t scanLine = log.find(simcard::BinDir() + "/juxscan ");
  ASSERT_NE(scanLine, std::string::npos) << log;
  std::string command = log.substr(scanLine, log.find('\n', scanLine) - scanLine);
  EXPECT_NE(command.find("/L:"), std::string::npos) << command;
  EXPECT_EQ(command.find("/T:"), std::string::npos) << command;

  // Alt+P: one print job of the scan, complete with its Done.Jux.
  TypeKeys(x, id, {"alt+p"});
  ASSERT_TRUE(WaitFor(
      [&] {
        std::vector<fs::path> jobs = PriorityJobs();
        return jobs.size() == 1 && fs::exists(jobs[0] / "Done.Jux");
      },
      kKeyMs))
      << "Alt+P queued no job\n" << Log();
  fs::path job = PriorityJobs()[0];
  EXPECT_NE(ReadAll(job / "TEMP001.PTR").find("TEMP001.TLC"), std::string::npos);

  // Alt+R: the last scan's name is back in the file name box (its file stays
  // until a rescan has made the new one).
  TypeKeys(x, id, {"alt+r"});
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  TypeKeys(x, id, {"alt+n", "ctrl+a", "ctrl+c"});
  QString name;
  EXPECT_TRUE(WaitFor(
      [&] {
        QCoreApplication::processEvents();
        name = clipboard->text();
        return !name.isEmpty();
      },
      kKeyMs));
  EXPECT_EQ(name.toUpper().toStdString(), "C:\\TEMP001.TLC");
  EXPECT_EQ(PriorityJobs().size(), 1u) << "a key ran a command twice";
  CloseWithEscape(*varnel, id);
}

// Alt+F4 while auto mode waits for the next sheet of a scan list, on the main
// window or on the status window in front of it: the waiting scan is ended,
// the sheet filed before keeps its database line, nothing is filed under the
// next entry, the run's report is shown once, and the workstation then ends
// without leaving a program behind.
class AltF4DuringAutoModeTest : public WindowTest {
 protected:
  void CloseWhileTheNextSheetIsAwaited(bool onStatusWindow) {
    std::ofstream(station_ / "Job.lst", std::ios::binary)
        << "C:\\JOB\\D1.TLC,one\r\nC:\\JOB\\D2.TLC,two\r\nC:\\JOB\\D3.TLC,three\r\n";
    ASSERT_NO_FATAL_FAILURE(Open(true, {"C:\\Job.lst"}));
    // The second sheet waits in the feeder; nobody presses its Start.
    card_->Feed(card_->WritePbm("second.pbm", 1600, 1200, simcard::Stripes),
                {"--start-on-ask", "600000"});
    XDisplay& x = Session::Display();
    TypeKeys(x, id_, {"alt+n", "Tab", "J", "O", "B", "alt+a"});
    auto count = [](const std::string& text, const std::string& what) {
      size_t n = 0;
      for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
      return n;
    };
    const std::string scan = simcard::BinDir() + "/juxscan ";
    ASSERT_TRUE(WaitFor(
        [&] { return count(Log(), scan) == 2 && !(card_->Value("IntrptStat0") & 0x0004); },
        kScanMs))
        << "the second scan does not wait for its sheet\n" << Log();
    // The status window is in front of the main window.
    std::string status;
    ASSERT_TRUE(WaitFor(
        [&] {
          status = ActiveWindow(x);
          return !status.empty() && status != id_;
        },
        kKeyMs));
    Screenshot(id_, out_ / "waiting.png");

    TypeKeys(x, onStatusWindow ? status : id_, {"alt+F4"});
    // The run's end shows the list's report, once, before the window goes.
    std::string report = FindWindow(x, "^Scan list report: ", varnel_->Pid(), "DIALOG", kScanMs);
    ASSERT_FALSE(report.empty()) << "no report\n" << Log();
    ASSERT_TRUE(WaitFor([&] { return Window(x, report).frameTop > 0; }, kKeyMs));
    Screenshot(report, out_ / "report.png");
    TypeKeys(x, report, {"Return"});
    ASSERT_TRUE(WaitFor([&] { return !varnel_->Running(); }, kStartMs)) << "still running after the close";
    EXPECT_EQ(varnel_->Wait().exitCode, 0);

    const std::string log = Log();
    EXPECT_EQ(count(log, scan), 2u) << log;
    EXPECT_EQ(count(log, "Scan list report written"), 2u) << log;  // at the run's end and at the close
    EXPECT_EQ(ReadAll(station_ / "JOB" / "D1.TLC").rfind("Virozoro Size", 0), 0u);
    for (const char* name : {"D2.TLC", "$$Scan.tlc"})
      EXPECT_FALSE(fs::exists(station_ / "JOB" / name)) << name;
    EXPECT_EQ(ReadAll(station_ / "JOB" / "Database.Asc"), "\"JOB\", \"C:\\JOB\\D1.TLC\"\r\n");
    EXPECT_EQ(ReadAll(station_ / "Database.All"), ReadAll(station_ / "JOB" / "Database.Asc"));
    // The job's journal stays for the next start to resume at the second entry.
    EXPECT_NE(ReadAll(station_ / "ScanList.Jnl").find("Filed=1|C:\\JOB\\D1.TLC|"), std::string::npos);
    // The scanner's channel is free, the second sheet still in the feeder,
    // and every program the workstation started has ended.
    EXPECT_TRUE(card_->Value("IntrptStat0") & 0x0004);
    EXPECT_EQ(card_->Value("scanner.documents"), 1u);
    EXPECT_EQ(ChildrenLeft(), std::vector<std::string>{});
  }
};

TEST_F(AltF4DuringAutoModeTest, OnTheMainWindow) { CloseWhileTheNextSheetIsAwaited(false); }

TEST_F(AltF4DuringAutoModeTest, OnTheStatusWindow) { CloseWhileTheNextSheetIsAwaited(true); }

TEST_F(WindowTest, EachSecondStartRestoresTheMinimisedWindowAndEndsWithoutOne) {
  ASSERT_NO_FATAL_FAILURE(Open(false));
  simcard::Process* first = varnel_;
  std::string id = id_;
  XDisplay& x = Session::Display();
  for (int start = 1; start <= 2; ++start) {
    SCOPED_TRACE("second start " + std::to_string(start));
    simcard::RunResult minimised = Tool(x, "xdotool", {"windowminimize", "--sync", id});
    ASSERT_EQ(minimised.exitCode, 0) << minimised.out << minimised.err;
    ASSERT_TRUE(WaitFor([&] { return Window(x, id).minimised; }, kKeyMs));
    simcard::Process& second = StartVarnel();
    EXPECT_TRUE(WaitFor([&] { return !second.Running(); }, kStartMs)) << "the second start stays";
    EXPECT_EQ(second.Wait().exitCode, 0);
    EXPECT_TRUE(WaitFor(
        [&] {
          WindowInfo w = Window(x, id);
          return w.viewable && !w.minimised;
        },
        kKeyMs))
        << "not restored";
    EXPECT_TRUE(WaitFor(
        [&] { return ActiveWindow(x) == id; },
        kKeyMs))
        << "not in front";
  }
  CloseWithEscape(*first, id);
}

TEST_F(WindowTest, TenStartsAndClosesKeepTheWindowWhereItWasToThePixel) {
  WriteStation(false);
  XDisplay& x = Session::Display();
  WindowInfo first;
  std::map<std::string, int> stored;
  for (int run = 1; run <= 10; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    simcard::Process* varnel = nullptr;
    std::string id = StartAndFindWindow(varnel);
    ASSERT_FALSE(id.empty());
    // Framed, and at its stored whole size.
    WindowInfo w;
    ASSERT_TRUE(WaitFor(
        [&] {
          w = Window(x, id);
          return w.frameTop > 0 && (run == 1 || (w.width == first.width && w.height == first.height));
        },
        kKeyMs));
    if (run == 1) first = w;
    EXPECT_EQ(w.x, first.x);
    EXPECT_EQ(w.y, first.y);
    EXPECT_EQ(w.width, first.width);
    EXPECT_EQ(w.height, first.height);
    CloseWithEscape(*varnel, id);
    if (run == 2) stored = StoredState();
    if (run > 2) {
      EXPECT_EQ(StoredState(), stored);
    }
  }
  EXPECT_EQ(stored["MainLeft"], 1005);
  EXPECT_EQ(stored["MainTop"], 1005);
  EXPECT_EQ(stored["MainWidth"], 10005);
  EXPECT_EQ(stored["MainHeight"], 7005);

  // A position stored above the screen opens with its title bar on it.
  {
    QSettings store(QString::fromStdString((root_ / "config" / "JUX Tarvex" / "JUX Tarvex.conf").string()),
                    QSettings::IniFormat);
    store.setValue("Settings/MainTop", -3000);
  }
  simcard::Process* varnel = nullptr;
  std::string id = StartAndFindWindow(varnel);
  ASSERT_FALSE(id.empty());
  WindowInfo w;
  EXPECT_TRUE(WaitFor(
      [&] {
        w = Window(x, id);
        return w.frameTop > 0 && w.y - w.frameTop == 0;
      },
      kKeyMs))
      << "top " << w.y - w.frameTop;
  EXPECT_EQ(w.x, first.x);
  CloseWithEscape(*varnel, id);
}

TEST_F(WindowTest, WithoutVarnelIniTheSplashIsGoneBeforeTheBoxShows) {
  WriteStation(false);
  fs::remove(station_ / "Varnel.Ini");
  simcard::Process& varnel = StartVarnel();
  XDisplay& x = Session::Display();
  std::string box = FindWindow(x, kTitle, varnel.Pid(), "DIALOG", kStartMs);
  ASSERT_FALSE(box.empty()) << "no message box";
  // The box is the program's only window on the screen.
  simcard::RunResult shown = Tool(x, "xdotool", {"search", "--all", "--onlyvisible", "--pid",
                                                 std::to_string(varnel.Pid()), "--name", ".*"});
  EXPECT_EQ(shown.out, box + "\n");
  TypeKeys(x, box, {"Return"});
  EXPECT_TRUE(WaitFor([&] { return !varnel.Running(); }, kStartMs));
}

}  // namespace
}  // namespace window_test
