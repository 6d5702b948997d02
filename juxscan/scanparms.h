// juxscan's command line, its width tables and the fixed header of the scan
// file: plain data and functions, no device access.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace juxscan {

inline constexpr const char* version = "Version 2.0";

// Not given: photomode and ccdthresh keep 255, the scanner keeps its setting.
constexpr uint8_t kNotGiven = 255;

// What the command line asks for. LineLength and ScaleFactor go into the
// adapter record when the run reads its command line.
struct ScanParms {
  std::optional<std::string> fileName;  // text after "/O:" as written (Windows-style)
  uint32_t LineLength = 0;              // bytes per line; 0 = automatic
  uint32_t ScaleFactor = 1000;          // thousandths
  uint8_t photomode = kNotGiven;
  uint8_t ccdthresh = kNotGiven;
};

// Reads argv[1..argc-1]: for each argument the first of "/O:", "/L:", "/S:",
// "/P:", "/T:" (all-upper or all-lower case) that matches takes it; anything
// else is ignored. Validates nothing.
ScanParms GetScanParms(int argc, const char* const* argv);

// Width in bytes per line of each width code the scanner reports.
extern const std::array<uint32_t, 16> size_metric;
extern const std::array<uint32_t, 16> size_ansi;

// Automatic line length for the fed document's width code: the table entry,
// at the scale in ScaleFactor, which is capped at 750 for documents wider
// than 1800 bytes (the card cannot take more at full scale).
uint32_t AutomaticLineLength(uint8_t widthCode, bool ansi, uint32_t& ScaleFactor);

// The scan file: the 186-byte little-endian TIFF header below, then the
// PackBits lines exactly as the driver delivered them.
constexpr size_t kHeaderSize = 186;
constexpr long kImageWidthAt = 30;   // value field of ImageWidth
constexpr long kImageLengthAt = 42;  // value field of ImageLength
extern const std::array<uint8_t, kHeaderSize> pacheader;

}  // namespace juxscan
