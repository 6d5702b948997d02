#include "tools/juxsim/image.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace juxsim {

namespace {

constexpr int kMaxSide = 200000;
constexpr size_t kMaxBytes = size_t{512} << 20;
constexpr long kMaxNumber = 999999999;  // nine digits: far past any side, within a long

bool Allocate(Bitmap* image, long width, long height, std::string* error) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    *error = "image size " + std::to_string(width) + "x" + std::to_string(height) +
             " is out of range";
    return false;
  }
  image->width = static_cast<int>(width);
  image->height = static_cast<int>(height);
  image->rowBytes = (static_cast<size_t>(width) + 7) / 8;
  if (image->rowBytes * static_cast<size_t>(height) > kMaxBytes) {
    *error = "image is too large";
    return false;
  }
  image->bits.assign(image->rowBytes * static_cast<size_t>(height), 0);
  return true;
}

// ---- PBM -------------------------------------------------------------------

// Skips white space and comments; false at the end of the data.
bool SkipSpace(const std::string& data, size_t* pos) {
  while (*pos < data.size()) {
    const char c = data[*pos];
    if (c == '#') {
      while (*pos < data.size() && data[*pos] != '\n') ++*pos;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++*pos;
    } else {
      return true;
    }
  }
  return false;
}

bool ReadNumber(const std::string& data, size_t* pos, long* value) {
  if (!SkipSpace(data, pos) || data[*pos] < '0' || data[*pos] > '9') return false;
  *value = 0;
  // Every digit is read, so that the next number starts after this one. A
  // value past the largest side is refused by Allocate, which names it; only
  // an absurd one stops at nine digits.
  for (; *pos < data.size() && data[*pos] >= '0' && data[*pos] <= '9'; ++*pos)
    *value = std::min<long>(*value * 10 + (data[*pos] - '0'), kMaxNumber);
  return true;
}

bool LoadPbm(const std::string& data, Bitmap* image, std::string* error) {
  const bool raw = data[1] == '4';
  size_t pos = 2;
  long width = 0, height = 0;
  if (!ReadNumber(data, &pos, &width) || !ReadNumber(data, &pos, &height)) {
    *error = "damaged PBM header";
    return false;
  }
  if (!Allocate(image, width, height, error)) return false;
  if (raw) {
    ++pos;  // the single white-space character after the height
    if (pos > data.size() || data.size() - pos < image->bits.size()) {
      *error = "PBM image data is cut short";
      return false;
    }
    std::memcpy(image->bits.data(), data.data() + pos, image->bits.size());
    return true;
  }
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      if (!SkipSpace(data, &pos) || (data[pos] != '0' && data[pos] != '1')) {
        *error = "PBM image data is cut short or damaged";
        return false;
      }
      if (data[pos++] == '1') image->bits[y * image->rowBytes + x / 8] |= 0x80 >> (x % 8);
    }
  }
  return true;
}

// ---- TIFF ------------------------------------------------------------------

std::string tiffError;

void CaptureTiffError(const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  if (tiffError.empty()) tiffError = (module != nullptr ? std::string(module) + ": " : "") + text;
}

bool LoadTiff(const std::string& path, Bitmap* image, std::string* error) {
  tiffError.clear();
  TIFFSetErrorHandler(CaptureTiffError);
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) {
    *error = "not a readable TIFF file" + (tiffError.empty() ? "" : " (" + tiffError + ")");
    return false;
  }
  uint32_t width = 0, height = 0;
  uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISWHITE;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  bool ok = false;
  if (bits != 1 || samples != 1) {
    *error = "not a 1-bit TIFF image (" + std::to_string(bits) + " bits, " +
             std::to_string(samples) + " samples per pixel)";
  } else if (TIFFIsTiled(tif)) {
    *error = "tiled TIFF images are not supported";
  } else if (Allocate(image, width, height, error)) {
    ok = true;
    std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(tif)));
    for (uint32_t y = 0; ok && y < height; ++y) {
      if (line.size() < image->rowBytes || TIFFReadScanline(tif, line.data(), y) < 0) {
        *error = "damaged TIFF image data" + (tiffError.empty() ? "" : " (" + tiffError + ")");
        ok = false;
        break;
      }
      uint8_t* row = &image->bits[y * image->rowBytes];
      std::memcpy(row, line.data(), image->rowBytes);
      // Black is 1 in the delivered data; a min-is-black image is turned over.
      if (photometric == PHOTOMETRIC_MINISBLACK)
        for (size_t i = 0; i < image->rowBytes; ++i) row[i] = static_cast<uint8_t>(~row[i]);
    }
    // Bits past the width are padding: keep them white.
    if (ok && image->width % 8 != 0) {
      const uint8_t mask = static_cast<uint8_t>(0xFF << (8 - image->width % 8));
      for (int y = 0; y < image->height; ++y) image->bits[(y + 1) * image->rowBytes - 1] &= mask;
    }
  }
  TIFFClose(tif);
  return ok;
}

