#include "juxscan/juxscan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "juxscan/scanlines.h"
#include "juxutil/hostpath.h"

namespace juxscan {

namespace {

using console::ConfirmedIf;
using console::Setting;
using console::TrySetting;

constexpr uint32_t kMaxLineLength = 1808;  // bytes the card takes per line
constexpr uint32_t kMinScale = 250, kMaxScale = 4000;

// Register 4 values.
constexpr uint32_t kEnableInterface = 0x0008;
constexpr uint32_t kStopChannel = 0x1018;
constexpr uint32_t kPrepareChannel = 0x8F08;
constexpr uint32_t kStartScan = 0x8009;  // plus the scanner's speed bits
constexpr uint32_t kSpeedBits = 0x0060;

// Command and status numbers.
constexpr uint8_t kCmdCopier = 2, kCmdImageMode = 3, kCmdModeRequest = 5, kCmdScale = 12,
                  kCmdWidth = 13, kCmdThreshold = 14;
constexpr uint8_t kStsScaleLow = 15, kStsScaleHigh = 16, kStsThreshold = 18, kStsImageMode = 21,
                  kStsCopier = 23;

// Command 2, byte 1.
constexpr uint8_t kAnsiBit = 0x01, kModeBits = 0x06, kScanMode = 0x02, kStarted = 0x40;

// The scan file's stdio buffer: the drained pieces reach the system in
// writes of this size, not one per piece.
constexpr size_t kFileBuffer = size_t{1} << 20;

// How often the transfer loop looks at the console and the driver's timer:
// both cost a system call or a clock read, the drained buffers do not.
constexpr auto kCheckEvery = std::chrono::milliseconds(1);

uint8_t Byte1(uint32_t word) { return static_cast<uint8_t>(word >> 8); }

// The clean-up stages; each falls through to the next.
enum class Stage { Exit04, Exit03, Exit02, Exit00 };

class ScanRun {
 public:
  ScanRun(const ScanParms& parms, JuxDriver& driver, std::ostream& out, console::Keyboard& keys)
      : parms_(parms), driver_(driver), out_(out), keys_(keys) {}

  int Run() {
    Say("Jux Driver Scan Program %s", version);
    Say("");
    if ((hDriver_ = driver_.Open(kJuxDevice)) != JUX_INVALID_HANDLE) {
      Say("Retrieved valid handle for JUX driver");
    } else if ((hDriver_ = driver_.Open(kJuxDeviceS)) != JUX_INVALID_HANDLE) {
      Say("Retrieved valid handle for JUX_S driver");
    } else {
      Say("Can't get a handle to JUX driver");
      return kNoDevice;
    }
    JUX_GET_ADAPTER(hDriver_, &Adapter_);
    if (Adapter_ == nullptr) {  // a device without its record is no device
      driver_.Close(hDriver_);
      Say("Can't get a handle to JUX driver");
      return kNoDevice;
    }
    if (!(Peek(Adapter_->IntrptStat0) & kStat0ChannelFree)) {
      Say("Controller busy");
      JUX_UNMAPMEM(hDriver_, Adapter_);
      driver_.Close(hDriver_);
      return kBusy;
    }
    return CleanUp(Scan());
  }

