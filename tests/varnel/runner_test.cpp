// The child-program runner against small stand-in programs (shell scripts).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <functional>
#include <vector>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/helpers.h"
#include "varnel/core/runner.h"

namespace varnel {
namespace {

using testing::StationTest;

class RunnerTest : public StationTest {
 protected:
  RunnerTest() {
    UseStationFolder();
    // Writes its arguments to <name>.out next to the temporary folder's root.
    for (const char* name : {"bin/conv", "my tools/conv", "my tools/view er", "bin/view"})
      WriteScript(name, "printf '%s\\n' \"$*\" > '" + Host(QString(name).section('/', -1)).toUtf8() + ".out'");
    // Waits for the operator for good; its id tells the test it is still there.
    WriteScript("bin/scan", "echo $$ > '" + Host("scan.pid").toUtf8() + "'\nexec sleep 30");
    for (const char* name : {"bin/reset", "my tools/re set"})
      WriteScript(name, "printf '%s\\n' \"$*\" >> '" + Host("reset.log").toUtf8() + "'");
  }
  ~RunnerTest() override {
    // The runner never kills a child; the test ends the ones it made wait.
    for (pid_t pid : waiting_) ::kill(pid, SIGKILL);
  }

  // Lets time pass until the condition holds (at most 5 s).
  bool WaitFor(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < 5000) QThread::msleep(20);
    return condition();
  }

  // Runs bin/scan and asks for the abort at the first turn of the wait loop;
  // returns how often the runner waited on the child.
  int AbortAScan(bool& result, OnAbort onAbort = OnAbort::LeaveRunning) {
    QFile::remove(Host("scan.pid"));
    processes_.waits = 0;
    pump_.onDoEvents = [this](int) { st_->AbortRequested = true; };
    result = RunAndWait(*st_, "/L:1000 /S:1000 /P:0 /O:C:\\Temp\\Brevik.TIF", "C:\\bin\\scan",
                        onAbort);
    pump_.onDoEvents = nullptr;
    EXPECT_TRUE(WaitFor([&] { return ScanPid() > 0; }));
    waiting_.push_back(ScanPid());
    return processes_.waits;
  }
  pid_t ScanPid() { return static_cast<pid_t>(QString::fromUtf8(ReadFile("scan.pid")).trimmed().toLongLong()); }

  std::vector<pid_t> waiting_;
};

TEST_F(RunnerTest, WaitsForTheChildAndReturnsTrue) {
  bool result = false;
  Execute(*st_, "-i C:\\in.tif -o C:\\out.tlc", "C:\\bin\\conv", result);
  EXPECT_TRUE(result);
  EXPECT_EQ(ReadFile("conv.out"), "-i C:\\in.tif -o C:\\out.tlc\n");  // there before the return
  EXPECT_EQ(processes_.started, QStringList{"\"C:\\bin\\conv\" -i C:\\in.tif -o C:\\out.tlc"});
  EXPECT_EQ(windows_.pointers, (QList<int>{11, 0}));
  EXPECT_EQ(windows_.enabled, (QList<bool>{false, true}));
  EXPECT_TRUE(LogMessages().contains("C:\\bin\\conv -i C:\\in.tif -o C:\\out.tlc"));
}

TEST_F(RunnerTest, AbortEndsTheWaitAndResetsTheScannerOnce) {
  st_->HardwareConnect = "YES";
  st_->StatusExe = "C:\\bin\\reset";
  bool result = true;
  int waits = AbortAScan(result);
  EXPECT_FALSE(result);
  EXPECT_EQ(waits, 2);  // the wait step after the abort is the last (the child runs 30 s)
  ASSERT_EQ(processes_.started.size(), 2);
  EXPECT_EQ(processes_.started[1], "C:\\bin\\reset /F /S");  // not quoted
  EXPECT_TRUE(WaitFor([&] { return ReadFile("reset.log") == "/F /S\n"; }));
  EXPECT_EQ(windows_.enabled, (QList<bool>{false, true}));

  // The scan program itself was left running.
  EXPECT_EQ(::kill(waiting_.back(), 0), 0);
}

// The window is closing: the scan whose wait was given up does not outlive
// the workstation. The reset ends it, or else a second reset (once the first
// is done), or else the workstation ends it.
TEST_F(RunnerTest, AClosingWindowSeesTheAbortedScanToItsEnd) {
  struct Case {
    const char* name;
    bool resetEndsTheScan;
    const char* resets;
    bool endedByTheWorkstation;
  } cases[] = {{"the reset ends it", true, "/F /S\n", false},
               {"nothing ends it", false, "/F /S\n/F /S\n", true}};
  st_->HardwareConnect = "YES";
  st_->StatusExe = "C:\\bin\\reset";
  st_->CloseRequested = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(Host("reset.log"));
    processes_.ended.clear();
    st_->AbortRequested = false;
    QByteArray reset = "printf '%s\\n' \"$*\" >> '" + Host("reset.log").toUtf8() + "'\n";
    if (c.resetEndsTheScan) reset += "kill $(cat '" + Host("scan.pid").toUtf8() + "')\n";
    WriteScript("bin/reset", reset);
    bool result = true;
    AbortAScan(result, OnAbort::EndThroughReset);
    EXPECT_FALSE(result);
    // Gone when the wait returns, and every reset has run to its end.
    EXPECT_NE(::kill(waiting_.back(), 0), 0);
    EXPECT_EQ(ReadFile("reset.log"), c.resets);
    EXPECT_EQ(processes_.ended.size() == 1, c.endedByTheWorkstation);
  }
  EXPECT_TRUE(LogMessages().contains("The scan did not end at the channel reset and was ended"));
}

