// The converters run as processes on Windows-style option lines, as the
// workstation starts them; outputs are decoded with libtiff / libpng or by
// reading the format's own structure.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <zlib.h>
#ifdef JUX_HAVE_PNG
#include <png.h>
#endif

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>
#include <sstream>
#include <string>
#include <vector>

#include "tests/converters/testdata.h"
#include "tests/converters/tiffref.h"
#include "tools/converters/bitimage.h"
#include "tools/converters/g4verify.h"
#include "tools/converters/rasterin.h"
#include "tools/converters/tiffio.h"
#include "tools/converters/tlc.h"

namespace fs = std::filesystem;
using conv::BitImage;

namespace {

struct RunResult {
  int exitCode;
  std::string stderrText;
};

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// An asymmetric picture: no rotation or mirror maps it onto itself.
BitImage Asymmetric(uint32_t w, uint32_t h) {
  BitImage img(w, h);
  for (uint32_t x = 0; x < w; ++x) img.Set(x, 0, true);      // top edge
  for (uint32_t y = 0; y < h / 2; ++y) img.Set(0, y, true);  // upper half of the left edge
  img.Set(w - 2, h - 2, true);                               // dot near the bottom right
  img.Set(w / 3, h / 2, true);
  return img;
}

// Where pixel (x, y) of the upright, possibly mirrored image comes from.
bool ExpectedPixel(const BitImage& src, int code, uint32_t x, uint32_t y) {
  const uint32_t W = src.width, H = src.height;
  const bool quarter = (code & 1) != 0;
  const uint32_t outW = quarter ? H : W;
  if (code & 4) x = outW - 1 - x;  // mirror after turning upright
  switch (code & 3) {
    case 1:
      return src.Pixel(y, H - 1 - x);  // turned 90 degrees clockwise
    case 2:
      return src.Pixel(W - 1 - x, H - 1 - y);  // 180
    case 3:
      return src.Pixel(W - 1 - y, x);  // 270
    default:
      return src.Pixel(x, y);
  }
}

std::string ImageDiff(const BitImage& got, const BitImage& want) {
  if (got.width != want.width || got.height != want.height)
    return "size " + std::to_string(got.width) + "x" + std::to_string(got.height) + " instead of " +
           std::to_string(want.width) + "x" + std::to_string(want.height);
  for (uint32_t y = 0; y < want.height; ++y)
    for (uint32_t x = 0; x < want.width; ++x)
      if (got.Pixel(x, y) != want.Pixel(x, y))
        return "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs";
  return "";
}

// Decoding by libtiff alone, independent of the converters' reader.
BitImage ReadTiffByLibtiff(const fs::path& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return {};
  uint32_t w = 0, h = 0;
  uint16_t photometric = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  BitImage img(w, h);
  for (uint32_t y = 0; y < h; ++y) TIFFReadScanline(tif, img.Row(y), y, 0);
  TIFFClose(tif);
  if (photometric == PHOTOMETRIC_MINISBLACK) conv::Invert(img);
  img.ClearPadBits();
  return img;
}

// PackBits rows as libtiff reads them back: runs of one, two, 128 and more
// bytes, literals longer than 128, at both row ends.
TEST(PackBitsRow, DecodesToTheRowThroughLibtiff) {
  std::vector<std::vector<uint8_t>> rows = {
      {0x00}, {0x5A}, {0x00, 0xFF}, {0x12, 0x12}, {1, 2, 2, 3}, {1, 2, 2, 2, 3}, {7, 7, 7, 1},
  };
  for (size_t n : {127u, 128u, 129u, 130u, 256u, 257u, 1800u}) {
    rows.push_back(std::vector<uint8_t>(n, 0));
    std::vector<uint8_t> counting(n), pairs(n);
    for (size_t i = 0; i < n; ++i) counting[i] = static_cast<uint8_t>(i * 7 + 1);
    for (size_t i = 0; i < n; ++i) pairs[i] = static_cast<uint8_t>(i / 2);
    rows.push_back(counting);
    rows.push_back(pairs);
    std::vector<uint8_t> mixed(n, 0xFF);
    for (size_t i = 0; i < n; i += 37) mixed[i] = static_cast<uint8_t>(i);
    rows.push_back(mixed);
  }
  const fs::path path =
      fs::temp_directory_path() / ("packbits-" + std::to_string(getpid()) + ".tif");
  for (const std::vector<uint8_t>& row : rows) {
    SCOPED_TRACE("row of " + std::to_string(row.size()) + " bytes, first " +
                 std::to_string(row[0]));
    std::vector<uint8_t> coded(conv::PackBitsRoom(row.size()));
    coded.resize(conv::PackBitsRow(row.data(), row.size(), coded.data()));
    // Two rows of it in a TIFF, read back by libtiff's own PackBits decoder.
    BitImage image(static_cast<uint32_t>(row.size() * 8), 2);
    for (uint32_t y = 0; y < 2; ++y) std::memcpy(image.Row(y), row.data(), row.size());
    convtest::WriteBytes(path.string(), conv::TiffPackBits(image, 0));
    EXPECT_EQ(ImageDiff(ReadTiffByLibtiff(path), image), "");
  }
  fs::remove(path);
}

// The scan program's PackBits data is one stream: runs cross row ends, and
// a no-op code may stand anywhere. Every way of cutting the same bytes into
// runs reads back as the same rows, also when the data ends with the run.
TEST(ScanFileReading, PackBitsRunsCrossRowEnds) {
  struct Case {
    const char* name;
    BitImage image;
    size_t longest;  // run length limit (1-128)
    bool noOps;
  };
  const std::vector<Case> cases = {
      {"noisy drawing", convtest::NoisyDrawing(333, 40), 128, false},
      {"noisy drawing, short runs, no-ops", convtest::NoisyDrawing(333, 40), 5, true},
      {"one byte rows", convtest::NoisyDrawing(7, 50), 128, true},
      {"blank, long rows", BitImage(2100, 9), 128, true},
      {"drawing, runs of up to 37", convtest::Drawing(1000, 30), 37, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The rows as one byte stream, cut into runs of random lengths: a
    // repeat where the bytes repeat, else a literal.
    std::vector<uint8_t> bytes;
    for (uint32_t y = 0; y < c.image.height; ++y)
      bytes.insert(bytes.end(), c.image.Row(y), c.image.Row(y) + c.image.stride);
    std::mt19937 rng(7);
    std::vector<uint8_t> data;
    for (size_t i = 0; i < bytes.size();) {
      if (c.noOps && rng() % 5 == 0) data.push_back(0x80);
      size_t same = 1;
      while (i + same < bytes.size() && same < c.longest && bytes[i + same] == bytes[i]) ++same;
      if (same >= 2) {
        data.push_back(static_cast<uint8_t>(257 - same));
        data.push_back(bytes[i]);
        i += same;
        continue;
      }
      const size_t k = std::min<size_t>({bytes.size() - i, 1 + rng() % c.longest});
      data.push_back(static_cast<uint8_t>(k - 1));
      data.insert(data.end(), bytes.begin() + static_cast<ptrdiff_t>(i),
                  bytes.begin() + static_cast<ptrdiff_t>(i + k));
      i += k;
    }
    std::vector<uint8_t> file = convtest::ScanFileBytes(BitImage(c.image.width, c.image.height));
    file.resize(186);
    file.insert(file.end(), data.begin(), data.end());
    BitImage got(c.image.width, c.image.height);
    uint32_t y = 0;
    conv::ReadBitonalTiffRows(
        file, "scan", [](const conv::TiffInfo&) {},
        [&](const uint8_t* row) { std::memcpy(got.Row(y++), row, got.stride); });
    ASSERT_EQ(y, c.image.height);
    EXPECT_EQ(ImageDiff(got, c.image), "");
  }
}

BitImage DecodeTlc(const fs::path& path) {
  const std::vector<uint8_t> bytes = convtest::ReadBytes(path);
  const conv::Tlc tlc = conv::ParseTlc(bytes, path.string());
  return convtest::DecodeG4(tlc.g4.data(), tlc.g4.size(), tlc.header.width, tlc.header.height, "tlc");
}

// CALS: check the records the format needs, decode the Group 4 data after them.
BitImage DecodeCals(const fs::path& path, uint32_t dpi) {
  const std::vector<uint8_t> bytes = convtest::ReadBytes(path);
  const std::string header(bytes.begin(), bytes.begin() + 2048);
  EXPECT_EQ(header.find("rtype: 1"), 6 * 128u);
  EXPECT_EQ(header.find("rorient: 000,270"), 7 * 128u);
  const size_t pel = header.find("rpelcnt: ");
  EXPECT_EQ(pel, 8 * 128u);
  char density[16];
  std::snprintf(density, sizeof density, "rdensty: %04u", dpi);
  EXPECT_EQ(header.find(density), 9 * 128u);
  const uint32_t w = std::stoul(header.substr(pel + 9, 6)),
                 h = std::stoul(header.substr(pel + 16, 6));
  return convtest::DecodeG4(bytes.data() + 2048, bytes.size() - 2048, w, h, "cals");
}

// PDF: the image object's size and coding, its stream decoded as Group 4,
// and the page size from the resolution.
BitImage DecodePdf(const fs::path& path, uint32_t dpi) {
  const std::string pdf = Slurp(path);
  EXPECT_EQ(pdf.rfind("%PDF-1.", 0), 0u);
  EXPECT_NE(pdf.find("/Filter /CCITTFaxDecode"), std::string::npos);
  EXPECT_NE(pdf.find("/K -1"), std::string::npos);
  EXPECT_NE(pdf.find("%%EOF"), std::string::npos);
  auto number = [&](const std::string& key) {
    const size_t at = pdf.find(key);
    return at == std::string::npos ? 0ul : std::stoul(pdf.substr(at + key.size()));
  };
  const uint32_t w = number("/Width "), h = number("/Height "), len = number("/Length ");
  char media[96];
  std::snprintf(media, sizeof media, "/MediaBox [0 0 %.2f %.2f]", w * 72.0 / dpi, h * 72.0 / dpi);
  EXPECT_NE(pdf.find(media), std::string::npos) << media;
  const size_t start = pdf.find("stream\n", pdf.find("/CCITTFaxDecode")) + 7;
  EXPECT_EQ(pdf.compare(start + len, 10, "\nendstream"), 0);
  return convtest::DecodeG4(reinterpret_cast<const uint8_t*>(pdf.data()) + start, len, w, h, "pdf");
}

#ifdef JUX_HAVE_PNG
BitImage DecodePng(const fs::path& path) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return {};
  png.format = PNG_FORMAT_GRAY;
  std::vector<uint8_t> grey(PNG_IMAGE_SIZE(png));
  png_image_finish_read(&png, nullptr, grey.data(), 0, nullptr);
  BitImage img(png.width, png.height);
  for (uint32_t y = 0; y < png.height; ++y)
    for (uint32_t x = 0; x < png.width; ++x) img.Set(x, y, grey[size_t{y} * png.width + x] < 128);
  return img;
}
#endif

// The workstation's reading of the statistics report: in every line with
// "black dots", the text from character 49 without leading blanks and without
// its last character; the last such line wins. -1 when there is none.
double ReadCoverageLikeWorkstation(const std::string& report) {
  double coverage = -1;
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("black dots") == std::string::npos || line.size() < 49) continue;
    std::string value = line.substr(48);
    value.erase(0, value.find_first_not_of(' '));
    value.pop_back();
    coverage = std::stod(value);
  }
  return coverage;
}

class ConvertersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/converters-test-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
    setenv("JUX_DRIVES", ("C=" + dir_.string()).c_str(), 1);
    setenv("HOME", dir_.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Host(const std::string& name) const { return dir_ / name; }

  // Runs a converter with the given option words; Windows names C:\x resolve
  // to the test folder.
  // `prefix` is put before the program in the shell's command line.
  RunResult Run(const std::string& program, const std::vector<std::string>& args,
                const std::string& prefix = "") const {
    std::string cmd = prefix + std::string(JUX_BIN_DIR) + "/" + program;
    for (const std::string& a : args) {
      std::string quoted = "'";
      for (char c : a) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      cmd += " " + quoted + "'";
    }
    cmd += " 2>'" + (dir_ / "stderr.txt").string() + "'";
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(dir_ / "stderr.txt")};
  }

  RunResult File2Tlc(const std::string& scan, const std::string& tlc,
                     const std::vector<std::string>& extra = {}) const {
    std::vector<std::string> args = {"-Q", "C:\\Tile.Out", "-E", "C:\\Tile.Err", "-o", tlc};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(scan);
    return Run("file2tlc", args);
  }

  RunResult Export(const std::vector<std::string>& args) const {
    std::vector<std::string> all = {"-E", "C:\\TlcPr.Err", "-Q", "C:\\TlcPr.Out"};
    all.insert(all.end(), args.begin(), args.end());
    return Run("tlcexport", all);
  }

  fs::path dir_;
};

TEST_F(ConvertersTest, EachRotationCodeTurnsTheImageUpright) {
  const BitImage src = Asymmetric(21, 10);
  convtest::WriteBytes(Host("scan.tif"), convtest::ScanFileBytes(src));  // width padded to 24
  // The scan file's width is whole bytes; compare against its full width.
  const BitImage scanned =
      convtest::ReadBitonalTiff(convtest::ReadBytes(Host("scan.tif")), "scan").image;
  for (int code = 0; code < 8; ++code) {
    SCOPED_TRACE("rotation code " + std::to_string(code));
    ASSERT_EQ(File2Tlc("C:\\scan.tif", "C:\\out.tlc", {"-r", std::to_string(code)}).exitCode, 0);
    const BitImage got = DecodeTlc(Host("out.tlc"));
    BitImage want((code & 1) ? scanned.height : scanned.width,
                  (code & 1) ? scanned.width : scanned.height);
    for (uint32_t y = 0; y < want.height; ++y)
      for (uint32_t x = 0; x < want.width; ++x) want.Set(x, y, ExpectedPixel(scanned, code, x, y));
    EXPECT_EQ(ImageDiff(got, want), "");
    // Inverting as well turns every pixel over.
    ASSERT_EQ(File2Tlc("C:\\scan.tif", "C:\\inv.tlc", {"-r", std::to_string(code), "-I"}).exitCode,
              0);
    conv::Invert(want);
    EXPECT_EQ(ImageDiff(DecodeTlc(Host("inv.tlc")), want), "");
  }
}