 private:
  // Steps 5 to 27; the result is the clean-up stage to run.
  Stage Scan() {
    LocalParms* A = Adapter_;
    if (!(JUX_READ_PORT(hDriver_, kRegControl) & kEnableInterface)) {
      JUX_WRITE_PORT(hDriver_, kRegControl, kEnableInterface);
      SetBits16(A->IntrptStat0, kStat0ChannelFree);
      JuxSleep(1000);
    }
    if (!WaitForCommunication()) {
      Say("Communication Error");
      return Stop(kNoAnswer, Stage::Exit00);
    }

    Poke(A->ErrorCode0, uint8_t{0});
    Poke(A->ErrorCode1, uint8_t{0});
    Poke(A->LineLength, parms_.LineLength);
    Poke(A->ScaleFactor, parms_.ScaleFactor);
    if (parms_.LineLength == 0)
      SetBits16(A->IntrptStat0, kStat0AutoLength);
    else
      ClearBits16(A->IntrptStat0, 0xFF00);

    if (parms_.LineLength > kMaxLineLength) {
      Say("Line Length specified is not valid");
      return Stop(kBadArgument, Stage::Exit00);
    }
    if (parms_.ScaleFactor < kMinScale || parms_.ScaleFactor > kMaxScale) {
      Say("Scale Factor specified is not valid");
      return Stop(kBadArgument, Stage::Exit00);
    }

    if (std::optional<Stage> stop = Configure()) return *stop;

    std::string hostName = parms_.fileName ? hostpath::ToHost(*parms_.fileName) : std::string();
    if (!hostName.empty()) file_ = std::fopen(hostName.c_str(), "wb");
    if (file_ != nullptr) std::setvbuf(file_, nullptr, _IOFBF, kFileBuffer);
    if (file_ == nullptr) {
      Say("No filename (or an invalid one) was supplied");
      return Stop(kBadArgument, Stage::Exit00);
    }

    JUX_WRITE_PORT(hDriver_, kRegControl, kStopChannel);
    Poke(A->MaxPrintSpeed,
         static_cast<uint16_t>(JUX_READ_PORT(hDriver_, kRegControl) & kSpeedBits));
    uint32_t imageMode = GetCommand(A, kCmdImageMode);
    if (Failed()) return Stop(kNoAnswer, Stage::Exit02);
    Poke(A->PrinterSpeed, static_cast<uint16_t>((imageMode >> 7) & kSpeedBits));
    if (Peek(A->MaxPrintSpeed) < Peek(A->PrinterSpeed)) {
      Say("Scanner is too fast for interface card");
      return Stop(kTooFast, Stage::Exit02);
    }

    // From here until Exit02 the channel is ours; a forced reset elsewhere
    // sets the bit again, which is how the wait below learns of it.
    ClearBits16(A->IntrptStat0, kStat0ChannelFree);
    Say("ESC to exit from scan...");
    if (std::optional<Stage> stop = WaitForStart()) return *stop;

    GetCommand(A, kCmdWidth);
    if (Failed()) return Stop(kNoAnswer, Stage::Exit02);
    ClearBits16(A->IntrptStat0, kStat0NewWidth);
    if (Peek(A->IntrptStat0) & kStat0AutoLength) SetAutomaticLineLength();

    JUX_WRITE_PORT(hDriver_, kRegControl, kStopChannel);
    JUX_WRITE_PORT(hDriver_, kRegControl, kPrepareChannel);
    JUX_WRITE_PORT(hDriver_, kRegLineLength, Peek(A->LineLength) & 0xFFFF);

    if (std::optional<Stage> stop = Transfer()) return *stop;

    if (Peek(A->IntrptStat1) & kStat1Overrun) {
      Say("Could not keep up with data");
      return Stop(kOverrun, Stage::Exit04);
    }
    Poke(A->TimerCnt1, 0u);
    TimerWatch timer(A->TimerCnt1);
    while (Peek(A->JuxFlags) & 0x1) {
      JuxSleep(10);
      if (Peek(A->TimerCnt1) > 100) {
        Say("Timeout waiting for scan complete");
        return Stop(kNotFinished, Stage::Exit04);
      }
      if (timer.Stalled()) return CutShort(kNotFinished);  // the driver's timer is dead
      if (Peek(A->IntrptStat0) & kStat0ChannelFree) return CutShort(kChannelReset);
    }
    return FinishFile();
  }

  // Step 6: the driver sets bit 0x0080 once the controller talks (about 5 s).
  bool WaitForCommunication() {
    for (int i = 0; i < 500; ++i) {
      if (Peek(Adapter_->IntrptStat0) & kStat0Communication) return true;
      JuxSleep(10);
    }
    return false;
  }

