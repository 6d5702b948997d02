// The converters' own Group 4 coder, the check's black count and the turned
// images, each checked against libtiff (coder and decoder) and the
// whole-image Orient.
#include "tools/converters/g4.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/converters/testdata.h"
#include "tests/converters/tiffref.h"
#include "tools/converters/bitimage.h"
#include "tools/converters/cmdline.h"
#include "tools/converters/g4verify.h"
#include "tools/converters/tiffio.h"

namespace {

using conv::BitImage;

BitImage Noise(uint32_t w, uint32_t h, uint32_t seed, int blackPercent = 50) {
  BitImage img(w, h);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> d(0, 99);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) img.Set(x, y, d(rng) < blackPercent);
  return img;
}

BitImage Filled(uint32_t w, uint32_t h) {
  BitImage img(w, h);
  conv::Invert(img);
  return img;
}

// Long runs of both colours: make-up codes up to and past 2560.
BitImage Bars(uint32_t w, uint32_t h) {
  BitImage img(w, h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) img.Set(x, y, ((x + 7 * y) / (1 + y * 397 % 3000)) & 1);
  return img;
}

std::vector<uint8_t> LibtiffStream(const BitImage& img) {
  convtest::G4Encoder ref(img.width, img.height);
  for (uint32_t y = 0; y < img.height; ++y) ref.AddRow(img.Row(y));
  const std::span<const uint8_t> s = ref.Finish();
  return {s.begin(), s.end()};
}

std::vector<uint8_t> OwnStream(const BitImage& img) {
  conv::g4::Encoder enc(img.width, img.height);
  for (uint32_t y = 0; y < img.height; ++y) enc.AddRow(img.Row(y));
  const std::span<const uint8_t> s = enc.Finish();
  return {s.begin(), s.end()};
}

bool SamePixels(const BitImage& a, const BitImage& b) {
  return a.width == b.width && a.height == b.height && a.bits == b.bits;
}

struct Picture {
  std::string name;
  BitImage image;
};

std::vector<Picture> Pictures() {
  std::vector<Picture> p;
  for (uint32_t w = 1; w <= 70; ++w) p.push_back({"noise w" + std::to_string(w), Noise(w, 9, w)});
  for (uint32_t w : {63u, 64u, 65u, 127u, 128u, 129u, 191u, 192u, 193u}) {
    p.push_back({"noise w" + std::to_string(w) + " h1", Noise(w, 1, w)});
    p.push_back({"sparse noise w" + std::to_string(w), Noise(w, 40, w + 1, 3)});
    p.push_back({"blank w" + std::to_string(w), BitImage(w, 5)});
    p.push_back({"black w" + std::to_string(w), Filled(w, 5)});
  }
  p.push_back({"blank 1x1", BitImage(1, 1)});
  p.push_back({"black 1x1", Filled(1, 1)});
  p.push_back({"black 6000x3", Filled(6000, 3)});
  p.push_back({"bars 9000x40", Bars(9000, 40)});
  p.push_back({"drawing", convtest::Drawing(1440, 1920)});
  p.push_back({"noisy drawing", convtest::NoisyDrawing(1440, 1920)});
  p.push_back({"noisy drawing odd", convtest::NoisyDrawing(1001, 777, 5)});
  return p;
}

// The coder writes libtiff's stream byte for byte, and libtiff's decoder
// gives back the very pixels.
TEST(G4Encoder, SameStreamAsLibtiffAndDecodesToTheInput) {
  for (const Picture& p : Pictures()) {
    SCOPED_TRACE(p.name);
    const std::vector<uint8_t> own = OwnStream(p.image);
    EXPECT_EQ(own, LibtiffStream(p.image));
    const BitImage back =
        convtest::DecodeG4(own.data(), own.size(), p.image.width, p.image.height, p.name);
    EXPECT_TRUE(SamePixels(back, p.image));
  }
}

// A sink gets the same stream in pieces; change lists code as rows do.
TEST(G4Encoder, SinkAndChangeListsGiveTheSameStream) {
  const BitImage img = convtest::NoisyDrawing(3000, 900);
  const std::vector<uint8_t> whole = OwnStream(img);
  std::vector<uint8_t> pieces;
  size_t calls = 0;
  conv::g4::Encoder sunk(img.width, img.height, [&](const uint8_t* d, size_t n) {
    pieces.insert(pieces.end(), d, d + n);
    ++calls;
  });
  conv::g4::Encoder listed(img.width, img.height);
  std::vector<uint32_t> changes;
  for (uint32_t y = 0; y < img.height; ++y) {
    sunk.AddRow(img.Row(y));
    conv::g4::FindChanges(img.Row(y), img.width, changes);
    listed.AddChanges(changes);
  }
  EXPECT_TRUE(sunk.Finish().empty());
  EXPECT_EQ(pieces, whole);
  EXPECT_GT(calls, 1u);
  const std::span<const uint8_t> l = listed.Finish();
  EXPECT_EQ(std::vector<uint8_t>(l.begin(), l.end()), whole);
}

