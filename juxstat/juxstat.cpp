#include "juxstat/juxstat.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "juxutil/console.h"
#include "juxutil/hostpath.h"

namespace juxstat {

namespace {

constexpr int kTries = 10;  // printer release: status asked, command sent

// Register 4.
constexpr uint32_t kEnableInterface = 0x0008;
constexpr uint32_t kResetChannel = 0x1010;
constexpr uint32_t kBypassOn1 = 0x0200, kBypassOn2 = 0x0206, kBypassOff = 0x0000;
constexpr uint32_t kRegBypass = 0x0200;  // read: printer bypass mode on

// Scanner side: command 2 byte 1, and the numbers used.
constexpr uint8_t kAnsiBit = 0x01, kModeBits = 0x06, kScanMode = 0x02;
constexpr uint8_t kCmdCopier = 2, kCmdModeRequest = 5, kCmdDensity = 16;
constexpr uint8_t kStsDensity = 3, kStsCopier = 23;
// Printer side.
constexpr uint8_t kSendDensityFollows = 0x59, kSendDensity = 0x29, kSendAnsi = 9,
                  kSendRelease = 0x21, kSendReady = 0x11;
constexpr uint8_t kGetResetNeeded = 0, kGetReady = 7, kGetBypassHeld = 9, kGetDensity = 14;
constexpr uint8_t kDriverResetError = 21;  // ErrorCode1 value that asks for a reset

// The bypass entry waits on the driver without sleeping; a driver that never
// answers must not hang the program, so each wait gives up after this long.
constexpr auto kBypassWaitLimit = std::chrono::seconds(5);

using console::ConfirmedIf;
using console::Setting;
using console::TrySetting;

uint8_t Byte1(uint32_t word) { return static_cast<uint8_t>(word >> 8); }

// Where the run goes next.
enum class Next { Settings, CommunicationError, End, NoDevice, ResetDone };

class StatusRun {
 public:
  StatusRun(const PrintParms& parms, JuxDriver& driver, std::ostream& out)
      : parms_(parms), driver_(driver), out_(out) {}

  int Run() {
    Say("Jux Driver Status Program %s", version);
    Say("");
    if (!parms_.fileName) Say("No filename was supplied");

    Next next = Next::Settings;
    if ((hDriver_ = driver_.Open(kJuxDevice)) != JUX_INVALID_HANDLE) {
      Say("");
      Say("Retrieved valid handle for JUX driver");
    } else if (parms_.scanner) {
      if (parms_.copier) next = EnterCopyMode();
      if (next == Next::Settings &&
          !Take(kJuxDeviceS, "JUX_S", false, "Can't get a handle to JUX_S driver"))
        next = Next::NoDevice;
    } else {
      next = LeaveCopyMode();
    }

    if (next == Next::NoDevice) return kOk;
    if (next == Next::Settings) next = Settings();
    if (next == Next::ResetDone) {
      // Ends with 0 whatever ErrorCode0 says: a juxscan that held the channel
      // may be in the middle of a handshake on the same record.
      Release();
      return kOk;
    }
    if (next == Next::CommunicationError) {
      Say("Communication Error");
      Poke(Adapter_->ErrorCode0, uint8_t{kNoAnswer});
    }
    return End();
  }

 private:
  // Step 3: copy mode. The printer takes its data straight from the scanner
  // (bypass), then the scanner is switched to copy mode. Leaves no device
  // held unless the run is to end.
  Next EnterCopyMode() {
    if (!Take(kJuxDeviceP, "JUX_P", false, "Can't get a handle to JUX_P driver"))
      return Next::NoDevice;
    bool inBypass = (JUX_READ_PORT(hDriver_, kRegControl) & kRegBypass) &&
                    (Peek(Adapter_->IntrptStat0) & kStat0Bypass);
    if (inBypass) {
      Release();
      return Next::Settings;
    }
    LocalParms* A = Adapter_;
    if (!WaitFor([&] { return Peek(A->TimerCnt1) >= 30; })) return Next::CommunicationError;
    Poke(A->CmdToSend, uint8_t{0xFF});
    if (!WaitFor([&] { return Peek(A->CmdToSend) != 0xFF; })) return Next::CommunicationError;
    if (!WaitFor([&] { return !(Peek(A->IntrptStat1) & kStat1Busy); }))
      return Next::CommunicationError;
    Poke(A->IntrptStat0, kStat0Bypass);
    JuxSleep(100);
    JUX_WRITE_PORT(hDriver_, kRegControl, kBypassOn1);
    JuxSleep(100);
    JUX_WRITE_PORT(hDriver_, kRegControl, kBypassOn2);
    Say("Enabling printer bypass mode");
    Release();

    if (!Take(kJuxDeviceS, "JUX_S", true, "Can't get a handle to JUX_S driver"))
      return Next::NoDevice;
    JuxSleep(1000);
    if (SetScannerMode(0) == Setting::NoAnswer) return Next::CommunicationError;
    Say("Setting scanner to copy mode");
    Say("");
    Release();
    return Next::Settings;
  }