  // Steps 10 to 15: copy mode when the scanner asks for it, scan mode,
  // threshold, image mode, scale. Each setting is sent, read back and
  // compared, 10 tries with 50 ms between them.
  std::optional<Stage> Configure() {
    LocalParms* A = Adapter_;
    uint32_t copier = ReadCommandSlot(A, kCmdCopier);
    if ((copier & 0xFF) != kCmdCopier) {
      copier = GetCommand(A, kCmdCopier);
      if (Failed()) return Stop(kNoAnswer, Stage::Exit00);
    }

    auto setMode = [&](uint8_t mode) {
      return Settle("Cannot update copier mode", [&] {
        SendStatus(A, kStsCopier, static_cast<uint8_t>((Byte1(copier) & kAnsiBit) | mode));
        if (Failed()) return Setting::NoAnswer;
        copier = GetCommand(A, kCmdCopier);
        if (Failed()) return Setting::NoAnswer;
        return ConfirmedIf((Byte1(copier) & kModeBits) == mode);
      });
    };
    // The scanner reaches scan mode only through copy mode when command 5
    // says so; its value is taken as it stands, without a new request.
    if (Byte1(ReadCommandSlot(A, kCmdModeRequest)) & 0xC1) {
      if (std::optional<Stage> stop = setMode(0)) return stop;
    }
    if (std::optional<Stage> stop = setMode(kScanMode)) return stop;

    uint8_t ccdthresh = parms_.ccdthresh;
    if (ccdthresh < 128) {
      std::optional<Stage> stop = Settle("Cannot update ccd threshold", [&] {
        SendStatus(A, kStsThreshold, ccdthresh);
        if (Failed()) return Setting::NoAnswer;
        uint32_t reply = GetCommand(A, kCmdThreshold);
        if (Failed()) return Setting::NoAnswer;
        // Bit 0x80 of the reply is a flag of its own (see the image mode).
        return ConfirmedIf((Byte1(reply) & 0x7F) == ccdthresh);
      });
      if (stop) return stop;
    } else if (ccdthresh != kNotGiven) {
      Say("CCD Threshold is invalid");
      return Stop(kBadArgument, Stage::Exit00);
    }

    uint8_t photomode = parms_.photomode;
    if (photomode <= 3) {
      static constexpr uint8_t kImageModeCode[4] = {8, 2, 0, 1};
      uint8_t code = kImageModeCode[photomode];
      uint32_t threshold = GetCommand(A, kCmdThreshold);
      if (Failed()) return Stop(kNoAnswer, Stage::Exit00);
      if (threshold & 0x8000) code += 0x10;
      SendStatus(A, kStsImageMode, code);
      if (Failed()) return Stop(kNoAnswer, Stage::Exit00);
      // Code 8 is reported by its bit 0x08 alone.
      uint8_t compared = (code & 0x0F) == 8 ? 0x08 : 0x0F;
      std::optional<Stage> stop = Settle("Cannot update photo mode", [&] {
        SendStatus(A, kStsImageMode, code);
        if (Failed()) return Setting::NoAnswer;
        uint32_t reply = GetCommand(A, kCmdImageMode);
        if (Failed()) return Setting::NoAnswer;
        return ConfirmedIf((code & compared) == (Byte1(reply) & compared));
      });
      if (stop) return stop;
    } else if (photomode != kNotGiven) {
      Say("Photo Mode is invalid");
      return Stop(kBadArgument, Stage::Exit00);
    }

    uint32_t ScaleFactor = Peek(A->ScaleFactor);
    return Settle("Cannot update scale factor", [&] {
      uint32_t reply = GetCommand(A, kCmdScale);
      if (Failed()) return Setting::NoAnswer;
      if (((reply >> 8) & 0xFFFF) == ScaleFactor) return Setting::Confirmed;
      SendStatus(A, kStsScaleLow, static_cast<uint8_t>(ScaleFactor & 0x7F));
      if (Failed()) return Setting::NoAnswer;
      SendStatus(A, kStsScaleHigh, static_cast<uint8_t>((ScaleFactor >> 7) & 0x7F));
      if (Failed()) return Setting::NoAnswer;
      return Setting::NotConfirmed;
    });
  }

  // One setting of steps 11 to 15: a setting the scanner does not take ends
  // the run with `message`; a handshake that fails ends it silently. Both
  // with code 4 (a failure must never read as success).
  template <class Attempt>
  std::optional<Stage> Settle(const char* message, Attempt attempt) {
    switch (TrySetting(attempt)) {
      case Setting::Confirmed:
        return std::nullopt;
      case Setting::NotConfirmed:
        Say(message);
        break;
      case Setting::NoAnswer:
        break;
    }
    return Stop(kNoAnswer, Stage::Exit00);
  }

  // Step 19: no time limit; the operator, ESC, or a forced reset ends it.
  std::optional<Stage> WaitForStart() {
    for (;;) {
      if (EscPressed()) return Stop(kEscape, Stage::Exit02);
      if (Peek(Adapter_->IntrptStat0) & kStat0ChannelFree) return Stop(kChannelReset, Stage::Exit02);
      uint32_t copier = GetCommand(Adapter_, kCmdCopier);  // a silent answer just means "not yet"
      if (Byte1(copier) & kStarted) return std::nullopt;
      JuxSleep(10);
    }
  }

