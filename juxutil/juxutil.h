// Device access layer of the console programs: the adapter record that the
// card's driver shares with a program, the nine device calls and the four
// command/status handshake routines. Standard library only, so that it builds
// for Windows against the real driver and for POSIX against juxsim.
#pragma once

#include <atomic>
#include <cstddef>
#include <chrono>
#include <cstdint>
#include <functional>

// ---------------------------------------------------------------------------
// Control codes: device type 0x9C40, METHOD_BUFFERED, FILE_ANY_ACCESS.
constexpr uint32_t JuxControlCode(uint32_t function) { return (0x9C40u << 16) | (function << 2); }

constexpr uint32_t IOCTL_JUX_READ_PORT = JuxControlCode(0x902);
constexpr uint32_t IOCTL_JUX_MAPMEM = JuxControlCode(0x903);
constexpr uint32_t IOCTL_JUX_READ_FIFO = JuxControlCode(0x904);
constexpr uint32_t IOCTL_JUX_WRITE_PORT = JuxControlCode(0x912);
constexpr uint32_t IOCTL_JUX_UNMAPMEM = JuxControlCode(0x913);
constexpr uint32_t IOCTL_JUX_WRITE_FIFO = JuxControlCode(0x914);
constexpr uint32_t IOCTL_JUX_GET_ADAPTER = JuxControlCode(0x922);
constexpr uint32_t IOCTL_JUX_GET_PCICONFIG = JuxControlCode(0x923);
constexpr uint32_t IOCTL_JUX_START_PRINT = JuxControlCode(0x924);

// Device names as the driver publishes them.
inline constexpr const char* kJuxDevice = "\\\\.\\JUXDEV";     // scanner and printer together
inline constexpr const char* kJuxDeviceS = "\\\\.\\JUXDEV_S";  // scanner side
inline constexpr const char* kJuxDeviceP = "\\\\.\\JUXDEV_P";  // printer side

// Board kinds (LocalParms::BoardID).
constexpr uint32_t kBoardScanner = 0x40454040;
constexpr uint32_t kBoardPrinterA = 0x40424040;
constexpr uint32_t kBoardPrinterB = 0x40464040;

// Card registers used through the port calls.
constexpr uint32_t kRegControl = 4;
constexpr uint32_t kRegLineLength = 12;

// ---------------------------------------------------------------------------
// Records shared with the driver. Layout fixed byte for byte (32-bit x86
// alignment, little-endian); every field lies at its natural alignment, the
// padding is explicit, and the offsets are checked below.

// Request record of the port, FIFO and mapping calls (12 bytes).
struct PortBuffer {
  uint32_t Offset;
  uint32_t Value;
  uint32_t DataSize;
};

// 256-byte PCI configuration space header; the layer only passes it through.
struct PCI_COMMON_CONFIG {
  uint16_t VendorID;
  uint16_t DeviceID;
  uint16_t Command;
  uint16_t Status;
  uint8_t RevisionID;
  uint8_t ProgIf;
  uint8_t SubClass;
  uint8_t BaseClass;
  uint8_t CacheLineSize;
  uint8_t LatencyTimer;
  uint8_t HeaderType;
  uint8_t BIST;
  uint32_t BaseAddresses[6];
  uint32_t CIS;
  uint16_t SubVendorID;
  uint16_t SubSystemID;
  uint32_t ROMBaseAddress;
  uint32_t Reserved2[2];
  uint8_t InterruptLine;
  uint8_t InterruptPin;
  uint8_t MinimumGrant;
  uint8_t MaximumLatency;
  uint8_t DeviceSpecific[192];
};

// One entry of the DMA buffer ring (32 bytes).
struct BUFFERQUEUE {
  uint32_t Owner;      // 1: the driver's (empty), 0: filled, the program's
  uint32_t VirtAddr;   // the buffer as the driver names it; passed to JUX_MAPMEM
  uint32_t PhysAddrLow;
  int32_t PhysAddrHigh;
  uint32_t Size;       // buffer size in bytes; passed to JUX_MAPMEM
  uint32_t Offset;     // read position, advanced by the program
  uint32_t BytesLeft;  // bytes not yet consumed
  uint32_t Pad28;
};

constexpr int kMaxBuffers = 20;

