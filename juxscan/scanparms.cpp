#include "juxscan/scanparms.h"

#include <cstring>
#include <string_view>

#include "juxutil/console.h"

namespace juxscan {

namespace {

enum class Option { FileName, LineLength, Scale, PhotoMode, Threshold };

struct OptionText {
  const char* upper;
  const char* lower;
  Option option;
};

// Tried in this order; the first match takes the argument.
constexpr OptionText kOptions[] = {
    {"/O:", "/o:", Option::FileName},  {"/L:", "/l:", Option::LineLength},
    {"/S:", "/s:", Option::Scale},     {"/P:", "/p:", Option::PhotoMode},
    {"/T:", "/t:", Option::Threshold},
};

}  // namespace

ScanParms GetScanParms(int argc, const char* const* argv) {
  ScanParms parms;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    for (const OptionText& o : kOptions) {
      if (!arg.starts_with(o.upper) && !arg.starts_with(o.lower)) continue;
      std::string_view rest = arg.substr(3);
      switch (o.option) {
        case Option::FileName:
          parms.fileName = std::string(rest);
          break;
        case Option::LineLength:
          // Pixels on the command line, bytes in the record; /L:-8 wraps to a
          // huge value that the run refuses.
          parms.LineLength = static_cast<uint32_t>(console::AtoiNumber(rest) / 8);
          break;
        case Option::Scale:
          parms.ScaleFactor = static_cast<uint32_t>(console::AtoiNumber(rest));
          break;
        case Option::PhotoMode:
          parms.photomode = static_cast<uint8_t>(console::AtoiNumber(rest));
          break;
        case Option::Threshold:
          parms.ccdthresh = static_cast<uint8_t>(console::AtoiNumber(rest));
          break;
      }
      break;
    }
  }
  return parms;
}

const std::array<uint32_t, 16> size_metric = {1656, 1170, 827, 585, 414,  1800, 0,    0,
                                              0,    1434, 1014, 717, 506, 2100, 2200, 2400};
const std::array<uint32_t, 16> size_ansi = {1800, 1700, 1500, 1200, 1100, 900,  850,  600,
                                            550,  425,  0,    0,    0,    2100, 2200, 2400};

uint32_t AutomaticLineLength(uint8_t widthCode, bool ansi, uint32_t& ScaleFactor) {
  uint32_t width = (ansi ? size_ansi : size_metric)[widthCode & 0x0F];
  if (width > 1800 && ScaleFactor > 750) ScaleFactor = 750;
  return ScaleFactor * width / 1000;
}

namespace {

constexpr uint16_t kShort = 3, kLong = 4, kRational = 5;

struct DirEntry {
  uint16_t tag, type;
  uint32_t count, value;
};

// The image file directory, in the order the station's files have always had
// (MaxSampleValue after PlanarConfiguration). RowsPerStrip and StripByteCounts
// are fixed values that readers of these files do not rely on.
constexpr DirEntry kDirectory[13] = {
    {254, kLong, 1, 0},         // NewSubfileType
    {256, kLong, 1, 0},         // ImageWidth, patched after the scan
    {257, kLong, 1, 0},         // ImageLength, patched after the scan
    {258, kShort, 1, 1},        // BitsPerSample
    {259, kShort, 1, 32773},    // Compression: PackBits
    {262, kShort, 1, 0},        // PhotometricInterpretation: white is zero
    {273, kLong, 1, 186},       // StripOffsets
    {278, kLong, 1, 1257},      // RowsPerStrip
    {279, kLong, 1, 77854},     // StripByteCounts
    {282, kRational, 1, 170},   // XResolution
    {283, kRational, 1, 178},   // YResolution
    {284, kShort, 1, 1},        // PlanarConfiguration
    {281, kShort, 1, 1},        // MaxSampleValue
};

constexpr std::array<uint8_t, kHeaderSize> BuildHeader() {
  std::array<uint8_t, kHeaderSize> h{};
  size_t at = 0;
  auto put16 = [&](uint32_t v) {
    h[at++] = static_cast<uint8_t>(v);
    h[at++] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  put16(0x4949);  // "II"
  put16(42);
  put32(8);  // directory offset
  put16(13);
  for (const DirEntry& e : kDirectory) {
    put16(e.tag);
    put16(e.type);
    put32(e.count);
    put32(e.value);  // a SHORT sits in the low two bytes, the high two stay 0
  }
  put32(0);  // no further directory
  put32(400), put32(1);  // XResolution
  put32(400), put32(1);  // YResolution
  if (at != kHeaderSize) throw "the header must fill exactly its 186 bytes";
  return h;
}

}  // namespace

constexpr std::array<uint8_t, kHeaderSize> pacheader = BuildHeader();

}  // namespace juxscan