TEST_F(ConvertersTest, EveryFormatDecodesToTheScannedPixels) {
  const BitImage drawing = convtest::Drawing(400, 300);
  convtest::WriteBytes(Host("scan.tif"), convtest::ScanFileBytes(drawing, 6));
  ASSERT_EQ(File2Tlc("C:\\scan.tif", "C:\\d.tlc", {"-D", "200", "-M", "100,70"}).exitCode, 0);
  ASSERT_EQ(ImageDiff(DecodeTlc(Host("d.tlc")), drawing), "");

  struct Case {
    const char* code;
    const char* file;
    std::function<BitImage(const fs::path&)> decode;
  };
  const std::vector<Case> cases = {
      {"-T", "d.tif", ReadTiffByLibtiff},
      {"-B", "p.tif", ReadTiffByLibtiff},
      {"-C", "d.cal", [](const fs::path& p) { return DecodeCals(p, 200); }},
      {"-F", "d.pdf", [](const fs::path& p) { return DecodePdf(p, 200); }},
#ifdef JUX_HAVE_PNG
      {"-N", "d.png", DecodePng},
#endif
      {"-L", "copy.tlc", DecodeTlc},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    ASSERT_EQ(Export({c.code, "-o", std::string("C:\\") + c.file, "C:\\d.tlc"}).exitCode, 0);
    EXPECT_EQ(ImageDiff(c.decode(Host(c.file)), drawing), "");
    EXPECT_EQ(Slurp(Host("TlcPr.Err")), "");  // created, empty when nothing went wrong
  }
  // The TIFFs carry the resolution, and the PlanarConfiguration entry that the
  // workstation's orientation patch overwrites.
  for (const char* name : {"d.tif", "p.tif"}) {
    TIFF* tif = TIFFOpen(Host(name).c_str(), "r");
    ASSERT_NE(tif, nullptr);
    float xres = 0;
    uint16_t planar = 0;
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres));
    EXPECT_EQ(xres, 200.0f);
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar));
    TIFFClose(tif);
  }
  // An ordinary Group 4 TIFF (the reduction's output) goes back in unchanged.
  ASSERT_EQ(File2Tlc("C:\\d.tif", "C:\\again.tlc").exitCode, 0);
  EXPECT_EQ(ImageDiff(DecodeTlc(Host("again.tlc")), drawing), "");
  EXPECT_NE(Slurp(Host("again.tlc")).find(" Density 200 "), std::string::npos);
}

TEST_F(ConvertersTest, ReadsOrdinaryBitonalTiffs) {
  // Odd width, so the last byte of each row carries pad bits.
  const BitImage drawing = convtest::Drawing(397, 213, 3);
  struct Case {
    const char* what;
    uint16_t compression, photometric, fillOrder;
    uint32_t rowsPerStrip;
  };
  const std::vector<Case> cases = {
      {"uncompressed, strips of 10", COMPRESSION_NONE, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB,
       10},
      {"black is zero, LZW", COMPRESSION_LZW, PHOTOMETRIC_MINISBLACK, FILLORDER_MSB2LSB, 64},
      {"PackBits in strips", COMPRESSION_PACKBITS, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, 7},
      {"PackBits, one strip, reversed bit order", COMPRESSION_PACKBITS, PHOTOMETRIC_MINISWHITE,
       FILLORDER_LSB2MSB, 213},
      {"Group 3", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, 213},
      {"Group 4 in strips", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, 50},
      {"Group 4, black is zero", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISBLACK, FILLORDER_MSB2LSB,
       213},
      {"Group 4, reversed bit order", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE,
       FILLORDER_LSB2MSB, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TIFF* tif = TIFFOpen(Host("in.tif").c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, drawing.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, drawing.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, c.compression);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, c.photometric);
    TIFFSetField(tif, TIFFTAG_FILLORDER, c.fillOrder);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, c.rowsPerStrip);
    BitImage row(drawing.width, 1);
    for (uint32_t y = 0; y < drawing.height; ++y) {
      std::copy_n(drawing.Row(y), drawing.stride, row.Row(0));
      if (c.photometric == PHOTOMETRIC_MINISBLACK) conv::Invert(row);
      TIFFWriteScanline(tif, row.Row(0), y, 0);
    }
    TIFFClose(tif);
    ASSERT_EQ(File2Tlc("C:\\in.tif", "C:\\in.tlc").exitCode, 0) << Slurp(Host("Tile.Err"));
    EXPECT_EQ(ImageDiff(DecodeTlc(Host("in.tlc")), drawing), "");
  }
}

// The PNG and CALS files that the station files go back in as they came out,
// with their resolution; a PNG of grey levels (filtered rows, as libpng writes
// them) is black where darker than half.
TEST_F(ConvertersTest, ReadsThePngAndCalsFilesTheStationFiles) {
  const BitImage drawing = convtest::Drawing(397, 213, 5);  // odd width: pad bits
  convtest::WriteBytes(Host("scan.tif"), convtest::ScanFileBytes(drawing));
  ASSERT_EQ(File2Tlc("C:\\scan.tif", "C:\\d.tlc", {"-D", "200"}).exitCode, 0);
  std::vector<std::string> inputs;
  for (const auto& [code, file] : {std::pair{"-N", "d.png"}, std::pair{"-C", "d.cal"}}) {
    ASSERT_EQ(Export({code, "-o", std::string("C:\\") + file, "C:\\d.tlc"}).exitCode, 0);
    inputs.push_back(file);
  }
#ifdef JUX_HAVE_PNG
  std::vector<uint8_t> grey(size_t{drawing.width} * drawing.height);
  for (uint32_t y = 0; y < drawing.height; ++y)
    for (uint32_t x = 0; x < drawing.width; ++x)
      grey[size_t{y} * drawing.width + x] = drawing.Pixel(x, y) ? (x % 2 ? 0 : 127) : (x % 3 ? 255 : 128);
  png_image writer{};
  writer.version = PNG_IMAGE_VERSION;
  writer.width = drawing.width;
  writer.height = drawing.height;
  writer.format = PNG_FORMAT_GRAY;
  ASSERT_TRUE(png_image_write_to_file(&writer, Host("grey.png").c_str(), 0, grey.data(), 0, nullptr));
  inputs.push_back("grey.png");
#endif
  for (const std::string& file : inputs) {
    SCOPED_TRACE(file);
    ASSERT_EQ(File2Tlc("C:\\" + file, "C:\\back.tlc").exitCode, 0) << Slurp(Host("Tile.Err"));
    EXPECT_EQ(ImageDiff(DecodeTlc(Host("back.tlc")), drawing), "");
    const bool hasDpi = file != "grey.png";  // libpng's simple writer gives none: 400
    EXPECT_NE(Slurp(Host("back.tlc")).find(hasDpi ? " Density 200 " : " Density 400 "), std::string::npos);
  }

  // Damaged, cut short or of a kind not taken: one line, exit 1.
  const std::vector<uint8_t> png = convtest::ReadBytes(Host("d.png"));
  const std::vector<uint8_t> cals = convtest::ReadBytes(Host("d.cal"));
  auto changed = [](std::vector<uint8_t> b, size_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), b.begin() + static_cast<ptrdiff_t>(at));
    return b;
  };
  auto cut = [](const std::vector<uint8_t>& b, size_t keep) {
    return std::vector<uint8_t>(b.begin(), b.begin() + static_cast<ptrdiff_t>(keep));
  };
  std::vector<uint8_t> badCrc = png;
  badCrc[8 + 8 + 13] ^= 1;  // the header chunk's check sum
  struct Case {
    const char* what;
    std::vector<uint8_t> input;
    const char* message;
  } cases[] = {
      {"PNG cut short", cut(png, png.size() / 2), "the PNG file is cut short"},
      {"PNG header damaged", badCrc, "damaged PNG chunk IHDR"},
      {"CALS cut in the data", cut(cals, 2048 + (cals.size() - 2048) / 2), "damaged image data at line"},
      {"CALS cut in the header", cut(cals, 1000), "the CALS header is cut short"},
      {"CALS turned", changed(cals, 7 * 128, "rorient: 090,000"), "CALS orientation 090,000 is not supported"},
      {"CALS size not stated", changed(cals, 8 * 128, "rpelcnt: NONE         "), "damaged CALS header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    convtest::WriteBytes(Host("in.dat"), c.input);
    std::ofstream(Host("out.tlc")) << "OLD";
    const RunResult r = File2Tlc("C:\\in.dat", "C:\\out.tlc");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.stderrText.find("C:\\in.dat: " + std::string(c.message)), std::string::npos) << r.stderrText;
    const std::string errFile = Slurp(Host("Tile.Err"));
    EXPECT_EQ(std::count(errFile.begin(), errFile.end(), '\n'), 1) << errFile;
    EXPECT_EQ(Slurp(Host("out.tlc")), "OLD");
  }
}