// The adapter shared-memory record (1064 bytes).
struct LocalParms {
  uint32_t JuxFlags;
  uint32_t BoardID;
  uint32_t IntrptCnt;
  uint32_t TimerPrescaler;
  uint32_t TimerCnt0;
  uint32_t TimerCnt1;
  uint32_t NumLinesToPrint;
  uint32_t LineLength;
  uint32_t BlankLines;
  uint32_t PrintTime;
  uint32_t PrintStartDelay;
  uint32_t DataStartDelay;
  uint32_t PrintCompleteDelay;
  uint32_t RollSwitchTime;
  uint32_t InitDataLdTime;
  uint32_t ScaleFactor;
  uint16_t MaxPrintSpeed;
  uint16_t PrinterSpeed;
  uint16_t RollNumber;
  uint16_t IntrptStat0;
  uint16_t IntrptStat1;
  uint8_t ErrorCode0;
  uint8_t ErrorCode1;
  uint8_t Led1OnTime;
  uint8_t CmdParmNumb;
  uint8_t FinalParmNumb;
  uint8_t LastCmdRcvd;
  uint8_t CmdRequested;
  uint8_t StatusToSend;
  uint8_t NextCmd;
  uint8_t Pad83;
  uint16_t CmdParm;
  uint8_t StatusRcvd;
  uint8_t LastStatusRcvd;
  uint8_t StatusRequested;
  uint8_t CmdToSend;
  uint8_t NextStatus;
  uint8_t CmdInProgress[4];
  uint8_t StatusBuffer[40];
  uint8_t CommandBuffer[256];  // 64 slots of 4 bytes at unaligned offsets
  uint8_t Pad391;
  uint32_t NumLinesPrinted;
  uint32_t NumLinesScanned;
  uint32_t BufSize;
  uint32_t BufCnt;
  uint32_t BufQStart;
  uint32_t BufsInUse;
  uint32_t BufQEnd;
  uint32_t Pad420;
  BUFFERQUEUE BufQ[kMaxBuffers];
};

static_assert(sizeof(PortBuffer) == 12);
static_assert(sizeof(PCI_COMMON_CONFIG) == 256);
static_assert(sizeof(BUFFERQUEUE) == 32);
static_assert(offsetof(BUFFERQUEUE, VirtAddr) == 4 && offsetof(BUFFERQUEUE, PhysAddrLow) == 8 &&
              offsetof(BUFFERQUEUE, PhysAddrHigh) == 12 && offsetof(BUFFERQUEUE, Size) == 16 &&
              offsetof(BUFFERQUEUE, Offset) == 20 && offsetof(BUFFERQUEUE, BytesLeft) == 24);
static_assert(sizeof(LocalParms) == 1064);
static_assert(offsetof(LocalParms, JuxFlags) == 0 && offsetof(LocalParms, BoardID) == 4 &&
              offsetof(LocalParms, IntrptCnt) == 8 && offsetof(LocalParms, TimerPrescaler) == 12 &&
              offsetof(LocalParms, TimerCnt0) == 16 && offsetof(LocalParms, TimerCnt1) == 20 &&
              offsetof(LocalParms, NumLinesToPrint) == 24 && offsetof(LocalParms, LineLength) == 28 &&
              offsetof(LocalParms, BlankLines) == 32 && offsetof(LocalParms, PrintTime) == 36 &&
              offsetof(LocalParms, PrintStartDelay) == 40 &&
              offsetof(LocalParms, DataStartDelay) == 44 &&
              offsetof(LocalParms, PrintCompleteDelay) == 48 &&
              offsetof(LocalParms, RollSwitchTime) == 52 &&
              offsetof(LocalParms, InitDataLdTime) == 56 && offsetof(LocalParms, ScaleFactor) == 60);
static_assert(offsetof(LocalParms, MaxPrintSpeed) == 64 && offsetof(LocalParms, PrinterSpeed) == 66 &&
              offsetof(LocalParms, RollNumber) == 68 && offsetof(LocalParms, IntrptStat0) == 70 &&
              offsetof(LocalParms, IntrptStat1) == 72 && offsetof(LocalParms, ErrorCode0) == 74 &&
              offsetof(LocalParms, ErrorCode1) == 75 && offsetof(LocalParms, Led1OnTime) == 76 &&
              offsetof(LocalParms, CmdParmNumb) == 77 && offsetof(LocalParms, FinalParmNumb) == 78 &&
              offsetof(LocalParms, LastCmdRcvd) == 79 && offsetof(LocalParms, CmdRequested) == 80 &&
              offsetof(LocalParms, StatusToSend) == 81 && offsetof(LocalParms, NextCmd) == 82 &&
              offsetof(LocalParms, CmdParm) == 84 && offsetof(LocalParms, StatusRcvd) == 86 &&
              offsetof(LocalParms, LastStatusRcvd) == 87 &&
              offsetof(LocalParms, StatusRequested) == 88 && offsetof(LocalParms, CmdToSend) == 89 &&
              offsetof(LocalParms, NextStatus) == 90 && offsetof(LocalParms, CmdInProgress) == 91 &&
              offsetof(LocalParms, StatusBuffer) == 95 && offsetof(LocalParms, CommandBuffer) == 135);
