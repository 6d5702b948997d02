#include "tools/juxsim/card.h"

#include <filesystem>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace juxsim {

namespace {

// Paper widths of the scanner in bytes per line, by width code.
constexpr int kSizeMetric[16] = {1656, 1170, 827, 585, 414, 1800, 0,    0,
                                 0,    1434, 1014, 717, 506, 2100, 2200, 2400};
constexpr int kSizeAnsi[16] = {1800, 1700, 1500, 1200, 1100, 900,  850,  600,
                               550,  425,  0,    0,    0,    2100, 2200, 2400};

// Lines that the card counts before the first line it delivers; the scan
// program subtracts them from NumLinesScanned.
constexpr uint32_t kLeadInLines = 4;

// How the card takes a channel up: a few ticks after the interface is enabled
// (register 4 = 0x0008), or on its own a while after the reset when nobody
// enables it. Programs rewrite IntrptStat0 between the reset and the enable,
// so the channel may not come up before that.
constexpr int kUpTicksAfterEnable = 3;
constexpr int kUpTicksAfterReset = 20;

// The record's fields as `juxsim show` lists them.
struct Field {
  const char* name;
  size_t offset;
  int size;   // bytes: 1, 2, 4
  bool hex;   // flag words and identifiers in hex, counters in decimal
};
#define JUX_FIELD(name, hex) {#name, offsetof(LocalParms, name), sizeof(LocalParms::name), hex}
constexpr Field kFields[] = {
    JUX_FIELD(JuxFlags, true),        JUX_FIELD(BoardID, true),
    JUX_FIELD(IntrptCnt, false),      JUX_FIELD(TimerPrescaler, false),
    JUX_FIELD(TimerCnt0, false),      JUX_FIELD(TimerCnt1, false),
    JUX_FIELD(NumLinesToPrint, false), JUX_FIELD(LineLength, false),
    JUX_FIELD(BlankLines, false),     JUX_FIELD(PrintTime, false),
    JUX_FIELD(PrintStartDelay, false), JUX_FIELD(DataStartDelay, false),
    JUX_FIELD(PrintCompleteDelay, false), JUX_FIELD(RollSwitchTime, false),
    JUX_FIELD(InitDataLdTime, false), JUX_FIELD(ScaleFactor, false),
    JUX_FIELD(MaxPrintSpeed, true),   JUX_FIELD(PrinterSpeed, true),
    JUX_FIELD(RollNumber, false),     JUX_FIELD(IntrptStat0, true),
    JUX_FIELD(IntrptStat1, true),     JUX_FIELD(ErrorCode0, false),
    JUX_FIELD(ErrorCode1, false),     JUX_FIELD(Led1OnTime, false),
    JUX_FIELD(CmdParmNumb, false),    JUX_FIELD(FinalParmNumb, false),
    JUX_FIELD(LastCmdRcvd, false),    JUX_FIELD(CmdRequested, false),
    JUX_FIELD(StatusToSend, false),   JUX_FIELD(NextCmd, false),
    JUX_FIELD(CmdParm, false),        JUX_FIELD(StatusRcvd, false),
    JUX_FIELD(LastStatusRcvd, false), JUX_FIELD(StatusRequested, true),
    JUX_FIELD(CmdToSend, true),       JUX_FIELD(NextStatus, false),
    JUX_FIELD(NumLinesPrinted, false), JUX_FIELD(NumLinesScanned, false),
    JUX_FIELD(BufSize, false),        JUX_FIELD(BufCnt, false),
    JUX_FIELD(BufQStart, false),      JUX_FIELD(BufsInUse, false),
    JUX_FIELD(BufQEnd, false),
};
#undef JUX_FIELD

uint32_t ReadField(const LocalParms* r, const Field& f) {
  const auto* p = reinterpret_cast<const uint8_t*>(r) + f.offset;
  switch (f.size) {
    case 1: return Peek(*p);
    case 2: return Peek(*reinterpret_cast<const uint16_t*>(p));
    default: return Peek(*reinterpret_cast<const uint32_t*>(p));
  }
}

std::string Number(uint32_t v, bool hex, int size = 4) {
  char text[32];
  if (hex)
    std::snprintf(text, sizeof text, "0x%0*x", size * 2, v);
  else
    std::snprintf(text, sizeof text, "%u", v);
  return text;
}

std::string Bytes(const uint8_t* bytes, size_t n) {
  std::string text;
  char b[4];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i == 0 ? "%02x" : " %02x", Peek(bytes[i]));
    text += b;
  }
  return text;
}

