// The simulated interface card: its devices (the files that the device layer
// opens), the driver's timer and register handling, and the scanner and
// printer controllers behind the mailboxes.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "juxutil/driver_posix.h"
#include "tools/juxsim/behaviours.h"
#include "tools/juxsim/image.h"

namespace juxsim {

using Clock = std::chrono::steady_clock;

struct CardOptions {
  bool split = false;          // JUXDEV_S + JUXDEV_P instead of JUXDEV
  uint32_t buffers = 8;        // DMA ring entries
  uint32_t bufferSize = 65536; // bytes per buffer
  int tickMs = 10;
  bool fast = false;
};

// Result of a control request: exit code and the text for the caller.
struct Reply {
  int code = 0;
  std::string text;
};

class Card {
 public:
  // Builds the device files in `dir` (not yet visible); false with `error`.
  bool Create(const std::string& dir, const CardOptions& options, std::string* error);
  // Makes the device files visible under their names.
  bool Publish(std::string* error);
  // Removes the device files.
  void Remove();

  // One round of the driver and the controllers: register writes, mailboxes,
  // timer ticks, scan delivery.
  void Step(Clock::time_point now);
  // A control request (`show`, `feed ...`, `press-start`, `fault ...`, `set ...`).
  Reply Control(const std::vector<std::string>& args, Clock::time_point now);

 private:
  struct Device {
    std::string name;
    juxdev::DeviceFile file;
    bool printerBoard = false;
    bool enabled = true;     // register 4 bit 0x0008
    bool inReset = false;    // between a reset and the channel coming up
    Clock::time_point upAt;  // when the channel comes up
    uint32_t lastWrite = 0;  // last value written to register 4
    LocalParms* R() const { return file.Record(); }
    uint32_t& Reg(uint32_t offset) const { return file.Registers()->Registers[offset / 4]; }
  };

  struct Document {
    std::string path;
    Bitmap image;
    int widthCode = 0;
    int startAfterMs = -1;  // the operator presses Start this long after the document is up
    // Stacked documents: Start is pressed this long after a scan program first
    // asks for it (command 2 in scan mode) while the document is up; -1 never.
    int startOnAskMs = -1;
    bool asked = false;
  };

  struct Scanner {
    uint8_t mode = 0;  // copier mode bits 0x06: 0 copy, 2 scan
    uint8_t ansi = 0;  // size series: 1 ANSI, 0 metric
    uint8_t threshold = 64;
    uint8_t imageMode = 0;
    uint32_t scale = 1000;
    uint8_t density = 40;
    bool startPressed = false;
    Clock::time_point startAt;  // a pending press of Start (feed --start-after)
    bool startPending = false;
    std::deque<Document> documents;  // fed, not yet scanned; the first is in the scanner
  };

  struct Printer {
    bool bypass = false;    // in bypass (copy) mode
    bool released = true;   // status 9 is 0
    bool ready = true;      // status 7 bits 0x60 = 0x20
    uint8_t ansi = 0;
    uint8_t density = 40;
  };

  struct Transfer {
    bool active = false;
    bool ending = false;      // the document is done; JuxFlags clears at endAt
    Clock::time_point start, endAt;
    uint32_t total = 0;       // lines at the scale of the scan
    uint32_t next = 0;        // next line to deliver
    double linesPerMs = 0;
    uint32_t scale = 1000;
    bool lostLine = false;    // data-overrun fault already applied
    int fillEntry = -1;       // ring entry being filled, -1 none
    uint32_t fill = 0;
    Clock::time_point firstByteAt;
  };

  int B(Behaviour b) const { return values_[b]; }
  std::chrono::milliseconds Tick() const { return std::chrono::milliseconds(B(kTickMs)); }
  int ScannerSpeed() const;
  int CardSpeed() const;

  void OnRegisterWrite(Device& d, uint32_t offset, uint32_t value, Clock::time_point now);
  void ResetChannel(Device& d, Clock::time_point now);
  void HoldChannelState(Device& d);
  void ApplyFaults();
  void ServiceScannerMailboxes(Device& d, Clock::time_point now);
  void AnnounceScannerState(Device& d);
  void ServicePrinterMailboxes(Device& d);
  void ApplyStatus(uint8_t status, uint8_t value);
  uint32_t CommandValue(uint8_t command) const;
  void ApplyPrinterCommand(uint8_t command, uint16_t argument);
  uint8_t PrinterStatus(uint8_t status) const;
  void EnterBypass();
  void LeaveBypass();

  void DocumentUp(Clock::time_point now);
  void StartTransfer(Clock::time_point now);
  void StopTransfer(Clock::time_point now);
  void Deliver(Clock::time_point now);
  bool TakeFillEntry(Clock::time_point now);
  void HandOver();
  std::vector<uint8_t> ScanLine(uint32_t line) const;

  Reply Show() const;
  Reply Feed(const std::vector<std::string>& args, Clock::time_point now);
  Reply SwitchBehaviour(const std::vector<std::string>& args, bool fault);

  std::vector<std::unique_ptr<Device>> devices_;
  Device* scannerDev_ = nullptr;
  Device* printerDev_ = nullptr;  // the combined device when there is one
  int values_[kBehaviourCount] = {};
  Scanner scanner_;
  Printer printer_;
  Transfer transfer_;
  Clock::time_point nextTick_{};
  // Command values the scanner controller last reported on its own, and
  // whether it reports all of them again (power-up, channel up after a reset).
  uint32_t announced_[64] = {};
  bool announceAll_ = true;
};

// The scanner's paper widths in bytes per line at 400 dpi, by width code.
int WidthCodeFor(size_t rowBytes, bool ansi);

}  // namespace juxsim
