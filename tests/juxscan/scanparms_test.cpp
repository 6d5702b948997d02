// juxscan's command line, width tables and scan file header, without a device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "juxscan/scanparms.h"
#include "tests/juxscan/console_program_test.h"

namespace juxscan {
namespace {

ScanParms Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "juxscan");
  return GetScanParms(static_cast<int>(args.size()), args.data());
}

struct ParmsCase {
  const char* name;
  std::vector<const char*> args;
  std::optional<std::string> fileName;
  uint32_t LineLength;
  uint32_t ScaleFactor;
  uint8_t photomode;
  uint8_t ccdthresh;
  friend void PrintTo(const ParmsCase& c, std::ostream* os) { *os << c.name; }
};

class GetScanParmsTest : public testing::TestWithParam<ParmsCase> {};

TEST_P(GetScanParmsTest, ReadsAsTheWorkstationWritesIt) {
  const ParmsCase& c = GetParam();
  ScanParms p = Parse(c.args);
  EXPECT_EQ(p.fileName, c.fileName);
  EXPECT_EQ(p.LineLength, c.LineLength);
  EXPECT_EQ(p.ScaleFactor, c.ScaleFactor);
  EXPECT_EQ(p.photomode, c.photomode);
  EXPECT_EQ(p.ccdthresh, c.ccdthresh);
}

const std::string kFile = "C:\\TEMP\\Brevik.TIF";

INSTANTIATE_TEST_SUITE_P(
    Options, GetScanParmsTest,
    testing::Values(
        ParmsCase{"nothing", {}, std::nullopt, 0, 1000, 255, 255},
        ParmsCase{"workstation line",
                  {"/T:64", "/L:14464", "/S:500", "/P:1", "/O:C:\\TEMP\\Brevik.TIF"},
                  kFile, 1808, 500, 1, 64},
        ParmsCase{"lower case", {"/t:3", "/l:800", "/s:2000", "/p:0", "/o:C:\\TEMP\\Brevik.TIF"},
                  kFile, 100, 2000, 0, 3},
        ParmsCase{"pixels truncate to bytes", {"/L:15"}, std::nullopt, 1, 1000, 255, 255},
        ParmsCase{"negative pixels wrap", {"/L:-8"}, std::nullopt, 0xFFFFFFFFu, 1000, 255, 255},
        ParmsCase{"low 8 bits of mode and threshold", {"/P:256", "/T:-1"}, std::nullopt, 0, 1000,
                  0, 255},
        ParmsCase{"atoi reading", {"/S: +750mm", "/L:abc"}, std::nullopt, 0, 750, 255, 255},
        ParmsCase{"beyond int stops at its limit", {"/S:99999999999", "/T:-99999999999"},
                  std::nullopt, 0, 2147483647u, 255, 0},
        ParmsCase{"later overrides", {"/S:300", "/S:400", "/O:A", "/O:B"}, "B", 0, 400, 255, 255},
        ParmsCase{"further colons kept", {"/O:D:\\X:Y.TIF"}, "D:\\X:Y.TIF", 0, 1000, 255, 255},
        ParmsCase{"empty name is a name", {"/O:"}, "", 0, 1000, 255, 255},
        ParmsCase{"first match takes it", {"/O:/L:800"}, "/L:800", 0, 1000, 255, 255},
        ParmsCase{"not options", {"/X:5", "abc", "/O", "/O=A", "/Ox", "L:80", "/Scale:5"},
                  std::nullopt, 0, 1000, 255, 255}),
    console_test::CaseName<ParmsCase>);

struct WidthCase {
  uint8_t code;
  bool ansi;
  uint32_t scale;
  uint32_t LineLength;
  uint32_t scaleAfter;
  friend void PrintTo(const WidthCase& c, std::ostream* os) { *os << "code " << int(c.code) << (c.ansi ? " ANSI" : " metric") << " at " << c.scale; }
};

class AutomaticLineLengthTest : public testing::TestWithParam<WidthCase> {};

TEST_P(AutomaticLineLengthTest, FollowsTheTableAndTheCap) {
  const WidthCase& c = GetParam();
  uint32_t scale = c.scale;
  EXPECT_EQ(AutomaticLineLength(c.code, c.ansi, scale), c.LineLength);
  EXPECT_EQ(scale, c.scaleAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, AutomaticLineLengthTest,
    testing::Values(WidthCase{5, false, 1000, 1800, 1000},   // metric 1800: no cap
                    WidthCase{0, true, 2000, 3600, 2000},    // ANSI 1800 at 2x: no cap
                    WidthCase{15, false, 1000, 1800, 750},   // 2400 capped at 750
                    WidthCase{13, true, 4000, 1575, 750},    // 2100 capped
                    WidthCase{14, false, 750, 1650, 750},    // at the cap already
                    WidthCase{15, true, 500, 1200, 500},     // below the cap
                    WidthCase{9, true, 1000, 425, 1000},     // ANSI 425
                    WidthCase{9, false, 1000, 1434, 1000},   // metric 1434
                    WidthCase{6, false, 1000, 0, 1000},      // no width known
                    WidthCase{10, true, 1000, 0, 1000},
                    WidthCase{0x12, false, 1000, 827, 1000}  // only the low nibble counts
                    ));

// The header as readers of the station's scan files know it, byte for byte.
TEST(ScanFileHeader, MatchesTheStationTemplate) {
  const std::string expected =
      "49492a00080000000d00fe00040001000000000000000001"
      "040001000000000000000101040001000000000000000201"
      "030001000000010000000301030001000000058000000601"
      "030001000000000000001101040001000000ba0000001601"
      "040001000000e904000017010400010000001e3001001a01"
      "050001000000aa0000001b01050001000000b20000001c01"
      "030001000000010000001901030001000000010000000000"
      "000090010000010000009001000001000000";
  std::string actual;
  char hex[3];
  for (uint8_t b : pacheader) {
    std::snprintf(hex, sizeof hex, "%02x", b);
    actual += hex;
  }
  EXPECT_EQ(actual, expected);
  // The patched value fields belong to ImageWidth (256) and ImageLength (257).
  EXPECT_EQ(pacheader[kImageWidthAt - 8] | pacheader[kImageWidthAt - 7] << 8, 256);
  EXPECT_EQ(pacheader[kImageLengthAt - 8] | pacheader[kImageLengthAt - 7] << 8, 257);
}

}  // namespace
}  // namespace juxscan
