#include "tests/converters/testdata.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "tools/converters/g4.h"

namespace convtest {
namespace {

using conv::BitImage;

void FillRect(BitImage& img, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  x0 = std::max<int64_t>(x0, 0);
  y0 = std::max<int64_t>(y0, 0);
  x1 = std::min<int64_t>(x1, img.width);
  y1 = std::min<int64_t>(y1, img.height);
  for (int64_t y = y0; y < y1; ++y)
    for (int64_t x = x0; x < x1; ++x)
      img.Set(static_cast<uint32_t>(x), static_cast<uint32_t>(y), true);
}

void Line(BitImage& img, double x0, double y0, double x1, double y1, int thick) {
  const double steps = std::max({std::abs(x1 - x0), std::abs(y1 - y0), 1.0});
  for (int i = 0; i <= static_cast<int>(steps); ++i) {
    const int64_t x = std::llround(x0 + (x1 - x0) * i / steps) - thick / 2;
    const int64_t y = std::llround(y0 + (y1 - y0) * i / steps) - thick / 2;
    FillRect(img, x, y, x + thick, y + thick);
  }
}

void Frame(BitImage& img, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int thick) {
  FillRect(img, x0, y0, x1, y0 + thick);
  FillRect(img, x0, y1 - thick, x1, y1);
  FillRect(img, x0, y0, x0 + thick, y1);
  FillRect(img, x1 - thick, y0, x1, y1);
}

void Ring(BitImage& img, double cx, double cy, double r, int thick) {
  const double ro = r + thick / 2.0, ri = r - thick / 2.0;
  for (int64_t dy = -static_cast<int64_t>(ro); dy <= static_cast<int64_t>(ro); ++dy) {
    const double xo = std::sqrt(std::max(0.0, ro * ro - double(dy * dy)));
    const int64_t y = std::llround(cy) + dy;
    if (std::abs(double(dy)) < ri) {
      const double xi = std::sqrt(ri * ri - double(dy * dy));
      FillRect(img, std::llround(cx - xo), y, std::llround(cx - xi) + 1, y + 1);
      FillRect(img, std::llround(cx + xi), y, std::llround(cx + xo) + 1, y + 1);
    } else {
      FillRect(img, std::llround(cx - xo), y, std::llround(cx + xo) + 1, y + 1);
    }
  }
}

// A line of lettering: each character a few strokes in its cell.
void Lettering(BitImage& img, std::mt19937& rng, double x, double y, int chars, double size,
               int stroke) {
  std::uniform_int_distribution<int> pick(0, 4);
  for (int c = 0; c < chars; ++c, x += size * 0.8) {
    if (pick(rng) == 0 && c % 6 == 5) continue;  // word gap
    const double w = size * 0.6, h = size;
    for (int s = 0; s < 3; ++s) {
      switch (pick(rng)) {
        case 0:
          Line(img, x, y, x, y + h, stroke);
          break;
        case 1:
          Line(img, x, y, x + w, y, stroke);
          break;
        case 2:
          Line(img, x, y + h, x + w, y + h, stroke);
          break;
        case 3:
          Line(img, x, y + h, x + w, y, stroke);
          break;
        default:
          Line(img, x + w, y, x + w, y + h, stroke);
          break;
      }
    }
  }
}

}  // namespace

BitImage Drawing(uint32_t width, uint32_t height, uint32_t seed) {
  BitImage img(width, height);
  std::mt19937 rng(seed);
  const double s = width / 14400.0;  // 1 at 36 inches and 400 dpi
  auto px = [&](double v) { return std::max(1, static_cast<int>(std::lround(v * s))); };
  const double W = width, H = height;

  Frame(img, px(200), px(200), width - px(200), height - px(200), px(16));
  Frame(img, px(280), px(280), width - px(280), height - px(280), px(6));
  // Title block in the lower right corner.
  const double tx = W - px(3200), ty = H - px(1400);
  Frame(img, std::llround(tx), std::llround(ty), width - px(280), height - px(280), px(8));
  for (int i = 1; i < 6; ++i) Line(img, tx, ty + i * px(190), W - px(280), ty + i * px(190), px(3));
  for (int i = 0; i < 6; ++i)
    Lettering(img, rng, tx + px(60), ty + i * px(190) + px(50), 30, px(90), px(7));

  // Views on a grid: outlines with centre lines, holes, a hatched section,
  // a dimension line with its figure and a few lines of notes.
  std::uniform_real_distribution<double> jitter(0.0, 1.0);
  const double cellW = (W - px(800)) / 5, cellH = (H - px(2400)) / 5;
  for (int row = 0; row < 5; ++row)
    for (int col = 0; col < 5; ++col) {
      const double x = px(500) + col * cellW + jitter(rng) * px(200);
      const double y = px(700) + row * cellH + jitter(rng) * px(200);
      const double w = cellW * (0.55 + 0.2 * jitter(rng)), h = cellH * (0.45 + 0.2 * jitter(rng));
      Frame(img, std::llround(x), std::llround(y), std::llround(x + w), std::llround(y + h), px(9));
      Line(img, x - px(100), y + h / 2, x + w + px(100), y + h / 2, px(3));
      Line(img, x + w / 2, y - px(100), x + w / 2, y + h + px(100), px(3));
      Ring(img, x + w / 2, y + h / 2, std::min(w, h) / 4, px(7));
      Ring(img, x + w / 5, y + h / 5, std::min(w, h) / 12, px(5));
      Ring(img, x + 4 * w / 5, y + h / 5, std::min(w, h) / 12, px(5));
      // Hatching at 45 degrees inside the lower left quarter.
      const double qw = w / 2, qh = h / 2;
      for (double d = px(50); d < qw + qh; d += px(50)) {
        const double sx = x + std::min(d, qw), sy = y + h - std::max(0.0, d - qw);
        const double k = std::min(sx - x, sy - (y + qh));
        if (k > 0) Line(img, sx, sy, sx - k, sy - k, px(3));
      }
      Line(img, x, y - px(160), x + w, y - px(160), px(2));
      Lettering(img, rng, x + w / 2 - px(150), y - px(300), 5, px(80), px(6));
      for (int n = 0; n < 4; ++n)
        Lettering(img, rng, x, y + h + px(250) + n * px(140), static_cast<int>(w / px(72)), px(80),
                  px(6));
    }
  // Specks, as a scanner sees dust and paper grain.
  std::uniform_int_distribution<uint32_t> sxd(0, width - 1), syd(0, height - 1);
  for (uint64_t n = 0; n < uint64_t{width} * height / 40000; ++n) {
    const int64_t x = sxd(rng), y = syd(rng), size = 1 + x % 3;
    FillRect(img, x, y, x + size, y + size);
  }
  return img;
}

BitImage NoisyDrawing(uint32_t width, uint32_t height, uint32_t seed) {
  const BitImage clean = Drawing(width, height, seed);
  BitImage img = clean;
  std::mt19937 rng(seed + 1000);
  auto flip = [&](uint32_t x, uint32_t y) { img.Set(x, y, !clean.Pixel(x, y)); };
  // At every edge, across and along the rows, one of the two pixels on it
  // may take the other's colour: the edge moves there by a pixel.
  std::vector<uint32_t> changes;
  for (uint32_t y = 0; y < height; ++y) {
    conv::g4::FindChanges(clean.Row(y), width, changes);
    for (uint32_t c : changes) {
      const uint32_t r = rng() % 3;
      if (r == 0 && c > 0) flip(c - 1, y);
      if (r == 1) flip(c, y);
    }
    if (y == 0) continue;
    for (size_t i = 0; i < clean.stride; ++i)
      for (uint8_t d = clean.Row(y)[i] ^ clean.Row(y - 1)[i]; d; d &= d - 1) {
        const uint32_t x = static_cast<uint32_t>(8 * i + 7 - std::countr_zero(d));
        const uint32_t r = rng() % 3;
        if (r == 0) flip(x, y - 1);
        if (r == 1) flip(x, y);
      }
  }
  // Isolated specks, about one pixel in 3000.
  std::uniform_int_distribution<uint32_t> gap(0, 5999);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = gap(rng); x < width; x += 1 + gap(rng)) img.Set(x, y, !img.Pixel(x, y));
  return img;
}

