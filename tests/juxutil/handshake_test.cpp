// The four handshake routines against a driver thread that answers, stays
// silent, or leaves the channel busy.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/juxutil/fake_device.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class Handshake : public ::testing::Test {
 protected:
  void SetUp() override {
    record_.IntrptStat0 = kStat0ChannelFree | kStat0Communication;
    record_.IntrptStat1 = kStat1CommandPosted;
  }
  void TearDown() override { SetBusyWaitLimitMs(kBusyWaitLimitMs); }
  LocalParms record_{};
};

// The driver's timer: one tick of TimerCnt0 per call.
void Tick(LocalParms* a) { std::atomic_ref<uint32_t>(a->TimerCnt0).fetch_add(1); }

}  // namespace

TEST_F(Handshake, SendStatusTakenByTheDriver) {
  uint8_t seen = 0, value = 0;
  {
    FakeDriverThread driver(&record_, [&](LocalParms* a) {
      if (uint8_t s = Peek(a->StatusToSend); s != 0) {
        seen = s;
        value = Peek(a->StatusBuffer[s]);
        Poke(a->StatusToSend, uint8_t{0});
      }
    });
    EXPECT_EQ(SendStatus(&record_, 23, 0x03), 0);
  }
  EXPECT_EQ(record_.ErrorCode0, 0);
  EXPECT_EQ(seen, 23);
  EXPECT_EQ(value, 0x03);
}

TEST_F(Handshake, SendStatusNeverTakenTimesOutAfterAboutOneSecond) {
  const auto start = Clock::now();
  EXPECT_EQ(SendStatus(&record_, 18, 90), 18);
  EXPECT_EQ(record_.ErrorCode0, 4);
  EXPECT_EQ(record_.StatusBuffer[18], 90);
  EXPECT_GE(MsSince(start), 900);
}

TEST_F(Handshake, GetCommandReturnsTheFreshValue) {
  WriteCommandSlot(&record_, 2, 0x00000102);  // stale value from before
  uint8_t requested = 0;
  {
    FakeDriverThread driver(&record_, [&](LocalParms* a) {
      const uint8_t c = Peek(a->CmdRequested);
      if (c != 0 && Peek(a->CommandBuffer[4 * c]) == 0) {
        requested = c;
        WriteCommandSlot(a, c, 0x00004402);
      }
    });
    EXPECT_EQ(GetCommand(&record_, 2), 0x00004402u);
  }
  EXPECT_EQ(requested, 2);
  EXPECT_EQ(record_.ErrorCode0, 0);
  EXPECT_EQ(record_.CmdRequested, 0);
}

TEST_F(Handshake, GetCommandDoesNotTakeAStaleSlot) {
  WriteCommandSlot(&record_, 13, 0x0000030D);
  const auto start = Clock::now();
  const uint32_t word = GetCommand(&record_, 13);
  EXPECT_EQ(word & 0xFF, 0u);            // arrival byte cleared, nothing arrived
  EXPECT_EQ(word >> 8, 0x03u);           // the old value bytes are untouched
  EXPECT_EQ(record_.ErrorCode0, 4);
  EXPECT_EQ(record_.CmdRequested, 0);
  EXPECT_GE(MsSince(start), 900);
}

TEST_F(Handshake, PrinterSideRefusedWhileBypassOrBusy) {
  const struct {
    const char* what;
    uint16_t stat0;
  } cases[] = {
      {"bypass", kStat0ChannelFree | kStat0Bypass},
      {"channel held", kStat0Communication},
  };
  for (const auto& c : cases) {
    for (bool sendCommand : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (sendCommand ? " SendCommand" : " GetStatus"));
      LocalParms record{};
      record.IntrptStat0 = c.stat0;
      record.TimerCnt0 = 77;
      const uint32_t result = sendCommand ? SendCommand(&record, 0x29, 40) : GetStatus(&record, 7);
      EXPECT_EQ(result, 4u);
      EXPECT_EQ(record.ErrorCode0, 4);
      EXPECT_EQ(record.CmdToSend, 0);  // nothing posted
      EXPECT_EQ(record.StatusRequested, 0);
      EXPECT_EQ(record.TimerCnt0, 77u);
    }
  }
}