  // Step 5: without /S the printer is meant. When it is in bypass, the
  // scanner goes back to scan mode and the printer is released.
  Next LeaveCopyMode() {
    if (!Take(kJuxDeviceP, "JUX_P", false, "Can't get a handle to JUX driver"))
      return Next::NoDevice;
    bool inBypass = (JUX_READ_PORT(hDriver_, kRegControl) & kRegBypass) ||
                    (Peek(Adapter_->IntrptStat0) & kStat0Bypass);
    if (!inBypass) return Next::Settings;

    Say("Printer in bypass mode");
    Release();
    if (!Take(kJuxDeviceS, "JUX_S", true, "Can't get a handle to JUX_S driver"))
      return Next::NoDevice;
    ClearBits16(Adapter_->IntrptStat0, kStat0ScanModeSet);
    // Failures are not examined here: the printer is released in any case.
    SetScannerMode(kScanMode, false);
    Say("Setting scanner to scan mode");
    Release();

    if (!TakeDevice(kJuxDeviceP, "JUX_P", true, "Can't get a handle to JUX_P driver"))
      return Next::NoDevice;
    Say("Disabling printer bypass mode");
    if (!TakeRecord("Can't get a handle to JUX_P driver")) return Next::NoDevice;
    LocalParms* A = Adapter_;
    JUX_WRITE_PORT(hDriver_, kRegControl, kBypassOff);
    for (uint8_t& b : A->StatusBuffer) Poke(b, uint8_t{0xFF});
    Poke(A->IntrptStat1, uint16_t{0});
    Poke(A->CmdToSend, uint8_t{0xF0});
    Poke(A->IntrptStat0, kStat0ChannelFree);
    JuxSleep(100);

    // The printer's answers below are judged by ErrorCode0; an old value
    // left in the record must not read as a failure of this run.
    Poke(A->ErrorCode0, uint8_t{0});
    if (!BringPrinterRound(kGetBypassHeld, [](uint32_t v) { return v == 0; }, kSendRelease, 0) ||
        !BringPrinterRound(kGetReady, [](uint32_t v) { return (v & 0x60) == 0x20; }, kSendReady, 1))
      return Next::End;
    return Next::Settings;
  }

  // Step 5.4: asks for status `status` until `done` holds, sending `command`
  // after each other answer; 10 tries. False (ErrorCode0 4) when the printer
  // fails to answer or to come round.
  template <class Done>
  bool BringPrinterRound(uint8_t status, Done done, uint8_t command, uint16_t argument) {
    for (int tries = 0; tries < kTries; ++tries) {
      uint32_t value = GetStatus(Adapter_, status);
      if (Failed()) return false;
      if (done(value)) return true;
      SendCommand(Adapter_, command, argument);
      if (Failed()) return false;
    }
    Poke(Adapter_->ErrorCode0, uint8_t{kNoAnswer});
    return false;
  }