// Every row filter of PNG undone: rows of 8-bit grey, filtered in turn with
// each of the five types, read back as the bitonal picture they show.
TEST(RasterInTest, UndoesEveryPngRowFilter) {
  const uint32_t width = 37, height = 20;
  auto grey = [](uint32_t x, uint32_t y) { return static_cast<uint8_t>((x * 29 + y * 53) % 256); };
  auto paeth = [](int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
  };
  std::vector<uint8_t> raw;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t type = y % 5;
    raw.push_back(type);
    for (uint32_t x = 0; x < width; ++x) {
      const int v = grey(x, y), a = x ? grey(x - 1, y) : 0, b = y ? grey(x, y - 1) : 0,
                c = x && y ? grey(x - 1, y - 1) : 0;
      const int predicted = type == 1 ? a : type == 2 ? b : type == 3 ? (a + b) / 2 : type == 4 ? paeth(a, b, c) : 0;
      raw.push_back(static_cast<uint8_t>(v - predicted));
    }
  }
  uLongf packedSize = compressBound(raw.size());
  std::vector<uint8_t> packed(packedSize);
  ASSERT_EQ(compress(packed.data(), &packedSize, raw.data(), raw.size()), Z_OK);
  packed.resize(packedSize);
  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&file](const char* type, const std::vector<uint8_t>& data) {
    for (int s = 24; s >= 0; s -= 8) file.push_back(static_cast<uint8_t>(data.size() >> s));
    const size_t start = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    const uLong crc = crc32(0, file.data() + start, static_cast<uInt>(file.size() - start));
    for (int s = 24; s >= 0; s -= 8) file.push_back(static_cast<uint8_t>(crc >> s));
  };
  chunk("IHDR", {0, 0, 0, width, 0, 0, 0, height, 8, 0, 0, 0, 0});
  chunk("IDAT", std::vector<uint8_t>(packed.begin(), packed.begin() + 10));  // split over two
  chunk("IDAT", std::vector<uint8_t>(packed.begin() + 10, packed.end()));
  chunk("IEND", {});

  BitImage got;
  uint32_t y = 0;
  conv::ReadRasterRows(
      file, "test.png", [&](const conv::TiffInfo& info) { got = BitImage(info.width, info.height); },
      [&](const uint8_t* row) { std::copy_n(row, got.stride, got.Row(y++)); });
  BitImage want(width, height);
  for (uint32_t yy = 0; yy < height; ++yy)
    for (uint32_t x = 0; x < width; ++x) want.Set(x, yy, grey(x, yy) < 128);
  EXPECT_EQ(ImageDiff(got, want), "");
}

TEST_F(ConvertersTest, ReadsTheScanFileAfterTheStripEdit) {
  // The workstation's strip step moves StripOffsets past the leading lines and
  // shortens ImageLength and RowsPerStrip; RowsPerStrip and StripByteCounts
  // still do not describe the data.
  const BitImage drawing = convtest::Drawing(256, 120, 7);
  std::vector<uint8_t> file = convtest::ScanFileBytes(drawing);
  const uint32_t leading = 9, trailing = 5;
  BitImage firstLines(drawing.width, leading);
  std::copy_n(drawing.bits.begin(), leading * drawing.stride, firstLines.bits.begin());
  const uint32_t offset = 186 + static_cast<uint32_t>(convtest::PackBitsLines(firstLines).size());
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(42, drawing.height - leading - trailing);  // ImageLength
  put32(90, offset);                               // StripOffsets
  put32(102, 1257 - leading - trailing);           // RowsPerStrip
  convtest::WriteBytes(Host("strip.tif"), file);

  ASSERT_EQ(File2Tlc("C:\\strip.tif", "C:\\s.tlc").exitCode, 0);
  BitImage want(drawing.width, drawing.height - leading - trailing);
  std::copy_n(drawing.Row(leading), want.bits.size(), want.bits.begin());  // the middle lines
  EXPECT_EQ(ImageDiff(DecodeTlc(Host("s.tlc")), want), "");
}

TEST_F(ConvertersTest, ReductionKeepsLinesOnePixelThin) {
  BitImage thin(401, 301);
  for (uint32_t x = 0; x < thin.width; ++x) thin.Set(x, 151, true);  // horizontal, odd row
  for (uint32_t y = 0; y < thin.height; ++y) thin.Set(77, y, true);  // vertical, odd column
  for (uint32_t i = 0; i < 300; ++i) thin.Set(i + 101, i, true);     // diagonal
  TIFF* tif = TIFFOpen(Host("thin.tif").c_str(), "w");  // an ordinary uncompressed TIFF
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, thin.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, thin.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
  for (uint32_t y = 0; y < thin.height; ++y) TIFFWriteScanline(tif, thin.Row(y), y, 0);
  TIFFClose(tif);
  ASSERT_EQ(File2Tlc("C:\\thin.tif", "C:\\thin.tlc", {"-D", "400"}).exitCode, 0);

  for (uint32_t to : {300u, 200u, 100u, 33u}) {
    SCOPED_TRACE("400 -> " + std::to_string(to));
    ASSERT_EQ(Export({"-T", "-o", "C:\\r.tif", "-P", "400," + std::to_string(to), "C:\\thin.tlc"})
                  .exitCode,
              0);
    const BitImage r = ReadTiffByLibtiff(Host("r.tif"));
    EXPECT_EQ(r.width, (thin.width - 1) * to / 400 + 1);
    auto rowBlack = [&](uint32_t y) {
      for (uint32_t x = 0; x < r.width; ++x)
        if (!r.Pixel(x, y)) return false;
      return true;
    };
    auto colBlack = [&](uint32_t x) {
      for (uint32_t y = 0; y < r.height; ++y)
        if (!r.Pixel(x, y)) return false;
      return true;
    };
    EXPECT_TRUE(rowBlack(151 * to / 400));
    EXPECT_TRUE(colBlack(77 * to / 400));
    for (uint32_t i = 0; i < 300; ++i) EXPECT_TRUE(r.Pixel((i + 101) * to / 400, i * to / 400));
    // Nothing else turns black.
    EXPECT_LT(conv::CountBlack(r), uint64_t{r.width + 2 * r.height + 2 * r.width});
  }
  EXPECT_NE(Slurp(Host("TlcPr.Out")).find(", 33 dpi,"), std::string::npos);
}