TEST_F(RunnerTest, AbortWithoutTheScannerStartsNothingElse) {
  for (const char* connect : {"yes", "", "NO"}) {
    processes_.started.clear();
    st_->AbortRequested = false;
    st_->HardwareConnect = connect;
    st_->StatusExe = "C:\\bin\\reset";
    bool result = true;
    AbortAScan(result);
    EXPECT_FALSE(result) << connect;
    EXPECT_EQ(processes_.started.size(), 1) << connect;  // the scan only, no reset
  }
}

TEST_F(RunnerTest, PathsWithSpaces) {
  bool result = false;
  Execute(*st_, "C:\\a.tif", "C:\\my tools\\conv", result);
  EXPECT_TRUE(result);
  EXPECT_EQ(ReadFile("conv.out"), "C:\\a.tif\n");

  st_->ViewExe = "C:\\my tools\\view er";
  st_->AutoModeViewDelayTime = 0;
  Execute(*st_, "C:\\b.tlc", st_->ViewExe, result);
  EXPECT_FALSE(result);
  EXPECT_EQ(processes_.started.last(), "C:\\my tools\\view er C:\\b.tlc");  // not quoted
  EXPECT_TRUE(WaitFor([&] { return ReadFile("view er.out") == "C:\\b.tlc\n"; }));

  st_->HardwareConnect = "YES";
  st_->StatusExe = "C:\\my tools\\re set";
  AbortAScan(result);
  EXPECT_EQ(processes_.started.last(), "C:\\my tools\\re set /F /S");
  EXPECT_TRUE(WaitFor([&] { return ReadFile("reset.log") == "/F /S\n"; }));
}

TEST_F(RunnerTest, TheViewerIsGivenTimeAndNotWaitedFor) {
  struct Case {
    float delay;
    QList<int> pauses;
    bool staying;
  } cases[] = {{1.5f, {1500}, false}, {2, {2000}, false}, {0, {}, true}};
  st_->ViewExe = "C:\\bin\\view";
  for (const Case& c : cases) {
    pump_.pauses.clear();
    st_->AutoModeViewDelayTime = c.delay;
    st_->StayingViewerTaskId = 0;
    bool result = true;
    Execute(*st_, "C:\\Scans\\A.TLC", "C:\\bin\\view", result);
    EXPECT_FALSE(result) << c.delay;
    EXPECT_NE(st_->ViewerTaskId, 0) << c.delay;
    // Compared as std::vector: comparing two empty QLists hands memcmp a null
    // pointer inside Qt, which the undefined-behaviour checker reports.
    EXPECT_EQ(std::vector<int>(pump_.pauses.begin(), pump_.pauses.end()),
              std::vector<int>(c.pauses.begin(), c.pauses.end()))
        << c.delay;
    EXPECT_EQ(st_->StayingViewerTaskId, c.staying ? st_->ViewerTaskId : 0) << c.delay;
  }
  EXPECT_TRUE(windows_.pointers.isEmpty());  // the main window stays usable

  // The viewer named in another letter case is an ordinary program: waited for.
  bool result = false;
  Execute(*st_, "C:\\Scans\\A.TLC", "C:\\BIN\\VIEW", result);
  EXPECT_TRUE(result);
  EXPECT_EQ(processes_.started.last(), "\"C:\\BIN\\VIEW\" C:\\Scans\\A.TLC");
}

TEST_F(RunnerTest, AMissingProgramIsReportedAndNothingStarts) {
  for (const char* path : {"C:\\bin\\nothing", "", "C:\\bin"}) {
    prompts_.shown.clear();
    bool result = true;
    Execute(*st_, "/S", path, result);
    EXPECT_FALSE(result) << path;
    ASSERT_EQ(prompts_.shown.size(), 1) << path;
    EXPECT_EQ(prompts_.shown[0].text, QString(path) + " Not Found!");
    EXPECT_EQ(prompts_.shown[0].title, "Varnel Error");
    EXPECT_TRUE(LogMessages().contains(QString(path) + " Not Found!")) << path;
  }
  EXPECT_TRUE(processes_.started.isEmpty());
}

TEST_F(RunnerTest, AChildThatCannotStartCountsAsAnAbort) {
  WriteFile("bin/notexec", "not a program");
  st_->HardwareConnect = "YES";
  st_->StatusExe = "C:\\bin\\reset";
  bool result = true;
  Execute(*st_, "", "C:\\bin\\notexec", result);
  EXPECT_FALSE(result);
  EXPECT_EQ(processes_.started.size(), 2);
  EXPECT_TRUE(WaitFor([&] { return ReadFile("reset.log") == "/F /S\n"; }));
}

TEST_F(RunnerTest, ResponseFilesAreLoggedWhenDebugging) {
  WriteFile("Temp/Conv.Lst", "-i C:\\Temp\\Brevik.TIF\r\n-o C:\\x.tlc\r\n");
  for (bool debug : {false, true}) {
    st_->DebugFlag = debug;
    bool result = false;
    Execute(*st_, "-@ C:\\Temp\\Conv.Lst", "C:\\bin\\conv", result);
    EXPECT_TRUE(result);
    EXPECT_EQ(LogMessages().contains("C:\\Temp\\Conv.Lst: -i C:\\Temp\\Brevik.TIF"), debug);
  }
}

}  // namespace
}  // namespace varnel