  // Steps 6 to 8 with the device now held.
  Next Settings() {
    if (Adapter_ == nullptr && !TakeRecord("Can't get a handle to JUX driver"))
      return Next::NoDevice;
    LocalParms* A = Adapter_;
    Poke(A->ErrorCode0, uint8_t{0});
    if (parms_.force) {
      ForcedReset();
      return Next::ResetDone;
    }

    uint32_t board = Peek(A->BoardID);
    bool scannerSide = board == kBoardScanner;
    bool printerSide = board == kBoardPrinterA || board == kBoardPrinterB;
    if (scannerSide) {
      if (Next next = ScannerSettings(); next != Next::Settings) return next;
    } else if (printerSide) {
      if (Next next = PrinterSettings(); next != Next::Settings) return next;
    }

    if (!parms_.fileName) return Next::End;
    std::string hostName = hostpath::ToHost(*parms_.fileName);
    std::FILE* file = hostName.empty() ? nullptr : std::fopen(hostName.c_str(), "wb");
    if (file == nullptr) {
      Say("Cannot create the status file");  // still code 0: callers judge by the file
      return Next::End;
    }

    Next next = Next::Settings;
    if (scannerSide)
      CheckScannerChannel();
    else if (printerSide)
      next = CheckPrinterChannel();
    if (next != Next::Settings) {
      // Created but never written: an empty status file must not stay behind.
      std::fclose(file);
      std::remove(hostName.c_str());
      return next;
    }

    StatusFile content = BuildStatusFile(*A);
    bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    if (std::fclose(file) != 0 || !written) {
      // A short status file would be read as a real one.
      std::remove(hostName.c_str());
      Say("Cannot write the status file");
    }
    return Next::End;
  }

  // Step 7: the ring and the channel start afresh; a juxscan waiting for the
  // start sees the channel free again and gives up.
  void ForcedReset() {
    LocalParms* A = Adapter_;
    Poke(A->BufQStart, 0u);
    Poke(A->BufQEnd, 0u);
    Poke(A->BufsInUse, 0u);
    uint32_t count = std::min<uint32_t>(Peek(A->BufCnt), kMaxBuffers);
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t size = Peek(A->BufQ[i].Size);
      auto* buffer = static_cast<uint8_t*>(JUX_MAPMEM(hDriver_, Peek(A->BufQ[i].VirtAddr), size));
      if (buffer == nullptr) continue;
      for (size_t at : {0, 20, 24})
        if (at + 4 <= size) std::fill_n(buffer + at, 4, uint8_t{0});
      JUX_UNMAPMEM(hDriver_, buffer);
    }
    JUX_WRITE_PORT(hDriver_, kRegControl, kResetChannel);
    Poke(A->IntrptStat0, uint16_t{0});
    JuxSleep(100);
    Poke(A->IntrptStat1, uint16_t{0});
    Poke(A->IntrptStat0, kStat0ChannelFree);
    JUX_WRITE_PORT(hDriver_, kRegControl, kEnableInterface);
    Poke(A->JuxFlags, 0u);
  }

  // Step 8.1.
  Next ScannerSettings() {
    LocalParms* A = Adapter_;
    if (parms_.led != kNotGiven) {
      Poke(A->Led1OnTime, static_cast<uint8_t>(parms_.led & 0x7F));
      Setting result = TrySetting([&] {
        SendStatus(A, kStsDensity, Peek(A->Led1OnTime));
        if (Failed()) return Setting::NoAnswer;
        uint32_t reply = GetCommand(A, kCmdDensity);
        if (Failed()) return Setting::NoAnswer;
        return ConfirmedIf(Byte1(reply) == parms_.led);  // the full value: above 127 never confirms
      });
      if (Next next = Settled(result, "Cannot update print density"); next != Next::Settings)
        return next;
    }
    if (parms_.ansi != kNotGiven) {
      uint32_t copier = GetCommand(A, kCmdCopier);
      if (Failed()) return Next::CommunicationError;
      Setting result = TrySetting([&] {
        SendStatus(A, kStsCopier, static_cast<uint8_t>((Byte1(copier) & kModeBits) | parms_.ansi));
        if (Failed()) return Setting::NoAnswer;
        copier = GetCommand(A, kCmdCopier);
        if (Failed()) return Setting::NoAnswer;
        return ConfirmedIf((Byte1(copier) & kAnsiBit) == parms_.ansi);
      });
      if (Next next = Settled(result, "Cannot update ansi/metric mode"); next != Next::Settings)
        return next;
    }
    if (parms_.copier && SetScannerMode(0) == Setting::NoAnswer) return Next::CommunicationError;
    return Next::Settings;
  }