TEST(G4Encoder, WrongRowCountIsAnError) {
  conv::g4::Encoder few(8, 2);
  const uint8_t row[1] = {0x18};
  few.AddRow(row);
  EXPECT_THROW(few.Finish(), conv::ConvertError);
  conv::g4::Encoder many(8, 1);
  many.AddRow(row);
  EXPECT_THROW(many.AddRow(row), conv::ConvertError);
}

TEST(G4FindChanges, PositionsOfColourChanges) {
  struct Case {
    std::vector<uint8_t> row;
    uint32_t width;
    std::vector<uint32_t> changes;
  };
  const Case cases[] = {
      {{0x00}, 8, {}},
      {{0xFF}, 8, {0}},
      {{0x81}, 8, {0, 1, 7}},
      {{0x7F}, 5, {1}},                 // pad bits set are not pixels
      {{0x00, 0x01}, 16, {15}},         // ends black: no change at the end
      {{0, 0, 0, 0, 0, 0, 0, 1, 0x80}, 65, {63}},  // a run across a word end
      {{0, 0, 0, 0, 0, 0, 0, 0, 0x80}, 65, {64}},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, 72, {0, 64}},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> got;
    conv::g4::FindChanges(c.row.data(), c.width, got);
    EXPECT_EQ(got, c.changes) << "width " << c.width;
  }
}

// Rows whose pad bits (past the last pixel, in the last byte) are set, as a
// row read from a file may have them: the changes are those of the pixels
// alone, whatever the width and wherever the row's last word ends.
TEST(G4FindChanges, SetPadBitsAreNoPixels) {
  const uint32_t widths[] = {1, 3, 7, 9, 57, 60, 63, 65, 71, 119, 127, 129, 190, 255};
  const uint8_t pads[] = {0xFF, 0x55, 0xAA};  // which pad bits are set
  std::mt19937 rng(7);
  for (const uint32_t width : widths) {
    for (int pattern = 0; pattern < 9; ++pattern) {
      const size_t bytes = (width + 7) / 8;
      std::vector<uint8_t> row(bytes + 8, 0xA5);  // bytes past the row are never read as pixels
      for (size_t i = 0; i < bytes; ++i)
        row[i] = pattern % 3 == 0 ? 0x00 : pattern % 3 == 1 ? 0xFF : static_cast<uint8_t>(rng());
      const uint8_t pad = static_cast<uint8_t>(0xFF >> (width - 8 * (bytes - 1)));
      row[bytes - 1] = static_cast<uint8_t>((row[bytes - 1] & ~pad) | (pad & pads[pattern / 3]));
      std::vector<uint32_t> expected;
      bool before = false;
      for (uint32_t x = 0; x < width; ++x) {
        const bool black = (row[x / 8] >> (7 - x % 8)) & 1;
        if (black != before) expected.push_back(x);
        before = black;
      }
      std::vector<uint32_t> got;
      conv::g4::FindChanges(row.data(), width, got);
      EXPECT_EQ(got, expected) << "width " << width << ", pattern " << pattern;
    }
  }
}

// The count that the exports' check takes from the decoded changes equals
// the pixels' count, whatever the picture.
TEST(G4CheckCount, CountsThePixelsOfTheStream) {
  for (const Picture& p : Pictures()) {
    SCOPED_TRACE(p.name);
    const std::vector<uint8_t> s = LibtiffStream(p.image);
    EXPECT_EQ(conv::VerifyG4(s.data(), s.size(), p.image.width, p.image.height, p.name),
              conv::CountBlack(p.image));
  }
}