bool ParseInt(const std::string& text, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtol(text.c_str(), &end, 0);
  return *end == '\0';
}

}  // namespace

int WidthCodeFor(size_t rowBytes, bool ansi) {
  const int* table = ansi ? kSizeAnsi : kSizeMetric;
  int best = -1;
  for (int code = 0; code < 16; ++code) {
    const auto w = static_cast<size_t>(table[code]);
    if (w >= rowBytes && (best < 0 || w < static_cast<size_t>(table[best]))) best = code;
  }
  return best >= 0 ? best : 15;  // wider than every paper: the widest
}

// ---------------------------------------------------------------------------
// Devices

bool Card::Create(const std::string& dir, const CardOptions& options, std::string* error) {
  for (const auto& e : kBehaviours) values_[e.id] = e.initial;
  values_[kTickMs] = options.tickMs;
  values_[kFast] = options.fast ? 1 : 0;

  const std::vector<std::pair<const char*, uint32_t>> layout =
      options.split ? std::vector<std::pair<const char*, uint32_t>>{{"JUXDEV_S", kBoardScanner},
                                                                    {"JUXDEV_P", kBoardPrinterA}}
                    : std::vector<std::pair<const char*, uint32_t>>{{"JUXDEV", kBoardScanner}};
  for (const auto& [name, board] : layout) {
    auto d = std::make_unique<Device>();
    d->name = name;
    d->printerBoard = board != kBoardScanner;
    const uint32_t buffers = d->printerBoard ? 0 : options.buffers;
    if (!d->file.Create(dir + "/" + name, board, buffers, options.bufferSize, error)) {
      Remove();
      return false;
    }
    // The card after power-up: channel free and up, controller talking,
    // interface enabled.
    LocalParms* r = d->R();
    r->IntrptStat0 = kStat0ChannelFree | kStat0ChannelUp | kStat0Communication;
    r->ScaleFactor = 1000;
    devices_.push_back(std::move(d));
  }
  scannerDev_ = devices_.front().get();
  printerDev_ = devices_.back().get();
  for (auto& d : devices_) d->Reg(kRegControl) = 0x0008 | (CardSpeed() << 5);
  return true;
}

bool Card::Publish(std::string* error) {
  for (auto& d : devices_)
    if (!d->file.Publish(error)) return false;
  return true;
}

void Card::Remove() {
  for (auto& d : devices_) d->file.Remove();
  devices_.clear();
  scannerDev_ = printerDev_ = nullptr;
}

int Card::ScannerSpeed() const {
  return B(kScannerTooFast) ? std::max(B(kScannerSpeed), 1) : B(kScannerSpeed);
}
int Card::CardSpeed() const { return B(kScannerTooFast) ? 0 : B(kCardSpeed); }

// ---------------------------------------------------------------------------
// The driver's round

void Card::Step(Clock::time_point now) {
  for (auto& d : devices_) {
    uint32_t offset = 0, value = 0;
    while (juxdev::TakeRegisterWrite(d->file.Registers(), &offset, &value))
      OnRegisterWrite(*d, offset, value, now);
  }
  ApplyFaults();
  for (auto& d : devices_) {
    if (d->inReset && now >= d->upAt && !B(kChannelNeverUp)) {
      d->inReset = false;
      if (d.get() == scannerDev_) announceAll_ = true;
    }
    HoldChannelState(*d);
    if (d->inReset || B(kSilentController)) continue;
    if (d->printerBoard) {
      ServicePrinterMailboxes(*d);
    } else {
      ServiceScannerMailboxes(*d, now);
      AnnounceScannerState(*d);
    }
  }
  if (nextTick_ == Clock::time_point{}) nextTick_ = now;
  while (now >= nextTick_) {
    for (auto& d : devices_) {
      std::atomic_ref<uint32_t>(d->R()->TimerCnt0).fetch_add(1);
      std::atomic_ref<uint32_t>(d->R()->TimerCnt1).fetch_add(1);
    }
    nextTick_ += Tick();
  }
  if (scanner_.startPending && now >= scanner_.startAt) {
    scanner_.startPending = false;
    scanner_.startPressed = true;
  }
  Deliver(now);
}

