// Reading drawings: every file the station writes decodes to the scanned
// pixels; files that cannot be shown fail with a message naming them.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "tests/converters/testdata.h"
#include "tests/converters/tiffref.h"
#include "tests/viewer/support/drawing_files.h"
#include "tools/converters/cmdline.h"
#include "tools/converters/formats.h"
#include "tools/converters/tiffio.h"
#include "tools/converters/tlc.h"
#include "tools/viewer/canvas.h"
#include "tools/viewer/drawing.h"

namespace fs = std::filesystem;
using viewertest::Files;

namespace {

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

viewer::Drawing Load(const fs::path& p, const viewer::LoadProgress& progress = {}) {
  return viewer::LoadDrawing(p.string(), p.filename().string(), progress);
}

TEST(ViewerDrawing, EveryStationFormatDecodesToTheScannedPixels) {
  const auto& f = Files();
  const double black = 100.0 * static_cast<double>(conv::CountBlack(f.source)) /
                       (double(f.source.width) * f.source.height);
  const struct {
    std::string file, format;
  } cases[] = {{"TLC", "TLC"},           {"TLC without view", "TLC"}, {"TIFF G4", "TIFF"},
               {"TIFF PackBits", "TIFF"}, {"TIFF uncompressed", "TIFF"}, {"PNG", "PNG"},
               {"PDF", "PDF"},           {"TIFF G4 white 1", "TIFF"}, {"TIFF G4 strips", "TIFF"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const viewer::Drawing d = Load(f[c.file]);
    EXPECT_EQ(viewertest::Differences(d, f.source), "");
    EXPECT_EQ(d.info.format.toStdString(), c.format);
    EXPECT_EQ(d.info.dpi, 100u);
    ASSERT_TRUE(d.info.blackShare.has_value());
    EXPECT_NEAR(*d.info.blackShare, black, 1e-9);
    QRect corner(0, 0, 1, 1);
    const QImage pixels = d.rows ? viewer::MonoPart(d, corner) : d.levels[0];
    EXPECT_EQ(qGray(pixels.color(1)), 0);  // colour 1 is black
  }
}

// The window's parts of the full pixels, wherever they lie: a drawing read
// from a Group 4 stream keeps no level 0 and decodes its rows again from the
// place kept above them; one read from rows of pixels draws them from its
// level 0.
TEST(ViewerDrawing, AnyPartOfThePixelsIsTheScannedOne) {
  const auto& f = Files();
  const struct {
    std::string file;
    bool levelZero;
  } files[] = {{"TLC", false},           {"PDF", false},           {"TIFF G4", false},
               {"TIFF G4 white 1", false}, {"TIFF G4 strips", true}, {"TIFF PackBits", true}};
  const QRect parts[] = {{0, 0, 827, 1169},   {197, 255, 300, 2}, {700, 256, 200, 600},
                         {13, 1000, 900, 169}, {826, 1168, 1, 1}, {64, 511, 64, 3}};
  for (const auto& c : files) {
    const viewer::Drawing d = Load(f[c.file]);
    EXPECT_EQ(d.levels[0].isNull(), !c.levelZero) << c.file;
    for (const QRect want : parts) {
      SCOPED_TRACE(c.file + " at " + std::to_string(want.x()) + "," + std::to_string(want.y()));
      QRect part = want;
      const QImage got = viewer::MonoPart(d, part);
      EXPECT_EQ(part.left() % 64, 0);
      const QRect inside = want & QRect(0, 0, 827, 1169);
      ASSERT_TRUE(part.contains(inside));
      ASSERT_EQ(got.size(), part.size());
      int wrong = 0;
      for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
          wrong += (got.pixelIndex(x - part.left(), y - part.top()) == 1) !=
                   f.source.Pixel(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
      EXPECT_EQ(wrong, 0);
    }
  }
}

TEST(ViewerDrawing, PixelsEqualTheConvertersOwnDecoding) {
  const auto& f = Files();
  // The TLC's stream as the converters decode it.
  const std::string tlcBytes = Slurp(f["TLC"]);
  const std::span<const uint8_t> tlcSpan(reinterpret_cast<const uint8_t*>(tlcBytes.data()),
                                         tlcBytes.size());
  const conv::Tlc tlc = conv::ParseTlc(tlcSpan, "VIEW.TLC");
  const conv::BitImage fromTlc =
      convtest::DecodeG4(tlc.g4.data(), tlc.g4.size(), tlc.header.width, tlc.header.height, "VIEW.TLC");
  EXPECT_EQ(viewertest::Differences(Load(f["TLC"]), fromTlc), "");
  // The Group 4 TIFF as the converters read it.
  const std::string tiffBytes = Slurp(f["TIFF G4"]);
  const convtest::ScanImage fromTiff = convtest::ReadBitonalTiff(
      {reinterpret_cast<const uint8_t*>(tiffBytes.data()), tiffBytes.size()}, "G4.TIF");
  EXPECT_EQ(viewertest::Differences(Load(f["TIFF G4"]), fromTiff.image), "");
}

TEST(ViewerDrawing, LevelsHalveDownToTheSmallestAndStayGrey) {
  const viewer::Drawing d = Load(Files()["TLC"]);  // 827 x 1169
  ASSERT_EQ(d.levels.size(), 3u);
  EXPECT_EQ(d.levels[1].size(), QSize(414, 585));
  EXPECT_EQ(d.levels[2].size(), QSize(207, 293));
  for (size_t k = 1; k < d.levels.size(); ++k)
    EXPECT_EQ(d.levels[k].format(), QImage::Format_Grayscale8) << k;
  // A fully black 2 x 2 square is black in level 1, a white one white.
  conv::BitImage square(1030, 4);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 2; ++x) square.Set(x, y, true);
  const fs::path p = Files().dir / "SQUARE.TIF";
  convtest::WriteBytes(p.string(), conv::TiffPackBits(square, 200));
  const viewer::Drawing s = Load(p);
  ASSERT_GE(s.levels.size(), 2u);
  EXPECT_EQ(qGray(s.levels[1].pixel(0, 0)), 0);
  EXPECT_EQ(qGray(s.levels[1].pixel(1, 0)), 255);
  EXPECT_EQ(viewer::HalveGrey(s.levels[1]).pixel(0, 0), qRgb(191, 191, 191));  // one black of four
}

// A drawing wider than twice the loaded level's bound: level 1 is left to
// the window, which makes any part of it (and of any level) from level 0 the
// same as the whole level would be.
TEST(ViewerDrawing, FinerLevelsAreMadeForThePartShown) {
  const conv::BitImage image = convtest::NoisyDrawing(2 * viewer::kLoadedLevelSide + 905, 333, 7);
  const fs::path p = Files().dir / "WIDE.TIF";
  convtest::WriteBytes(p.string(), conv::TiffPackBits(image, 200));
  const viewer::Drawing d = Load(p);
  fs::remove(p);
  ASSERT_GE(d.levels.size(), 3u);
  EXPECT_TRUE(d.levels[1].isNull());
  ASSERT_FALSE(d.levels[2].isNull());
  EXPECT_EQ(d.levels[2].size(), QSize((image.width + 3) / 4, (333 + 3) / 4));
  QRect whole(0, 0, 1 << 20, 1 << 20);
  EXPECT_EQ(viewer::GreyPart(d, 2, whole), d.levels[2]);
  for (int k : {1, 2, 3}) {
    QRect all(0, 0, 1 << 20, 1 << 20);
    const QImage full = viewer::GreyPart(d, k, all);
    for (const QRect want : {QRect(0, 0, 10, 10), QRect(33, 7, 101, 20), QRect(301, 3, 517, 999)}) {
      SCOPED_TRACE(std::to_string(k) + " at " + std::to_string(want.x()));
      QRect part = want;
      const QImage got = viewer::GreyPart(d, k, part);
      EXPECT_LE(part.left(), want.left());
      EXPECT_EQ(got, full.copy(part));
    }
  }
  // Each grey pixel of level 1 from the black of its 2 x 2 square.
  QRect part(0, 0, 200, 150);
  const QImage level1 = viewer::GreyPart(d, 1, part);
  const int grey[] = {255, 128, 75, 34, 0};  // 255 (1 - sqrt(n / 4))
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x) {
      const int n = image.Pixel(2 * x, 2 * y) + image.Pixel(2 * x + 1, 2 * y) +
                    image.Pixel(2 * x, 2 * y + 1) + image.Pixel(2 * x + 1, 2 * y + 1);
      ASSERT_EQ(qGray(level1.pixel(x, y)), grey[n]) << x << "," << y;
    }
}

TEST(ViewerDrawing, ViewPictureComesFirstElsePreviewsGrowWithTheDecoding) {
  const auto& f = Files();
  struct Seen {
    std::vector<QSize> previews;
    int startedAtPreview = -1;
  };
  auto watch = [](Seen& seen) {
    viewer::LoadProgress p;
    p.started = [&seen](const viewer::DrawingInfo&) {
      seen.startedAtPreview = static_cast<int>(seen.previews.size());
    };
    p.preview = [&seen](const QImage& img) { seen.previews.push_back(img.size()); };
    return p;
  };
  Seen withView, without;
  Load(f["TLC"], watch(withView));
  Load(f["TLC without view"], watch(without));
  // file2tlc -M 300,300 keeps a view picture of at most 300 x 300.
  ASSERT_EQ(withView.previews.size(), 1u);
  EXPECT_LE(withView.previews[0].height(), 300);
  EXPECT_EQ(withView.startedAtPreview, 0);  // the size is told first
  EXPECT_GT(without.previews.size(), 10u);
  EXPECT_EQ(without.startedAtPreview, 0);
  // A load quicker than the time asked for shows no part decoded so far; a
  // file's own view picture is shown all the same.
  Seen quick, quickWithView;
  viewer::LoadProgress later = watch(quick), laterWithView = watch(quickWithView);
  later.previewAfterMs = laterWithView.previewAfterMs = 60000;
  Load(f["TLC without view"], later);
  Load(f["TLC"], laterWithView);
  EXPECT_TRUE(quick.previews.empty());
  EXPECT_EQ(quickWithView.previews.size(), 1u);
}

TEST(ViewerDrawing, CancelledLoadStops) {
  viewer::LoadProgress p;
  int polls = 0;
  p.cancelled = [&polls] { return ++polls > 2; };
  EXPECT_THROW(Load(Files()["TIFF G4"], p), viewer::LoadCancelled);
  EXPECT_EQ(polls, 3);
}

TEST(ViewerDrawing, FilesThatCannotBeShownFailWithTheirName) {
  const auto& f = Files();
  const std::string tlc = Slurp(f["TLC without view"]);
  const std::string pdf = Slurp(f["PDF"]);
  const std::string png = Slurp(f["PNG"]);
  std::string damaged = tlc;
  for (size_t i = 140; i < 240 && i < damaged.size(); ++i) damaged[i] = '\xFF';
  std::string noCcitt = pdf;
  noCcitt.replace(noCcitt.find("/CCITTFaxDecode"), 15, "/FlateDecode   ");
  std::string indirect = pdf;
  const size_t len = indirect.find("/Length", indirect.find("/CCITTFaxDecode"));
  indirect.replace(len, 8, "/Length 9 0 R %");
  const struct {
    std::string name, bytes, says;
  } cases[] = {
      {"EMPTY.TLC", "", "the file is empty"},
      {"LETTER.TXT", "Dear operator,\n", "not a drawing the viewer can show"},
      {"SHORT.TLC", tlc.substr(0, tlc.size() / 2), "SHORT.TLC"},
      {"DAMAGED.TLC", damaged, "DAMAGED.TLC"},
      {"HEADER.TLC", tlc.substr(0, 60), "SHORT"},
      {"NOG4.PDF", noCcitt, "no Group 4 page image"},
      {"INDIRECT.PDF", indirect, "no length given"},
      {"CUT.PDF", pdf.substr(0, pdf.size() / 2), "cut short"},
      {"CUT.PNG", png.substr(0, png.size() / 2), "CUT.PNG"},
      {"HUGE.TLC", "Virozoro Size 1000000,900000 Density 400 Data 10" + std::string(90, ' '),
       "too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path p = f.dir / c.name;
    viewertest::WriteFile(p, c.bytes);
    try {
      Load(p);
      ADD_FAILURE() << "loaded";
    } catch (const conv::ConvertError& e) {
      const std::string what = e.what();
      EXPECT_EQ(what.rfind(c.name + ": ", 0), 0u) << what;
      if (c.says != "SHORT") {
        EXPECT_NE(what.find(c.says), std::string::npos) << what;
      }
    }
    fs::remove(p);
  }
  EXPECT_THROW(Load(f.dir / "MISSING.TLC"), conv::ConvertError);
  EXPECT_THROW(Load(f.dir), conv::ConvertError);  // a folder
}

TEST(ViewerDrawing, PdfPageGivesSizeResolutionAndStream) {
  const conv::BitImage image = convtest::Drawing(300, 200, 3);
  convtest::G4Encoder encoder(image.width, image.height);
  for (uint32_t y = 0; y < image.height; ++y) encoder.AddRow(image.Row(y));
  const std::span<const uint8_t> g4 = encoder.Finish();
  const struct {
    uint32_t dpi;
  } cases[] = {{100}, {400}, {300}};
  for (const auto& c : cases) {
    const auto pdf = conv::PdfFromG4(g4, image.width, image.height, c.dpi);
    const viewer::PdfImage found = viewer::FindPdfG4Image(pdf, "A.PDF");
    EXPECT_EQ(found.width, 300u);
    EXPECT_EQ(found.height, 200u);
    EXPECT_EQ(found.dpi, c.dpi);
    EXPECT_FALSE(found.blackIs1);
    EXPECT_TRUE(std::equal(found.g4.begin(), found.g4.end(), g4.begin(), g4.end()));
  }
  // Pages beyond 200 inches carry a user unit.
  const auto big = conv::PdfFromG4(g4, 300000, 200, 1000);
  EXPECT_EQ(viewer::FindPdfG4Image(big, "B.PDF").dpi, 1000u);
}

TEST(ViewerPlace, LevelForScale) {
  const struct {
    double scale;
    int levels, want;
  } cases[] = {{4, 6, 0}, {1, 6, 0},   {0.75, 6, 0}, {0.5, 6, 1}, {0.3, 6, 2}, {0.36, 6, 1},
               {0.25, 6, 2}, {0.01, 6, 5}, {0.01, 1, 0}, {0.2, 2, 1}};
  for (const auto& c : cases)
    EXPECT_EQ(viewer::LevelFor(c.scale, c.levels), c.want) << c.scale << " " << c.levels;
}

TEST(ViewerPlace, ZoomKeepsThePointUnderTheAnchor) {
  const QSizeF window(800, 600);
  const struct {
    double scale, factor, minScale;
    QPointF anchor;
    double wantScale;
  } cases[] = {
      {0.1, 2, 0.05, {100, 100}, 0.2},
      {0.1, 0.25, 0.05, {700, 50}, 0.05},  // not below the fitted scale
      {20, 4, 0.05, {400, 300}, viewer::kMaxScale},
      {1, 1.25, 0.05, {0, 599}, 1.25},
  };
  for (const auto& c : cases) {
    viewer::ViewPlace place{c.scale, QPointF(5000, 7000)};
    const QPointF before = place.ToDrawing(c.anchor, window);
    place.ZoomAt(c.factor, c.anchor, window, c.minScale);
    EXPECT_DOUBLE_EQ(place.scale, c.wantScale);
    const QPointF after = place.ToDrawing(c.anchor, window);
    EXPECT_NEAR(after.x(), before.x(), 1e-6);
    EXPECT_NEAR(after.y(), before.y(), 1e-6);
  }
  EXPECT_DOUBLE_EQ(viewer::ViewPlace::FitScale({14400, 19200}, {800, 600}), 600.0 / 19200);
  EXPECT_DOUBLE_EQ(viewer::ViewPlace::FitScale({19200, 1000}, {800, 600}), 800.0 / 19200);
}

}  // namespace
