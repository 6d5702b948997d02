// Everything of the simulated card that a test or an operator can switch:
// the faults and the settings, one table. `juxsim show`, `juxsim fault` and
// `juxsim set` are generated from it.
#pragma once

namespace juxsim {

enum Behaviour {
  // Faults (on/off).
  kBusyChannel,
  kSilentController,
  kCopierModeUnconfirmed,
  kThresholdUnconfirmed,
  kImageModeUnconfirmed,
  kScaleUnconfirmed,
  kDensityUnconfirmed,
  kAnsiUnconfirmed,
  kDataOverrun,
  kTransferStuck,
  kScannerTooFast,
  kPrinterBypass,
  kPrinterNeedsReset,
  kScannerNeedsReset,
  kChannelNeverUp,
  // Settings.
  kFast,
  kScannerSpeed,
  kCardSpeed,
  kThresholdFlag,
  kTickMs,
  kBehaviourCount
};

struct BehaviourEntry {
  Behaviour id;
  const char* name;
  bool fault;  // a fault is on or off; a setting has a number in [min, max]
  int min, max, initial;
  const char* meaning;
};

inline constexpr BehaviourEntry kBehaviours[kBehaviourCount] = {
    {kBusyChannel, "busy-channel", true, 0, 1, 0,
     "another program holds the channel: IntrptStat0 bit 0x0004 is kept clear"},
    {kSilentController, "silent-controller", true, 0, 1, 0,
     "the controllers answer no mailbox and bit 0x0080 (communication) stays clear"},
    {kCopierModeUnconfirmed, "copier-mode-unconfirmed", true, 0, 1, 0,
     "status 23 is taken but the scanner's copy/scan mode never changes"},
    {kThresholdUnconfirmed, "threshold-unconfirmed", true, 0, 1, 0,
     "status 18 is taken but the threshold never changes"},
    {kImageModeUnconfirmed, "image-mode-unconfirmed", true, 0, 1, 0,
     "status 21 is taken but the image mode never changes"},
    {kScaleUnconfirmed, "scale-unconfirmed", true, 0, 1, 0,
     "statuses 15/16 are taken but the scale never changes"},
    {kDensityUnconfirmed, "density-unconfirmed", true, 0, 1, 0,
     "status 3 and printer command 0x29 are taken but the print density never changes"},
    {kAnsiUnconfirmed, "ansi-unconfirmed", true, 0, 1, 0,
     "the ANSI/metric flag of status 23 and printer command 9 never changes"},
    {kDataOverrun, "data-overrun", true, 0, 1, 0,
     "the card loses the first line of every transfer: IntrptStat1 bit 0x0010"},
    {kTransferStuck, "transfer-stuck", true, 0, 1, 0,
     "JuxFlags bit 0x1 stays set after the document (until a reset)"},
    {kScannerTooFast, "scanner-too-fast", true, 0, 1, 0,
     "register 4 reports card speed code 0, below the scanner's speed code"},
    {kPrinterBypass, "printer-bypass", true, 0, 1, 0,
     "the printer is in bypass and stays there: register 4 bit 0x0200, IntrptStat0 bit 0x0100"},
    {kPrinterNeedsReset, "printer-needs-reset", true, 0, 1, 0,
     "printer status 0 reports 0xC0 until the printer channel is reset"},
    {kScannerNeedsReset, "scanner-needs-reset", true, 0, 1, 0,
     "scanner command 5 reports 0x40 until the scanner channel is reset"},
    {kChannelNeverUp, "channel-never-up", true, 0, 1, 0,
     "after a reset (0x1010) the channel never comes up (bits 0x0020, 0x0080)"},
    {kFast, "fast", false, 0, 1, 0,
     "1: deliver scan lines as fast as the ring drains; 0: at the scanner's line rate"},
    {kScannerSpeed, "scanner-speed", false, 0, 3, 2,
     "the scanner's speed code (command 3 bits 12-13); code 3 moves 160 mm/s, each code below 40 mm/s less"},
    {kCardSpeed, "card-speed", false, 0, 3, 3,
     "the highest speed code that the card supports (register 4 bits 0x0060)"},
    {kThresholdFlag, "threshold-flag", false, 0, 1, 0,
     "1: command 14 reports bit 0x80 with the threshold"},
    {kTickMs, "tick-ms", false, 1, 1000, 10,
     "milliseconds between two ticks of TimerCnt0 and TimerCnt1"},
};

}  // namespace juxsim

namespace juxsim {
constexpr bool TableInEnumOrder() {
  for (int i = 0; i < kBehaviourCount; ++i)
    if (kBehaviours[i].id != i) return false;
  return true;
}
static_assert(TableInEnumOrder(), "kBehaviours must list the behaviours in enum order");
}  // namespace juxsim