TEST_F(ConvertersTest, StatisticsLineReadsAsTheWorkstationReadsIt) {
  struct Case {
    uint32_t width, height, black;
    double coverage;
  };
  for (const Case& c : {Case{1000, 1000, 0, 0.0}, Case{1000, 1000, 3500, 0.35},
                        Case{200, 100, 20000, 100.0}, Case{1000, 1000, 49, 0.0}}) {
    SCOPED_TRACE(std::to_string(c.black) + " black");
    BitImage img(c.width, c.height);
    for (uint32_t i = 0; i < c.black; ++i) img.Set(i % c.width, i / c.width, true);
    convtest::WriteBytes(Host("s.tif"), convtest::ScanFileBytes(img));
    ASSERT_EQ(File2Tlc("C:\\s.tif", "C:\\s.tlc").exitCode, 0);
    // The workstation's own statistics line, options given directly.
    ASSERT_EQ(Run("tlcexport", {"-E", "C:\\TlcPr.Err", "-Q", "C:\\FileStat.Dat", "-#", "-T", "-o",
                                "C:\\FileStat.Tif", "C:\\s.tlc"})
                  .exitCode,
              0);
    const std::string report = Slurp(Host("FileStat.Dat"));
    EXPECT_DOUBLE_EQ(ReadCoverageLikeWorkstation(report), c.coverage) << report;
    EXPECT_EQ(report.find("black dots"), report.rfind("black dots"));  // one such line
    EXPECT_TRUE(fs::exists(Host("FileStat.Tif")));
  }
}

TEST_F(ConvertersTest, BlankPageCompressesBelowTheBlankThresholdAndADrawingAbove) {
  // Full size: 36 x 48 inches at 400 dpi. The workstation's size ratio is
  // file bytes per hundred pixels, the pixels read from the header text.
  struct Case {
    const char* name;
    BitImage image;
    bool blank;
  };
  for (const Case& c : {Case{"blank", BitImage(14400, 19200), true},
                        Case{"drawing", convtest::Drawing(14400, 19200), false}}) {
    SCOPED_TRACE(c.name);
    convtest::WriteBytes(Host("page.tif"), convtest::ScanFileBytes(c.image));
    ASSERT_EQ(
        File2Tlc("C:\\page.tif", "C:\\page.tlc", {"-r", " 0", "-D", " 400", "-M", "1000,", "700"})
            .exitCode,
        0);
    const std::string tlc = Slurp(Host("page.tlc"));
    ASSERT_EQ(tlc.substr(0, 13), "Virozoro Size");
    const std::string size = tlc.substr(14, tlc.find(' ', 14) - 14);
    const size_t density = tlc.find("Density") + 8;
    EXPECT_EQ(size, "14400,19200");
    EXPECT_EQ(tlc.substr(density, tlc.find(' ', density) - density), "400");
    const double perHundred = double(tlc.size()) / 14400 / 19200 * 100;
    EXPECT_EQ(perHundred < 0.1, c.blank) << perHundred;
    // The view picture: 28 x 28 pixel blocks fit 1000 x 700; white only when blank.
    ASSERT_NE(tlc.find(" View 515,686,"), std::string::npos) << tlc.substr(0, 128);
#ifdef JUX_HAVE_PNG
    const conv::Tlc parts =
        conv::ParseTlc(std::span(reinterpret_cast<const uint8_t*>(tlc.data()), tlc.size()), "page");
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&png, parts.viewPng.data(), parts.viewPng.size()));
    png.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, grey.data(), 0, nullptr));
    EXPECT_EQ(*std::min_element(grey.begin(), grey.end()) == 255, c.blank);
#endif
  }
}

TEST_F(ConvertersTest, WorkstationOptionLinesThroughResponseFiles) {
  fs::create_directories(Host("TEMP"));
  fs::create_directories(Host("SCANS"));
  convtest::WriteBytes(Host("TEMP/Brevik.TIF"),
                       convtest::ScanFileBytes(convtest::Drawing(320, 200)));
  std::ofstream(Host("TEMP/File2Tlc.Dat"), std::ios::binary)
      << "-Q C:\\TEMP\\Tile.Out -E C:\\TEMP\\Tile.Err -o C:\\SCANS\\$$Scan.tlc -r 1 -D 200 "
         "-M 1000,700 C:\\TEMP\\Brevik.TIF\r\n";
  ASSERT_EQ(Run("file2tlc", {"-@", "C:\\TEMP\\File2Tlc.Dat"}).exitCode, 0);
  const std::string tlc = Slurp(Host("SCANS/$$Scan.tlc"));
  EXPECT_EQ(tlc.rfind("Virozoro Size 200,320 Density 200 ", 0), 0u) << tlc.substr(0, 128);
  EXPECT_EQ(Slurp(Host("TEMP/Tile.Err")), "");
  EXPECT_NE(Slurp(Host("TEMP/Tile.Out")), "");

  std::ofstream(Host("TEMP/Tlc2Rast.Dat"), std::ios::binary)
      << "-E C:\\TEMP\\TlcPr.Err -Q C:\\TEMP\\TlcPr.Out -C -o C:\\SCANS\\$$Scan.out "
         "C:\\SCANS\\$$Scan.tlc\r\n";
  ASSERT_EQ(Run("tlcexport", {"-@", "C:\\TEMP\\Tlc2Rast.Dat"}).exitCode, 0);
  EXPECT_EQ(Slurp(Host("SCANS/$$Scan.out")).substr(0, 18), "srcdocid: NONE    ");

  // Software reduction: the scan converted without options, then exported
  // reduced to a TIFF under the caller's name.
  ASSERT_EQ(Run("file2tlc", {"-E", "C:\\TEMP\\Tile.Err", "-Q", "C:\\TEMP\\Tile.Out", "-o",
                             "C:\\TEMP\\Scale.Tlc", "C:\\TEMP\\Brevik.TIF"})
                .exitCode,
            0);
  ASSERT_EQ(Run("tlcexport", {"-E", "C:\\TEMP\\TlcPr.Err", "-Q", "C:\\TEMP\\TlcPr.Out", "-T", "-o",
                              "C:\\SCANS\\A.TIF", "-P", "400,200", "C:\\TEMP\\Scale.Tlc"})
                .exitCode,
            0);
  const BitImage reduced = ReadTiffByLibtiff(Host("SCANS/A.TIF"));
  EXPECT_EQ(reduced.width, 160u);
  EXPECT_EQ(reduced.height, 100u);
  // Nothing but the named files is left behind.
  for (const auto& e : fs::directory_iterator(Host("SCANS")))
    EXPECT_EQ(e.path().filename().string().find('~'), std::string::npos) << e.path();
}

// The same TLC file at another resolution.
std::vector<uint8_t> Redensified(const std::vector<uint8_t>& tlcFile, uint32_t dpi) {
  const conv::Tlc tlc = conv::ParseTlc(tlcFile, "tlc");
  return conv::BuildTlc(tlc.header.width, tlc.header.height, dpi, tlc.g4, 0, 0, {});
}

