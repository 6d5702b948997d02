// juxsim as a process in a folder of the test's own, driven through the
// device layer as the console programs drive it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "juxutil/juxutil.h"
#include "tests/support/simcard.h"

namespace fs = std::filesystem;
using simcard::SimCard;
using simcard::SimCardOptions;

namespace {

// One open device of the card, as a program holds it.
class Device {
 public:
  Device(const SimCard& card, const char* name) {
    setenv("JUX_DEVICE_DIR", card.Dir().c_str(), 1);
    h = SystemDriver().Open(name);
    if (h != JUX_INVALID_HANDLE) JUX_GET_ADAPTER(h, &r);
  }
  ~Device() {
    if (r != nullptr) JUX_UNMAPMEM(h, r);
    if (h != JUX_INVALID_HANDLE) SystemDriver().Close(h);
  }
  JUXHANDLE h = JUX_INVALID_HANDLE;
  LocalParms* r = nullptr;
};

// Polls `done` for up to `ms` milliseconds.
bool Eventually(const std::function<bool()>& done, int ms = 2000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

uint8_t Byte1(uint32_t word) { return static_cast<uint8_t>(word >> 8); }

struct Scan {
  std::vector<uint8_t> data;
  uint32_t linesScanned = 0;
  uint16_t stat1 = 0;
  bool finished = false;      // scan-in-progress bit cleared and ring drained
  bool flagsCleared = false;  // JuxFlags bit 0x1 cleared afterwards
};

// The transfer as the scan program runs it: prepare, map and reset the ring,
// start, drain until the document is through.
Scan RunScan(Device& d, uint32_t lineBytes, bool drain = true) {
  Scan scan;
  JUX_WRITE_PORT(d.h, kRegControl, 0x1018);
  JUX_WRITE_PORT(d.h, kRegControl, 0x8F08);
  JUX_WRITE_PORT(d.h, kRegLineLength, lineBytes);
  void* buffers[kMaxBuffers];
  MapRing(d.h, d.r, buffers);
  ResetRing(d.r);
  Poke(d.r->NumLinesScanned, 0u);
  SetBits16(d.r->IntrptStat0, kStat0ScanInProgress);
  Poke(d.r->IntrptStat1, uint16_t{0});
  JUX_WRITE_PORT(d.h, kRegControl, 0x8009 | 0x0040);
  const auto writer = [&](const uint8_t* p, uint32_t n) { scan.data.insert(scan.data.end(), p, p + n); };
  scan.finished = Eventually(
      [&] {
        if (drain) DrainRing(d.r, buffers, writer);
        return (Peek(d.r->IntrptStat0) & kStat0ScanInProgress) == 0 &&
               (!drain || Peek(d.r->BufsInUse) == 0);
      },
      10000);
  scan.flagsCleared = Eventually([&] { return (Peek(d.r->JuxFlags) & 1) == 0; }, 300);
  scan.linesScanned = Peek(d.r->NumLinesScanned);
  scan.stat1 = Peek(d.r->IntrptStat1);
  UnmapRing(d.h, buffers);
  return scan;
}

// Sets the scanner's scale through statuses 15 and 16.
void SendScale(LocalParms* r, uint32_t scale) {
  SendStatus(r, 15, scale & 0x7F);
  SendStatus(r, 16, (scale >> 7) & 0x7F);
}

bool Diagonal(int x, int y) { return (x + y) % 13 < 4 || x == 3; }

void WriteTiff(const std::string& path, int width, int height, bool minIsBlack) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, minIsBlack ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
  const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
  for (int y = 0; y < height; ++y) {
    auto row = simcard::PackRow(Diagonal, width, y, rowBytes);
    if (minIsBlack)
      for (auto& b : row) b = static_cast<uint8_t>(~b);
    TIFFWriteScanline(tif, row.data(), y, 0);
  }
  TIFFClose(tif);
}

}  // namespace