// Faults that hold a state in the record for as long as they are on.
void Card::ApplyFaults() {
  for (auto& d : devices_) {
    LocalParms* r = d->R();
    if (B(kBusyChannel)) ClearBits16(r->IntrptStat0, kStat0ChannelFree);
    if (B(kSilentController)) ClearBits16(r->IntrptStat0, kStat0Communication);
    uint32_t reg4 = (d->enabled ? 0x0008 : 0) | (CardSpeed() << 5);
    if (d.get() == printerDev_ && printer_.bypass) reg4 |= 0x0200;
    Poke(d->Reg(kRegControl), reg4);
  }
}

// Bits 0x0020 (channel up) and 0x0080 (communication) are the card's: they
// tell the channel's state, whatever a program last wrote into the word. A
// program that resets a channel rewrites IntrptStat0 while the card brings the
// channel up again (juxstat sets it to 0x0004 after its 100 ms pause, maybe
// after the channel is already up, and a scan program that starts in that
// pause enables the interface itself); the driver sets the bits again with
// the controller's next message, so such a write never leaves a live
// channel looking dead.
void Card::HoldChannelState(Device& d) {
  LocalParms* r = d.R();
  uint16_t up = d.inReset ? 0 : kStat0ChannelUp;
  if (!d.inReset && !B(kSilentController)) up |= kStat0Communication;
  const uint16_t down = (kStat0ChannelUp | kStat0Communication) & ~up;
  const uint16_t now = Peek(r->IntrptStat0);
  if ((now & up) != up) SetBits16(r->IntrptStat0, up);
  if (now & down) ClearBits16(r->IntrptStat0, down);
}

void Card::OnRegisterWrite(Device& d, uint32_t offset, uint32_t value, Clock::time_point now) {
  if (offset == kRegLineLength) {
    Poke(d.Reg(kRegLineLength), value & 0xFFFF);
    return;
  }
  if (offset != kRegControl) return;
  d.lastWrite = value;
  const bool scannerSide = &d == scannerDev_;
  const bool printerSide = &d == printerDev_;
  if (value == 0x0008) {
    d.enabled = true;
    if (d.inReset) d.upAt = std::min(d.upAt, now + kUpTicksAfterEnable * Tick());
  } else if (value == 0x1010) {
    ResetChannel(d, now);
  } else if (value == 0x1018 && scannerSide) {
    StopTransfer(now);
  } else if ((value & ~0x0060u) == 0x8009 && scannerSide) {
    StartTransfer(now);
  } else if (value == 0x0206 && printerSide) {
    EnterBypass();
  } else if (value == 0x0000 && printerSide) {
    LeaveBypass();
  }
  // 0x8F08 (prepare) and 0x0200 (first half of entering bypass) need nothing here.
}

void Card::ResetChannel(Device& d, Clock::time_point now) {
  d.enabled = false;
  d.inReset = true;
  d.upAt = now + kUpTicksAfterReset * Tick();
  // The channel is down until it comes up again; only these two bits are the
  // card's to clear, the rest of the word belongs to the resetting program.
  ClearBits16(d.R()->IntrptStat0, kStat0ChannelUp | kStat0Communication);
  if (&d == scannerDev_) {
    StopTransfer(now);
    scanner_.startPressed = false;
    if (!scanner_.documents.empty() && scanner_.documents.front().startOnAskMs >= 0) {
      scanner_.documents.front().asked = false;
      scanner_.startPending = false;
    }
    values_[kScannerNeedsReset] = 0;
  }
  if (&d == printerDev_) values_[kPrinterNeedsReset] = 0;
}

// ---------------------------------------------------------------------------
// Scanner controller: statuses in, commands out.

void Card::ServiceScannerMailboxes(Device& d, Clock::time_point now) {
  LocalParms* r = d.R();
  if (const uint8_t s = Peek(r->StatusToSend); s != 0) {
    if (s < sizeof r->StatusBuffer) ApplyStatus(s, Peek(r->StatusBuffer[s]));
    Poke(r->LastStatusRcvd, s);
    Poke(r->StatusToSend, uint8_t{0});
  }
  const uint8_t c = Peek(r->CmdRequested);
  // A stacked document's Start is due once a scan program waits for it.
  if (c == 2 && (scanner_.mode & 0x06) == 0x02 && !scanner_.documents.empty()) {
    Document& doc = scanner_.documents.front();
    if (doc.startOnAskMs >= 0 && !doc.asked) {
      doc.asked = true;
      scanner_.startPending = true;
      scanner_.startAt = now + std::chrono::milliseconds(doc.startOnAskMs);
    }
  }
  if (c != 0 && c < 64 && Peek(r->CommandBuffer[4 * c]) == 0) {
    WriteCommandSlot(r, c, (CommandValue(c) << 8) | c);
    Poke(r->LastCmdRcvd, c);
  }
}