  // Steps 21 and 24.1: the line length from the width the scanner reports
  // for the fed document, in the size series the scanner is set to.
  void SetAutomaticLineLength() {
    LocalParms* A = Adapter_;
    uint8_t widthCode = Byte1(ReadCommandSlot(A, kCmdWidth)) & 0x0F;
    bool ansi = Peek(A->StatusBuffer[kStsCopier]) & kAnsiBit;
    uint32_t ScaleFactor = Peek(A->ScaleFactor);
    uint32_t LineLength = AutomaticLineLength(widthCode, ansi, ScaleFactor);
    Poke(A->ScaleFactor, ScaleFactor);  // the cap stays in the record; the scanner keeps its scale
    Poke(A->LineLength, LineLength);
  }

  // Steps 23 and 24: map and reset the ring, write the header, start the
  // scanner and drain the ring into the file until the document is through.
  // The loop never sleeps: a drained buffer goes back to the driver at once.
  // When no buffer is ready it yields the processor (the driver may need it
  // to fill one), and it looks at the keyboard and the driver's timer about
  // once a millisecond. A card that dies (its timer stops) or a channel reset
  // forced by another program ends the scan with the lines written so far.
  std::optional<Stage> Transfer() {
    LocalParms* A = Adapter_;
    MapRing(hDriver_, A, buffers_);
    ResetRing(A);
    for (uint32_t i = 0; i < std::min<uint32_t>(Peek(A->BufCnt), kMaxBuffers); ++i) {
      if (buffers_[i] == nullptr) {  // the data could not be read: no scan at all
        Say("Communication Error");
        return Stop(kNoAnswer, Stage::Exit03);
      }
    }
    if (std::fwrite(pacheader.data(), 1, pacheader.size(), file_) != pacheader.size()) {
      Say(kWriteFailed);
      return Stop(kBadArgument, Stage::Exit03);
    }
    Poke(A->NumLinesScanned, 0u);
    SetBits16(A->IntrptStat0, kStat0ScanInProgress);
    Poke(A->IntrptCnt, 0u);
    Poke(A->IntrptStat1, uint16_t{0});
    JUX_WRITE_PORT(hDriver_, kRegControl, Peek(A->PrinterSpeed) | kStartScan);

    // Buffered output of the drained pieces; a failed write ends the scan
    // (the header keeps width and length 0).
    bool written = true;
    lines_.SetLineLength(Peek(A->LineLength));
    RingWriter toFile = [&](const uint8_t* data, uint32_t size) {
      written = written && std::fwrite(data, 1, size, file_) == size;
      if (written) lines_.Add(data, size);
    };
    // Only this program advances BufQStart; when it moves otherwise, another
    // program has reset the ring under the scan, and what the ring holds from
    // then on is written but no longer counted as the scan's lines.
    uint32_t ringStart = Peek(A->BufQStart);
    TimerWatch timer(A->TimerCnt1);
    auto nextCheck = std::chrono::steady_clock::now();
    while ((Peek(A->IntrptStat0) & kStat0ScanInProgress) || Peek(A->BufsInUse) != 0) {
      uint16_t stat0 = Peek(A->IntrptStat0);
      if ((stat0 & kStat0NewWidth) && (stat0 & kStat0AutoLength)) {
        SetAutomaticLineLength();
        JUX_WRITE_PORT(hDriver_, kRegLineLength, Peek(A->LineLength) & 0xFFFF);
        ClearBits16(A->IntrptStat0, kStat0NewWidth);
        lines_.SetLineLength(Peek(A->LineLength));
      }
      if (Peek(A->BufQStart) != ringStart) lines_.Close();
      const bool drained = DrainRing(A, buffers_, toFile);
      if (drained) ringStart = Peek(A->BufQStart);
      if (!written) {
        Say(kWriteFailed);
        return Stop(kBadArgument, Stage::Exit04);
      }
      if (Peek(A->IntrptStat0) & kStat0ChannelFree) return CutShort(kChannelReset);
      if (!drained) std::this_thread::yield();
      const auto now = std::chrono::steady_clock::now();
      if (now < nextCheck) continue;
      nextCheck = now + kCheckEvery;
      if (EscPressed()) {
        Say("Esc Key Depressed");
        return Stop(kEscape, Stage::Exit04);
      }
      if (timer.Stalled()) return CutShort(kNotFinished);
    }
    if (ResetElsewhere()) return CutShort(kChannelReset);
    return std::nullopt;
  }