  // Brings the scanner's copier mode bits to `mode` (0 copy, 2 scan), keeping
  // its size series. Running out of tries is not reported; with `examined`
  // a failed handshake ends the attempt.
  Setting SetScannerMode(uint8_t mode, bool examined = true) {
    LocalParms* A = Adapter_;
    auto failed = [&] { return examined && Failed(); };
    uint32_t copier = GetCommand(A, kCmdCopier);
    if (failed()) return Setting::NoAnswer;
    return TrySetting([&] {
      SendStatus(A, kStsCopier, static_cast<uint8_t>((Byte1(copier) & kAnsiBit) | mode));
      if (failed()) return Setting::NoAnswer;
      copier = GetCommand(A, kCmdCopier);
      if (failed()) return Setting::NoAnswer;
      return ConfirmedIf((Byte1(copier) & kModeBits) == mode);
    });
  }

  // Step 8.2.
  Next PrinterSettings() {
    LocalParms* A = Adapter_;
    if ((JUX_READ_PORT(hDriver_, kRegControl) & kRegBypass) ||
        (Peek(A->IntrptStat0) & kStat0Bypass)) {
      Poke(A->ErrorCode0, uint8_t{kBypass});
      return Next::End;
    }
    if (parms_.led != kNotGiven) {
      // Announces the change; its answer does not count, so neither does an
      // error it leaves in ErrorCode0.
      SendCommand(A, kSendDensityFollows, 0);
      Poke(A->ErrorCode0, uint8_t{0});
      Poke(A->Led1OnTime, static_cast<uint8_t>(parms_.led & 0x7F));
      Setting result = TrySetting([&] {
        SendCommand(A, kSendDensity, Peek(A->Led1OnTime));
        if (Failed()) return Setting::NoAnswer;
        uint32_t value = GetStatus(A, kGetDensity);
        if (Failed()) return Setting::NoAnswer;
        return ConfirmedIf(value == parms_.led);
      });
      if (Next next = Settled(result, "Cannot update print density"); next != Next::Settings)
        return next;
    }
    if (parms_.ansi != kNotGiven) {
      Setting result = TrySetting([&] {
        SendCommand(A, kSendAnsi, parms_.ansi);
        if (Failed()) return Setting::NoAnswer;
        uint32_t value = GetStatus(A, kGetReady);
        if (Failed()) return Setting::NoAnswer;
        return ConfirmedIf(((value & 0x10) >> 4) == parms_.ansi);
      });
      if (Next next = Settled(result, "Cannot update ansi/metric mode"); next != Next::Settings)
        return next;
    }
    return Next::Settings;
  }

  // Density and ANSI/metric: a value the controller does not take ends the
  // run with `message` and code 0 (callers rely on it); a failed handshake
  // is a communication error.
  Next Settled(Setting result, const char* message) {
    switch (result) {
      case Setting::Confirmed:
        return Next::Settings;
      case Setting::NotConfirmed:
        Say(message);
        return Next::End;
      case Setting::NoAnswer:
        break;
    }
    return Next::CommunicationError;
  }

  // Step 8.5: a scanner channel that reports trouble is reset.
  void CheckScannerChannel() {
    LocalParms* A = Adapter_;
    if (!(Peek(A->IntrptStat0) & kStat0ChannelFree)) {
      Say("Controller Busy");
      Poke(A->ErrorCode0, uint8_t{kBusy});
      return;
    }
    GetCommand(A, kCmdCopier);
    uint32_t request = GetCommand(A, kCmdModeRequest);
    if (!(Byte1(request) & 0x73) && !Failed() && Peek(A->ErrorCode1) != kDriverResetError) return;
    JuxSleep(1500);
    JUX_WRITE_PORT(hDriver_, kRegControl, kResetChannel);
    Poke(A->IntrptStat0, kStat0ChannelFree);
    Poke(A->IntrptStat1, uint16_t{0});
    JUX_WRITE_PORT(hDriver_, kRegControl, kEnableInterface);
    Poke(A->JuxFlags, 0u);
    Poke(A->NextCmd, uint8_t{3});
    if (!WaitForChannelUp(200))
      for (uint8_t& b : A->CommandBuffer) Poke(b, uint8_t{0});
    GetCommand(A, kCmdCopier);
    if (!Failed()) JuxSleep(1000);
  }

