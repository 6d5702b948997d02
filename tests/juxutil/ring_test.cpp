// The DMA ring, the program's side: the driver fills entries in turn, the
// program drains the entry at BufQStart in pieces and hands it back.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>

#include "tests/juxutil/fake_device.h"

namespace {

// A ring of `count` buffers of `size` bytes with the driver's filling step.
class Ring {
 public:
  Ring(uint32_t count, uint32_t size) : memory_(count, std::vector<uint8_t>(size)) {
    record.BufCnt = count;
    for (uint32_t i = 0; i < count; ++i) {
      record.BufQ[i].Size = size;
      record.BufQ[i].VirtAddr = 0x2000 + i * size;
      buffers[i] = memory_[i].data();
    }
    ResetRing(&record);
  }
  // The driver's step 2: fill the entry at BufQEnd. False when it is not the driver's.
  bool Fill(const std::string& bytes) {
    BUFFERQUEUE& e = record.BufQ[record.BufQEnd];
    if (e.Owner != 1) return false;
    std::copy(bytes.begin(), bytes.end(), memory_[record.BufQEnd].begin());
    e.BytesLeft = static_cast<uint32_t>(bytes.size());
    ++record.BufsInUse;
    e.Owner = 0;
    record.BufQEnd = (record.BufQEnd + 1) % record.BufCnt;
    return true;
  }
  bool Drain() {
    return DrainRing(&record, buffers, [this](const uint8_t* data, uint32_t size) {
      pieces.push_back(size);
      out.append(reinterpret_cast<const char*>(data), size);
    });
  }
  LocalParms record{};
  void* buffers[kMaxBuffers] = {};
  std::string out;
  std::vector<uint32_t> pieces;

 private:
  std::vector<std::vector<uint8_t>> memory_;
};

}  // namespace

TEST(DmaRing, WrapsAfterTheLastEntry) {
  Ring ring(3, 64);
  std::string expected;
  for (int n = 0; n < 8; ++n) {
    const std::string chunk(10 + n, static_cast<char>('a' + n));
    ASSERT_TRUE(ring.Fill(chunk));
    expected += chunk;
    if (n % 2 == 1) {  // the program falls behind by one entry now and then
      while (ring.Drain()) {
      }
    }
    EXPECT_LT(ring.record.BufQStart, 3u);
  }
  while (ring.Drain()) {
  }
  EXPECT_EQ(ring.out, expected);
  EXPECT_EQ(ring.record.BufsInUse, 0u);
  EXPECT_EQ(ring.record.BufQStart, ring.record.BufQEnd);
}

TEST(DmaRing, FullRingRefusesTheDriver) {
  Ring ring(2, 16);
  EXPECT_TRUE(ring.Fill("x"));
  EXPECT_TRUE(ring.Fill("y"));
  EXPECT_FALSE(ring.Fill("z"));
  EXPECT_TRUE(ring.Drain());
  EXPECT_TRUE(ring.Fill("z"));
}

TEST(DmaRing, LargeBufferDrainedInPiecesBeforeTheNextEntry) {
  Ring ring(2, 40000);
  std::string big(40000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  ASSERT_TRUE(ring.Fill(big));
  ASSERT_TRUE(ring.Fill("tail"));
  EXPECT_TRUE(ring.Drain());
  EXPECT_EQ(ring.pieces, (std::vector<uint32_t>{16384, 16384, 7232}));
  EXPECT_EQ(ring.out, big);
  const BUFFERQUEUE& first = ring.record.BufQ[0];
  EXPECT_EQ(first.Owner, 1u);
  EXPECT_EQ(first.Offset, 0u);
  EXPECT_EQ(first.BytesLeft, 0u);
  EXPECT_EQ(ring.record.BufQStart, 1u);
  EXPECT_EQ(ring.record.BufsInUse, 1u);
  EXPECT_TRUE(ring.Drain());
  EXPECT_EQ(ring.out, big + "tail");
}

// Another program may write into a buffer while it is drained (a forced
// reset zeroes words of every buffer): what the program writes out and what
// it counts must be the same bytes, so each piece is read once.
TEST(DmaRing, PieceHandedOnIsReadOnce) {
  Ring ring(1, 64);
  const std::string bytes = "0123456789abcdefghijklmnopqrstuvwxyz";
  ASSERT_TRUE(ring.Fill(bytes));
  std::string seenFirst, seenAgain;
  EXPECT_TRUE(DrainRing(&ring.record, ring.buffers, [&](const uint8_t* data, uint32_t size) {
    seenFirst.assign(reinterpret_cast<const char*>(data), size);
    for (size_t at : {0, 20, 24}) std::memset(static_cast<char*>(ring.buffers[0]) + at, 0, 4);
    seenAgain.assign(reinterpret_cast<const char*>(data), size);
  }));
  EXPECT_EQ(seenFirst, bytes);
  EXPECT_EQ(seenAgain, bytes);
}

TEST(DmaRing, DrainStartsAtTheEntrysOffset) {
  Ring ring(1, 32);
  ASSERT_TRUE(ring.Fill("0123456789"));
  ring.record.BufQ[0].Offset = 4;
  ring.record.BufQ[0].BytesLeft = 3;
  EXPECT_TRUE(ring.Drain());
  EXPECT_EQ(ring.out, "456");
}

TEST(DmaRing, CountersPastTheBufferAreNotFollowed) {
  Ring ring(1, 32);
  ASSERT_TRUE(ring.Fill("abc"));
  ring.record.BufQ[0].Offset = 30;
  ring.record.BufQ[0].BytesLeft = 1000;  // a broken driver
  EXPECT_TRUE(ring.Drain());
  EXPECT_EQ(ring.out.size(), 2u);
  EXPECT_EQ(ring.record.BufQ[0].Owner, 1u);
}

TEST(DmaRing, EmptyRingHoldsNothing) {
  Ring ring(0, 0);
  RecordingDevice device;
  MapRing(&device, &ring.record, ring.buffers);
  EXPECT_TRUE(device.calls.empty());
  EXPECT_FALSE(ring.Drain());
  UnmapRing(&device, ring.buffers);
  EXPECT_TRUE(device.calls.empty());
}

TEST(DmaRing, MapsAndUnmapsEveryEntry) {
  Ring ring(3, 8192);
  RecordingDevice device;
  void* mapped[kMaxBuffers];
  MapRing(&device, &ring.record, mapped);
  ASSERT_EQ(device.calls.size(), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(device.calls[i].code, IOCTL_JUX_MAPMEM);
    EXPECT_EQ(device.calls[i].in.Offset, ring.record.BufQ[i].VirtAddr);
    EXPECT_EQ(device.calls[i].in.Value, 8192u);
    EXPECT_NE(mapped[i], nullptr);
  }
  EXPECT_EQ(mapped[3], nullptr);
  UnmapRing(&device, mapped);
  ASSERT_EQ(device.calls.size(), 6u);
  EXPECT_EQ(device.calls[5].code, IOCTL_JUX_UNMAPMEM);
  EXPECT_EQ(mapped[0], nullptr);
}
