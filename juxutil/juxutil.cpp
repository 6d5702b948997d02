// Device access layer: the nine device calls over the driver seam, the four
// command/status handshake routines, and the program's side of the DMA ring.
#include "juxutil/juxutil.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

std::atomic<uint32_t> busyWaitLimitMs{kBusyWaitLimitMs};

// One control request; the byte count returned is not looked at by any call.
bool Request(JUXHANDLE hDriver, uint32_t code, void* in, uint32_t inSize, void* out,
             uint32_t outSize) {
  if (hDriver == JUX_INVALID_HANDLE) return false;
  uint32_t length = 0;
  return hDriver->IoControl(code, in, inSize, out, outSize, &length);
}

// A value-returning port or FIFO call: Value of the returned record, 0 when
// the request failed.
uint32_t RequestValue(JUXHANDLE hDriver, uint32_t code, PortBuffer buffer) {
  if (!Request(hDriver, code, &buffer, sizeof buffer, &buffer, sizeof buffer)) return 0;
  return buffer.Value;
}

uint8_t PeekByte(const uint8_t& b) { return Peek(b); }
void PokeByte(uint8_t& b, uint8_t v) { Poke(b, v); }

// Step 1 of SendCommand and GetStatus: no message while the printer is in
// bypass or another program holds the channel.
bool ChannelRefused(LocalParms* Adapter) {
  const uint16_t stat0 = Peek(Adapter->IntrptStat0);
  return (stat0 & kStat0Bypass) != 0 || (stat0 & kStat0ChannelFree) == 0;
}

// Step 3 of SendCommand and GetStatus: the previous message must be gone.
// The controller may take its time: no tick limit, only a dead timer ends the wait.
bool WaitChannelIdle(LocalParms* Adapter) {
  TimerWatch timer(Adapter->TimerCnt0);
  while ((Peek(Adapter->IntrptStat1) & kStat1Busy) != 0) {
    if (timer.Stalled()) return false;
  }
  return true;
}

uint32_t RingCount(const LocalParms* Adapter) {
  return std::min<uint32_t>(Peek(Adapter->BufCnt), kMaxBuffers);
}

}  // namespace

void SetBusyWaitLimitMs(uint32_t ms) { busyWaitLimitMs = ms; }

TimerWatch::TimerWatch(const uint32_t& counter)
    : counter_(counter), last_(Peek(counter)), since_(std::chrono::steady_clock::now()) {}

bool TimerWatch::Stalled() {
  std::this_thread::yield();
  const uint32_t now = Peek(counter_);
  const auto at = std::chrono::steady_clock::now();
  if (now != last_) {
    last_ = now;
    since_ = at;
    return false;
  }
  return at - since_ > std::chrono::milliseconds(busyWaitLimitMs.load());
}

void JuxSleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// ---------------------------------------------------------------------------
// Command slots lie at unaligned offsets: byte by byte, little-endian.

uint32_t ReadCommandSlot(const LocalParms* Adapter, int n) {
  const uint8_t* slot = &Adapter->CommandBuffer[4 * n];
  uint32_t word = 0;
  for (int i = 3; i >= 0; --i) word = (word << 8) | PeekByte(slot[i]);
  return word;
}

void WriteCommandSlot(LocalParms* Adapter, int n, uint32_t word) {
  uint8_t* slot = &Adapter->CommandBuffer[4 * n];
  // Value bytes first, the arrival byte 0 last: a reader that sees byte 0
  // set finds the value complete.
  for (int i = 3; i >= 0; --i) PokeByte(slot[i], static_cast<uint8_t>(word >> (8 * i)));
}

// ---------------------------------------------------------------------------
// The nine device calls.

void JUX_START_PRINT(JUXHANDLE hDriver) {
  Request(hDriver, IOCTL_JUX_START_PRINT, nullptr, 0, nullptr, 0);
}

void JUX_UNMAPMEM(JUXHANDLE hDriver, void* UserMem) {
  Request(hDriver, IOCTL_JUX_UNMAPMEM, &UserMem, sizeof UserMem, nullptr, 0);
}

