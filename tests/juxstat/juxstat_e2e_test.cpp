// juxstat as a process against the simulated card: every exit code and
// message, the mode changes, the forced reset and the status file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "juxstat/juxstat.h"
#include "tests/juxscan/console_program_test.h"
#include "tests/support/simcard.h"

namespace juxstat {
namespace {

namespace fs = std::filesystem;
using simcard::RunResult;
using simcard::SimCard;

const std::string kFileArg = "/O:C:\\JuxStat.Dat";  // C: is the card's scratch folder

using console_test::LastLine;
using console_test::ReadBytes;

struct StatCase {
  const char* name;
  const char* devices;
  std::vector<std::string> faults;
  std::vector<std::string> args;
  int exitCode;
  const char* lastLine;
  bool statusFile;                              // a complete status file is left
  std::map<std::string, uint64_t> afterwards = {};  // `juxsim show` fields after the run
  friend void PrintTo(const StatCase& c, std::ostream* os) { *os << c.name; }
};

class StatRunTest : public testing::TestWithParam<StatCase> {};

TEST_P(StatRunTest, EndsWithItsCodeAndMessage) {
  const StatCase& c = GetParam();
  SimCard card({.devices = c.devices});
  for (const std::string& f : c.faults) card.Fault(f, true);

  RunResult r = card.Run("juxstat", c.args);

  EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
  EXPECT_EQ(LastLine(r.out), c.lastLine) << r.out;
  EXPECT_EQ(r.out.rfind("Jux Driver Status Program Version 2.0\n\n", 0), 0u) << r.out;
  bool named = std::any_of(c.args.begin(), c.args.end(),
                           [](const std::string& a) { return a.rfind("/O:", 0) == 0; });
  EXPECT_EQ(r.out.find("No filename was supplied\n") != std::string::npos, !named) << r.out;
  const std::string path = card.Scratch("JuxStat.Dat");
  if (c.statusFile) {
    EXPECT_EQ(ReadBytes(path).size(), kStatusFileSize);
  } else {
    EXPECT_FALSE(fs::exists(path));
  }
  for (const auto& [field, value] : c.afterwards) EXPECT_EQ(card.Value(field), value) << field;
}

const std::vector<std::string> kScan = {"/S", kFileArg};

INSTANTIATE_TEST_SUITE_P(
    ExitCodes, StatRunTest,
    testing::Values(
        StatCase{"StatusFile", "combined", {}, kScan, kOk, "Retrieved valid handle for JUX driver",
                 true},
        StatCase{"NoFileName", "combined", {}, {"/S"}, kOk,
                 "Retrieved valid handle for JUX driver", false},
        StatCase{"Busy", "combined", {"busy-channel"}, kScan, kBusy, "Controller Busy", true,
                 {{"ErrorCode0", 0}, {"ErrorCode1", 0}}},
        StatCase{"StatusFileNotCreated", "combined", {}, {"/S", "/O:C:\\NOWHERE\\JuxStat.Dat"},
                 kOk, "Cannot create the status file", false},
        StatCase{"Silent", "combined", {"silent-controller"}, {"/S", "/D:50", kFileArg},
                 kNoAnswer, "Communication Error", false},
        StatCase{"Density", "combined", {}, {"/S", "/D:50", kFileArg}, kOk,
                 "Retrieved valid handle for JUX driver", true, {{"scanner.density", 50}}},
        StatCase{"DensityUnconfirmed", "combined", {"density-unconfirmed"},
                 {"/S", "/D:50", kFileArg}, kOk, "Cannot update print density", false},
        StatCase{"DensityAbove127", "combined", {}, {"/S", "/D:200", kFileArg}, kOk,
                 "Cannot update print density", false, {{"Led1OnTime", 72}}},
        StatCase{"Ansi", "combined", {}, {"/S", "/A:1", kFileArg}, kOk,
                 "Retrieved valid handle for JUX driver", true, {{"scanner.ansi", 1}}},
        StatCase{"AnsiUnconfirmed", "combined", {"ansi-unconfirmed"}, {"/S", "/A:1", kFileArg},
                 kOk, "Cannot update ansi/metric mode", false},
        // One device for both: copy mode is set on the scanner, bypass is not touched.
        StatCase{"CopyModeCombined", "combined", {}, {"/S", "/C", kFileArg}, kOk,
                 "Retrieved valid handle for JUX driver", true,
                 {{"scanner.mode", 0}, {"printer.bypass", 0}}},
        StatCase{"ForcedResetOnly", "combined", {}, {"/F", "/S", "/D:50", "/A:1", kFileArg}, kOk,
                 "Retrieved valid handle for JUX driver", false,
                 {{"scanner.density", 40}, {"scanner.ansi", 0}}},
        StatCase{"ScannerChannelReset", "combined", {"scanner-needs-reset"}, kScan, kOk,
                 "Retrieved valid handle for JUX driver", true, {{"NextCmd", 3}}},
        StatCase{"PrinterReport", "split", {}, {kFileArg}, kOk, "Retrieved valid handle for JUX_P driver",
                 true},
        StatCase{"PrinterDensity", "split", {}, {"/D:60", "/A:1", kFileArg}, kOk,
                 "Retrieved valid handle for JUX_P driver", true,
                 {{"printer.density", 60}, {"printer.ansi", 1}}},
        StatCase{"PrinterDensityUnconfirmed", "split", {"density-unconfirmed"}, {"/D:60"}, kOk,
                 "Cannot update print density", false},
        StatCase{"PrinterAnsiUnconfirmed", "split", {"ansi-unconfirmed"}, {"/A:1"}, kOk,
                 "Cannot update ansi/metric mode", false},
        StatCase{"PrinterChannelReset", "split", {"printer-needs-reset"}, {kFileArg}, kOk,
                 "Retrieved valid handle for JUX_P driver", true},
        StatCase{"PrinterChannelNeverUp", "split", {"printer-needs-reset", "channel-never-up"},
                 {kFileArg}, kNoAnswer, "Communication Error", false},
        StatCase{"PrinterNotReleased", "split", {"printer-bypass"}, {kFileArg}, kNoAnswer,
                 "Disabling printer bypass mode", false},
        StatCase{"PrinterSilentInCopyMode", "split", {"silent-controller"}, {"/S", "/C", kFileArg},
                 kNoAnswer, "Communication Error", false}),
    console_test::CaseName<StatCase>);

struct NoDeviceCase {
  std::vector<std::string> args;
  const char* lastLine;
  friend void PrintTo(const NoDeviceCase& c, std::ostream* os) { *os << c.lastLine; }
};

class StatNoDeviceTest : public testing::TestWithParam<NoDeviceCase> {};

TEST_P(StatNoDeviceTest, EndsWith0AndNoFile) {
  SimCard card;
  simcard::RunOptions options;
  options.env = {{"JUX_DEVICE_DIR", card.Scratch("")}};  // a folder without devices
  std::vector<std::string> args = GetParam().args;
  args.push_back(kFileArg);
  RunResult r = card.Run("juxstat", args, options);
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_EQ(LastLine(r.out), GetParam().lastLine);
  EXPECT_FALSE(fs::exists(card.Scratch("JuxStat.Dat")));
}

INSTANTIATE_TEST_SUITE_P(Devices, StatNoDeviceTest,
                         testing::Values(NoDeviceCase{{}, "Can't get a handle to JUX driver"},
                                         NoDeviceCase{{"/S"}, "Can't get a handle to JUX_S driver"},
                                         NoDeviceCase{{"/S", "/C"},
                                                      "Can't get a handle to JUX_P driver"}));

// Copy mode on separate devices: the printer takes the scanner's data
// (bypass), and back again.
TEST(StatModes, CopyModeAndBackOnSeparateDevices) {
  SimCard card({.devices = "split"});
  RunResult toCopy = card.Run("juxstat", {"/S", "/C", kFileArg});
  EXPECT_EQ(toCopy.exitCode, kOk) << toCopy.out;
  EXPECT_NE(toCopy.out.find("Enabling printer bypass mode\n"), std::string::npos) << toCopy.out;
  EXPECT_NE(toCopy.out.find("Setting scanner to copy mode\n"), std::string::npos) << toCopy.out;
  EXPECT_EQ(card.Value("printer.bypass"), 1u);
  EXPECT_EQ(card.Value("scanner.mode"), 0u);
  EXPECT_EQ(ReadBytes(card.Scratch("JuxStat.Dat")).size(), kStatusFileSize);

  // Asked again: the printer is already in bypass and nothing changes.
  RunResult again = card.Run("juxstat", {"/S", "/C"});
  EXPECT_EQ(again.exitCode, kOk) << again.out;
  EXPECT_EQ(again.out.find("Enabling printer bypass mode"), std::string::npos) << again.out;

  RunResult toScan = card.Run("juxstat", {kFileArg});
  EXPECT_EQ(toScan.exitCode, kOk) << toScan.out;
  for (const char* line : {"Printer in bypass mode\n", "Setting scanner to scan mode\n",
                           "Disabling printer bypass mode\n"})
    EXPECT_NE(toScan.out.find(line), std::string::npos) << toScan.out;
  EXPECT_EQ(card.Value("printer.bypass"), 0u);
  EXPECT_EQ(card.Value("scanner.mode"), 2u);
}

// A printer-side board reached as the one device: in bypass it gets no
// settings and no status file (code 26). juxsim serves printer boards only
// as JUXDEV_P, so the test's driver opens that one under the combined name.
class PrinterAsCombined : public JuxDriver {
 public:
  JUXHANDLE Open(const char* name) override {
    return SystemDriver().Open(std::string(name) == kJuxDevice ? kJuxDeviceP : name);
  }
  void Close(JUXHANDLE h) override { SystemDriver().Close(h); }
};

TEST(StatBypass, PrinterBoardInBypassEndsWith26) {
  SimCard card({.devices = "split"});
  card.Fault("printer-bypass", true);
  ASSERT_EQ(setenv("JUX_DEVICE_DIR", card.Dir().c_str(), 1), 0);
  PrintParms parms;
  parms.led = 60;
  parms.fileName = card.Scratch("JuxStat.Dat");  // a host path stands as it is
  PrinterAsCombined driver;
  std::ostringstream out;
  EXPECT_EQ(run(parms, driver, out), kBypass);
  unsetenv("JUX_DEVICE_DIR");
  EXPECT_EQ(LastLine(out.str()), "Retrieved valid handle for JUX driver");
  EXPECT_FALSE(fs::exists(card.Scratch("JuxStat.Dat")));
  EXPECT_EQ(card.Value("printer.density"), 40u);
}

// The status file is the record as juxsim shows it, field by field.
TEST(StatusFile, HoldsTheRecordAsJuxsimShowsIt) {
  SimCard card;
  card.Feed(card.WritePbm("doc.pbm", 64, 16, simcard::Stripes), {"--start-after", "0"});
  ASSERT_EQ(card.Run("juxscan", {"/L:64", "/S:800", "/O:C:\\A.TIF"}).exitCode, 0);
  ASSERT_EQ(card.Run("juxstat", {"/S", "/D:33", kFileArg}).exitCode, kOk);
  std::vector<uint8_t> file = ReadBytes(card.Scratch("JuxStat.Dat"));
  ASSERT_EQ(file.size(), kStatusFileSize);
  std::map<std::string, std::string> show = card.Show();

  for (const StateField& f : kStateFields) {
    const std::string name = f.name;
    if (name == "TimerCnt0" || name == "TimerCnt1") continue;  // the timer keeps ticking
    uint64_t shown = std::strtoull(show.at("JUXDEV." + name).c_str(), nullptr, 0);
    uint64_t kept = f.width == 4 ? 0xFFFFFFFFu : (1u << (8 * f.width)) - 1;
    uint64_t inFile = 0;
    for (int i = f.width - 1; i >= 0; --i) inFile = inFile << 8 | file[kStateBlockAt + f.at + i];
    EXPECT_EQ(inFile, shown & kept) << name;
  }
  auto hexBytes = [](const std::string& text) {
    std::vector<uint8_t> bytes;
    std::istringstream in(text);
    for (std::string b; in >> b;) bytes.push_back(static_cast<uint8_t>(std::stoul(b, nullptr, 16)));
    return bytes;
  };
  EXPECT_EQ(hexBytes(show.at("JUXDEV.CommandBuffer")),
            std::vector<uint8_t>(file.begin(), file.begin() + 256));
  EXPECT_EQ(hexBytes(show.at("JUXDEV.StatusBuffer")),
            std::vector<uint8_t>(file.begin() + kStatusBufferAt, file.end()));
  // What the workstation reads: the scan's values and the density just set.
  EXPECT_EQ(file[kStateBlockAt + 24] | file[kStateBlockAt + 25] << 8, 800);  // ScaleFactor
  EXPECT_EQ(file[kStateBlockAt + 32], 33);                                   // Led1OnTime
}

TEST(StatusFile, BusyChannelIsRecordedInTheFile) {
  SimCard card;
  card.Fault("busy-channel", true);
  RunResult r = card.Run("juxstat", {"/S", kFileArg});
  EXPECT_EQ(r.exitCode, kBusy);
  std::vector<uint8_t> file = ReadBytes(card.Scratch("JuxStat.Dat"));
  ASSERT_EQ(file.size(), kStatusFileSize);
  EXPECT_EQ(file[kStateBlockAt], kBusy);  // ErrorCode0 as it stood
}

}  // namespace
}  // namespace juxstat