std::vector<uint8_t> PackBitsLines(const BitImage& image) {
  std::vector<uint8_t> out;
  for (uint32_t y = 0; y < image.height; ++y) {
    const uint8_t* row = image.Row(y);
    const size_t n = image.stride;
    size_t i = 0;
    while (i < n) {
      size_t run = 1;
      while (i + run < n && run < 128 && row[i + run] == row[i]) ++run;
      if (run >= 3) {
        out.push_back(static_cast<uint8_t>(257 - run));
        out.push_back(row[i]);
        i += run;
        continue;
      }
      size_t lit = 0;  // literal bytes up to the next run of three
      while (i + lit < n && lit < 128 &&
             !(i + lit + 2 < n && row[i + lit] == row[i + lit + 1] &&
               row[i + lit] == row[i + lit + 2]))
        ++lit;
      lit = std::max<size_t>(lit, 1);
      out.push_back(static_cast<uint8_t>(lit - 1));
      out.insert(out.end(), row + i, row + i + lit);
      i += lit;
    }
  }
  return out;
}

std::vector<uint8_t> ScanFileBytes(const BitImage& image, uint32_t extraLines) {
  std::vector<uint8_t> file(186, 0);
  auto put16 = [&](size_t at, uint16_t v) {
    file[at] = v & 0xFF;
    file[at + 1] = v >> 8;
  };
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  file[0] = file[1] = 'I';
  put16(2, 42);
  put32(4, 8);
  put16(8, 13);
  struct Entry {
    uint16_t tag, type;
    uint32_t value;
  };
  const Entry entries[13] = {{254, 4, 0},   {256, 4, image.width}, {257, 4, image.height},
                             {258, 3, 1},   {259, 3, 32773},       {262, 3, 0},
                             {273, 4, 186}, {278, 4, 1257},        {279, 4, 77854},
                             {282, 5, 170}, {283, 5, 178},         {284, 3, 1},
                             {281, 3, 1}};
  for (int i = 0; i < 13; ++i) {
    const size_t at = 10 + 12 * i;
    put16(at, entries[i].tag);
    put16(at + 2, entries[i].type);
    put32(at + 4, 1);
    put32(at + 8, entries[i].value);
  }
  put32(170, 400);
  put32(174, 1);
  put32(178, 400);
  put32(182, 1);
  const std::vector<uint8_t> data = PackBitsLines(image);
  file.insert(file.end(), data.begin(), data.end());
  for (uint32_t y = 0; y < extraLines; ++y)
    for (size_t left = image.stride; left > 0; left -= std::min<size_t>(left, 128)) {
      file.push_back(static_cast<uint8_t>(257 - std::min<size_t>(left, 128)));  // white run
      file.push_back(0);
    }
  return file;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

}  // namespace convtest
