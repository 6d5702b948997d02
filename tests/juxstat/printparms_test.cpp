// juxstat's command line and status file layout, without a device.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "juxstat/printparms.h"
#include "tests/juxscan/console_program_test.h"

namespace juxstat {
namespace {

PrintParms Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "juxstat");
  return GetPrintParms(static_cast<int>(args.size()), args.data());
}

struct ParmsCase {
  const char* name;
  std::vector<const char*> args;
  std::optional<std::string> fileName;
  uint16_t copier, led, ansi, force, scanner;
  friend void PrintTo(const ParmsCase& c, std::ostream* os) { *os << c.name; }
};

class GetPrintParmsTest : public testing::TestWithParam<ParmsCase> {};

TEST_P(GetPrintParmsTest, EveryMatchingOptionApplies) {
  const ParmsCase& c = GetParam();
  PrintParms p = Parse(c.args);
  EXPECT_EQ(p.fileName, c.fileName);
  EXPECT_EQ(p.copier, c.copier);
  EXPECT_EQ(p.led, c.led);
  EXPECT_EQ(p.ansi, c.ansi);
  EXPECT_EQ(p.force, c.force);
  EXPECT_EQ(p.scanner, c.scanner);
}

constexpr uint16_t N = kNotGiven;

INSTANTIATE_TEST_SUITE_P(
    Options, GetPrintParmsTest,
    testing::Values(
        ParmsCase{"nothing", {}, std::nullopt, 0, N, N, 0, 0},
        ParmsCase{"status request", {"/S", "/O:C:\\VARNEL\\JuxStat.Dat"},
                  "C:\\VARNEL\\JuxStat.Dat", 0, N, N, 0, 1},
        ParmsCase{"forced reset", {"/F", "/S"}, std::nullopt, 0, N, N, 1, 1},
        ParmsCase{"words by their first letters", {"/Copy", "/Scan", "/force"}, std::nullopt, 1,
                  N, N, 1, 1},
        ParmsCase{"lower case", {"/c", "/d:40", "/a:1", "/o:x.dat"}, "x.dat", 1, 40, 1, 0, 0},
        ParmsCase{"not given stays not given", {"/D:-1", "/A:65535"}, std::nullopt, 0, N, N, 0, 0},
        ParmsCase{"density above 127 kept whole", {"/D:200"}, std::nullopt, 0, 200, N, 0, 0},
        ParmsCase{"low 16 bits", {"/D:65537", "/A:x"}, std::nullopt, 0, 1, 0, 0, 0},
        ParmsCase{"later overrides", {"/A:1", "/A:0", "/O:a", "/O:b"}, "b", 0, N, 0, 0, 0},
        ParmsCase{"not options", {"/X", "S", "/D", "/A=1", "-S"}, std::nullopt, 0, N, N, 0, 0}),
    console_test::CaseName<ParmsCase>);

// The state block's fields fill bytes 0..99 without overlap, except the two
// reserved bytes at 60.
TEST(StatusFileLayout, StateFieldsTileTheBlock) {
  std::vector<int> owner(128, 0);
  for (const StateField& f : kStateFields) {
    for (int i = 0; i < f.width; ++i) ++owner[f.at + i];
    EXPECT_LE(f.width, 4) << f.name;
  }
  for (int i = 0; i < 128; ++i) {
    int expected = (i < 100 && i != 60 && i != 61) ? 1 : 0;
    EXPECT_EQ(owner[i], expected) << "state block byte " << i;
  }
}

uint32_t FileWord(const StatusFile& f, size_t at, int width) {
  uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = v << 8 | f[at + i];
  return v;
}

TEST(StatusFileLayout, FieldsLandAtTheirFileOffsets) {
  LocalParms record{};
  std::memset(&record, 0xEE, sizeof record);  // reserved and tail bytes must not copy this
  record.ErrorCode0 = 3;
  record.ErrorCode1 = 21;
  record.BoardID = 0x40454040;
  record.JuxFlags = 0x12345601;  // cut to its low 16 bits
  record.LineLength = 1800;
  record.ScaleFactor = 750;
  record.Led1OnTime = 0x5A;            // widened to 2 bytes
  record.LastStatusRcvd = 0x81;        // widened to 4 bytes
  record.NextStatus = 7;
  record.BufCnt = 20;
  record.NumLinesScanned = 19200;
  record.TimerCnt1 = 0x01020304;
  record.InitDataLdTime = 0x0000BEEF;
  for (int i = 0; i < 256; ++i) record.CommandBuffer[i] = static_cast<uint8_t>(i);
  for (int i = 0; i < 40; ++i) record.StatusBuffer[i] = static_cast<uint8_t>(200 + i);

  StatusFile f = BuildStatusFile(record);
  struct Expect {
    size_t at;
    int width;
    uint32_t value;
  } expects[] = {
      {256, 1, 3},          {257, 1, 21},     {258, 4, 0x40454040}, {262, 2, 0x5601},
      {268, 2, 1800},       {280, 2, 750},    {288, 2, 0x5A},       {312, 4, 0x81},
      {316, 2, 0},          {318, 2, 7},      {326, 2, 20},         {340, 4, 19200},
      {348, 4, 0x01020304}, {354, 2, 0xBEEF},
  };
  for (const Expect& e : expects) EXPECT_EQ(FileWord(f, e.at, e.width), e.value) << e.at;
  for (size_t i = 356; i < 384; ++i) EXPECT_EQ(f[i], 0) << i;
  for (int i = 0; i < 256; ++i) EXPECT_EQ(f[i], i);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(f[384 + i], 200 + i);
}

}  // namespace
}  // namespace juxstat
