#include "tools/converters/bitimage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

namespace conv {
namespace {

// Byte with its bit order reversed.
struct ReverseTable {
  uint8_t value[256];
  ReverseTable() {
    for (int i = 0; i < 256; ++i) {
      uint8_t r = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) r |= static_cast<uint8_t>(0x80 >> b);
      value[i] = r;
    }
  }
};
const ReverseTable kReverse;

// Transposes an 8x8 bit block held one row per byte (row 0 in the high byte).
uint64_t Transpose8(uint64_t x) {
  uint64_t t;
  t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
  x = x ^ t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
  x = x ^ t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
  x = x ^ t ^ (t << 28);
  return x;
}

// Rows become columns: pixel (x, y) moves to (y, x).
BitImage Transpose(const BitImage& src) {
  BitImage dst(src.height, src.width);
  for (uint32_t y0 = 0; y0 < src.height; y0 += 8) {
    const uint32_t rows = std::min<uint32_t>(8, src.height - y0);
    const size_t dstByte = y0 / 8;
    for (size_t bx = 0; bx < src.stride; ++bx) {
      uint64_t block = 0;
      for (uint32_t i = 0; i < rows; ++i)
        block |= static_cast<uint64_t>(src.Row(y0 + i)[bx]) << (56 - 8 * i);
      if (block == 0) continue;  // white blocks stay white
      block = Transpose8(block);
      const uint32_t x0 = static_cast<uint32_t>(bx * 8);
      const uint32_t cols = std::min<uint32_t>(8, src.width - x0);
      for (uint32_t j = 0; j < cols; ++j)
        dst.Row(x0 + j)[dstByte] = static_cast<uint8_t>(block >> (56 - 8 * j));
    }
  }
  return dst;
}

void MirrorLeftRight(BitImage& image) {
  const unsigned pad = static_cast<unsigned>(image.stride * 8 - image.width);
  for (uint32_t y = 0; y < image.height; ++y) {
    uint8_t* row = image.Row(y);
    std::reverse(row, row + image.stride);
    for (size_t i = 0; i < image.stride; ++i) row[i] = kReverse.value[row[i]];
    if (pad == 0) continue;
    // The pad bits are now in front: move the row left by their number.
    for (size_t i = 0; i + 1 < image.stride; ++i)
      row[i] = static_cast<uint8_t>((row[i] << pad) | (row[i + 1] >> (8 - pad)));
    row[image.stride - 1] = static_cast<uint8_t>(row[image.stride - 1] << pad);
  }
}

void FlipTopBottom(BitImage& image) {
  for (uint32_t y = 0, z = image.height ? image.height - 1 : 0; y < z; ++y, --z)
    std::swap_ranges(image.Row(y), image.Row(y) + image.stride, image.Row(z));
}

// For every source index, the target index it falls into when `from`
// source pixels make `to` target pixels.
std::vector<uint32_t> ScaleMap(uint32_t sourceSize, uint32_t from, uint32_t to) {
  std::vector<uint32_t> map(sourceSize);
  for (uint32_t s = 0; s < sourceSize; ++s)
    map[s] = static_cast<uint32_t>(static_cast<uint64_t>(s) * to / from);
  return map;
}

}  // namespace

BitImage::BitImage(uint32_t w, uint32_t h)
    : width(w), height(h), stride(StrideFor(w)), bits(stride * h, 0) {}

void BitImage::Set(uint32_t x, uint32_t y, bool black) {
  uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
  if (black)
    Row(y)[x >> 3] |= mask;
  else
    Row(y)[x >> 3] &= static_cast<uint8_t>(~mask);
}

void BitImage::ClearPadBits() {
  const unsigned pad = static_cast<unsigned>(stride * 8 - width);
  if (pad == 0) return;
  const uint8_t keep = static_cast<uint8_t>(0xFF << pad);
  for (uint32_t y = 0; y < height; ++y) Row(y)[stride - 1] &= keep;
}

uint64_t CountSetBits(const uint8_t* data, size_t bytes) {
  uint64_t count = 0;
  size_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    count += static_cast<uint64_t>(std::popcount(word));
  }
  for (; i < bytes; ++i) count += static_cast<uint64_t>(std::popcount(data[i]));
  return count;
}

uint64_t CountBlack(const BitImage& image) {
  return CountSetBits(image.bits.data(), image.bits.size());
}