// The scanner controller sends its state commands to the card on its own:
// all of them when its channel comes up, and each one again when its value
// changes. That is how the command slots hold the mode, speed, threshold and
// reset request before anybody asks (juxscan reads command 5 without a
// request, and juxstat's status file carries the threshold and speed).
void Card::AnnounceScannerState(Device& d) {
  static constexpr uint8_t kReported[] = {2, 3, 5, 12, 13, 14, 16};
  LocalParms* r = d.R();
  for (uint8_t c : kReported) {
    const uint32_t value = CommandValue(c);
    if (!announceAll_ && value == announced_[c]) continue;
    WriteCommandSlot(r, c, (value << 8) | c);
    announced_[c] = value;
  }
  announceAll_ = false;
}

void Card::ApplyStatus(uint8_t status, uint8_t value) {
  Scanner& s = scanner_;
  switch (status) {
    case 3:
      if (!B(kDensityUnconfirmed)) s.density = value & 0x7F;
      break;
    case 15:  // scale bits 0-6
      if (!B(kScaleUnconfirmed)) s.scale = (s.scale & ~0x7Fu) | (value & 0x7F);
      break;
    case 16:  // scale bits 7-13
      if (!B(kScaleUnconfirmed)) s.scale = (s.scale & 0x7Fu) | ((value & 0x7Fu) << 7);
      break;
    case 18:
      if (!B(kThresholdUnconfirmed)) s.threshold = value & 0x7F;
      break;
    case 21:
      if (!B(kImageModeUnconfirmed)) s.imageMode = value;
      break;
    case 23:
      if (!B(kCopierModeUnconfirmed)) s.mode = value & 0x06;
      if (!B(kAnsiUnconfirmed)) s.ansi = value & 0x01;
      break;
    default:
      break;
  }
}

// The value (bits 8-31 of the slot) of a command.
uint32_t Card::CommandValue(uint8_t command) const {
  const Scanner& s = scanner_;
  switch (command) {
    case 2: return s.ansi | s.mode | (s.startPressed ? 0x40 : 0);
    case 3: return (s.imageMode & 0x0F) | (ScannerSpeed() << 4);
    case 5: return B(kScannerNeedsReset) ? 0x40 : 0;
    case 12: return s.scale & 0xFFFF;
    case 13: return s.documents.empty() ? 0 : s.documents.front().widthCode & 0x0F;
    case 14: return s.threshold | (B(kThresholdFlag) ? 0x80 : 0);
    case 16: return s.density;
    default: return 0;
  }
}

// ---------------------------------------------------------------------------
// Printer controller: commands in, statuses out.

void Card::ServicePrinterMailboxes(Device& d) {
  LocalParms* r = d.R();
  if (const uint8_t c = Peek(r->CmdToSend); c != 0) {
    // 0xFF and 0xF0 are the bypass sequences' resynchronisation, not commands.
    if (c != 0xFF && c != 0xF0) ApplyPrinterCommand(c, Peek(r->CmdParm));
    Poke(r->LastCmdRcvd, c);
    Poke(r->CmdToSend, uint8_t{0});
    SetBits16(r->IntrptStat1, kStat1CommandPosted);
  }
  if (const uint8_t q = Peek(r->StatusRequested); q != 0) {
    if (q >= 0x40 && q < 0x40 + sizeof r->StatusBuffer) {
      Poke(r->StatusBuffer[q - 0x40], PrinterStatus(q - 0x40));
      Poke(r->StatusRcvd, static_cast<uint8_t>(q - 0x40));
    }
    Poke(r->StatusRequested, uint8_t{0});
  }
}

void Card::ApplyPrinterCommand(uint8_t command, uint16_t argument) {
  Printer& p = printer_;
  switch (command) {
    case 0x29:
      if (!B(kDensityUnconfirmed)) p.density = static_cast<uint8_t>(argument);
      break;
    case 9:
      if (!B(kAnsiUnconfirmed)) p.ansi = argument & 1;
      break;
    case 0x21:  // release from bypass
      if (!p.bypass) p.released = true;
      break;
    case 0x11:  // back to ready
      if (p.released && argument == 1) p.ready = true;
      break;
    default:  // 0x59 and the rest: taken, nothing to keep
      break;
  }
}

