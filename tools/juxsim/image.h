// The documents that the simulated scanner delivers: 1-bit images read from
// PBM (P1, P4) or TIFF files, the sample drawing, and PackBits line packing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace juxsim {

// A 1-bit image, rows MSB first, 1 = black (as the card delivers them).
struct Bitmap {
  int width = 0;
  int height = 0;
  size_t rowBytes = 0;
  std::vector<uint8_t> bits;

  bool Black(int x, int y) const {
    return (bits[static_cast<size_t>(y) * rowBytes + x / 8] >> (7 - x % 8)) & 1;
  }
};

// Reads a PBM or a 1-bit TIFF file; false with `error` set (one line) when the
// file is missing, of another kind, or damaged.
bool LoadImage(const std::string& path, Bitmap* image, std::string* error);

// The sample drawing: a bordered, gridded drawing with a title block, 4680
// pixels (297 mm at 400 dpi) wide and 6614 lines (420 mm) long.
Bitmap SampleDrawing();
bool WritePbm(const std::string& path, const Bitmap& image, std::string* error);

// Appends one row packed with PackBits (the TIFF flavour: runs of 2 to 128
// equal bytes, literals of 1 to 128 bytes).
void PackBits(const uint8_t* row, size_t size, std::vector<uint8_t>* out);

}  // namespace juxsim