  // Step 8.6: a printer channel that reports trouble is reset.
  Next CheckPrinterChannel() {
    LocalParms* A = Adapter_;
    if (!(Peek(A->IntrptStat0) & kStat0ChannelFree)) {
      Say("Controller Busy");
      Poke(A->ErrorCode0, uint8_t{kBusy});
      return Next::Settings;
    }
    uint32_t status = GetStatus(A, kGetResetNeeded);
    if (!(status & 0xC0) && !Failed() && Peek(A->ErrorCode1) != kDriverResetError)
      return Next::Settings;
    for (uint8_t& b : A->StatusBuffer) Poke(b, uint8_t{0xFF});
    JUX_WRITE_PORT(hDriver_, kRegControl, kResetChannel);
    Poke(A->IntrptStat0, kStat0ChannelFree);
    Poke(A->IntrptStat1, uint16_t{0});
    Poke(A->JuxFlags, 0u);
    Poke(A->NextStatus, uint8_t{0});
    if (!WaitForChannelUp(400)) {
      Poke(A->ErrorCode0, uint8_t{kNoAnswer});
      return Next::CommunicationError;
    }
    return Next::Settings;  // ErrorCode0 keeps the 4 of a failed status request
  }

  bool WaitForChannelUp(int tests) {
    for (int i = 0; i < tests; ++i) {
      if (Peek(Adapter_->IntrptStat0) & kStat0ChannelUp) return true;
      JuxSleep(10);
    }
    return false;
  }

  // Busy-waits (no sleep: the driver answers within ticks) for `ready`.
  template <class Ready>
  bool WaitFor(Ready ready) {
    auto until = std::chrono::steady_clock::now() + kBypassWaitLimit;
    while (!ready())
      if (std::chrono::steady_clock::now() > until) return false;
    return true;
  }

  // Step 10 (Err00).
  int End() {
    LocalParms* A = Adapter_;
    int code = Peek(A->ErrorCode0);
    if (code != kBusy) Poke(A->ErrorCode1, uint8_t{0});
    Poke(A->ErrorCode0, uint8_t{0});
    Release();
    return code;
  }

  // Opens a device and takes its record. On failure prints `failMessage`
  // and holds nothing.
  bool Take(const char* name, const char* label, bool blankFirst, const char* failMessage) {
    return TakeDevice(name, label, blankFirst, failMessage) && TakeRecord(failMessage);
  }

  bool TakeDevice(const char* name, const char* label, bool blankFirst, const char* failMessage) {
    hDriver_ = driver_.Open(name);
    if (hDriver_ == JUX_INVALID_HANDLE) {
      Say(failMessage);
      return false;
    }
    if (blankFirst) Say("");
    Say("Retrieved valid handle for %s driver", label);
    return true;
  }

  bool TakeRecord(const char* failMessage) {
    JUX_GET_ADAPTER(hDriver_, &Adapter_);
    if (Adapter_ != nullptr) return true;
    driver_.Close(hDriver_);  // a device without its record is no device
    hDriver_ = JUX_INVALID_HANDLE;
    Say(failMessage);
    return false;
  }

  void Release() {
    if (Adapter_ != nullptr) JUX_UNMAPMEM(hDriver_, Adapter_);
    if (hDriver_ != JUX_INVALID_HANDLE) driver_.Close(hDriver_);
    Adapter_ = nullptr;
    hDriver_ = JUX_INVALID_HANDLE;
  }

  bool Failed() const { return Peek(Adapter_->ErrorCode0) != 0; }

  template <class... Args>
  void Say(const char* format, Args... args) {
    console::Say(out_, format, args...);
  }

  const PrintParms& parms_;
  JuxDriver& driver_;
  std::ostream& out_;
  JUXHANDLE hDriver_ = JUX_INVALID_HANDLE;  // the device held
  LocalParms* Adapter_ = nullptr;           // its record
};

}  // namespace

int run(const PrintParms& parms, JuxDriver& driver, std::ostream& out) {
  return StatusRun(parms, driver, out).Run();
}

}  // namespace juxstat