TEST_F(Handshake, SendCommandTakenByTheDriver) {
  uint8_t seen = 0;
  uint16_t parm = 0;
  {
    int ticks = 0;
    FakeDriverThread driver(&record_, [&](LocalParms* a) {
      Tick(a);
      // The driver takes the command a few ticks after it was posted.
      if (uint8_t c = Peek(a->CmdToSend); c != 0 && ++ticks > 3) {
        seen = c;
        parm = Peek(a->CmdParm);
        Poke(a->CmdToSend, uint8_t{0});
      }
    });
    EXPECT_EQ(SendCommand(&record_, 0x29, 0x0155), 0);
  }
  EXPECT_EQ(record_.ErrorCode0, 0);
  EXPECT_EQ(seen, 0x29);
  EXPECT_EQ(parm, 0x0155);
  EXPECT_EQ(record_.IntrptStat1 & kStat1CommandPosted, 0);
  EXPECT_EQ(record_.CommandBuffer[0x29 & 0xFC], 0x55);  // low byte at the command's slot start
}

TEST_F(Handshake, GetStatusAnsweredByTheDriver) {
  uint8_t requested = 0;
  {
    FakeDriverThread driver(&record_, [&](LocalParms* a) {
      Tick(a);
      if (uint8_t r = Peek(a->StatusRequested); r != 0) {
        requested = r;
        Poke(a->StatusBuffer[r - 0x40], uint8_t{0x30});
        Poke(a->StatusRequested, uint8_t{0});
      }
    });
    EXPECT_EQ(GetStatus(&record_, 7), 0x30u);
  }
  EXPECT_EQ(requested, 7 + 0x40);
  EXPECT_EQ(record_.ErrorCode0, 0);
}

TEST_F(Handshake, PrinterSideGivesUpAfterTenTicks) {
  for (bool sendCommand : {true, false}) {
    SCOPED_TRACE(sendCommand ? "SendCommand" : "GetStatus");
    LocalParms record = record_;
    FakeDriverThread driver(&record, Tick);
    const uint32_t result = sendCommand ? SendCommand(&record, 0x11, 1) : GetStatus(&record, 9);
    EXPECT_EQ(result, 4u);
    EXPECT_EQ(record.ErrorCode0, 4);
    EXPECT_GE(Peek(record.TimerCnt0), 10u);
  }
}

// A dead driver (busy bits never clear, timer never ticks) must not hang the
// program: the wait is bounded in wall time.
TEST_F(Handshake, BusyWaitsAreBounded) {
  SetBusyWaitLimitMs(150);
  const struct {
    const char* what;
    uint16_t stat1;
  } cases[] = {{"busy bits stuck", kStat1Busy}, {"timer dead", 0}};
  for (const auto& c : cases) {
    for (bool sendCommand : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (sendCommand ? " SendCommand" : " GetStatus"));
      LocalParms record = record_;
      record.IntrptStat1 = c.stat1;
      const auto start = Clock::now();
      const uint32_t result = sendCommand ? SendCommand(&record, 9, 1) : GetStatus(&record, 7);
      EXPECT_EQ(result, 4u);
      EXPECT_EQ(record.ErrorCode0, 4);
      EXPECT_GE(MsSince(start), 150);
      EXPECT_LT(MsSince(start), 3000);
      // With the busy bits stuck nothing may be posted.
      if (c.stat1 != 0) {
        EXPECT_EQ(record.CmdToSend | record.StatusRequested, 0);
      }
    }
  }
}

// A live timer is waited for as long as it ticks, even when the whole wait
// (six ticks) takes longer than the wall-time bound. A tick comes every 100 ms
// against a bound of 400 ms, so that a driver thread held up by a busy machine
// is still taken for live.
TEST_F(Handshake, SlowTimerIsWaitedFor) {
  SetBusyWaitLimitMs(400);
  for (bool sendCommand : {true, false}) {
    SCOPED_TRACE(sendCommand ? "SendCommand" : "GetStatus");
    LocalParms record = record_;
    record.IntrptStat1 = kStat1CommandPosted | 0x0020;  // busy for the first ticks
    auto last = Clock::now();
    FakeDriverThread driver(&record, [&](LocalParms* a) {
      if (Clock::now() - last < std::chrono::milliseconds(100)) return;
      last = Clock::now();
      Tick(a);
      const uint32_t ticks = Peek(a->TimerCnt0);
      if (ticks >= 3) ClearBits16(a->IntrptStat1, 0x0020);
      // The controller answers on the driver's sixth tick of the wait.
      if (ticks >= 6 && Peek(a->CmdToSend) != 0) Poke(a->CmdToSend, uint8_t{0});
      if (ticks >= 6 && Peek(a->StatusRequested) != 0) {
        Poke(a->StatusBuffer[7], uint8_t{0x21});
        Poke(a->StatusRequested, uint8_t{0});
      }
    });
    const uint32_t result = sendCommand ? SendCommand(&record, 9, 1) : GetStatus(&record, 7);
    EXPECT_EQ(result, sendCommand ? 0u : 0x21u);
    EXPECT_EQ(record.ErrorCode0, 0);
  }
}