uint8_t Card::PrinterStatus(uint8_t status) const {
  const Printer& p = printer_;
  switch (status) {
    case 0: return B(kPrinterNeedsReset) ? 0xC0 : 0;
    case 7: return (p.ansi ? 0x10 : 0) | (p.ready ? 0x20 : 0x40);
    case 9: return p.released ? 0 : 1;
    case 14: return p.density;
    default: return 0;
  }
}

void Card::EnterBypass() {
  printer_.bypass = true;
  printer_.released = false;
  printer_.ready = false;
}

void Card::LeaveBypass() {
  // The printer leaves bypass but stays held (status 9) and not ready
  // (status 7) until commands 0x21 and 0x11 release it.
  if (!B(kPrinterBypass)) printer_.bypass = false;
}

// ---------------------------------------------------------------------------
// Scan delivery

// The first document is in the scanner: its width code is announced.
void Card::DocumentUp(Clock::time_point now) {
  if (scanner_.documents.empty()) return;
  SetBits16(scannerDev_->R()->IntrptStat0, kStat0NewWidth);
  const int after = scanner_.documents.front().startAfterMs;
  scanner_.startPending = after >= 0;
  scanner_.startAt = now + std::chrono::milliseconds(std::max(after, 0));
}

void Card::StartTransfer(Clock::time_point now) {
  LocalParms* r = scannerDev_->R();
  StopTransfer(now);
  if (scanner_.documents.empty()) {  // nothing in the scanner: the scan is over at once
    ClearBits16(r->IntrptStat0, kStat0ScanInProgress);
    return;
  }
  const Bitmap& image = scanner_.documents.front().image;
  Transfer& t = transfer_;
  t = Transfer{};
  t.active = true;
  t.start = now;
  t.scale = std::max<uint32_t>(scanner_.scale, 1);
  t.total = static_cast<uint32_t>(uint64_t{static_cast<uint32_t>(image.height)} * t.scale / 1000);
  // Paper speed: 40 mm/s per speed code step, 160 mm/s for code 3; 400 lines
  // per inch of paper at 1:1, more or fewer at the scale of the scan.
  const double mmPerS = 40.0 * (ScannerSpeed() + 1);
  t.linesPerMs = mmPerS / 25.4 * 400.0 * t.scale / 1000.0 / 1000.0;
  scanner_.startPressed = false;
  std::atomic_ref<uint32_t>(r->JuxFlags).fetch_or(1);
  Poke(r->NumLinesScanned, kLeadInLines);
}

void Card::StopTransfer(Clock::time_point now) {
  if (!transfer_.active) return;
  transfer_.active = false;
  if (!B(kTransferStuck)) std::atomic_ref<uint32_t>(scannerDev_->R()->JuxFlags).fetch_and(~1u);
  // The document has left the scanner; the next one (if any) comes up.
  scanner_.documents.pop_front();
  DocumentUp(now);
}

// One scan line at the scale of the scan, as wide as register 12 says.
std::vector<uint8_t> Card::ScanLine(uint32_t line) const {
  const Bitmap& image = scanner_.documents.front().image;
  const size_t bytes = Peek(scannerDev_->Reg(kRegLineLength));
  std::vector<uint8_t> row(bytes, 0);
  if (bytes == 0) return row;  // no line length set: an empty line, nothing to copy
  const int y = static_cast<int>(uint64_t{line} * 1000 / transfer_.scale);
  if (y >= image.height) return row;
  const uint8_t* src = &image.bits[static_cast<size_t>(y) * image.rowBytes];
  if (transfer_.scale == 1000) {
    std::memcpy(row.data(), src, std::min(bytes, image.rowBytes));
    return row;
  }
  for (size_t x = 0; x < bytes * 8; ++x) {
    const size_t sx = x * 1000 / transfer_.scale;
    if (sx >= static_cast<size_t>(image.width)) break;
    if ((src[sx / 8] >> (7 - sx % 8)) & 1) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  }
  return row;
}

