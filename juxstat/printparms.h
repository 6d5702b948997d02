// juxstat's command line and the layout of its status file: plain data and
// functions, no device access.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "juxutil/juxutil.h"

namespace juxstat {

inline constexpr const char* version = "Version 2.0";

constexpr uint16_t kNotGiven = 0xFFFF;

// What the command line asks for.
struct PrintParms {
  std::optional<std::string> fileName;  // text after "/O:" as written (Windows-style)
  uint16_t copier = 0;                  // 1: copy mode wanted
  uint16_t led = kNotGiven;             // print density
  uint16_t ansi = kNotGiven;            // 1 ANSI, 0 metric
  uint16_t force = 0;                   // 1: forced reset of the channel
  uint16_t scanner = 0;                 // 1: the scanner side is meant
};

// Reads argv[1..argc-1]; every option whose leading characters match applies
// ("/O:", "/C", "/D:", "/A:", "/F", "/S", all-upper or all-lower case), so
// "/Copy" sets copier and "/Scan" sets scanner. Validates nothing.
PrintParms GetPrintParms(int argc, const char* const* argv);

// The status file: the record's CommandBuffer (256 bytes), a 128-byte state
// block of record fields, and its StatusBuffer (40 bytes).
constexpr size_t kStatusFileSize = 424;
constexpr size_t kStateBlockAt = 256;
constexpr size_t kStatusBufferAt = 384;
using StatusFile = std::array<uint8_t, kStatusFileSize>;

// One field of the state block: where it goes, how many bytes it keeps, and
// where it lies in the record.
struct StateField {
  const char* name;
  uint8_t at;     // offset in the state block
  uint8_t width;  // bytes kept (the lower bytes of a wider field)
  uint16_t recordOffset;
  uint8_t recordSize;
};
extern const std::array<StateField, 41> kStateFields;

// The status file from the record as it stands (every field read once).
StatusFile BuildStatusFile(const LocalParms& record);

}  // namespace juxstat