  // Another program forced a reset of the channel: it clears the record's
  // flags (bit 0x0001 with them, which ends the loop above as if the scan
  // were through, and bit 0x0080 until the controller talks again), then
  // sets bit 0x0004, the channel free again.
  bool ResetElsewhere() const {
    const uint16_t stat0 = Peek(Adapter_->IntrptStat0);
    return (stat0 & kStat0ChannelFree) || !(stat0 & kStat0Communication);
  }

  // A scan that the card or another program ended early: the header states
  // the complete lines in the file, and the scanner channel is stopped.
  Stage CutShort(int code) {
    if (code == kNotFinished) Say("Timeout waiting for scan complete");
    const uint32_t LineLength = Peek(Adapter_->LineLength);
    if (LineLength != 0 && lines_.Lines() > 0) {
      if (!PatchHeader(kImageWidthAt, LineLength * 8) ||
          !PatchHeader(kImageLengthAt, lines_.Lines()))
        Say(kWriteFailed);
    }
    return Stop(code, Stage::Exit04);
  }

  // Step 27: width and length into the header. The driver counts four lines
  // more than the image has; a count below four leaves no image lines.
  Stage FinishFile() {
    LocalParms* A = Adapter_;
    uint32_t LineLength = Peek(A->LineLength);
    uint32_t lines = Peek(A->NumLinesScanned);
    if (LineLength == 0 || lines == 0) return Stage::Exit03;
    uint32_t imageLines = lines >= 4 ? lines - 4 : 0;
    Poke(A->NumLinesScanned, imageLines);
    if (!PatchHeader(kImageWidthAt, LineLength * 8) ||
        !PatchHeader(kImageLengthAt, imageLines) || std::fflush(file_) != 0) {
      Say(kWriteFailed);
      return Stop(kBadArgument, Stage::Exit03);
    }
    Say("Adapter complete: %08lx", static_cast<unsigned long>(Peek(A->JuxFlags)));
    Say("LinesScanned:  %08lu", static_cast<unsigned long>(imageLines));
    return Stage::Exit03;
  }

  bool PatchHeader(long at, uint32_t value) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return std::fseek(file_, at, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, file_) == 4;
  }

  int CleanUp(Stage stage) {
    LocalParms* A = Adapter_;
    switch (stage) {
      case Stage::Exit04:
        JUX_WRITE_PORT(hDriver_, kRegControl, kStopChannel);
        [[fallthrough]];
      case Stage::Exit03:
        UnmapRing(hDriver_, buffers_);
        [[fallthrough]];
      case Stage::Exit02:
        std::atomic_ref<uint16_t>(A->IntrptStat0).fetch_and(0x00F8);
        SetBits16(A->IntrptStat0, kStat0ChannelFree);
        if (file_ != nullptr && std::fclose(file_) != 0 && Peek(A->ErrorCode1) == kOk) {
          Say(kWriteFailed);  // what stayed in the buffer did not reach the disk
          Poke(A->ErrorCode1, uint8_t{kBadArgument});
        }
        file_ = nullptr;
        [[fallthrough]];
      case Stage::Exit00:
        break;
    }
    Poke(A->TimerCnt1, 0u);
    int code = Peek(A->ErrorCode1);
    JUX_UNMAPMEM(hDriver_, A);
    driver_.Close(hDriver_);
    return code;
  }

  Stage Stop(int code, Stage stage) {
    Poke(Adapter_->ErrorCode1, static_cast<uint8_t>(code));
    return stage;
  }

  bool Failed() const { return Peek(Adapter_->ErrorCode0) != 0; }

  bool EscPressed() { return keys_.KeyWaiting() && keys_.ReadKey() == console::kEsc; }

  template <class... Args>
  void Say(const char* format, Args... args) {
    console::Say(out_, format, args...);
  }

  static constexpr const char* kWriteFailed = "Cannot write the scan file";

  const ScanParms& parms_;
  JuxDriver& driver_;
  std::ostream& out_;
  console::Keyboard& keys_;
  JUXHANDLE hDriver_ = JUX_INVALID_HANDLE;
  LocalParms* Adapter_ = nullptr;
  std::FILE* file_ = nullptr;
  void* buffers_[kMaxBuffers] = {};  // the ring's buffers while mapped
  ScanLineCount lines_{0};            // the whole lines written to the file
};

}  // namespace

int run(const ScanParms& parms, JuxDriver& driver, std::ostream& out, console::Keyboard& keys) {
  return ScanRun(parms, driver, out, keys).Run();
}

}  // namespace juxscan