static_assert(offsetof(LocalParms, NumLinesPrinted) == 392 &&
              offsetof(LocalParms, NumLinesScanned) == 396 && offsetof(LocalParms, BufSize) == 400 &&
              offsetof(LocalParms, BufCnt) == 404 && offsetof(LocalParms, BufQStart) == 408 &&
              offsetof(LocalParms, BufsInUse) == 412 && offsetof(LocalParms, BufQEnd) == 416 &&
              offsetof(LocalParms, BufQ) == 424);

// IntrptStat0 bits.
constexpr uint16_t kStat0ScanInProgress = 0x0001;
constexpr uint16_t kStat0ChannelFree = 0x0004;
constexpr uint16_t kStat0ChannelUp = 0x0020;
constexpr uint16_t kStat0Communication = 0x0080;
constexpr uint16_t kStat0Bypass = 0x0100;
constexpr uint16_t kStat0NewWidth = 0x0400;
constexpr uint16_t kStat0AutoLength = 0x0800;
constexpr uint16_t kStat0ScanModeSet = 0x2000;
// IntrptStat1 bits.
constexpr uint16_t kStat1CommandPosted = 0x0002;
constexpr uint16_t kStat1Overrun = 0x0010;
constexpr uint16_t kStat1Busy = 0x00E0;

// ---------------------------------------------------------------------------
// Access to the live record. The driver changes the record under the program
// without locks, so every read inside a wait must fetch memory again: Peek and
// Poke are atomic accesses of naturally aligned fields. Command slots lie at
// unaligned offsets and are read and written byte by byte.

template <class T>
inline T Peek(const T& field) {
  return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_seq_cst);
}
template <class T>
inline void Poke(T& field, T value) {
  std::atomic_ref<T>(field).store(value, std::memory_order_seq_cst);
}
inline void SetBits16(uint16_t& field, uint16_t bits) {
  std::atomic_ref<uint16_t>(field).fetch_or(bits);
}
inline void ClearBits16(uint16_t& field, uint16_t bits) {
  std::atomic_ref<uint16_t>(field).fetch_and(static_cast<uint16_t>(~bits));
}

// The 32-bit little-endian word of command slot n (0..63).
uint32_t ReadCommandSlot(const LocalParms* Adapter, int n);
void WriteCommandSlot(LocalParms* Adapter, int n, uint32_t word);

// ---------------------------------------------------------------------------
// The driver seam. A JuxDevice is one open device (what a driver handle
// reaches); a JuxDriver opens devices by name. The Windows back end wraps
// CreateFileA/DeviceIoControl, the POSIX back end the device files that juxsim
// serves in JUX_DEVICE_DIR. Tests may supply their own.

class JuxDevice {
 public:
  virtual ~JuxDevice() = default;
  // One control request with the code and buffers of the call; false when the
  // request failed. `returned` receives the byte count.
  virtual bool IoControl(uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                         uint32_t* returned) = 0;
};

using JUXHANDLE = JuxDevice*;
inline constexpr JUXHANDLE JUX_INVALID_HANDLE = nullptr;

class JuxDriver {
 public:
  virtual ~JuxDriver() = default;
  // CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
  // FILE_ATTRIBUTE_NORMAL, NULL); JUX_INVALID_HANDLE when the device is not there.
  virtual JUXHANDLE Open(const char* deviceName) = 0;
  // CloseHandle. The handle is gone afterwards, and with it every mapping
  // (record, buffers) made through it and not yet ended.
  virtual void Close(JUXHANDLE hDriver) = 0;
};

// The driver of this host (Windows: the card's kernel driver; POSIX: device
// files in JUX_DEVICE_DIR). Lives for the whole program.
JuxDriver& SystemDriver();

// The folder of the POSIX device files: JUX_DEVICE_DIR, else a per-user
// folder under /tmp.
const char* JuxDeviceDir();

// ---------------------------------------------------------------------------
// The nine device calls. None reports failure; a value-returning call whose
// request fails returns 0.

