// juxscan's run in process, against a scanner whose answers the test chooses:
// the endings that the simulated card does not produce.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include <unistd.h>

#include "juxscan/juxscan.h"
#include "tests/juxscan/console_program_test.h"
#include "tests/juxutil/fake_device.h"

namespace juxscan {
namespace {

class NoKeys : public console::Keyboard {
 public:
  bool KeyWaiting() override { return false; }
  int ReadKey() override { return 0; }
};

// A scanner on the combined device: in scan mode, Start already pressed,
// every setting as asked. A write of the start value to register 4 makes
// the driver count `lines` lines (no data) and end the scan.
class Scanner : public JuxDevice, public JuxDriver {
 public:
  Scanner() {
    record.IntrptStat0 = kStat0ChannelFree | kStat0Communication;
    record.BoardID = kBoardScanner;
  }
  JUXHANDLE Open(const char* name) override {
    return std::strcmp(name, kJuxDevice) == 0 ? this : JUX_INVALID_HANDLE;
  }
  void Close(JUXHANDLE) override {}

  bool IoControl(uint32_t code, void* in, uint32_t, void* out, uint32_t outSize,
                 uint32_t*) override {
    if (code == IOCTL_JUX_GET_ADAPTER) {
      LocalParms* address = &record;
      std::memcpy(out, &address, outSize);
    } else if (code == IOCTL_JUX_READ_PORT) {
      PortBuffer reply{};
      reply.Value = 0x0068;  // enabled, fastest card
      std::memcpy(out, &reply, sizeof reply);
    } else if (code == IOCTL_JUX_MAPMEM) {  // VirtAddr is the buffer's index
      MapMemReply reply{};
      std::memcpy(&reply.Request, in, sizeof reply.Request);
      reply.Address = reinterpret_cast<uintptr_t>(memory.at(reply.Request.Offset).data());
      std::memcpy(out, &reply, outSize);
    } else if (code == IOCTL_JUX_WRITE_PORT) {
      PortBuffer request;
      std::memcpy(&request, in, sizeof request);
      if (request.Offset == kRegControl && (request.Value & 0x8009) == 0x8009) started = true;
    }
    return true;
  }

  // The controller and the driver's interrupt, on their own thread.
  void Step(LocalParms* r) {
    if (uint8_t n = Peek(r->CmdRequested); n != 0 && !silent.count(n)) {
      static const std::map<uint8_t, uint32_t> kAnswers = {
          {2, 0x4200}, {3, 0}, {12, 1000u << 8}, {13, 0x0500}, {14, 64u << 8}};
      WriteCommandSlot(r, n, (kAnswers.count(n) ? kAnswers.at(n) : 0) | n);
    }
    if (Peek(r->StatusToSend) != 0) Poke(r->StatusToSend, uint8_t{0});
    const auto now = std::chrono::steady_clock::now();
    if (tickMs > 0 && now - lastTick >= std::chrono::milliseconds(tickMs)) {
      lastTick = now;
      std::atomic_ref<uint32_t>(r->TimerCnt0).fetch_add(1);
      std::atomic_ref<uint32_t>(r->TimerCnt1).fetch_add(1);
    }
    if (!started) return;
    if (startedAt == std::chrono::steady_clock::time_point{}) {
      startedAt = now;
      if (busyMs > 0) std::atomic_ref<uint32_t>(r->JuxFlags).fetch_or(1);
    }
    if (transfer) transfer(r);
    const auto since = now - startedAt;
    if (resetsChannel) SetBits16(r->IntrptStat0, kStat0ChannelFree);  // juxstat /F elsewhere
    if (endsAfterMs >= 0 && since >= std::chrono::milliseconds(endsAfterMs) &&
        (Peek(r->IntrptStat0) & kStat0ScanInProgress)) {
      Poke(r->NumLinesScanned, lines);
      ClearBits16(r->IntrptStat0, kStat0ScanInProgress);
    }
    if (busyMs > 0 && since >= std::chrono::milliseconds(busyMs))
      std::atomic_ref<uint32_t>(r->JuxFlags).fetch_and(~1u);
  }