TEST(Juxsim, TwoProcessesShareOneRecord) {
  SimCard card;
  Device d(card, kJuxDevice);
  ASSERT_NE(d.r, nullptr);
  Poke(d.r->NumLinesToPrint, 4242u);
  EXPECT_EQ(card.Value("NumLinesToPrint"), 4242u);  // as the card's process sees it

  const pid_t child = fork();
  if (child == 0) {
    Device other(card, kJuxDevice);
    if (other.r != nullptr) Poke(other.r->BlankLines, 77u);
    _exit(other.r != nullptr ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Peek(d.r->BlankLines), 77u);
}

TEST(Juxsim, FedDocumentComesOutAsPackBitsLines) {
  struct Case {
    const char* what;
    uint32_t scale;
    uint32_t lineBytes;
    int bufferSize;
  } cases[] = {
      {"1:1, lines across many small buffers", 1000, 13, 4096},
      {"1:1, line cut to register 12", 1000, 8, 65536},
      {"enlarged 2:1", 2000, 26, 65536},
      {"reduced 1:2", 500, 7, 65536},
  };
  const int width = 100, height = 700;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SimCardOptions options;
    options.buffers = 3;
    options.bufferSize = c.bufferSize;
    SimCard card(options);
    card.Feed(card.WritePbm("doc.pbm", width, height, Diagonal));
    Device d(card, kJuxDevice);
    ASSERT_NE(d.r, nullptr);
    SendScale(d.r, c.scale);
    ASSERT_EQ(GetCommand(d.r, 12) >> 8, c.scale);

    const Scan scan = RunScan(d, c.lineBytes);
    ASSERT_TRUE(scan.finished);
    EXPECT_TRUE(scan.flagsCleared);
    const auto rows = simcard::UnpackBits(scan.data, c.lineBytes);
    const size_t expectedRows = height * c.scale / 1000;
    ASSERT_EQ(rows.size(), expectedRows);
    // The scan program's header states NumLinesScanned - 4 lines.
    EXPECT_EQ(scan.linesScanned - 4, expectedRows);
    const auto scaled = [&](int x, int y) {
      const int sx = static_cast<int>(x * 1000 / c.scale), sy = static_cast<int>(y * 1000 / c.scale);
      return sx < width && Diagonal(sx, sy);
    };
    for (size_t y = 0; y < rows.size(); ++y)
      ASSERT_EQ(rows[y], simcard::PackRow(scaled, c.lineBytes * 8, static_cast<int>(y), c.lineBytes))
          << "line " << y;
  }
}

TEST(Juxsim, TiffDocumentsDeliverTheSameLinesAsPbm) {
  SimCard card;
  Device d(card, kJuxDevice);
  std::vector<std::vector<std::vector<uint8_t>>> results;
  WriteTiff(card.Scratch("white.tif"), 50, 30, false);
  WriteTiff(card.Scratch("black.tif"), 50, 30, true);
  for (const std::string& image :
       {card.WritePbm("a.pbm", 50, 30, Diagonal), card.Scratch("white.tif"), card.Scratch("black.tif")}) {
    card.Feed(image);
    const Scan scan = RunScan(d, 7);
    results.push_back(simcard::UnpackBits(scan.data, 7));
  }
  ASSERT_EQ(results[0].size(), 30u);
  EXPECT_EQ(results[1], results[0]);
  EXPECT_EQ(results[2], results[0]);
}

TEST(Juxsim, FullRingWhenALineIsDueIsAnOverrun) {
  SimCardOptions options;
  options.fast = false;
  options.buffers = 1;
  options.bufferSize = 4096;
  SimCard card(options);
  card.Set("scanner-speed", "3");
  card.Feed(card.WritePbm("doc.pbm", 800, 1200, Diagonal));
  Device d(card, kJuxDevice);
  // Nobody drains: the one buffer stays full while the document goes through.
  const Scan scan = RunScan(d, 100, /*drain=*/false);
  EXPECT_TRUE(scan.finished);
  EXPECT_NE(scan.stat1 & kStat1Overrun, 0);
  EXPECT_LT(scan.linesScanned - 4, 1200u);
}

