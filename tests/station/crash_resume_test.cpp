// A scan-list job killed again and again: the real workstation (driven by the
// scripted operator) scans a list from the simulated card's feeder and is
// killed with SIGKILL at many points of its passes (while the scan waits or
// transfers, during the conversion, between filing a sheet and its database
// line, as the next pass begins), started again and resumed each time. At the
// end every entry is filed exactly once, the database holds one line per
// filed file, and no work file or journal is left.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/simcard.h"

namespace {

namespace fs = std::filesystem;
using simcard::SimCard;

constexpr int kEntries = 8;  // more than the kills below can file

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

void Write(const std::string& path, const std::string& text, bool executable = false) {
  std::ofstream(path, std::ios::binary) << text;
  if (executable) ::chmod(path.c_str(), 0700);
}

bool Drawn(int x, int y) { return simcard::Stripes(x, y) || x == y; }

class CrashResumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Drive C: is the card's scratch folder; the station lives in C:\Station.
    c_ = card_.Scratch("");
    station_ = c_ + "Station";
    fs::create_directories(station_);
    fs::create_directories(c_ + "Temp");
    fs::create_directories(c_ + "bin");
    const std::string bin = simcard::BinDir();
    // A converter and an editor that take their time, so that kills land in them.
    Write(c_ + "bin/slowf2t", "#!/bin/sh\nsleep 0.25\nexec '" + bin + "/file2tlc' \"$@\"\n", true);
    Write(c_ + "bin/editor", "#!/bin/sh\nsleep 0.25\n", true);
    std::string ini =
        "[PROGRAMS]\r\nScanExe=" + bin + "/juxscan\r\nStatusExe=" + bin + "/juxstat\r\n" +
        "File2TlcExe=C:\\bin\\slowf2t\r\nExportExe=" + bin + "/tlcexport\r\n" +
        "EditExe=C:\\bin\\editor\r\nMiniViewSize=1000,700\r\nAutoModeViewDelayTime=0\r\n"
        "MachineType=6769\r\nHardwareConnect=YES\r\nUnits=ENGLISH\r\nTempDir=C:\\Temp\\\r\n"
        "Debug=0\r\n[ENGLISHScanWidths]\r\nWidth1=2\r\n[ScanDPI]\r\nDPI1=400\r\n"
        "[OutputTypes]\r\nType1=TLC Compressed raster    -L\r\n[GENERAL]\r\nDataField=True\r\n";
    Write(station_ + "/Varnel.Ini", ini);
    std::string list;
    for (int i = 1; i <= kEntries; ++i) list += "C:\\JOB\\D" + std::to_string(i) + ".TLC,sheet\r\n";
    Write(c_ + "JOB.LST", list);
    // Sheets enough for every entry and for the scans of killed sessions.
    fs::create_directories(c_ + "stack");
    for (int i = 0; i < kEntries + 12; ++i)
      card_.WritePbm("stack/" + std::to_string(100 + i) + ".pbm", 400, 200 + i, Drawn);
    card_.Feed(c_ + "stack", {"--start-on-ask", "100"});
  }

  simcard::Process StartOperator() {
    fs::remove(station_ + "/Varnel.Log");  // the markers counted are this run's
    simcard::RunOptions options;
    options.cwd = station_;
    options.env = {{"QT_QPA_PLATFORM", "offscreen"}};
    options.timeoutMs = 90000;
    return card_.Start("varnel_operator", {"--edit", station_, "C:\\JOB.LST", c_ + "window.png"}, options);
  }

  // Waits for the n-th log line that holds `marker`; false when the run ended first.
  bool WaitForLog(simcard::Process& run, const std::string& marker, int n) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    while (std::chrono::steady_clock::now() < end) {
      if (Count(Slurp(station_ + "/Varnel.Log"), marker) >= n) return true;
      siginfo_t info{};
      if (::waitid(P_PID, run.Pid(), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == run.Pid())
        return false;  // ended (not reaped: Wait does that)
      run.WaitForOutput("\x01", 20);  // keeps its output drained
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  SimCard card_;
  std::string c_, station_;
};

// Lines the workstation logs as it starts a child program.
constexpr const char* kScan = " /O:C:\\Temp\\Brevik.TIF";
constexpr const char* kConvert = "slowf2t -@";
constexpr const char* kEdit = "editor C:\\JOB\\";

TEST_F(CrashResumeTest, EveryEntryIsFiledOnceWhereverTheWorkstationIsKilled) {
  struct Kill {
    const char* marker;
    int occurrence;
    int afterMs;
  } kills[] = {
      {kScan, 1, 150},    // the scan waits for its sheet or transfers it
      {kConvert, 1, 100}, // during the conversion
      {kEdit, 1, 50},     // filed; its database line not yet written
      {kEdit, 1, 450},    // the database line, the journal, the next pass
      {kScan, 2, 0},      // the next pass begins
      {kConvert, 1, 330}, // the conversion ends, the work file is moved
      {kEdit, 2, 120},
      {kScan, 1, 20},
  };
  int killed = 0, resumed = 0;
  std::string boxes;  // what every run showed
  for (const Kill& k : kills) {
    simcard::Process run = StartOperator();
    if (!WaitForLog(run, k.marker, k.occurrence)) {
      // The run ended by itself first: the list was done, or auto mode
      // stopped (its boxes say why) and the next run resumes.
      simcard::RunResult r = run.Wait();
      resumed += Count(r.out, "Resume at entry");
      boxes += r.out;
      std::cout << "[ no kill  ] the run ended first (" << r.exitCode << "):\n" << r.out << r.err << Slurp(station_ + "/Varnel.Log");
      if (!fs::exists(station_ + "/ScanList.Jnl")) break;
      continue;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(k.afterMs));
    ::kill(run.Pid(), SIGKILL);
    simcard::RunResult r = run.Wait();
    resumed += Count(r.out, "Resume at entry");
    boxes += r.out;
    ++killed;
    // The killed session's children run on: a juxscan takes the sheet it
    // asked for (the feeder presses Start for it), a converter writes its work
    // file. The next session starts once they are done, as after a crash the
    // operator would find the scanner idle.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (int i = 0; i < 100 && card_.Field("scanner.transfer") != "idle"; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // The last run ends the list undisturbed.
  simcard::Process last = StartOperator();
  simcard::RunResult r = last.Wait();
  resumed += Count(r.out, "Resume at entry");
  boxes += r.out;
  ASSERT_FALSE(r.timedOut) << r.out;
  EXPECT_EQ(r.exitCode, 0) << r.out;
  std::cout << "[ kills    ] " << killed << " kills survived, " << resumed << " resumes\n";
  RecordProperty("kills_survived", killed);
  EXPECT_GE(killed, 6);
  EXPECT_GE(resumed, killed - 1);  // a kill before any pass of a run leaves nothing to resume
  // Nothing filed was asked about again.
  EXPECT_EQ(Count(boxes, "Scan File Exists"), 0) << boxes;

  // Every entry filed once, as a TLC image; one database line each.
  const std::string asc = Slurp(c_ + "JOB/Database.Asc");
  for (int i = 1; i <= kEntries; ++i) {
    const std::string file = "C:\\JOB\\D" + std::to_string(i) + ".TLC";
    SCOPED_TRACE(file);
    EXPECT_EQ(Slurp(c_ + "JOB/D" + std::to_string(i) + ".TLC").rfind("Virozoro Size", 0), 0u);
    EXPECT_EQ(Count(asc, "\"JOB12\", \"" + file + "\"\r\n"), 1) << asc;
  }
  EXPECT_EQ(Count(asc, "\r\n"), kEntries) << asc;
  EXPECT_EQ(Slurp(station_ + "/Database.All"), asc);
  // No work file, no journal.
  for (const auto& e : fs::directory_iterator(c_ + "JOB")) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name.rfind("D", 0) == 0 || name == "Database.Asc") << name;
  }
  EXPECT_FALSE(fs::exists(station_ + "/ScanList.Jnl"));
  EXPECT_FALSE(fs::exists(station_ + "/ScanList.Jnl.tmp"));
  // The report of the completed list agrees: six scanned, none twice.
  const std::string csv = Slurp(c_ + "JOB.csv");
  EXPECT_EQ(Count(csv, ",scanned,"), kEntries) << csv;
}

}  // namespace