TEST_F(ConvertersTest, BadInputFailsClearlyAndLeavesTheOutputAlone) {
  const std::vector<uint8_t> scan = convtest::ScanFileBytes(convtest::Drawing(160, 90));
  convtest::WriteBytes(Host("good.tif"), scan);
  ASSERT_EQ(File2Tlc("C:\\good.tif", "C:\\good.tlc").exitCode, 0);
  const std::vector<uint8_t> tlc = convtest::ReadBytes(Host("good.tlc"));

  auto withBytes = [](std::vector<uint8_t> b, size_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), b.begin() + static_cast<ptrdiff_t>(at));
    return b;
  };
  std::vector<uint8_t> otherCompression = scan;
  otherCompression[66] = 0x39, otherCompression[67] = 0x30;  // 12345
  std::vector<uint8_t> badCode = tlc;
  for (size_t i = 140; i < badCode.size(); ++i) badCode[i] = static_cast<uint8_t>(i * 37);
  struct Case {
    const char* what;
    bool toTlc;  // file2tlc, else tlcexport
    std::vector<uint8_t> input;
    std::vector<std::string> options;
    const char* message;
    int exitCode;
  };
  const std::vector<Case> cases = {
      {"empty scan file", true, {}, {}, "the file is empty", 1},
      {"scan without lines",
       true,
       convtest::ScanFileBytes(BitImage(0, 0)),
       {},
       "the image has no pixels (0 x 0)",
       1},
      {"truncated scan file",
       true,
       std::vector<uint8_t>(scan.begin(), scan.end() - 300),
       {},
       "the image data ends after line",
       1},
      {"cut in the header",
       true,
       std::vector<uint8_t>(scan.begin(), scan.begin() + 100),
       {},
       "not a readable TIFF file",
       1},
      {"unknown compression", true, otherCompression, {}, "compression 12345 is not supported", 1},
      {"not a TIFF",
       true,
       {'h', 'e', 'l', 'l', 'o', '!', '!', '!', '!', '!'},
       {},
       "not a readable TIFF",
       1},
      {"rotation out of range", true, scan, {"-r", "8"}, "rotation code", 2},
      {"unknown option", true, scan, {"-Z"}, "unknown option -Z", 2},
      {"empty TLC", false, {}, {"-T"}, "the file is empty", 1},
      {"not a TLC", false, scan, {"-T"}, "not a TLC file", 1},
      {"damaged TLC header", false, withBytes(tlc, 14, "16x90,"), {"-T"}, "damaged TLC header", 1},
      {"TLC cut short",
       false,
       std::vector<uint8_t>(tlc.begin(), tlc.end() - 20),
       {"-N"},
       "cut short",
       1},
      {"damaged image data", false, badCode, {"-B"}, "damaged image data", 1},
      {"unknown type code", false, tlc, {"XX"}, "unknown output type", 2},
      {"two type codes", false, tlc, {"-T", "-N"}, "two output types", 2},
      {"resolution of none", false, tlc, {"-T", "-P", "0,400"}, "-P resolution", 2},
      {"CALS beyond its dpi field",
       false,
       Redensified(tlc, 99999),
       {"-C"},
       "C:\\out.dat: not written: a CALS Type 1 header holds at most 9999 dpi, the image has "
       "99999 dpi (C:\\in.dat)",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    convtest::WriteBytes(Host("in.dat"), c.input);
    std::ofstream(Host("out.dat")) << "OLD";
    const RunResult r = c.toTlc ? File2Tlc("C:\\in.dat", "C:\\out.dat", c.options) : Export([&] {
      std::vector<std::string> a = c.options;
      a.insert(a.end(), {"-o", "C:\\out.dat", "C:\\in.dat"});
      return a;
    }());
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_NE(r.stderrText.find(c.message), std::string::npos) << r.stderrText;
    const std::string errFile = Slurp(Host(c.toTlc ? "Tile.Err" : "TlcPr.Err"));
    EXPECT_NE(errFile.find(c.message), std::string::npos) << errFile;
    EXPECT_EQ(std::count(errFile.begin(), errFile.end(), '\n'), 1);
    EXPECT_EQ(Slurp(Host("out.dat")), "OLD");
  }
  // Missing input, and an output folder that does not exist.
  EXPECT_EQ(File2Tlc("C:\\none.tif", "C:\\out.dat").exitCode, 1);
  EXPECT_NE(Slurp(Host("Tile.Err")).find("C:\\none.tif: cannot open"), std::string::npos);
  EXPECT_EQ(File2Tlc("C:\\good.tif", "C:\\NOFOLDER\\x.tlc").exitCode, 1);
  EXPECT_NE(Slurp(Host("Tile.Err")).find("the folder does not exist"), std::string::npos);
  // No temporary file survives a failed run.
  for (const auto& e : fs::directory_iterator(dir_))
    EXPECT_EQ(e.path().filename().string().find('~'), std::string::npos) << e.path();
}

}  // namespace

namespace {

// A TLC file of `image` with the header's size and data as given.
std::vector<uint8_t> TlcWith(std::span<const uint8_t> g4, uint32_t width, uint32_t height) {
  return conv::BuildTlc(width, height, 200, g4, 0, 0, {});
}

}  // namespace

// Group 4 data is held to the size its header states, in a TLC (every
// export) and in a TIFF (file2tlc) alike; the output stays as it was.
TEST_F(ConvertersTest, DataThatDoesNotDecodeToTheHeadersSizeIsRefused) {
  // Black to the right edge above white: decoded wider, those lines no
  // longer end where the data ends them.
  BitImage drawing = convtest::Drawing(400, 300);
  for (uint32_t y = 40; y < 60; ++y)
    for (uint32_t x = 0; x < 400; ++x) drawing.Set(x, y, x >= 360);
  convtest::WriteBytes(Host("scan.tif"), convtest::ScanFileBytes(drawing));
  ASSERT_EQ(File2Tlc("C:\\scan.tif", "C:\\d.tlc", {"-D", "200"}).exitCode, 0);
  const std::vector<uint8_t> good = convtest::ReadBytes(Host("d.tlc"));
  const conv::Tlc tlc = conv::ParseTlc(good, "d.tlc");
  const std::span<const uint8_t> g4 = tlc.g4;
  std::vector<uint8_t> flipped(g4.begin(), g4.end());
  for (size_t i = flipped.size() / 3; i < flipped.size() / 3 + 4; ++i) flipped[i] ^= 0x5A;
  const std::vector<uint8_t> cut(g4.begin(), g4.begin() + static_cast<ptrdiff_t>(g4.size() / 2));
  std::vector<uint8_t> trailing(g4.begin(), g4.end());
  trailing.insert(trailing.end(), {0xFF, 0xFF});

  struct Case {
    const char* what;
    std::span<const uint8_t> data;
    uint32_t width, height;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"header one line too many", g4, 400, 301, "damaged image data at line 301"},
      {"header one line too few", g4, 400, 299, "more than the 299 lines"},
      {"header half the lines", g4, 400, 150, "more than the 150 lines"},
      {"header narrower", g4, 392, 300, "damaged image data at line"},
      {"header half as wide", g4, 200, 300, "damaged image data at line"},
      {"header 65535 wide", g4, 65535, 300, "damaged image data at line"},
      {"damaged codes", flipped, 400, 300, "damaged image data at line"},
      {"data cut in half, length to match", cut, 400, 300, "damaged image data at line"},
      {"bytes after the end code", trailing, 400, 300, "end-of-block"},
  };
  auto refused = [&](const RunResult& r, const char* message) {
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.stderrText.find(message), std::string::npos) << r.stderrText;
    EXPECT_EQ(std::count(r.stderrText.begin(), r.stderrText.end(), '\n'), 1) << r.stderrText;
    EXPECT_EQ(Slurp(Host("out.dat")), "OLD");
  };
  for (const Case& c : cases) {
    convtest::WriteBytes(Host("bad.tlc"), TlcWith(c.data, c.width, c.height));
    for (const char* code : {"-T", "-C", "-F", "-L", "-B"}) {
      SCOPED_TRACE(std::string(c.what) + ", " + code);
      std::ofstream(Host("out.dat")) << "OLD";
      refused(Export({code, "-o", "C:\\out.dat", "C:\\bad.tlc"}), c.message);
    }
    SCOPED_TRACE(std::string(c.what) + ", TIFF");
    convtest::WriteBytes(Host("bad.tif"), conv::TiffFromG4(c.data.data(), c.data.size(), c.width, c.height, 200));
    std::ofstream(Host("out.dat")) << "OLD";
    refused(File2Tlc("C:\\bad.tif", "C:\\out.dat"), c.message);
  }
  // The whole image, and the statistics taken from the same check.
  convtest::WriteBytes(Host("same.tlc"), TlcWith(g4, 400, 300));
  ASSERT_EQ(Export({"-#", "-T", "-o", "C:\\out.dat", "C:\\same.tlc"}).exitCode, 0);
  EXPECT_NE(Slurp(Host("TlcPr.Out")).find("Black pixels" + std::string(46 - 12, ' ') + ": " +
                                          std::to_string(conv::CountBlack(drawing))),
            std::string::npos)
      << Slurp(Host("TlcPr.Out"));
  // The same stream as a TIFF of its own size is taken, pixel for pixel.
  convtest::WriteBytes(Host("same.tif"), conv::TiffFromG4(g4.data(), g4.size(), 400, 300, 200));
  ASSERT_EQ(File2Tlc("C:\\same.tif", "C:\\same2.tlc").exitCode, 0);
  EXPECT_EQ(ImageDiff(DecodeTlc(Host("same2.tlc")), drawing), "");
}