// Takes the entry at BufQEnd for filling if the program has given it back.
bool Card::TakeFillEntry(Clock::time_point now) {
  if (transfer_.fillEntry >= 0) return true;
  const LocalParms* r = scannerDev_->R();
  const uint32_t count = std::min<uint32_t>(Peek(r->BufCnt), kMaxBuffers);
  if (count == 0) return false;
  const uint32_t entry = Peek(r->BufQEnd) % count;
  if (Peek(r->BufQ[entry].Owner) != 1) return false;
  transfer_.fillEntry = static_cast<int>(entry);
  transfer_.fill = 0;
  transfer_.firstByteAt = now;
  return true;
}

// Gives the entry being filled to the program.
void Card::HandOver() {
  LocalParms* r = scannerDev_->R();
  const uint32_t count = std::min<uint32_t>(Peek(r->BufCnt), kMaxBuffers);
  BUFFERQUEUE& e = r->BufQ[transfer_.fillEntry];
  Poke(e.Offset, 0u);
  Poke(e.BytesLeft, transfer_.fill);
  // BufsInUse first: a program that sees the entry filled may drain it at once.
  std::atomic_ref<uint32_t>(r->BufsInUse).fetch_add(1);
  Poke(e.Owner, 0u);
  std::atomic_ref<uint32_t>(r->IntrptCnt).fetch_add(1);  // one interrupt per buffer filled
  Poke(r->BufQEnd, (static_cast<uint32_t>(transfer_.fillEntry) + 1) % count);
  transfer_.fillEntry = -1;
  transfer_.fill = 0;
}

void Card::Deliver(Clock::time_point now) {
  Transfer& t = transfer_;
  if (!t.active) return;
  LocalParms* r = scannerDev_->R();
  if (t.ending) {
    if (now >= t.endAt) StopTransfer(now);
    return;
  }
  uint32_t due = t.total;
  if (!B(kFast)) {
    const double ms = std::chrono::duration<double, std::milli>(now - t.start).count();
    due = std::min<uint32_t>(t.total, static_cast<uint32_t>(ms * t.linesPerMs));
  }
  std::vector<uint8_t> packed;
  while (t.next < due) {
    const std::vector<uint8_t> row = ScanLine(t.next);
    packed.clear();
    PackBits(row.data(), row.size(), &packed);
    if (B(kDataOverrun) && !t.lostLine) {
      t.lostLine = true;
      SetBits16(r->IntrptStat1, kStat1Overrun);
      ++t.next;
      continue;
    }
    bool room = TakeFillEntry(now);
    if (room && t.fill + packed.size() > Peek(r->BufQ[t.fillEntry].Size)) {
      HandOver();
      room = TakeFillEntry(now);
    }
    if (room && packed.size() > Peek(r->BufQ[t.fillEntry].Size)) room = false;  // never fits
    if (!room) {
      if (B(kFast)) break;  // wait for the program to drain
      // The ring is full when the line is due: the line is lost.
      SetBits16(r->IntrptStat1, kStat1Overrun);
      ++t.next;
      continue;
    }
    if (!packed.empty())
      std::memcpy(scannerDev_->file.Buffer(Peek(r->BufQ[t.fillEntry].VirtAddr)) + t.fill,
                  packed.data(), packed.size());
    t.fill += static_cast<uint32_t>(packed.size());
    std::atomic_ref<uint32_t>(r->NumLinesScanned).fetch_add(1);
    ++t.next;
  }
  // A buffer goes to the program when full, a tick after its first line, or
  // at the end of the document.
  if (t.fillEntry >= 0 && (t.next == t.total || now - t.firstByteAt >= Tick())) {
    if (t.fill > 0)
      HandOver();
    else
      t.fillEntry = -1;
  }
  if (t.next == t.total && t.fillEntry < 0) {
    ClearBits16(r->IntrptStat0, kStat0ScanInProgress);
    t.ending = true;
    t.endAt = now + Tick();
  }
}

// ---------------------------------------------------------------------------
// Control requests

Reply Card::Control(const std::vector<std::string>& args, Clock::time_point now) {
  const std::string& command = args.empty() ? std::string() : args[0];
  if (command == "show") return Show();
  if (command == "feed") return Feed(args, now);
  if (command == "fault") return SwitchBehaviour(args, true);
  if (command == "set") return SwitchBehaviour(args, false);
  if (command == "width") {  // the scanner reports a new width for the document in it
    long code = 0;
    if (args.size() != 2 || !ParseInt(args[1], &code) || code < 0 || code > 15)
      return {2, "width CODE (0-15) expected"};
    if (scanner_.documents.empty()) return {1, "no document in the scanner: feed one first"};
    scanner_.documents.front().widthCode = static_cast<int>(code);
    SetBits16(scannerDev_->R()->IntrptStat0, kStat0NewWidth);
    return {};
  }
  if (command == "press-start") {
    if (scanner_.documents.empty()) return {1, "no document in the scanner: feed one first"};
    scanner_.startPressed = true;
    return {};
  }
  return {2, "unknown request '" + command + "'"};
}