  // A ring of `count` buffers of `size` bytes.
  void Ring(uint32_t count, uint32_t size) {
    memory.assign(count, std::vector<uint8_t>(size));
    record.BufCnt = count;
    for (uint32_t i = 0; i < count; ++i) {
      record.BufQ[i].VirtAddr = i;
      record.BufQ[i].Size = size;
    }
  }
  // The driver hands the entry, filled with `bytes` bytes, to the program.
  void HandOver(LocalParms* r, uint32_t entry, uint32_t bytes) {
    Poke(r->BufQ[entry].Offset, 0u);
    Poke(r->BufQ[entry].BytesLeft, bytes);
    std::atomic_ref<uint32_t>(r->BufsInUse).fetch_add(1);
    Poke(r->BufQ[entry].Owner, 0u);
    Poke(r->BufQEnd, (entry + 1) % Peek(r->BufCnt));
  }

  LocalParms record{};
  std::vector<std::vector<uint8_t>> memory;  // the ring's buffers
  std::function<void(LocalParms*)> transfer;  // the driver's side of the ring, once started
  std::set<uint8_t> silent;  // commands the controller never answers
  uint32_t lines = 0;
  std::atomic<bool> started{false};
  // The driver's timer ticks every tickMs (0: the timer is dead); the scan
  // ends endsAfterMs after the start (-1: never); bit 0x1 of JuxFlags stays
  // set for busyMs after the start; resetsChannel: another program forces a
  // reset of the channel once the transfer runs.
  int tickMs = 0, endsAfterMs = 0, busyMs = 0;
  bool resetsChannel = false;
  std::chrono::steady_clock::time_point lastTick{}, startedAt{};
};

struct Scan {
  int code;
  std::string out;
  std::vector<uint8_t> file;
  uint16_t IntrptStat0;
};

Scan RunScan(Scanner& scanner) {
  ScanParms parms;
  parms.LineLength = 8;
  // ctest runs each test in a process of its own, several at once: a file
  // name per process, so that no other test's run removes or writes it.
  std::string path =
      testing::TempDir() + "juxscan_run_test_" + std::to_string(getpid()) + ".tif";
  parms.fileName = path;  // a host path stands as it is
  std::ostringstream out;
  NoKeys keys;
  FakeDriverThread driver(&scanner.record, [&](LocalParms* r) { scanner.Step(r); });
  int code = run(parms, scanner, out, keys);
  Scan scan{code, out.str(), console_test::ReadBytes(path), scanner.record.IntrptStat0};
  std::filesystem::remove(path);
  return scan;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The driver counts four lines before the image; a count below four leaves
// no image lines rather than a huge number.
TEST(ScriptedScanner, HeaderStatesTheCountLessFour) {
  for (auto [counted, stated] : {std::pair{3u, 0u}, {4u, 0u}, {5u, 1u}, {1u, 0u}}) {
    Scanner scanner;
    scanner.lines = counted;
    Scan scan = RunScan(scanner);
    EXPECT_EQ(scan.code, kOk) << scan.out;
    ASSERT_EQ(scan.file.size(), kHeaderSize);
    EXPECT_EQ(Le32(scan.file, kImageWidthAt), 64u);
    EXPECT_EQ(Le32(scan.file, kImageLengthAt), stated) << counted;
    EXPECT_EQ(console_test::LastLine(scan.out), "LinesScanned:  0000000" + std::to_string(stated));
  }
}

// A controller that stops answering in the middle of the run ends it with 4,
// not with a 0 that would read as success; the channel is free again.
TEST(ScriptedScanner, SilentHandshakeEndsWith4) {
  struct Case {
    uint8_t command;
    const char* lastLine;
  };
  for (Case c : {Case{2, "Retrieved valid handle for JUX driver"},   // copier mode
                 Case{3, "Retrieved valid handle for JUX driver"},   // speed, file created
                 Case{13, "ESC to exit from scan..."}}) {             // width after the start
    Scanner scanner;
    scanner.silent = {c.command};
    Scan scan = RunScan(scanner);
    EXPECT_EQ(scan.code, kNoAnswer) << int(c.command);
    EXPECT_EQ(console_test::LastLine(scan.out), c.lastLine) << int(c.command);
    EXPECT_TRUE(scan.IntrptStat0 & kStat0ChannelFree) << int(c.command);
  }
}

// The card as it dies or lives on slowly: a dead timer ends the transfer or
// the completion wait with 6 once the timer has stood still for the bound; a
// timer that ticks slower than the bound is not dead; a channel reset forced
// during the transfer ends it with 95. The channel is free again in each case.
TEST(ScriptedScanner, DyingCardEndsTheScan) {
  SetBusyWaitLimitMs(150);
  struct Case {
    const char* name;
    int tickMs, endsAfterMs, busyMs;
    bool resetsChannel;
    int code;
    const char* lastLine;
  } cases[] = {
      {"timer dies in the transfer", 0, -1, 0, false, kNotFinished,
       "Timeout waiting for scan complete"},
      {"timer dies before the scan is complete", 0, 0, -1, false, kNotFinished,
       "Timeout waiting for scan complete"},
      {"slow timer, long transfer", 60, 500, 0, false, kOk, "LinesScanned:  00000004"},
      {"slow timer, long completion", 60, 0, 500, false, kOk, "LinesScanned:  00000004"},
      {"channel reset in the transfer", 60, -1, 0, true, kChannelReset, "ESC to exit from scan..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scanner scanner;
    scanner.lines = 8;
    scanner.tickMs = c.tickMs;
    scanner.endsAfterMs = c.endsAfterMs;
    scanner.busyMs = c.busyMs < 0 ? 1 << 30 : c.busyMs;
    scanner.resetsChannel = c.resetsChannel;
    Scan scan = RunScan(scanner);
    EXPECT_EQ(scan.code, c.code) << scan.out;
    EXPECT_EQ(console_test::LastLine(scan.out), c.lastLine);
    EXPECT_TRUE(scan.IntrptStat0 & kStat0ChannelFree);
  }
  SetBusyWaitLimitMs(kBusyWaitLimitMs);
}

// A reset forced elsewhere during the transfer (juxstat /F) sets the ring's
// indexes to 0 and zeroes three words of every buffer, while the card may
// still hand over a buffer before the reset reaches it. What the scan drains
// from then on is written but not counted: with one buffer, the card's buffer
// of whole lines has its first word zeroed; with two, the ring starts again
// at entry 0, which the card filled after the reset, lines out of their place.
TEST(ScriptedScanner, ResetDuringTheTransferLeavesTheLinesDrainedBefore) {
  const uint8_t lines[] = {0xF9, 0xFF, 0xF9, 0x00, 0xF9, 0xFF};  // three lines of 8 bytes
  for (uint32_t count : {1u, 2u}) {
    SCOPED_TRACE(count);
    Scanner scanner;
    scanner.endsAfterMs = -1;
    scanner.Ring(count, 4096);
    int phase = 0;
    scanner.transfer = [&](LocalParms* r) {
      auto fill = [&](uint32_t entry) { std::memcpy(scanner.memory[entry].data(), lines, 6); };
      if (phase == 0) {
        fill(0);
        scanner.HandOver(r, 0, 6);
        phase = 1;
      } else if (phase == 1 && Peek(r->BufQ[0].Owner) == 1) {  // drained
        if (count == 1) fill(0);  // the card fills its buffer
        Poke(r->BufQStart, 0u);
        Poke(r->BufQEnd, 0u);
        Poke(r->BufsInUse, 0u);
        for (auto& buffer : scanner.memory)
          for (size_t at : {0, 20, 24}) std::memset(buffer.data() + at, 0, 4);
        if (count == 2) fill(0);  // the card fills the entry at BufQEnd
        scanner.HandOver(r, 0, 6);
        Poke(r->IntrptStat0, uint16_t{0});
        phase = 2;
      }
    };
    Scan scan = RunScan(scanner);
    EXPECT_EQ(scan.code, kChannelReset) << scan.out;
    ASSERT_EQ(scan.file.size(), kHeaderSize + 12);
    EXPECT_EQ(Le32(scan.file, kImageWidthAt), 64u);
    EXPECT_EQ(Le32(scan.file, kImageLengthAt), 3u);
  }
}

}  // namespace
}  // namespace juxscan