// ---- Drawing ---------------------------------------------------------------

void Set(Bitmap* b, int x, int y) {
  if (x >= 0 && y >= 0 && x < b->width && y < b->height)
    b->bits[static_cast<size_t>(y) * b->rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
}

void FillRect(Bitmap* b, int x0, int y0, int x1, int y1) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) Set(b, x, y);
}

void Frame(Bitmap* b, int x0, int y0, int x1, int y1, int t) {
  FillRect(b, x0, y0, x1, y0 + t);
  FillRect(b, x0, y1 - t, x1, y1);
  FillRect(b, x0, y0, x0 + t, y1);
  FillRect(b, x1 - t, y0, x1, y1);
}

void Ring(Bitmap* b, int cx, int cy, int r, int t) {
  for (int y = cy - r; y <= cy + r; ++y)
    for (int x = cx - r; x <= cx + r; ++x) {
      const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (d2 <= r * r && d2 >= (r - t) * (r - t)) Set(b, x, y);
    }
}

void Line(Bitmap* b, int x0, int y0, int x1, int y1, int t) {
  const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
  for (int i = 0; i <= steps; ++i) {
    const int x = x0 + (x1 - x0) * i / std::max(steps, 1);
    const int y = y0 + (y1 - y0) * i / std::max(steps, 1);
    FillRect(b, x, y, x + t, y + t);
  }
}

}  // namespace

bool LoadImage(const std::string& path, Bitmap* image, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot read " + path;
    return false;
  }
  char magic[4] = {};
  file.read(magic, 4);
  std::string detail;
  bool ok = false;
  if (magic[0] == 'P' && (magic[1] == '1' || magic[1] == '4')) {
    file.seekg(0);
    const std::string data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ok = LoadPbm(data, image, &detail);
  } else if ((magic[0] == 'I' && magic[1] == 'I') || (magic[0] == 'M' && magic[1] == 'M')) {
    ok = LoadTiff(path, image, &detail);
  } else {
    detail = "not a PBM (P1, P4) or 1-bit TIFF image";
  }
  if (!ok) *error = path + ": " + detail;
  return ok;
}

Bitmap SampleDrawing() {
  Bitmap b;
  std::string unused;
  Allocate(&b, 4680, 6614, &unused);
  Frame(&b, 80, 80, b.width - 80, b.height - 80, 16);
  // Grid of the drawing sheet, every 25 mm.
  for (int x = 400; x < b.width - 100; x += 394) FillRect(&b, x, 100, x + 2, b.height - 100);
  for (int y = 400; y < b.height - 100; y += 394) FillRect(&b, 100, y, b.width - 100, y + 2);
  // A part: a plate with holes and a centre line.
  Frame(&b, 700, 900, 3900, 3300, 10);
  for (int i = 0; i < 4; ++i) Ring(&b, 1100 + i * 800, 1300, 180, 8);
  Ring(&b, 2300, 2400, 600, 12);
  Line(&b, 600, 2400, 4000, 2400, 3);
  Line(&b, 2300, 800, 2300, 3400, 3);
  Line(&b, 700, 3300, 3900, 900, 4);
  // Hatched section.
  Frame(&b, 700, 3700, 3900, 4700, 10);
  for (int x = 700; x < 3900; x += 60) Line(&b, x, 4690, std::min(x + 990, 3890), 3710, 2);
  // Title block in the lower right corner.
  const int tx = b.width - 1900, ty = b.height - 900;
  Frame(&b, tx, ty, b.width - 96, b.height - 96, 10);
  for (int y = ty + 200; y < b.height - 100; y += 200) FillRect(&b, tx, y, b.width - 96, y + 4);
  FillRect(&b, tx + 700, ty, tx + 704, b.height - 96);
  return b;
}

bool WritePbm(const std::string& path, const Bitmap& image, std::string* error) {
  const std::string temp = path + ".part";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file << "P4\n# juxsim sample drawing\n" << image.width << " " << image.height << "\n";
    file.write(reinterpret_cast<const char*>(image.bits.data()),
               static_cast<std::streamsize>(image.bits.size()));
    if (!file.flush()) {
      *error = "cannot write " + path;
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path;
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

void PackBits(const uint8_t* row, size_t size, std::vector<uint8_t>* out) {
  size_t i = 0;
  while (i < size) {
    // A run of equal bytes?
    size_t run = 1;
    while (i + run < size && run < 128 && row[i + run] == row[i]) ++run;
    if (run >= 2) {
      out->push_back(static_cast<uint8_t>(1 - static_cast<int>(run)));
      out->push_back(row[i]);
      i += run;
      continue;
    }
    // Literal bytes up to the next run of two or more.
    size_t lit = 1;
    while (i + lit < size && lit < 128 &&
           !(i + lit + 1 < size && row[i + lit] == row[i + lit + 1]))
      ++lit;
    out->push_back(static_cast<uint8_t>(lit - 1));
    out->insert(out->end(), row + i, row + i + lit);
    i += lit;
  }
}

}  // namespace juxsim