void Invert(BitImage& image) {
  for (uint8_t& b : image.bits) b = static_cast<uint8_t>(~b);
  image.ClearPadBits();
}

BitImage Orient(BitImage image, int rotationCode) {
  // Quarter turns clockwise; a turn of 90 is transpose + mirror, 270 is
  // transpose + flip, 180 is flip + mirror. A requested mirror cancels or
  // adds the final left-right mirror.
  bool mirror = (rotationCode & 4) != 0;
  switch (rotationCode & 3) {
    case 1:
      image = Transpose(image);
      mirror = !mirror;
      break;
    case 2:
      FlipTopBottom(image);
      mirror = !mirror;
      break;
    case 3:
      image = Transpose(image);
      FlipTopBottom(image);
      break;
    default:
      break;
  }
  if (mirror) MirrorLeftRight(image);
  return image;
}

BitImage Reduce(const BitImage& src, uint32_t from, uint32_t to) {
  if (to >= from || src.width == 0 || src.height == 0) return src;
  const std::vector<uint32_t> xmap = ScaleMap(src.width, from, to);
  const std::vector<uint32_t> ymap = ScaleMap(src.height, from, to);
  BitImage dst(xmap.back() + 1, ymap.back() + 1);
  std::vector<uint8_t> merged(src.stride);
  uint32_t sy = 0;
  for (uint32_t dy = 0; dy < dst.height; ++dy) {
    // OR together the source rows of this target row, then map the black
    // pixels of the merged row to their target columns.
    std::fill(merged.begin(), merged.end(), 0);
    bool any = false;
    for (; sy < src.height && ymap[sy] == dy; ++sy) {
      const uint8_t* row = src.Row(sy);
      for (size_t i = 0; i < src.stride; ++i) merged[i] |= row[i];
      any = true;
    }
    if (!any) continue;
    uint8_t* out = dst.Row(dy);
    for (size_t bx = 0; bx < src.stride; ++bx) {
      uint8_t b = merged[bx];
      while (b) {
        const int bit = std::countl_zero(b);
        const uint32_t dx = xmap[bx * 8 + static_cast<uint32_t>(bit)];
        out[dx >> 3] |= static_cast<uint8_t>(0x80 >> (dx & 7));
        b = static_cast<uint8_t>(b & ~(0x80 >> bit));
      }
    }
  }
  return dst;
}

GreyImage MakeView(const BitImage& image, uint32_t maxWidth, uint32_t maxHeight) {
  GreyImage view;
  if (image.width == 0 || image.height == 0 || maxWidth == 0 || maxHeight == 0) return view;
  const uint32_t block = std::max({1u, (image.width + maxWidth - 1) / maxWidth,
                                   (image.height + maxHeight - 1) / maxHeight});
  view.width = (image.width + block - 1) / block;
  view.height = (image.height + block - 1) / block;
  view.pixels.assign(static_cast<size_t>(view.width) * view.height, 255);
  std::vector<uint32_t> counts(view.width);
  for (uint32_t vy = 0; vy < view.height; ++vy) {
    std::fill(counts.begin(), counts.end(), 0);
    const uint32_t y0 = vy * block, y1 = std::min(image.height, y0 + block);
    for (uint32_t y = y0; y < y1; ++y) {
      const uint8_t* row = image.Row(y);
      for (size_t bx = 0; bx < image.stride; ++bx) {
        const uint8_t b = row[bx];
        if (b == 0) continue;
        const uint32_t x0 = static_cast<uint32_t>(bx * 8);
        const uint32_t first = x0 / block, last = (x0 + 7) / block;
        if (first == last) {
          counts[first] += static_cast<uint32_t>(std::popcount(b));
        } else {  // the byte spans blocks; its set bits all lie inside the image
          for (int bit = 0; bit < 8; ++bit)
            if (b & (0x80 >> bit)) ++counts[(x0 + static_cast<uint32_t>(bit)) / block];
        }
      }
    }
    for (uint32_t vx = 0; vx < view.width; ++vx) {
      const uint32_t x0 = vx * block, x1 = std::min(image.width, x0 + block);
      const double share = static_cast<double>(counts[vx]) / ((x1 - x0) * double(y1 - y0));
      view.pixels[static_cast<size_t>(vy) * view.width + vx] =
          static_cast<uint8_t>(std::lround(255.0 * (1.0 - std::sqrt(share))));
    }
  }
  return view;
}

}  // namespace conv