TEST(G4VerifyTest, CountsTheBlackOfEveryRunLengthTheCoderWrites) {
  // Runs short and long (beyond the largest make-up code), rows that repeat
  // the row above with a few changes (vertical and pass codes), odd widths.
  std::mt19937 rng(5);
  struct Kind {
    const char* what;
    uint32_t maxRun;
    bool nearlyRepeats;
  };
  for (const Kind& k : {Kind{"short runs", 5, false}, Kind{"long runs", 3000, false},
                        Kind{"runs beyond 2560", 6000, false}, Kind{"repeating rows", 200, true}}) {
    for (int n = 0; n < 12; ++n) {
      const uint32_t width = 1 + rng() % 7000, height = 1 + rng() % 30;
      SCOPED_TRACE(std::string(k.what) + ", " + std::to_string(width) + " x " +
                   std::to_string(height));
      BitImage image(width, height);
      for (uint32_t y = 0; y < height; ++y) {
        if (k.nearlyRepeats && y > 0) {
          for (uint32_t x = 0; x < width; ++x)
            image.Set(x, y, image.Pixel(x, y - 1) != (rng() % 300 == 0));
          continue;
        }
        bool black = rng() & 1;
        for (uint32_t x = 0; x < width; black = !black)
          for (uint32_t run = 1 + rng() % k.maxRun; run > 0 && x < width; --run) image.Set(x++, y, black);
      }
      convtest::G4Encoder encoder(width, height);
      for (uint32_t y = 0; y < height; ++y) encoder.AddRow(image.Row(y));
      const std::span<const uint8_t> g4 = encoder.Finish();
      EXPECT_EQ(conv::VerifyG4(g4.data(), g4.size(), width, height, "g4"), conv::CountBlack(image));
    }
  }
}

TEST_F(ConvertersTest, ResponseFilesThatNameEachOtherEndWithOneClearLine) {
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(Host(name), std::ios::binary) << text << "\r\n";
  };
  std::string tenTimes;
  for (int i = 0; i < 10; ++i) tenTimes += "-@ C:\\self.dat ";
  write("self.dat", tenTimes);
  write("a.dat", "-I -@ C:\\b.dat");
  write("b.dat", "-@ c:\\A.DAT");  // the same file under another spelling
  // No cycle, but ten times ten times ten files.
  for (const char* name : {"f1.dat", "f2.dat", "f3.dat"}) {
    std::string text;
    const std::string next = std::string("C:\\f") + char(name[1] + 1) + ".dat";
    for (int i = 0; i < 10; ++i) text += "-@ " + next + " ";
    write(name, text);
  }
  write("f4.dat", "-I");
  std::string deep;
  for (int i = 1; i <= 9; ++i)
    write("d" + std::to_string(i) + ".dat", "-@ C:\\d" + std::to_string(i + 1) + ".dat");
  write("d10.dat", "-I");

  struct Case {
    const char* what;
    const char* file;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"names itself ten times", "C:\\self.dat", "C:\\self.dat names itself"},
      {"names itself through another", "C:\\a.dat", "c:\\A.DAT names itself"},
      {"a thousand files", "C:\\f1.dat", "more than 64 response files named"},
      {"nested ten deep", "C:\\d1.dat", "nested too deep"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RunResult r = Run("file2tlc", {"-E", "C:\\Tile.Err", "-@", c.file});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.stderrText.find(c.message), std::string::npos) << r.stderrText;
    EXPECT_EQ(std::count(r.stderrText.begin(), r.stderrText.end(), '\n'), 1) << r.stderrText;
    EXPECT_NE(Slurp(Host("Tile.Err")).find(c.message), std::string::npos);
  }
}

TEST_F(ConvertersTest, AResponseFileTooLargeForMemoryEndsWithOneLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer cannot run under a memory limit";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the address sanitizer cannot run under a memory limit";
#endif
#endif
  // A sparse gigabyte: neither mapped nor read under a limit of 200 MB.
  { std::ofstream(Host("huge.dat")) << "-I "; }
  fs::resize_file(Host("huge.dat"), uint64_t{1} << 30);
  for (const char* program : {"file2tlc", "tlcexport"}) {
    SCOPED_TRACE(program);
    const RunResult r =
        Run(program, {"-E", "C:\\x.Err", "-@", "C:\\huge.dat"}, "ulimit -v 200000; exec ");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.stderrText.find("C:\\huge.dat: not enough memory to read it"), std::string::npos)
        << r.stderrText;
    EXPECT_EQ(std::count(r.stderrText.begin(), r.stderrText.end(), '\n'), 1) << r.stderrText;
    const std::string err = Slurp(Host("x.Err"));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
}