void* JUX_MAPMEM(JUXHANDLE hDriver, uint32_t Offset, uint32_t Size) {
  MapMemReply reply{};
  reply.Request.Offset = Offset;
  reply.Request.Value = Size;
  const uint32_t outSize = sizeof(void*) > 4 ? sizeof reply : sizeof(PortBuffer);
  if (!Request(hDriver, IOCTL_JUX_MAPMEM, &reply.Request, sizeof(PortBuffer), &reply, outSize))
    return nullptr;
  const uint64_t address = reply.Address != 0 ? reply.Address : reply.Request.Offset;
  return reinterpret_cast<void*>(static_cast<uintptr_t>(address));
}

uint32_t JUX_READ_FIFO(JUXHANDLE hDriver, uint32_t DataSize) {
  PortBuffer buffer{};
  buffer.DataSize = DataSize;
  return RequestValue(hDriver, IOCTL_JUX_READ_FIFO, buffer);
}

void JUX_WRITE_FIFO(JUXHANDLE hDriver, uint32_t DataSize) {
  PortBuffer buffer{};
  buffer.DataSize = DataSize;
  Request(hDriver, IOCTL_JUX_WRITE_FIFO, &buffer, sizeof buffer, &buffer, sizeof buffer);
}

uint32_t JUX_READ_PORT(JUXHANDLE hDriver, uint32_t Offset) {
  PortBuffer buffer{};
  buffer.Offset = Offset;
  return RequestValue(hDriver, IOCTL_JUX_READ_PORT, buffer);
}

void JUX_WRITE_PORT(JUXHANDLE hDriver, uint32_t Offset, uint32_t Value) {
  PortBuffer buffer{};
  buffer.Offset = Offset;
  buffer.Value = Value;
  Request(hDriver, IOCTL_JUX_WRITE_PORT, &buffer, sizeof buffer, &buffer, sizeof buffer);
}

void JUX_GET_ADAPTER(JUXHANDLE hDriver, LocalParms** tmpAdapter) {
  *tmpAdapter = nullptr;
  Request(hDriver, IOCTL_JUX_GET_ADAPTER, nullptr, 0, tmpAdapter, sizeof *tmpAdapter);
}

void JUX_GET_PCICONFIG(JUXHANDLE hDriver, PCI_COMMON_CONFIG* tmpConfig) {
  Request(hDriver, IOCTL_JUX_GET_PCICONFIG, nullptr, 0, tmpConfig, sizeof *tmpConfig);
}

// ---------------------------------------------------------------------------
// Scanner side: the program posts a status or requests a command and polls
// with sleeps of its own (100 polls, 10 ms apart).

uint16_t SendStatus(LocalParms* Adapter, uint8_t Status, uint8_t Argument) {
  PokeByte(Adapter->StatusBuffer[Status], Argument);
  PokeByte(Adapter->StatusToSend, Status);
  PokeByte(Adapter->ErrorCode0, 4);
  for (int poll = 0; poll < 100; ++poll) {
    if (PeekByte(Adapter->StatusToSend) == 0) {
      PokeByte(Adapter->ErrorCode0, 0);
      break;
    }
    JuxSleep(10);
  }
  return PeekByte(Adapter->StatusToSend);
}

uint32_t GetCommand(LocalParms* Adapter, uint8_t Command) {
  // A value left in the slot from before is stale: wait for a fresh one.
  PokeByte(Adapter->CommandBuffer[4 * Command], 0);
  PokeByte(Adapter->ErrorCode0, 4);
  PokeByte(Adapter->CmdRequested, Command);
  for (int poll = 0; poll < 100; ++poll) {
    if (PeekByte(Adapter->CommandBuffer[4 * Command]) != 0) {
      PokeByte(Adapter->ErrorCode0, 0);
      break;
    }
    JuxSleep(10);
  }
  PokeByte(Adapter->CmdRequested, 0);
  return ReadCommandSlot(Adapter, Command);
}

// ---------------------------------------------------------------------------
// Printer side: the time-out is counted in ticks of the driver's timer
// (10 ticks of TimerCnt0), busy-waiting; a timer that stops advancing ends
// the wait too, so that a dead driver cannot hang the program.

uint16_t SendCommand(LocalParms* Adapter, uint8_t Command, uint16_t Argument) {
  if (ChannelRefused(Adapter)) {
    PokeByte(Adapter->ErrorCode0, 4);
    return 4;
  }
  Poke(Adapter->TimerCnt0, 0u);
  if (WaitChannelIdle(Adapter)) {
    Poke(Adapter->CmdParm, Argument);
    ClearBits16(Adapter->IntrptStat1, kStat1CommandPosted);
    PokeByte(Adapter->CmdToSend, Command);
    PokeByte(Adapter->CommandBuffer[Command & 0xFC], static_cast<uint8_t>(Argument));
    TimerWatch timer(Adapter->TimerCnt0);
    while (Peek(Adapter->TimerCnt0) < 10 && !timer.Stalled()) {
      if (PeekByte(Adapter->CmdToSend) == 0) return 0;
    }
  }
  PokeByte(Adapter->ErrorCode0, 4);
  return 4;
}

