// juxscan as a process against the simulated card: every exit code and
// message, the scan file's bytes, automatic width, ESC and a forced reset.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "juxscan/juxscan.h"
#include "tests/juxscan/console_program_test.h"
#include "tests/support/simcard.h"

namespace juxscan {
namespace {

namespace fs = std::filesystem;
using simcard::RunResult;
using simcard::SimCard;

const std::string kScanArg = "/O:C:\\Brevik.TIF";  // C: is the card's scratch folder

using console_test::LastLine;
using console_test::ReadBytes;

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// What a run leaves of the scan file.
enum class Left { None, Empty, Unpatched, Complete };

struct RunCase {
  const char* name;
  std::vector<std::string> faults;  // switched on before the run
  std::vector<std::string> args;    // kScanArg is added unless `noFile`
  bool feed;                        // a 64 x 16 document whose Start is pressed at once
  int exitCode;
  const char* lastLine;
  Left left;
  bool noFile = false;
  friend void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }
};

class ScanRunTest : public testing::TestWithParam<RunCase> {};

// The channel-free bit is the one lock between the programs: whatever way a
// run ends, the channel must be free afterwards, and the code stays in the
// record for the caller.
TEST_P(ScanRunTest, EndsWithItsCodeAndMessage) {
  const RunCase& c = GetParam();
  SimCard card;
  for (const std::string& f : c.faults) card.Fault(f, true);
  if (c.feed) card.Feed(card.WritePbm("doc.pbm", 64, 16, simcard::Stripes), {"--start-after", "0"});
  std::vector<std::string> args = c.args;
  if (!c.noFile) args.push_back(kScanArg);

  RunResult r = card.Run("juxscan", args);

  EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
  EXPECT_EQ(LastLine(r.out), c.lastLine) << r.out;
  EXPECT_EQ(r.out.rfind("Jux Driver Scan Program Version 2.0\n\n", 0), 0u) << r.out;
  if (c.exitCode != kBusy) {
    for (const std::string& f : c.faults) card.Fault(f, false);
    EXPECT_TRUE(card.Value("IntrptStat0") & 0x0004) << "channel left taken";
    EXPECT_EQ(card.Value("ErrorCode1"), static_cast<uint64_t>(c.exitCode));
  }

  const std::string path = card.Scratch("Brevik.TIF");
  std::vector<uint8_t> file = ReadBytes(path);
  switch (c.left) {
    case Left::None:
      EXPECT_FALSE(fs::exists(path));
      break;
    case Left::Empty:
      EXPECT_TRUE(fs::exists(path));
      EXPECT_TRUE(file.empty());
      break;
    case Left::Unpatched:
    case Left::Complete:
      ASSERT_GE(file.size(), kHeaderSize);
      EXPECT_EQ(Le32(file, kImageWidthAt) != 0, c.left == Left::Complete);
      EXPECT_EQ(Le32(file, kImageLengthAt) != 0, c.left == Left::Complete);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    ExitCodes, ScanRunTest,
    testing::Values(
        RunCase{"Scanned", {}, {"/L:64"}, true, kOk, "LinesScanned:  00000016", Left::Complete},
        RunCase{"Busy", {"busy-channel"}, {}, false, kBusy, "Controller busy", Left::None},
        RunCase{"Silent", {"silent-controller"}, {}, false, kNoAnswer, "Communication Error",
                Left::None},
        RunCase{"CopierMode", {"copier-mode-unconfirmed"}, {}, false, kNoAnswer,
                "Cannot update copier mode", Left::None},
        RunCase{"Threshold", {"threshold-unconfirmed"}, {"/T:100"}, false, kNoAnswer,
                "Cannot update ccd threshold", Left::None},
        RunCase{"PhotoMode", {"image-mode-unconfirmed"}, {"/P:1"}, false, kNoAnswer,
                "Cannot update photo mode", Left::None},
        RunCase{"Scale", {"scale-unconfirmed"}, {"/S:500"}, false, kNoAnswer,
                "Cannot update scale factor", Left::None},
        RunCase{"LineTooLong", {}, {"/L:14472"}, false, kBadArgument,
                "Line Length specified is not valid", Left::None},
        RunCase{"LineBeforeScale", {}, {"/L:-8", "/S:100"}, false, kBadArgument,
                "Line Length specified is not valid", Left::None},
        RunCase{"ScaleTooSmall", {}, {"/S:249"}, false, kBadArgument,
                "Scale Factor specified is not valid", Left::None},
        RunCase{"ThresholdInvalid", {}, {"/T:128"}, false, kBadArgument,
                "CCD Threshold is invalid", Left::None},
        RunCase{"PhotoModeInvalid", {}, {"/P:4"}, false, kBadArgument, "Photo Mode is invalid",
                Left::None},
        RunCase{"NoFileName", {}, {}, false, kBadArgument,
                "No filename (or an invalid one) was supplied", Left::None, true},
        RunCase{"UnknownDrive", {}, {"/O:Q:\\SCAN.TIF"}, false, kBadArgument,
                "No filename (or an invalid one) was supplied", Left::None, true},
        RunCase{"MissingFolder", {}, {"/O:C:\\NOWHERE\\SCAN.TIF"}, false, kBadArgument,
                "No filename (or an invalid one) was supplied", Left::None, true},
        RunCase{"TooFast", {"scanner-too-fast"}, {}, false, kTooFast,
                "Scanner is too fast for interface card", Left::Empty},
        RunCase{"Overrun", {"data-overrun"}, {"/L:64"}, true, kOverrun,
                "Could not keep up with data", Left::Unpatched},
        RunCase{"NeverFinished", {"transfer-stuck"}, {"/L:64"}, true, kNotFinished,
                "Timeout waiting for scan complete", Left::Unpatched}),
    console_test::CaseName<RunCase>);

TEST(ScanDevices, NoDeviceEndsWithCode1) {
  SimCard card;
  simcard::RunOptions options;
  options.env = {{"JUX_DEVICE_DIR", card.Scratch("")}};  // a folder without devices
  RunResult r = card.Run("juxscan", {kScanArg}, options);
  EXPECT_EQ(r.exitCode, kNoDevice);
  EXPECT_EQ(LastLine(r.out), "Can't get a handle to JUX driver");
}

TEST(ScanDevices, SplitCardScansOnTheScannerDevice) {
  SimCard card({.devices = "split"});
  card.Feed(card.WritePbm("doc.pbm", 64, 8, simcard::Stripes), {"--start-after", "0"});
  RunResult r = card.Run("juxscan", {"/L:64", kScanArg});
  EXPECT_EQ(r.exitCode, kOk) << r.out;
  EXPECT_NE(r.out.find("Retrieved valid handle for JUX_S driver\n"), std::string::npos);
}

// ---------------------------------------------------------------------------
// The scan file.

// A drawing-like pattern with detail at every bit position.
bool Drawing(int x, int y) { return (x * 7 + y * 3) % 11 < 4 || x == y || (x / 16 + y / 5) % 7 == 0; }

// The image lines of a scan file (at most `maxRows`), unpacked at `rowBytes` per line.
std::vector<std::vector<uint8_t>> ImageRows(const std::vector<uint8_t>& file, size_t rowBytes,
                                            size_t maxRows = SIZE_MAX) {
  return simcard::UnpackBits(std::vector<uint8_t>(file.begin() + kHeaderSize, file.end()),
                             rowBytes, maxRows);
}

TEST(ScanFile, DecodesToTheFedDocumentAtScale1000) {
  SimCard card;
  const int width = 1200, height = 90;  // 150 bytes per line, lines cross several buffers
  card.Feed(card.WritePbm("doc.pbm", width, height, Drawing), {"--start-after", "0"});
  RunResult r = card.Run("juxscan", {"/L:1200", "/S:1000", kScanArg});
  ASSERT_EQ(r.exitCode, kOk) << r.out;

  std::vector<uint8_t> file = ReadBytes(card.Scratch("Brevik.TIF"));
  ASSERT_GE(file.size(), kHeaderSize);
  for (size_t i = 0; i < kHeaderSize; ++i) {
    if (i >= kImageWidthAt && i < kImageWidthAt + 4) continue;
    if (i >= kImageLengthAt && i < kImageLengthAt + 4) continue;
    EXPECT_EQ(file[i], pacheader[i]) << "header byte " << i;
  }
  EXPECT_EQ(Le32(file, kImageWidthAt), static_cast<uint32_t>(width));
  EXPECT_EQ(Le32(file, kImageLengthAt), static_cast<uint32_t>(height));
  EXPECT_NE(r.out.find("LinesScanned:  00000090\n"), std::string::npos) << r.out;

  auto rows = ImageRows(file, width / 8);
  ASSERT_EQ(rows.size(), static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    ASSERT_EQ(rows[y], simcard::PackRow(Drawing, width, y, width / 8)) << "line " << y;

  // A TIFF reader takes the directory as the station writes it.
  TIFF* tif = TIFFOpen(card.Scratch("Brevik.TIF").c_str(), "r");
  ASSERT_NE(tif, nullptr);
  uint32_t w = 0, h = 0;
  uint16_t compression = 0, photometric = 9;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFClose(tif);
  EXPECT_EQ(w, static_cast<uint32_t>(width));
  EXPECT_EQ(h, static_cast<uint32_t>(height));
  EXPECT_EQ(compression, COMPRESSION_PACKBITS);
  EXPECT_EQ(photometric, PHOTOMETRIC_MINISWHITE);
}

struct ScaleCase {
  int scale;
  int lines;  // of a 64 x 40 document
  friend void PrintTo(const ScaleCase& c, std::ostream* os) { *os << "scale " << c.scale; }
};

class ScanScaleTest : public testing::TestWithParam<ScaleCase> {};

TEST_P(ScanScaleTest, FileHasTheScaledSize) {
  SimCard card;
  card.Feed(card.WritePbm("doc.pbm", 64, 40, simcard::Stripes), {"--start-after", "0"});
  RunResult r = card.Run("juxscan", {"/L:800", "/S:" + std::to_string(GetParam().scale), kScanArg});
  ASSERT_EQ(r.exitCode, kOk) << r.out;
  std::vector<uint8_t> file = ReadBytes(card.Scratch("Brevik.TIF"));
  ASSERT_GE(file.size(), kHeaderSize);
  EXPECT_EQ(Le32(file, kImageWidthAt), 800u);  // a given line length is kept at every scale
  EXPECT_EQ(Le32(file, kImageLengthAt), static_cast<uint32_t>(GetParam().lines));
  EXPECT_EQ(ImageRows(file, 100).size(), static_cast<size_t>(GetParam().lines));
  EXPECT_EQ(card.Value("scanner.scale"), static_cast<uint64_t>(GetParam().scale));
}

INSTANTIATE_TEST_SUITE_P(Scales, ScanScaleTest,
                         testing::Values(ScaleCase{250, 10}, ScaleCase{2000, 80}));

struct WidthCase {
  const char* name;
  bool ansi;  // the scanner is set to the ANSI series first
  int widthCode;
  int scale;
  uint32_t pixels;        // header width
  uint64_t recordScale;   // ScaleFactor left in the record
  int lines;              // of a 64 x 12 document at the scanner's scale
  friend void PrintTo(const WidthCase& c, std::ostream* os) { *os << c.name; }
};

class AutomaticWidthTest : public testing::TestWithParam<WidthCase> {};

// Without /L: the line length comes from the width code that the scanner
// reports for the document, in the size series the scanner is set to.
TEST_P(AutomaticWidthTest, LineLengthFollowsTheScanner) {
  const WidthCase& c = GetParam();
  SimCard card;
  if (c.ansi) {
    ASSERT_EQ(card.Run("juxstat", {"/S", "/A:1"}).exitCode, 0);
  }
  card.Feed(card.WritePbm("doc.pbm", 64, 12, simcard::Stripes),
            {"--width-code", std::to_string(c.widthCode), "--start-after", "0"});
  RunResult r = card.Run("juxscan", {"/S:" + std::to_string(c.scale), kScanArg});
  ASSERT_EQ(r.exitCode, kOk) << r.out;
  std::vector<uint8_t> file = ReadBytes(card.Scratch("Brevik.TIF"));
  ASSERT_GE(file.size(), kHeaderSize);
  EXPECT_EQ(Le32(file, kImageWidthAt), c.pixels);
  EXPECT_EQ(Le32(file, kImageLengthAt), c.pixels ? static_cast<uint32_t>(c.lines) : 0u);
  EXPECT_EQ(card.Value("ScaleFactor"), c.recordScale);
  EXPECT_EQ(card.Value("scanner.scale"), static_cast<uint64_t>(c.scale));  // the cap is not sent
  if (c.pixels == 0) {
    EXPECT_EQ(r.out.find("Adapter complete"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, AutomaticWidthTest,
    testing::Values(WidthCase{"Metric1800", false, 5, 1000, 14400, 1000, 12},
                    WidthCase{"Metric2400Capped", false, 15, 1000, 14400, 750, 12},
                    WidthCase{"MetricNoWidth", false, 7, 1000, 0, 1000, 12},
                    WidthCase{"Ansi1800Double", true, 0, 2000, 28800, 2000, 24},
                    WidthCase{"Ansi425", true, 9, 1000, 3400, 1000, 12},
                    WidthCase{"Ansi2100Capped", true, 13, 1000, 12600, 750, 12}),
    console_test::CaseName<WidthCase>);

// ---------------------------------------------------------------------------
// Ending a scan from outside.

// juxscan (on a terminal, where keys can be sent) with a fed document of
// `lines` lines, waiting for the operator's Start.
simcard::Process WaitingScan(SimCard& card, int lines, bool terminal) {
  card.Feed(card.WritePbm("doc.pbm", 64, lines, simcard::Stripes));
  simcard::RunOptions options;
  options.terminal = terminal;
  simcard::Process scan = card.Start("juxscan", {"/L:64", kScanArg}, options);
  if (!scan.WaitForOutput("ESC to exit from scan..."))
    throw std::runtime_error("juxscan is not waiting for the start: " + scan.OutputSoFar());
  return scan;
}

// Waits until the card has delivered `lines` scan lines of the running transfer.
void WaitForDeliveredLines(const SimCard& card, uint64_t lines) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (card.Value("scanner.lines-delivered") < lines) {
    if (std::chrono::steady_clock::now() > deadline)
      throw std::runtime_error("the card delivered no scan lines");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

TEST(ScanAbort, EscBeforeStartLeavesAnEmptyFile) {
  SimCard card;
  simcard::Process scan = WaitingScan(card, 16, true);
  scan.Send("\x1b");
  RunResult r = scan.Wait();
  EXPECT_EQ(r.exitCode, kEscape) << r.out;
  EXPECT_EQ(r.out.find("Esc Key Depressed"), std::string::npos);
  EXPECT_EQ(LastLine(r.out), "ESC to exit from scan...");
  EXPECT_TRUE(fs::exists(card.Scratch("Brevik.TIF")));
  EXPECT_EQ(fs::file_size(card.Scratch("Brevik.TIF")), 0u);
  EXPECT_TRUE(card.Value("IntrptStat0") & 0x0004);
}

TEST(ScanAbort, ArrowKeyIsNotEsc) {
  SimCard card;
  simcard::Process scan = WaitingScan(card, 16, true);
  scan.Send("\x1b[A");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  card.PressStart();
  RunResult r = scan.Wait();
  EXPECT_EQ(r.exitCode, kOk) << r.out;
}

TEST(ScanAbort, EscDuringTransferStopsTheScanner) {
  SimCard card;
  card.Set("fast", "0");
  card.Set("scanner-speed", "0");  // 40 mm/s: about 630 lines a second
  simcard::Process scan = WaitingScan(card, 4000, true);
  card.PressStart();
  WaitForDeliveredLines(card, 300);
  scan.Send("\x1b");
  RunResult r = scan.Wait();
  EXPECT_EQ(r.exitCode, kEscape) << r.out;
  EXPECT_EQ(LastLine(r.out), "Esc Key Depressed");
  EXPECT_EQ(card.Value("reg4-last-write"), 0x1018u);  // the scanner channel was stopped
  EXPECT_TRUE(card.Value("IntrptStat0") & 0x0004);
  std::vector<uint8_t> file = ReadBytes(card.Scratch("Brevik.TIF"));
  ASSERT_GT(file.size(), kHeaderSize);  // what came is kept, but not taken for a finished scan
  EXPECT_EQ(Le32(file, kImageLengthAt), 0u);
}

TEST(ScanAbort, ForcedResetWhileWaitingEndsWith95) {
  SimCard card;
  simcard::Process scan = WaitingScan(card, 16, false);
  EXPECT_FALSE(card.Value("IntrptStat0") & 0x0004);  // taken while the scan waits
  RunResult reset = card.Run("juxstat", {"/F", "/S"});
  EXPECT_EQ(reset.exitCode, 0) << reset.out;
  RunResult r = scan.Wait();
  EXPECT_EQ(r.exitCode, kChannelReset) << r.out;
  EXPECT_EQ(LastLine(r.out), "ESC to exit from scan...");
  EXPECT_EQ(card.Value("ErrorCode1"), static_cast<uint64_t>(kChannelReset));
  EXPECT_TRUE(card.Value("IntrptStat0") & 0x0004);
}

// A card that dies in the middle of a transfer (its daemon is killed: the
// timer stops, the scan never ends) and a channel reset forced by juxstat
// during the transfer both end the scan; the header then states the whole
// lines of the document that reached the file. (What the ring still held
// after a reset is written too, but not stated: the reset zeroes words of
// the buffers.)
TEST(ScanAbort, ScanCutShortStatesTheLinesItHolds) {
  const struct {
    const char* name;
    bool cardDies;
    int code;
    const char* lastLine;
  } cases[] = {{"card dies", true, kNotFinished, "Timeout waiting for scan complete"},
               {"channel reset", false, kChannelReset, "ESC to exit from scan..."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimCard card;
    card.Set("fast", "0");
    card.Set("scanner-speed", "0");  // about 630 lines a second
    simcard::Process scan = WaitingScan(card, 4000, false);
    card.PressStart();
    WaitForDeliveredLines(card, 300);
    if (c.cardDies) {
      std::ifstream pidFile(card.Dir() + "/juxsim.pid");
      pid_t pid = 0;
      pidFile >> pid;
      ASSERT_GT(pid, 0);
      ASSERT_EQ(kill(pid, SIGKILL), 0);
    } else {
      RunResult reset = card.Run("juxstat", {"/F", "/S"});
      EXPECT_EQ(reset.exitCode, 0) << reset.out;
    }
    RunResult r = scan.Wait();
    EXPECT_EQ(r.exitCode, c.code) << r.out;
    EXPECT_EQ(LastLine(r.out), c.lastLine);
    std::vector<uint8_t> file = ReadBytes(card.Scratch("Brevik.TIF"));
    ASSERT_GT(file.size(), kHeaderSize);
    const uint32_t stated = Le32(file, kImageLengthAt);
    EXPECT_GT(stated, 0u);
    EXPECT_LT(stated, 4000u);
    EXPECT_EQ(Le32(file, kImageWidthAt), 64u);
    auto rows = ImageRows(file, 8, c.cardDies ? SIZE_MAX : stated);
    ASSERT_EQ(rows.size(), stated);  // a dead card leaves nothing unstated
    for (uint32_t y = 0; y < stated; ++y)
      ASSERT_EQ(rows[y], simcard::PackRow(simcard::Stripes, 64, y, 8)) << "line " << y;
  }
}

// A reset forced during a transfer brings the channel up again, and the next
// scan is whole: started after juxstat has ended, or at once, while juxstat
// still resets (it rewrites IntrptStat0 after its pause, when the next scan
// may already have enabled the interface and the channel be up).
TEST(ScanAbort, NextScanAfterAForcedResetIsWhole) {
  for (bool atOnce : {false, true}) {
    SCOPED_TRACE(atOnce ? "next scan while juxstat resets" : "next scan after juxstat");
    SimCard card;
    card.Set("fast", "0");
    card.Set("scanner-speed", "3");  // about 2500 lines a second
    simcard::Process scan = WaitingScan(card, 20000, false);
    const int width = 64, height = 600;
    card.Feed(card.WritePbm("next.pbm", width, height, Drawing), {"--start-on-ask", "0"});
    card.PressStart();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    simcard::Process reset = card.Start("juxstat", {"/F", "/S"});
    EXPECT_EQ(scan.Wait().exitCode, kChannelReset);
    if (!atOnce) {
      EXPECT_EQ(reset.Wait().exitCode, 0);
    }

    RunResult next = card.Run("juxscan", {"/L:64", "/O:C:\\Next.TIF"});
    if (atOnce) {
      EXPECT_EQ(reset.Wait().exitCode, 0);
    }
    ASSERT_EQ(next.exitCode, kOk) << next.out;
    std::vector<uint8_t> file = ReadBytes(card.Scratch("Next.TIF"));
    ASSERT_GT(file.size(), kHeaderSize);
    EXPECT_EQ(Le32(file, kImageWidthAt), static_cast<uint32_t>(width));
    EXPECT_EQ(Le32(file, kImageLengthAt), static_cast<uint32_t>(height));
    auto rows = ImageRows(file, width / 8);
    ASSERT_EQ(rows.size(), static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
      ASSERT_EQ(rows[y], simcard::PackRow(Drawing, width, y, width / 8)) << "line " << y;
  }
}

}  // namespace
}  // namespace juxscan
