// A drawing fed to the simulated scanner comes out of the whole chain —
// juxscan's scan file, file2tlc's TLC, tlcexport's raster formats and
// statistics — with exactly its own pixels. Each program is tested alone
// elsewhere; this catches the places where one program's file is not what the
// next one reads.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/simcard.h"

namespace {

using simcard::RunResult;
using simcard::SimCard;

constexpr int kWidth = 1024, kHeight = 700;

// An asymmetric drawing: a frame, a diagonal and a filled block near the top
// left, so that a turned, mirrored or shifted image cannot pass.
bool Drawing(int x, int y) {
  if (x < 3 || y < 3 || x >= kWidth - 3 || y >= kHeight - 3) return true;
  if (x == y) return true;
  return x >= 40 && x < 200 && y >= 20 && y < 60;
}

long BlackPixels() {
  long n = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) n += Drawing(x, y);
  return n;
}

// The pixels of a 1-bit TIFF as rows of booleans (true = black), whatever its
// compression and photometric interpretation.
std::vector<std::vector<bool>> ReadTiff(const std::string& path, std::string* error) {
  std::vector<std::vector<bool>> rows;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) {
    *error = "cannot open " + path;
    return rows;
  }
  uint32_t width = 0, height = 0;
  uint16_t photometric = PHOTOMETRIC_MINISWHITE;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  std::vector<uint8_t> line(TIFFScanlineSize(tif));
  for (uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, line.data(), y) < 0) {
      *error = "cannot read line " + std::to_string(y) + " of " + path;
      break;
    }
    std::vector<bool> row(width);
    for (uint32_t x = 0; x < width; ++x) {
      const bool set = line[x / 8] & (0x80 >> (x % 8));
      row[x] = photometric == PHOTOMETRIC_MINISBLACK ? !set : set;
    }
    rows.push_back(std::move(row));
  }
  TIFFClose(tif);
  return rows;
}

int CountMismatches(const std::vector<std::vector<bool>>& rows) {
  int bad = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) bad += rows[y][x] != Drawing(x, y);
  return bad;
}

void WriteLine(const std::string& path, const std::string& line) {
  std::ofstream(path, std::ios::binary) << line << "\r\n";
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class ScanChainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    card_.Feed(card_.WritePbm("drawing.pbm", kWidth, kHeight, Drawing), {"--start-after", "0"});
    RunResult scan = card_.Run("juxscan", {"/L:" + std::to_string(kWidth), "/S:1000",
                                           "/P:0", "/O:C:\\Brevik.TIF"});
    ASSERT_EQ(scan.exitCode, 0) << scan.out;
    // The TLC converter as the workstation runs it: options in a response file.
    WriteLine(card_.Scratch("File2Tlc.Dat"),
              "-Q C:\\Tile.Out -E C:\\Tile.Err -o C:\\$$Scan.tlc -r 0 -D 400 -M 1000,700 "
              "C:\\Brevik.TIF");
    RunResult tlc = card_.Run("file2tlc", {"-@", "C:\\File2Tlc.Dat"});
    ASSERT_EQ(tlc.exitCode, 0) << tlc.err << Slurp(card_.Scratch("Tile.Err"));
  }

  RunResult Export(const std::string& type, const std::string& out) {
    WriteLine(card_.Scratch("Tlc2Rast.Dat"),
              "-E C:\\TlcPr.Err -Q C:\\TlcPr.Out " + type + " -o " + out + " C:\\$$Scan.tlc");
    return card_.Run("tlcexport", {"-@", "C:\\Tlc2Rast.Dat"});
  }

  SimCard card_;
};

// juxscan's own file is not checked here: its fixed header declares a strip
// size that general TIFF readers trust (the converters decode it by width
// and length instead, as the scan tests do).
TEST_F(ScanChainTest, EveryTiffOutputHoldsTheDrawing) {
  struct Case {
    const char* type;
    const char* out;
  } cases[] = {{"-T", "Scan.tif"}, {"-B", "ScanPb.tif"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    RunResult r = Export(c.type, std::string("C:\\") + c.out);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string error;
    std::vector<std::vector<bool>> rows = ReadTiff(card_.Scratch(c.out), &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(rows.size(), static_cast<size_t>(kHeight));
    ASSERT_EQ(rows[0].size(), static_cast<size_t>(kWidth));
    EXPECT_EQ(CountMismatches(rows), 0);
  }
}

TEST_F(ScanChainTest, StatisticsCountTheScannedBlackPixels) {
  // The workstation's statistics run, read the way it reads the report.
  RunResult r = card_.Run("tlcexport", {"-E", "C:\\TlcPr.Err", "-Q", "C:\\FileStat.Dat", "-#",
                                        "-T", "-o", "C:\\FileStat.Tif", "C:\\$$Scan.tlc"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string report = Slurp(card_.Scratch("FileStat.Dat"));
  const size_t at = report.rfind("black dots");
  ASSERT_NE(at, std::string::npos) << report;
  const size_t lineStart = report.rfind('\n', at) == std::string::npos ? 0 : report.rfind('\n', at) + 1;
  const std::string line = report.substr(lineStart, report.find_first_of("\r\n", at) - lineStart);
  ASSERT_GT(line.size(), 48u) << line;
  const double share = std::atof(line.substr(48).c_str());
  const double expected = 100.0 * BlackPixels() / (double(kWidth) * kHeight);
  EXPECT_NEAR(share, expected, 0.005) << line;
}

}  // namespace