TEST_F(ConvertersTest, ViewSizeAsTheWorkstationBuildsItFromAnyConfiguration) {
  fs::create_directories(Host("TEMP"));
  convtest::WriteBytes(Host("TEMP/Brevik.TIF"),
                       convtest::ScanFileBytes(convtest::Drawing(320, 200)));
  struct Case {
    const char* miniViewSize;  // as configured
    const char* view;          // in the TLC header, empty: none
  };
  const std::vector<Case> cases = {
      {"1000,700", " View 320,200,"}, {"1000 ,700", " View 320,200,"},
      {"1000, 700", " View 320,200,"}, {"1000 , 700", " View 320,200,"},
      {"100,70", " View 80,50,"},     {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("MiniViewSize \"") + c.miniViewSize + "\"");
    // The option line exactly as the workstation writes it.
    std::ofstream(Host("TEMP/File2Tlc.Dat"), std::ios::binary)
        << "-Q C:\\TEMP\\Tile.Out -E C:\\TEMP\\Tile.Err -o C:\\TEMP\\v.tlc -r 0 -D 200 -M "
        << c.miniViewSize << " C:\\TEMP\\Brevik.TIF\r\n";
    ASSERT_EQ(Run("file2tlc", {"-@", "C:\\TEMP\\File2Tlc.Dat"}).exitCode, 0)
        << Slurp(Host("TEMP/Tile.Err"));
    const std::string header = Slurp(Host("TEMP/v.tlc")).substr(0, 128);
    if (*c.view)
      EXPECT_NE(header.find(c.view), std::string::npos) << header;
    else
      EXPECT_EQ(header.find("View"), std::string::npos) << header;
  }
}

TEST_F(ConvertersTest, EnlargementReplicatesPixels) {
  const BitImage drawing = convtest::Drawing(203, 97, 4);  // odd sizes: uneven replication
  convtest::WriteBytes(Host("scan.tif"), convtest::ScanFileBytes(drawing));
  ASSERT_EQ(File2Tlc("C:\\scan.tif", "C:\\d.tlc", {"-D", "400"}).exitCode, 0);
  const BitImage source = DecodeTlc(Host("d.tlc"));
  struct Case {
    uint32_t from, to;
    const char* code;
  };
  for (const Case& c : {Case{400, 600, "-T"}, Case{100, 300, "-T"}, Case{200, 201, "-L"},
                        Case{400, 800, "-B"}}) {
    SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to) + " " + c.code);
    const std::string scale = std::to_string(c.from) + "," + std::to_string(c.to);
    const RunResult r = Export({c.code, "-o", "C:\\big.out", "-P", scale, "C:\\d.tlc"});
    ASSERT_EQ(r.exitCode, 0) << r.stderrText;
    const BitImage got = std::string(c.code) == "-L" ? DecodeTlc(Host("big.out"))
                                                     : ReadTiffByLibtiff(Host("big.out"));
    BitImage want((source.width * c.to + c.from - 1) / c.from,
                  (source.height * c.to + c.from - 1) / c.from);
    for (uint32_t y = 0; y < want.height; ++y)
      for (uint32_t x = 0; x < want.width; ++x)
        want.Set(x, y, source.Pixel(x * c.from / c.to, y * c.from / c.to));
    EXPECT_EQ(ImageDiff(got, want), "");
    const uint32_t dpi = (400 * c.to + c.from / 2) / c.from;
    EXPECT_NE(Slurp(Host("TlcPr.Out")).find(", " + std::to_string(dpi) + " dpi,"),
              std::string::npos);
  }
  // An enlargement beyond what a TLC image may hold is refused at once.
  const RunResult r = Export({"-T", "-o", "C:\\big.out", "-P", "1,99999", "C:\\d.tlc"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.stderrText.find("more than a TLC image may have"), std::string::npos) << r.stderrText;
}

namespace {

// A little-endian TIFF of one directory whose header claims the size and
// strips given, followed by `dataBytes` bytes of data.
std::vector<uint8_t> ClaimingTiff(uint32_t width, uint32_t height, uint16_t compression,
                                  uint32_t rowsPerStrip, uint32_t stripBytes, size_t dataBytes) {
  std::vector<uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto put = [&](uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) f.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const uint32_t entries = 8, dataAt = 8 + 2 + entries * 12 + 4;
  put(entries, 2);
  const uint32_t tags[][3] = {{256, 4, width},        {257, 4, height},     {258, 3, 1},
                              {259, 3, compression},  {262, 3, 0},          {273, 4, dataAt},
                              {278, 4, rowsPerStrip}, {279, 4, stripBytes}};
  for (const auto& t : tags) put(t[0], 2), put(t[1], 2), put(1, 4), put(t[2], 4);
  put(0, 4);
  for (size_t i = 0; i < dataBytes; ++i) f.push_back(static_cast<uint8_t>(0x80 + i % 7));
  return f;
}

}  // namespace

TEST_F(ConvertersTest, AHeaderClaimingMoreThanItsDataHoldsIsRefusedAtOnce) {
  // The scan program's layout, claiming 131000 x 131000 pixels in 210 bytes.
  std::vector<uint8_t> scan = convtest::ScanFileBytes(convtest::Drawing(64, 8));
  for (size_t at : {30u, 42u})  // ImageWidth, ImageLength
    for (int i = 0; i < 4; ++i) scan[at + i] = static_cast<uint8_t>(131000 >> (8 * i));
  scan.resize(210);
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    std::vector<std::string> options;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"scan file", scan, {}, "the image data (24 bytes) cannot hold 131000 lines of 131000 pixels"},
      {"scan file, turned", scan, {"-r", "1"}, "cannot hold 131000 lines"},
      {"uncompressed, one strip", ClaimingTiff(131000, 131000, 1, 131000, 0xFFFFFFFF, 86), {},
       "cannot hold"},
      {"uncompressed, strips of 16", ClaimingTiff(131000, 131000, 1, 16, 0xFFFFFFFF, 86), {},
       "strip 1 of the image data (86 bytes) cannot hold its 16 lines"},
      {"LZW", ClaimingTiff(131000, 131000, 5, 131000, 86, 86), {"-r", "2"},
       "strip 1 of the image data (86 bytes) cannot hold"},
      {"Group 4", ClaimingTiff(131000, 131000, 4, 131000, 86, 86), {"-r", "3"},
       "strip 1 of the image data (86 bytes) cannot hold"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    convtest::WriteBytes(Host("claim.tif"), c.file);
    std::ofstream(Host("out.tlc")) << "OLD";
    const RunResult r = File2Tlc("C:\\claim.tif", "C:\\out.tlc", c.options);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.stderrText.find(c.message), std::string::npos) << r.stderrText;
    EXPECT_EQ(Slurp(Host("out.tlc")), "OLD");
  }
}

TEST_F(ConvertersTest, ALaterRunRemovesTheTemporaryFilesOfKilledConverters) {
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  waitpid(gone, nullptr, 0);
  const std::string dead = std::to_string(gone), alive = std::to_string(getpid());
  convtest::WriteBytes(Host("scan.tif"), convtest::ScanFileBytes(convtest::Drawing(64, 32)));
  struct Case {
    std::string name;
    bool removed;
  };
  const std::vector<Case> cases = {
      {"~out.tlc." + dead + ".tmp", true},      // a killed run on this target
      {"~OTHER.TLC." + dead + ".tmp", true},    // and on another target in the folder
      {"~out.tlc." + alive + ".tmp", false},    // a converter still running
      {"~notes.tmp", false},                     // not a converter's name
      {"~out.tlc.12x.tmp", false},
      {"out.tlc." + dead + ".tmp", false},
  };
  for (const Case& c : cases) std::ofstream(Host(c.name)) << "part";
  ASSERT_EQ(File2Tlc("C:\\scan.tif", "C:\\out.tlc").exitCode, 0);
  for (const Case& c : cases) EXPECT_EQ(fs::exists(Host(c.name)), !c.removed) << c.name;
}