uint32_t GetStatus(LocalParms* Adapter, uint8_t Status) {
  if (ChannelRefused(Adapter)) {
    PokeByte(Adapter->ErrorCode0, 4);
    return 4;
  }
  Poke(Adapter->TimerCnt0, 0u);
  if (WaitChannelIdle(Adapter)) {
    PokeByte(Adapter->StatusRequested, static_cast<uint8_t>(Status + 0x40));
    TimerWatch timer(Adapter->TimerCnt0);
    while (Peek(Adapter->TimerCnt0) < 10 && !timer.Stalled()) {
      if (PeekByte(Adapter->StatusRequested) == 0) return PeekByte(Adapter->StatusBuffer[Status]);
    }
  }
  PokeByte(Adapter->ErrorCode0, 4);
  return 4;
}

// ---------------------------------------------------------------------------
// DMA buffer ring, the program's side.

void ResetRing(LocalParms* Adapter) {
  Poke(Adapter->BufQStart, 0u);
  Poke(Adapter->BufQEnd, 0u);
  Poke(Adapter->BufsInUse, 0u);
  for (uint32_t i = 0; i < RingCount(Adapter); ++i) {
    BUFFERQUEUE& entry = Adapter->BufQ[i];
    Poke(entry.Owner, 1u);
    Poke(entry.Offset, 0u);
    Poke(entry.BytesLeft, 0u);
  }
}

void MapRing(JUXHANDLE hDriver, const LocalParms* Adapter, void* Buffers[kMaxBuffers]) {
  for (uint32_t i = 0; i < kMaxBuffers; ++i) Buffers[i] = nullptr;
  for (uint32_t i = 0; i < RingCount(Adapter); ++i) {
    const BUFFERQUEUE& entry = Adapter->BufQ[i];
    Buffers[i] = JUX_MAPMEM(hDriver, Peek(entry.VirtAddr), Peek(entry.Size));
  }
}

void UnmapRing(JUXHANDLE hDriver, void* Buffers[kMaxBuffers]) {
  for (uint32_t i = 0; i < kMaxBuffers; ++i) {
    if (Buffers[i] != nullptr) JUX_UNMAPMEM(hDriver, Buffers[i]);
    Buffers[i] = nullptr;
  }
}

bool DrainRing(LocalParms* Adapter, void* const Buffers[kMaxBuffers], const RingWriter& write) {
  const uint32_t count = RingCount(Adapter);
  if (count == 0) return false;
  uint32_t start = Peek(Adapter->BufQStart);
  if (start >= count) start = 0;  // a driver's stray index must not reach past the ring
  BUFFERQUEUE& entry = Adapter->BufQ[start];
  if (Peek(entry.Owner) != 0) return false;

  const uint8_t* data = static_cast<const uint8_t*>(Buffers[start]);
  const uint32_t size = Peek(entry.Size);
  // Each piece is read from the shared buffer once: another program may
  // write into the buffer meanwhile (a forced reset zeroes words of it), and
  // whatever the writer does with the piece must see the same bytes.
  uint8_t copy[kDrainPiece];
  while (Peek(entry.BytesLeft) != 0) {
    const uint32_t offset = Peek(entry.Offset);
    uint32_t piece = std::min(Peek(entry.BytesLeft), kDrainPiece);
    // Never read past the buffer, whatever the counters say.
    if (data == nullptr || offset >= size) break;
    piece = std::min(piece, size - offset);
    std::memcpy(copy, data + offset, piece);
    write(copy, piece);
    Poke(entry.BytesLeft, Peek(entry.BytesLeft) - piece);
    Poke(entry.Offset, offset + piece);
  }
  Poke(entry.BytesLeft, 0u);
  Poke(entry.Offset, 0u);
  Poke(entry.Owner, 1u);
  Poke(Adapter->BufQStart, start + 1 >= count ? 0u : start + 1);
  std::atomic_ref<uint32_t>(Adapter->BufsInUse).fetch_sub(1);
  return true;
}