Reply Card::Show() const {
  std::ostringstream out;
  for (const auto& d : devices_) {
    const LocalParms* r = d->R();
    const std::string p = d->name + ".";
    for (const Field& f : kFields) out << p << f.name << ": " << Number(ReadField(r, f), f.hex, f.size) << "\n";
    out << p << "CmdInProgress: " << Bytes(r->CmdInProgress, sizeof r->CmdInProgress) << "\n";
    out << p << "StatusBuffer: " << Bytes(r->StatusBuffer, sizeof r->StatusBuffer) << "\n";
    out << p << "CommandBuffer: " << Bytes(r->CommandBuffer, sizeof r->CommandBuffer) << "\n";
    for (uint32_t i = 0; i < kMaxBuffers; ++i) {
      const BUFFERQUEUE& e = r->BufQ[i];
      out << p << "BufQ[" << i << "]: Owner=" << Peek(e.Owner) << " VirtAddr=" << Number(Peek(e.VirtAddr), true)
          << " Size=" << Peek(e.Size) << " Offset=" << Peek(e.Offset) << " BytesLeft=" << Peek(e.BytesLeft)
          << "\n";
    }
    out << p << "reg4: " << Number(Peek(d->Reg(kRegControl)), true, 2) << "\n";
    out << p << "reg12: " << Peek(d->Reg(kRegLineLength)) << "\n";
    out << p << "reg4-last-write: " << Number(d->lastWrite, true, 2) << "\n";
    out << p << "channel: " << (d->inReset ? "in reset" : "up") << "\n";
  }
  const Scanner& s = scanner_;
  out << "scanner.mode: " << int{s.mode} << "\n"
      << "scanner.ansi: " << int{s.ansi} << "\n"
      << "scanner.threshold: " << int{s.threshold} << "\n"
      << "scanner.image-mode: " << int{s.imageMode} << "\n"
      << "scanner.scale: " << s.scale << "\n"
      << "scanner.density: " << int{s.density} << "\n"
      << "scanner.speed-code: " << ScannerSpeed() << "\n"
      << "scanner.width-code: " << (CommandValue(13) & 0x0F) << "\n"
      << "scanner.start-pressed: " << (s.startPressed ? "on" : "off") << "\n"
      << "scanner.documents: " << s.documents.size() << "\n";
  if (!s.documents.empty()) {
    const Document& doc = s.documents.front();
    out << "scanner.document: " << doc.path << " " << doc.image.width << "x" << doc.image.height << "\n";
  }
  out << "scanner.transfer: " << (transfer_.active ? (transfer_.ending ? "ending" : "active") : "idle") << "\n"
      << "scanner.lines-delivered: " << transfer_.next << "\n"
      << "scanner.lines-total: " << transfer_.total << "\n"
      << "card.speed-code: " << CardSpeed() << "\n"
      << "printer.bypass: " << (printer_.bypass ? "on" : "off") << "\n"
      << "printer.released: " << (printer_.released ? "on" : "off") << "\n"
      << "printer.ready: " << (printer_.ready ? "on" : "off") << "\n"
      << "printer.ansi: " << int{printer_.ansi} << "\n"
      << "printer.density: " << int{printer_.density} << "\n";
  for (const auto& e : kBehaviours) {
    out << e.name << ": ";
    if (e.fault)
      out << (values_[e.id] ? "on" : "off") << "\n";
    else
      out << values_[e.id] << "\n";
  }
  return {0, out.str()};
}