TEST(Juxsim, ScannerStateFollowsTheStatusesSent) {
  SimCard card;
  card.Feed(card.WritePbm("doc.pbm", 827 * 8, 10, Diagonal), {"--ansi", "--start-after", "0"});
  Device d(card, kJuxDevice);
  SendStatus(d.r, 23, 0x03);  // ANSI, scan mode
  SendStatus(d.r, 18, 100);
  SendStatus(d.r, 21, 0x12);
  SendStatus(d.r, 3, 90);
  SendScale(d.r, 1500);
  EXPECT_EQ(Byte1(GetCommand(d.r, 2)) & 0x07, 0x03);
  EXPECT_NE(Byte1(GetCommand(d.r, 2)) & 0x40, 0);  // Start pressed right after the feed
  EXPECT_EQ(Byte1(GetCommand(d.r, 14)), 100);
  EXPECT_EQ(Byte1(GetCommand(d.r, 3)) & 0x0F, 0x02);
  EXPECT_EQ(Byte1(GetCommand(d.r, 16)), 90);
  EXPECT_EQ(GetCommand(d.r, 12) >> 8, 1500u);
  // 827 bytes is the width of no ANSI paper; the next wider is 850 bytes, code 6.
  EXPECT_EQ(Byte1(GetCommand(d.r, 13)) & 0x0F, 6);
  EXPECT_NE(Peek(d.r->IntrptStat0) & kStat0NewWidth, 0);
  // A new width reported later (as during an automatic-width scan).
  ClearBits16(d.r->IntrptStat0, kStat0NewWidth);
  EXPECT_EQ(card.Juxsim({"width", "14"}).exitCode, 0);
  EXPECT_NE(Peek(d.r->IntrptStat0) & kStat0NewWidth, 0);
  EXPECT_EQ(Byte1(GetCommand(d.r, 13)) & 0x0F, 14);
  EXPECT_EQ(d.r->ErrorCode0, 0);
}

TEST(Juxsim, AFolderIsAStackWhoseStartComesWhenAScanAsks) {
  SimCard card;
  const std::string stack = card.Scratch("stack");
  fs::create_directory(stack);
  card.WritePbm("stack/2.pbm", 64, 20, Diagonal);
  card.WritePbm("stack/1.pbm", 64, 10, Diagonal);
  // A folder with one bad image queues nothing; an empty one is refused.
  const std::string bad = card.Scratch("bad");
  fs::create_directory(bad);
  card.WritePbm("bad/1.pbm", 64, 10, Diagonal);
  std::ofstream(bad + "/2.pbm") << "hello";
  EXPECT_EQ(card.Juxsim({"feed", bad}).exitCode, 1);
  fs::create_directory(card.Scratch("empty"));
  EXPECT_EQ(card.Juxsim({"feed", card.Scratch("empty")}).exitCode, 1);
  EXPECT_EQ(card.Value("scanner.documents"), 0u);

  card.Feed(stack, {"--start-on-ask", "0"});
  EXPECT_EQ(card.Value("scanner.documents"), 2u);
  EXPECT_NE(card.Field("scanner.document").find("1.pbm 64x10"), std::string::npos);  // name order
  Device d(card, kJuxDevice);
  // Asked in copy mode: no Start yet; asked in scan mode: Start.
  EXPECT_EQ(Byte1(GetCommand(d.r, 2)) & 0x40, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Byte1(GetCommand(d.r, 2)) & 0x40, 0);
  SendStatus(d.r, 23, 0x02);
  GetCommand(d.r, 2);
  EXPECT_TRUE(Eventually([&] { return (Byte1(GetCommand(d.r, 2)) & 0x40) != 0; }));
}

TEST(Juxsim, ResetTakesTheChannelDownUntilItComesUp) {
  SimCard card;
  Device d(card, kJuxDevice);
  JUX_WRITE_PORT(d.h, kRegControl, 0x1010);
  Poke(d.r->IntrptStat0, kStat0ChannelFree);  // what a resetting program writes
  EXPECT_TRUE(Eventually([&] { return (JUX_READ_PORT(d.h, kRegControl) & 0x0008) == 0; }));
  JUX_WRITE_PORT(d.h, kRegControl, 0x0008);
  EXPECT_TRUE(Eventually([&] { return (Peek(d.r->IntrptStat0) & kStat0ChannelUp) != 0; }));
  EXPECT_NE(Peek(d.r->IntrptStat0) & kStat0Communication, 0);
  EXPECT_NE(JUX_READ_PORT(d.h, kRegControl) & 0x0008, 0);
}

