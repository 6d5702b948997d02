#include "juxstat/printparms.h"

#include <cstddef>
#include <cstring>
#include <string_view>

#include "juxutil/console.h"

namespace juxstat {

PrintParms GetPrintParms(int argc, const char* const* argv) {
  PrintParms parms;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto is = [&](const char* upper, const char* lower) {
      return arg.starts_with(upper) || arg.starts_with(lower);
    };
    auto number = [&] { return static_cast<uint16_t>(console::AtoiNumber(arg.substr(3))); };
    // The tests do not exclude each other: "/Scan" is a scanner option, and
    // "/C" is tried even when "/O:" already took the argument.
    if (is("/O:", "/o:")) parms.fileName = std::string(arg.substr(3));
    if (is("/C", "/c")) parms.copier = 1;
    if (is("/D:", "/d:")) parms.led = number();
    if (is("/A:", "/a:")) parms.ansi = number();
    if (is("/F", "/f")) parms.force = 1;
    if (is("/S", "/s")) parms.scanner = 1;
  }
  return parms;
}

#define JUX_STATE_FIELD(at, width, field) \
  StateField { #field, at, width, offsetof(LocalParms, field), sizeof(LocalParms::field) }

const std::array<StateField, 41> kStateFields = {
    JUX_STATE_FIELD(0, 1, ErrorCode0),
    JUX_STATE_FIELD(1, 1, ErrorCode1),
    JUX_STATE_FIELD(2, 4, BoardID),
    JUX_STATE_FIELD(6, 2, JuxFlags),
    JUX_STATE_FIELD(8, 4, IntrptCnt),
    JUX_STATE_FIELD(12, 2, LineLength),
    JUX_STATE_FIELD(14, 2, BlankLines),
    JUX_STATE_FIELD(16, 2, PrintTime),
    JUX_STATE_FIELD(18, 2, PrintStartDelay),
    JUX_STATE_FIELD(20, 2, DataStartDelay),
    JUX_STATE_FIELD(22, 2, PrintCompleteDelay),
    JUX_STATE_FIELD(24, 2, ScaleFactor),
    JUX_STATE_FIELD(26, 2, MaxPrintSpeed),
    JUX_STATE_FIELD(28, 2, PrinterSpeed),
    JUX_STATE_FIELD(30, 2, RollNumber),
    JUX_STATE_FIELD(32, 2, Led1OnTime),
    JUX_STATE_FIELD(34, 2, IntrptStat0),
    JUX_STATE_FIELD(36, 2, IntrptStat1),
    JUX_STATE_FIELD(38, 2, CmdParmNumb),
    JUX_STATE_FIELD(40, 2, FinalParmNumb),
    JUX_STATE_FIELD(42, 2, LastCmdRcvd),
    JUX_STATE_FIELD(44, 2, CmdRequested),
    JUX_STATE_FIELD(46, 2, StatusToSend),
    JUX_STATE_FIELD(48, 2, CmdToSend),
    JUX_STATE_FIELD(50, 2, CmdParm),
    JUX_STATE_FIELD(52, 2, StatusRequested),
    JUX_STATE_FIELD(54, 2, StatusRcvd),
    JUX_STATE_FIELD(56, 4, LastStatusRcvd),
    // 60..61 reserved, 0
    JUX_STATE_FIELD(62, 2, NextStatus),
    JUX_STATE_FIELD(64, 2, BufQStart),
    JUX_STATE_FIELD(66, 2, BufQEnd),
    JUX_STATE_FIELD(68, 2, BufsInUse),
    JUX_STATE_FIELD(70, 2, BufCnt),
    JUX_STATE_FIELD(72, 4, BufSize),
    JUX_STATE_FIELD(76, 4, NumLinesToPrint),
    JUX_STATE_FIELD(80, 4, NumLinesPrinted),
    JUX_STATE_FIELD(84, 4, NumLinesScanned),
    JUX_STATE_FIELD(88, 4, TimerCnt0),
    JUX_STATE_FIELD(92, 4, TimerCnt1),
    JUX_STATE_FIELD(96, 2, RollSwitchTime),
    JUX_STATE_FIELD(98, 2, InitDataLdTime),
    // 100..127 zero
};

#undef JUX_STATE_FIELD

namespace {

// One field of the live record, read as the driver may be writing it.
uint32_t ReadRecordField(const LocalParms& record, const StateField& f) {
  const char* at = reinterpret_cast<const char*>(&record) + f.recordOffset;
  switch (f.recordSize) {
    case 1:
      return Peek(*reinterpret_cast<const uint8_t*>(at));
    case 2:
      return Peek(*reinterpret_cast<const uint16_t*>(at));
    default:
      return Peek(*reinterpret_cast<const uint32_t*>(at));
  }
}

// Byte-wise copy of a region the driver may be writing.
void CopyLive(uint8_t* to, const uint8_t* from, size_t n) {
  for (size_t i = 0; i < n; ++i) to[i] = Peek(from[i]);
}

}  // namespace

StatusFile BuildStatusFile(const LocalParms& record) {
  StatusFile file{};
  CopyLive(file.data(), record.CommandBuffer, sizeof record.CommandBuffer);
  for (const StateField& f : kStateFields) {
    uint32_t value = ReadRecordField(record, f);
    for (int i = 0; i < f.width; ++i)
      file[kStateBlockAt + f.at + i] = static_cast<uint8_t>(i < 4 ? value >> (8 * i) : 0);
  }
  CopyLive(file.data() + kStatusBufferAt, record.StatusBuffer, sizeof record.StatusBuffer);
  return file;
}

}  // namespace juxstat
