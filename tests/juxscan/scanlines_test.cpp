// The whole lines that a scan cut short may state in its header.
#include <gtest/gtest.h>

#include <vector>

#include "juxscan/scanlines.h"

namespace juxscan {
namespace {

using Bytes = std::vector<uint8_t>;

struct LinesCase {
  const char* name;
  std::vector<Bytes> pieces;  // as the ring hands them on, 8 bytes per line
  uint32_t lines;
};

TEST(ScanLineCount, CountsOnlyWholeLinesAsTheCardPacksThem) {
  const LinesCase cases[] = {
      {"repeat runs", {{0xF9, 0xFF, 0xF9, 0x00}}, 2},
      {"runs split between pieces", {{0xF9}, {0xFF, 0xF9}, {0x00}}, 2},
      {"literal and repeat runs in one line", {{0x02, 1, 2, 3, 0xFC, 4}}, 1},
      {"literal run split", {{0x07, 1, 2, 3}, {4, 5, 6, 7, 8}}, 1},
      {"ends inside a repeat run", {{0xF9, 0xFF, 0xF9}}, 1},
      {"ends inside a literal run", {{0xF9, 0xFF, 0x07, 1, 2, 3}}, 1},
      {"no-operation byte", {{0x80, 0xF9, 0xFF, 0x80}}, 1},
      // A reset elsewhere zeroed the first word of the second buffer: its
      // data no longer falls into lines, and nothing after it counts.
      {"zeroed word", {{0xF9, 0xFF}, {0x00, 0x00, 0x00, 0x00, 0xF9, 0xFF, 0xF9, 0xFF}}, 1},
      {"run past the line end", {{0xF7, 0xFF, 0xF9, 0xFF}}, 0},
  };
  for (const LinesCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScanLineCount count(8);
    for (const Bytes& piece : c.pieces) count.Add(piece.data(), static_cast<uint32_t>(piece.size()));
    EXPECT_EQ(count.Lines(), c.lines);
  }
}

TEST(ScanLineCount, NewLineLengthTakesEffectWithTheNextLine) {
  const Bytes data = {0xFD, 0xFF, 0xFB, 0x00, 0xF1, 0xFF};  // runs of 4, 6 and 16 bytes
  ScanLineCount inLine(8);
  inLine.Add(data.data(), 2);
  inLine.SetLineLength(16);
  inLine.Add(data.data() + 2, 2);
  EXPECT_EQ(inLine.Lines(), 0u);  // the line begun keeps its 8 bytes: 4 + 6 do not fit
  ScanLineCount atLineEnd(8);
  const Bytes lines = {0xF9, 0xFF, 0xF1, 0x00};
  atLineEnd.Add(lines.data(), 1);
  atLineEnd.SetLineLength(16);
  atLineEnd.Add(lines.data() + 1, 3);
  EXPECT_EQ(atLineEnd.Lines(), 2u);
}

TEST(ScanLineCount, ClosedOrWithoutLineLengthCountsNothing) {
  const Bytes line = {0xF9, 0xFF};
  ScanLineCount closed(8);
  closed.Add(line.data(), 2);
  closed.Close();
  closed.Add(line.data(), 2);
  EXPECT_EQ(closed.Lines(), 1u);
  ScanLineCount none(0);
  none.Add(line.data(), 2);
  EXPECT_EQ(none.Lines(), 0u);
}

}  // namespace
}  // namespace juxscan