TEST(Juxsim, PrinterLeavesBypassThroughStatusesNineAndSeven) {
  SimCardOptions options;
  options.devices = "split";
  SimCard card(options);
  Device p(card, kJuxDeviceP);
  ASSERT_NE(p.r, nullptr);
  EXPECT_EQ(p.r->BoardID, kBoardPrinterA);
  // Enter bypass.
  Poke(p.r->CmdToSend, uint8_t{0xFF});
  EXPECT_TRUE(Eventually([&] { return Peek(p.r->CmdToSend) != 0xFF; }));
  JUX_WRITE_PORT(p.h, kRegControl, 0x0200);
  JUX_WRITE_PORT(p.h, kRegControl, 0x0206);
  EXPECT_TRUE(Eventually([&] { return (JUX_READ_PORT(p.h, kRegControl) & 0x0200) != 0; }));
  // Leave it.
  JUX_WRITE_PORT(p.h, kRegControl, 0x0000);
  Poke(p.r->IntrptStat0, kStat0ChannelFree);
  EXPECT_TRUE(Eventually([&] { return (JUX_READ_PORT(p.h, kRegControl) & 0x0200) == 0; }));
  EXPECT_EQ(GetStatus(p.r, 9), 1u);
  EXPECT_EQ(SendCommand(p.r, 0x21, 0), 0);
  EXPECT_EQ(GetStatus(p.r, 9), 0u);
  EXPECT_NE(GetStatus(p.r, 7) & 0x60, 0x20u);
  EXPECT_EQ(SendCommand(p.r, 0x11, 1), 0);
  EXPECT_EQ(GetStatus(p.r, 7) & 0x60, 0x20u);
  EXPECT_EQ(p.r->ErrorCode0, 0);
}

// Each fault, observed through the record the way a program would see it:
// the observation must differ between fault off and fault on.
TEST(Juxsim, EveryFaultHasAVisibleEffect) {
  using Observe = std::function<uint32_t(SimCard&, Device& s, Device& p)>;
  struct Row {
    const char* fault;
    Observe observe;
  };
  const Row rows[] = {
      {"busy-channel", [](SimCard&, Device& s, Device&) { return Peek(s.r->IntrptStat0) & kStat0ChannelFree; }},
      {"silent-controller",
       [](SimCard&, Device& s, Device&) {
         GetCommand(s.r, 2);
         return uint32_t{s.r->ErrorCode0} | (Peek(s.r->IntrptStat0) & kStat0Communication);
       }},
      {"copier-mode-unconfirmed",
       [](SimCard&, Device& s, Device&) {
         SendStatus(s.r, 23, 0x02);
         return uint32_t{Byte1(GetCommand(s.r, 2))} & 0x06;
       }},
      {"threshold-unconfirmed",
       [](SimCard&, Device& s, Device&) {
         SendStatus(s.r, 18, 99);
         return uint32_t{Byte1(GetCommand(s.r, 14))};
       }},
      {"image-mode-unconfirmed",
       [](SimCard&, Device& s, Device&) {
         SendStatus(s.r, 21, 1);
         return uint32_t{Byte1(GetCommand(s.r, 3))} & 0x0F;
       }},
      {"scale-unconfirmed",
       [](SimCard&, Device& s, Device&) {
         SendScale(s.r, 2500);
         return GetCommand(s.r, 12) >> 8;
       }},
      {"density-unconfirmed",
       [](SimCard&, Device& s, Device& p) {
         SendStatus(s.r, 3, 70);
         SendCommand(p.r, 0x29, 71);
         return uint32_t{Byte1(GetCommand(s.r, 16))} << 8 | GetStatus(p.r, 14);
       }},
      {"ansi-unconfirmed",
       [](SimCard&, Device& s, Device& p) {
         SendStatus(s.r, 23, 0x01);
         SendCommand(p.r, 9, 1);
         return (Byte1(GetCommand(s.r, 2)) & 1u) << 8 | (GetStatus(p.r, 7) & 0x10);
       }},
      {"data-overrun",
       [](SimCard& card, Device& s, Device&) {
         card.Feed(card.WritePbm("o.pbm", 16, 20, Diagonal));
         const Scan scan = RunScan(s, 2);
         return static_cast<uint32_t>(scan.stat1 & kStat1Overrun) | scan.linesScanned << 8;
       }},
      {"transfer-stuck",
       [](SimCard& card, Device& s, Device&) {
         card.Feed(card.WritePbm("t.pbm", 16, 20, Diagonal));
         return uint32_t{RunScan(s, 2).flagsCleared};
       }},
      {"scanner-too-fast",
       [](SimCard&, Device& s, Device&) {
         const uint32_t card = JUX_READ_PORT(s.h, kRegControl) & 0x60;
         const uint32_t scanner = (GetCommand(s.r, 3) >> 7) & 0x60;
         return uint32_t{card < scanner};
       }},
      {"printer-bypass",
       [](SimCard&, Device&, Device& p) {
         return (JUX_READ_PORT(p.h, kRegControl) & 0x0200) | (Peek(p.r->IntrptStat0) & kStat0Bypass) |
                SendCommand(p.r, 9, 0);
       }},
      {"printer-needs-reset", [](SimCard&, Device&, Device& p) { return GetStatus(p.r, 0); }},
      {"scanner-needs-reset",
       [](SimCard&, Device& s, Device&) { return uint32_t{Byte1(GetCommand(s.r, 5))}; }},
      {"channel-never-up",
       [](SimCard&, Device& s, Device&) {
         JUX_WRITE_PORT(s.h, kRegControl, 0x1010);
         Poke(s.r->IntrptStat0, kStat0ChannelFree);
         JUX_WRITE_PORT(s.h, kRegControl, 0x0008);
         return uint32_t{Eventually([&] { return (Peek(s.r->IntrptStat0) & kStat0ChannelUp) != 0; }, 400)};
       }},
  };
  // The rows cover the whole fault list of the card.
  {
    SimCard card;
    const std::string list = card.Juxsim({"fault"}).out;
    EXPECT_EQ(static_cast<size_t>(std::count(list.begin(), list.end(), '\n')), std::size(rows));
    for (const Row& row : rows) EXPECT_NE(list.find(std::string(row.fault) + ": "), std::string::npos);
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    uint32_t seen[2];
    for (bool on : {false, true}) {
      SimCardOptions options;
      options.devices = "split";
      SimCard card(options);
      if (on) card.Fault(row.fault, true);
      EXPECT_EQ(card.Field(row.fault), on ? "on" : "off");
      Device s(card, kJuxDeviceS), p(card, kJuxDeviceP);
      ASSERT_NE(s.r, nullptr);
      ASSERT_NE(p.r, nullptr);
      seen[on] = row.observe(card, s, p);
    }
    EXPECT_NE(seen[0], seen[1]);
  }
}