// The decoder hands out each line as the change list of the coded row, with
// the same black count as the check, and no line past the last.
TEST(G4Decoder, LinesAreTheChangesOfTheCodedRows) {
  for (const Picture& p : Pictures()) {
    SCOPED_TRACE(p.name);
    const std::vector<uint8_t> s = LibtiffStream(p.image);
    conv::g4::Decoder decoder(s.data(), s.size(), p.image.width, p.image.height, p.name);
    std::vector<uint32_t> want;
    for (uint32_t y = 0; y < p.image.height; ++y) {
      conv::g4::FindChanges(p.image.Row(y), p.image.width, want);
      const std::span<const uint32_t> got = decoder.NextLine();
      ASSERT_EQ(std::vector<uint32_t>(got.begin(), got.end()), want) << "line " << y;
    }
    decoder.Finish();
    EXPECT_EQ(decoder.black(), conv::CountBlack(p.image));
    EXPECT_THROW(decoder.NextLine(), conv::ConvertError);
  }
}

// A decoder of a copy of the stream, resumed where another stood, goes on
// with the same lines from there.
TEST(G4Decoder, ResumesWhereAnotherStood) {
  for (const Picture& p : Pictures()) {
    SCOPED_TRACE(p.name);
    const std::vector<uint8_t> s = LibtiffStream(p.image);
    const std::vector<uint8_t> copy = s;
    conv::g4::Decoder first(s.data(), s.size(), p.image.width, p.image.height, p.name);
    std::vector<conv::g4::Decoder::Position> places;
    for (uint32_t y = 0; y < p.image.height; ++y) {
      if (y % 7 == 0 || y + 1 == p.image.height) places.push_back(first.Here());
      first.NextLine();
    }
    std::vector<uint32_t> want;
    for (const auto& place : places) {
      conv::g4::Decoder again(copy.data(), copy.size(), p.image.width, p.image.height, p.name);
      again.Resume(place);
      ASSERT_EQ(again.line(), place.line);
      for (uint32_t y = place.line; y < std::min(place.line + 9, p.image.height); ++y) {
        conv::g4::FindChanges(p.image.Row(y), p.image.width, want);
        const std::span<const uint32_t> got = again.NextLine();
        ASSERT_EQ(std::vector<uint32_t>(got.begin(), got.end()), want) << "line " << y;
      }
    }
    conv::g4::Decoder::Position beyond = places.back();
    beyond.offset = s.size() + 1;
    conv::g4::Decoder other(s.data(), s.size(), p.image.width, p.image.height, p.name);
    EXPECT_THROW(other.Resume(beyond), conv::ConvertError);
  }
}

// Every damage is a ConvertError, never a count (nor a crash).
TEST(G4CheckCount, DamagedStreamsAreErrors) {
  const BitImage img = convtest::Drawing(700, 500);
  const std::vector<uint8_t> s = LibtiffStream(img);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t height;
  };
  std::vector<uint8_t> garbage(s.size(), 0);
  std::mt19937 rng(9);
  for (uint8_t& b : garbage) b = static_cast<uint8_t>(rng());
  const Case cases[] = {
      {"empty", {}, 500},
      {"cut in half", {s.begin(), s.begin() + static_cast<long>(s.size() / 2)}, 500},
      {"cut before the end mark", {s.begin(), s.end() - 4}, 500},
      {"more lines than coded", s, 501},
      {"random bytes", garbage, 500},
      {"zeros", std::vector<uint8_t>(64, 0), 500},
  };
  for (const Case& c : cases)
    EXPECT_THROW(conv::VerifyG4(c.bytes.data(), c.bytes.size(), 700, c.height, "x"),
                 conv::ConvertError)
        << c.name;
  // Single flipped bits: an error or a count, and never a crash.
  for (size_t bit = 0; bit < s.size() * 8; bit += 97) {
    std::vector<uint8_t> d = s;
    d[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
    try {
      conv::VerifyG4(d.data(), d.size(), 700, 500, "x");
    } catch (const conv::ConvertError&) {
    }
  }
}

// The turned image pixel by pixel: the quarter turn clockwise (code 1),
// the half turn (2), the quarter turn back (3), each mirrored left to right
// after the turn with 4 added.
BitImage TurnedByPixels(const BitImage& src, int code, bool invert) {
  const uint32_t w = src.width, h = src.height;
  const bool quarter = code & 1;
  BitImage dst(quarter ? h : w, quarter ? w : h);
  for (uint32_t y = 0; y < dst.height; ++y)
    for (uint32_t x = 0; x < dst.width; ++x) {
      const uint32_t u = code & 4 ? dst.width - 1 - x : x;  // before the mirror
      bool black = false;
      switch (code & 3) {
        case 0: black = src.Pixel(u, y); break;
        case 1: black = src.Pixel(y, h - 1 - u); break;
        case 2: black = src.Pixel(w - 1 - u, h - 1 - y); break;
        case 3: black = src.Pixel(w - 1 - y, u); break;
      }
      dst.Set(x, y, black != invert);
    }
  return dst;
}