// feed IMAGE|FOLDER [--width-code N] [--ansi|--metric] [--start-after MS] [--start-on-ask MS]
// A folder is a stack: each of its images (name order) is one document.
Reply Card::Feed(const std::vector<std::string>& args, Clock::time_point now) {
  Document doc;
  int widthCode = -1;
  int series = -1;  // the scanner's current series
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    long v = 0;
    if (a == "--width-code" && i + 1 < args.size() && ParseInt(args[i + 1], &v) && v >= 0 && v <= 15) {
      widthCode = static_cast<int>(v);
      ++i;
    } else if (a == "--start-after" && i + 1 < args.size() && ParseInt(args[i + 1], &v) && v >= 0) {
      doc.startAfterMs = static_cast<int>(v);
      ++i;
    } else if (a == "--start-on-ask" && i + 1 < args.size() && ParseInt(args[i + 1], &v) && v >= 0) {
      doc.startOnAskMs = static_cast<int>(v);
      ++i;
    } else if (a == "--ansi" || a == "--metric") {
      series = a == "--ansi" ? 1 : 0;
    } else if (a.rfind("--", 0) == 0 || !doc.path.empty()) {
      return {2, "feed: bad argument '" + a +
                     "' (feed IMAGE|FOLDER [--width-code 0-15] [--ansi|--metric] [--start-after MS] "
                     "[--start-on-ask MS])"};
    } else {
      doc.path = a;
    }
  }
  if (doc.path.empty()) return {2, "feed: no image named"};
  std::vector<std::string> paths;
  if (std::filesystem::is_directory(doc.path)) {
    for (const auto& entry : std::filesystem::directory_iterator(doc.path))
      if (entry.is_regular_file()) paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    if (paths.empty()) return {1, "feed: no image in " + doc.path};
  } else {
    paths.push_back(doc.path);
  }
  std::vector<Document> stack;
  for (const std::string& path : paths) {
    Document d = doc;
    d.path = path;
    std::string error;
    if (!LoadImage(d.path, &d.image, &error)) return {1, error};
    d.widthCode = widthCode >= 0 ? widthCode
                                 : WidthCodeFor(d.image.rowBytes, series >= 0 ? series == 1 : scanner_.ansi != 0);
    stack.push_back(std::move(d));
  }
  const bool wasEmpty = scanner_.documents.empty();
  for (Document& d : stack) scanner_.documents.push_back(std::move(d));
  if (wasEmpty) DocumentUp(now);
  return {};
}

// fault [NAME on|off]   set NAME VALUE
Reply Card::SwitchBehaviour(const std::vector<std::string>& args, bool fault) {
  if (args.size() == 1) {  // the list
    std::ostringstream out;
    for (const auto& e : kBehaviours) {
      if (e.fault != fault) continue;
      out << e.name;
      if (!fault) out << " (" << e.min << "-" << e.max << ")";
      out << ": " << e.meaning << "\n";
    }
    return {0, out.str()};
  }
  const auto* entry = std::find_if(std::begin(kBehaviours), std::end(kBehaviours),
                                   [&](const BehaviourEntry& e) { return args[1] == e.name; });
  if (entry == std::end(kBehaviours) || (fault && !entry->fault))
    return {2, std::string(fault ? "fault" : "set") + ": unknown name '" + args[1] + "'"};
  if (args.size() != 3) return {2, std::string(fault ? "fault NAME on|off" : "set NAME VALUE") + " expected"};
  long v = 0;
  if (args[2] == "on") {
    v = 1;
  } else if (args[2] == "off") {
    v = 0;
  } else if (fault || !ParseInt(args[2], &v)) {
    return {2, args[1] + ": '" + args[2] + "' is not " + (fault ? "on or off" : "a number")};
  }
  if (v < entry->min || v > entry->max)
    return {2, args[1] + ": " + args[2] + " is outside " + std::to_string(entry->min) + "-" +
                   std::to_string(entry->max)};
  const int old = values_[entry->id];
  values_[entry->id] = static_cast<int>(v);
  // Faults that change a state once when they are switched.
  if (old != v) {
    if (entry->id == kBusyChannel && v == 0)
      for (auto& d : devices_) SetBits16(d->R()->IntrptStat0, kStat0ChannelFree);
    if (entry->id == kSilentController && v == 0)
      for (auto& d : devices_)
        if (!d->inReset) SetBits16(d->R()->IntrptStat0, kStat0Communication);
    if (entry->id == kPrinterBypass) {
      printer_.bypass = v != 0;
      printer_.released = printer_.ready = v == 0;
      if (v)
        SetBits16(printerDev_->R()->IntrptStat0, kStat0Bypass);
      else
        ClearBits16(printerDev_->R()->IntrptStat0, kStat0Bypass);
    }
  }
  ApplyFaults();
  return {};
}

}  // namespace juxsim