TEST(Juxsim, FaultsSwitchBackOff) {
  SimCard card;
  Device d(card, kJuxDevice);
  card.Fault("busy-channel", true);
  EXPECT_TRUE(Eventually([&] { return (Peek(d.r->IntrptStat0) & kStat0ChannelFree) == 0; }));
  card.Fault("busy-channel", false);
  EXPECT_NE(Peek(d.r->IntrptStat0) & kStat0ChannelFree, 0);
  card.Fault("silent-controller", true);
  card.Fault("silent-controller", false);
  EXPECT_EQ(GetCommand(d.r, 2) & 0xFF, 2u);
}

TEST(Juxsim, BadInputIsRefusedWithOneLine) {
  SimCard card;
  const std::string text = card.Scratch("text.pbm");
  std::ofstream(text) << "hello";
  const std::string cut = card.Scratch("cut.pbm");
  std::ofstream(cut) << "P4\n100 100\n\x01\x02";
  const std::string tiff = card.Scratch("bad.tif");
  std::ofstream(tiff) << "II*\0garbage";

  const struct {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{"feed", card.Scratch("missing.pbm")}, 1},
      {{"feed", text}, 1},
      {{"feed", cut}, 1},
      {{"feed", tiff}, 1},
      {{"feed", cut, "--width-code", "16"}, 2},
      {{"fault", "no-such-fault", "on"}, 2},
      {{"fault", "busy-channel", "maybe"}, 2},
      {{"set", "scanner-speed", "9"}, 2},
      {{"press-start"}, 1},  // nothing fed
      {{"start"}, 1},        // already running here
      {{"frobnicate"}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    const auto r = card.Juxsim(c.args);
    EXPECT_EQ(r.exitCode, c.code);
    EXPECT_EQ(r.err.rfind("juxsim: ", 0), 0u) << r.err;
  }
  EXPECT_EQ(card.Value("scanner.documents"), 0u);
}