// Every rotation code, with and without inverting: the rows handed out are
// those of the image turned pixel by pixel (and of Orient), and coded they
// are libtiff's stream of the turned image.
TEST(G4OrientedImage, RowsOfEveryTurnMatchOrient) {
  std::vector<Picture> pictures;
  pictures.push_back({"noisy drawing", convtest::NoisyDrawing(333, 270)});
  pictures.push_back({"noise 129x65", Noise(129, 65, 4)});
  pictures.push_back({"sparse noise 777x90", Noise(777, 90, 8, 2)});  // bands of 256 columns
  pictures.push_back({"noise 512x3", Noise(512, 3, 9)});
  pictures.push_back({"noise 257x33", Noise(257, 33, 10)});  // a last band of one pixel
  pictures.push_back({"noise 320x17", Noise(320, 17, 11)});  // of one whole word
  pictures.push_back({"noise 64x64", Noise(64, 64, 5)});
  pictures.push_back({"one row", Noise(200, 1, 6)});
  pictures.push_back({"one column", Noise(1, 200, 7)});
  pictures.push_back({"black 70x130", Filled(70, 130)});
  pictures.push_back({"blank 65x63", BitImage(65, 63)});
  for (const Picture& p : pictures)
    for (int code = 0; code < 8; ++code)
      for (bool invert : {false, true}) {
        SCOPED_TRACE(p.name + " code " + std::to_string(code) + (invert ? " inverted" : ""));
        BitImage expected = p.image;
        if (invert) conv::Invert(expected);
        expected = conv::Orient(std::move(expected), code);
        ASSERT_TRUE(SamePixels(expected, TurnedByPixels(p.image, code, invert)));

        conv::g4::OrientedImage turned(p.image.width, p.image.height, code, invert);
        for (uint32_t y = 0; y < p.image.height; ++y) turned.AddRow(p.image.Row(y));
        ASSERT_EQ(turned.width(), expected.width);
        ASSERT_EQ(turned.height(), expected.height);
        BitImage got(turned.width(), turned.height());
        conv::g4::Encoder enc(turned.width(), turned.height());
        uint32_t y = 0;
        std::vector<uint64_t> words(conv::g4::RowWords(got.width));
        turned.Emit([&](std::span<const uint32_t> changes) {
          conv::g4::DrawRow(changes, got.width, words.data());
          std::memcpy(got.Row(y++), words.data(), got.stride);
          enc.AddChanges(changes);
        });
        ASSERT_EQ(y, expected.height);
        EXPECT_TRUE(SamePixels(got, expected));
        const std::span<const uint8_t> s = enc.Finish();
        EXPECT_EQ(std::vector<uint8_t>(s.begin(), s.end()), LibtiffStream(expected));
      }
}

TEST(G4OrientedImage, MissingRowsAreAnError) {
  conv::g4::OrientedImage turned(16, 3, 1, false);
  const uint8_t row[2] = {0xF0, 0x0F};
  turned.AddRow(row);
  EXPECT_THROW(turned.Emit([](std::span<const uint32_t>) {}), conv::ConvertError);
}

}  // namespace

// The view picture from change lists (the turned images' way) is the one
// from the rows' pixels, whatever the block and its groups of merged rows.
TEST(ViewBuilder, ChangeListsGiveThePictureOfTheRows) {
  const uint32_t bounds[][2] = {{1000, 1000}, {40, 30}, {25, 25}, {7, 9}, {3, 2}, {1, 1}};
  for (const Picture& p : Pictures()) {
    for (const auto& bound : bounds) {
      SCOPED_TRACE(p.name + " in " + std::to_string(bound[0]) + " x " + std::to_string(bound[1]));
      const BitImage& img = p.image;
      conv::ViewBuilder fromRows(img.width, img.height, bound[0], bound[1]);
      conv::ViewBuilder fromChanges(img.width, img.height, bound[0], bound[1]);
      std::vector<uint32_t> changes;
      for (uint32_t y = 0; y < img.height; ++y) {
        fromRows.AddRow(img.Row(y));
        conv::g4::FindChanges(img.Row(y), img.width, changes);
        fromChanges.AddChanges(changes);
      }
      const conv::GreyImage want = fromRows.Finish(), got = fromChanges.Finish();
      EXPECT_EQ(got.width, want.width);
      EXPECT_EQ(got.height, want.height);
      EXPECT_EQ(got.pixels, want.pixels);
    }
  }
}