void JUX_START_PRINT(JUXHANDLE hDriver);
// Ends the mapping of the record or of a buffer at UserMem.
void JUX_UNMAPMEM(JUXHANDLE hDriver, void* UserMem);
// Maps a DMA buffer (the entry's VirtAddr and Size); the memory stays valid
// until JUX_UNMAPMEM is called with the returned address. nullptr on failure.
void* JUX_MAPMEM(JUXHANDLE hDriver, uint32_t Offset, uint32_t Size);
uint32_t JUX_READ_FIFO(JUXHANDLE hDriver, uint32_t DataSize);
void JUX_WRITE_FIFO(JUXHANDLE hDriver, uint32_t DataSize);
uint32_t JUX_READ_PORT(JUXHANDLE hDriver, uint32_t Offset);
void JUX_WRITE_PORT(JUXHANDLE hDriver, uint32_t Offset, uint32_t Value);
// Stores into *tmpAdapter the live record, valid until JUX_UNMAPMEM with that
// address (nullptr on failure).
void JUX_GET_ADAPTER(JUXHANDLE hDriver, LocalParms** tmpAdapter);
void JUX_GET_PCICONFIG(JUXHANDLE hDriver, PCI_COMMON_CONFIG* tmpConfig);

// ---------------------------------------------------------------------------
// Command and status handshake. Each reports through Adapter->ErrorCode0:
// 0 success, 4 time-out or refusal.

// Scanner side: status send, command get (time-out 100 polls of 10 ms).
uint16_t SendStatus(LocalParms* Adapter, uint8_t Status, uint8_t Argument);
uint32_t GetCommand(LocalParms* Adapter, uint8_t Command);
// Printer side: command send, status get (time-out 10 ticks of TimerCnt0).
uint16_t SendCommand(LocalParms* Adapter, uint8_t Command, uint16_t Argument);
uint32_t GetStatus(LocalParms* Adapter, uint8_t Status);

// Bound on the waits that count ticks of the driver's timer (the printer-side
// routines, juxscan's transfer and completion): a driver whose timer is dead
// must not hang a program. The ticks are counted as the card's protocol has
// them; only when the timer has not advanced at all for this much wall time does the
// wait give up (the routines fail with ErrorCode0 = 4). A slow but live timer
// is waited for.
constexpr uint32_t kBusyWaitLimitMs = 5000;
// Tests shorten the bound; programs keep kBusyWaitLimitMs.
void SetBusyWaitLimitMs(uint32_t ms);

// Watches one tick counter of the record: Stalled() is true once the counter
// has kept the same value for the busy-wait bound. Each call also yields the
// processor, so that a driver sharing it can run. `counter` must stay mapped
// for the life of the watch.
class TimerWatch {
 public:
  explicit TimerWatch(const uint32_t& counter);
  bool Stalled();

 private:
  const uint32_t& counter_;
  uint32_t last_;
  std::chrono::steady_clock::time_point since_;
};

// Sleep of the calling program (Windows Sleep).
void JuxSleep(uint32_t ms);

// ---------------------------------------------------------------------------
// JUX_MAPMEM hands back an address in the 32-bit Offset of the returned
// record, as the card's 32-bit driver does. A build with 64-bit addresses
// gives the driver room for a full address after the record, and the layer
// takes that one when the driver filled it in. (JUX_GET_ADAPTER's output is
// the caller's pointer variable itself, as wide as an address.)
struct MapMemReply {
  PortBuffer Request;
  uint64_t Address;  // 0 unless the driver returns a full address here
};

// ---------------------------------------------------------------------------
// DMA buffer ring, the program's side (the driver fills, the program drains).
// The table of mapped buffers is indexed like BufQ; an entry is nullptr when
// its buffer is not mapped. A BufCnt above kMaxBuffers is taken as kMaxBuffers.

// Largest piece handed on at once while an entry is drained.
constexpr uint32_t kDrainPiece = 16384;

// BufQStart, BufQEnd, BufsInUse = 0; every entry Owner 1, Offset and BytesLeft 0.
void ResetRing(LocalParms* Adapter);
// Maps the buffer of every entry in use (JUX_MAPMEM with its VirtAddr and Size).
// The addresses stay valid until UnmapRing.
void MapRing(JUXHANDLE hDriver, const LocalParms* Adapter, void* Buffers[kMaxBuffers]);
// Unmaps every buffer that MapRing mapped and sets its table entry to nullptr.
void UnmapRing(JUXHANDLE hDriver, void* Buffers[kMaxBuffers]);
// When the entry at BufQStart is filled (Owner 0): hands its bytes from Offset
// on to `write` in pieces of at most kDrainPiece bytes (each piece a copy,
// taken from the shared buffer once and valid for the call), keeping Offset and
// BytesLeft current after each piece, then gives the entry back to the driver
// (Owner 1, Offset 0) and advances BufQStart (wrapping at BufCnt) and decrements
// BufsInUse. Returns false when there was nothing to drain.
using RingWriter = std::function<void(const uint8_t* data, uint32_t size)>;
bool DrainRing(LocalParms* Adapter, void* const Buffers[kMaxBuffers], const RingWriter& write);