// A refusal names what is wrong with the input as it stands.
TEST(Juxsim, RefusalsNameTheRealFault) {
  SimCard card;
  const std::string big = card.Scratch("big.pbm");
  std::ofstream(big) << "P4 1234567 89\n";
  const std::string tall = card.Scratch("tall.pbm");
  std::ofstream(tall) << "P1\n# a comment\n64 99999999999999999999\n";
  const std::string notFolder = card.Scratch("not-a-folder");
  std::ofstream(notFolder) << "x";
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"feed", big}, "1234567x89"},
      {{"feed", tall}, "64x999999999 "},  // an absurd side stops, it does not wrap
      {{"--dir", notFolder, "start"}, "is not a folder"},
      {{"--dir", notFolder, "show"}, "is not a folder"},
      {{"--dir", card.Scratch("missing"), "start"}, "does not exist"},
  };
  for (const auto& c : cases) {
    const auto r = c.args[0] == "--dir" ? simcard::Run("juxsim", c.args) : card.Juxsim(c.args);
    EXPECT_NE(r.exitCode, 0) << c.args.back();
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  EXPECT_TRUE(fs::is_regular_file(notFolder));
}

TEST(Juxsim, StartAndStopLeaveNothingBehind) {
  const fs::path root = fs::temp_directory_path() / ("juxsim_test_" + std::to_string(getpid()));
  fs::create_directories(root);
  const std::string dir = root.string();
  const auto juxsim = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--dir", dir});
    return simcard::Run("juxsim", args);
  };
  auto r = juxsim({"--dir", (root / "missing").string(), "start"});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(fs::exists(root / "missing"));

  ASSERT_EQ(juxsim({"start", "--devices", "split"}).exitCode, 0);
  EXPECT_TRUE(fs::exists(root / "JUXDEV_S"));
  EXPECT_TRUE(fs::exists(root / "JUXDEV_P"));
  EXPECT_FALSE(fs::exists(root / "JUXDEV"));
  EXPECT_EQ(juxsim({"stop"}).exitCode, 0);
  EXPECT_TRUE(fs::is_empty(root));
  EXPECT_NE(juxsim({"stop"}).exitCode, 0);  // not running any more
  EXPECT_NE(juxsim({"start", "--tick-ms", "0"}).exitCode, 0);
  EXPECT_TRUE(fs::is_empty(root));
  fs::remove_all(root);
}

TEST(Juxsim, SampleDrawingIsDeterministic) {
  SimCard card;
  ASSERT_EQ(card.Juxsim({"sample", card.Scratch("a.pbm")}).exitCode, 0);
  ASSERT_EQ(card.Juxsim({"sample", card.Scratch("b.pbm")}).exitCode, 0);
  std::ifstream a(card.Scratch("a.pbm"), std::ios::binary), b(card.Scratch("b.pbm"), std::ios::binary);
  const std::string da{std::istreambuf_iterator<char>(a), {}}, db{std::istreambuf_iterator<char>(b), {}};
  EXPECT_EQ(da, db);
  card.Feed(card.Scratch("a.pbm"));
  EXPECT_EQ(card.Field("scanner.document").find("4680x6614") != std::string::npos, true);
  EXPECT_EQ(card.Value("scanner.width-code"), 3u);  // 585 bytes: metric code 3
}

// The process runner of the test support, which every program test relies on.
TEST(SimcardSupport, RunsProgramsWithPipesOrATerminal) {
  simcard::RunOptions withEnv;
  withEnv.env = {{"JUXT", "set"}};
  auto r = simcard::Run("/bin/sh", {"-c", "echo out; echo err >&2; echo \"$JUXT\"; exit 3"}, withEnv);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out, "out\nset\n");
  EXPECT_EQ(r.err, "err\n");

  simcard::RunOptions terminal;
  terminal.terminal = true;
  simcard::Process p("/bin/sh", {"-c", "stty raw -echo; echo ready; dd bs=1 count=1 2>/dev/null | od -An -tx1"},
                     terminal);
  ASSERT_TRUE(p.WaitForOutput("ready"));
  p.Send("\x1b");
  r = p.Wait();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("1b"), std::string::npos) << r.out;

  simcard::RunOptions shortLived;
  shortLived.timeoutMs = 100;
  r = simcard::Run("/bin/sleep", {"5"}, shortLived);
  EXPECT_TRUE(r.timedOut);
  EXPECT_EQ(r.exitCode, -1);
}
