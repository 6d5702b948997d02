#include "tools/converters/bitimage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#endif

#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__)
#define JUX_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#define JUX_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define JUX_POPCOUNT_CLONES
#define JUX_VECTOR_CLONES
#endif

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

// Rows become columns: pixel (x, y) moves to (y, x); with `bottomUp` the
// source rows are taken from the bottom, pixel (x, y) moving to (H-1-y, x),
// which is the quarter turn clockwise.
BitImage Transpose(const BitImage& src, bool bottomUp) {
  BitImage dst(src.height, src.width);  // zeroed: white blocks need no writing
  auto sourceRow = [&](uint32_t i) { return src.Row(bottomUp ? src.height - 1 - i : i); };
  // Eight source bytes across by eight rows down at a time: reads one word
  // of each row and writes 64 target rows one byte further each round.
  for (size_t bx0 = 0; bx0 < src.stride; bx0 += 8) {
    const size_t bytes = std::min<size_t>(8, src.stride - bx0);
    for (uint32_t y0 = 0; y0 < src.height; y0 += 8) {
      const uint32_t rows = std::min<uint32_t>(8, src.height - y0);
      uint8_t tile[8][8] = {};
      uint64_t any = 0;
      for (uint32_t i = 0; i < rows; ++i) {
        std::memcpy(tile[i], sourceRow(y0 + i) + bx0, bytes);
        uint64_t word;
        std::memcpy(&word, tile[i], 8);
        any |= word;
      }
      if (any == 0) continue;
      const size_t dstByte = y0 / 8;
      for (size_t k = 0; k < bytes; ++k) {
        uint64_t block = 0;
        for (uint32_t i = 0; i < 8; ++i) block |= static_cast<uint64_t>(tile[i][k]) << (56 - 8 * i);
        if (block == 0) continue;
        block = Transpose8(block);
        const uint32_t x0 = static_cast<uint32_t>((bx0 + k) * 8);
        const uint32_t cols = std::min<uint32_t>(8, src.width - x0);
        for (uint32_t j = 0; j < cols; ++j)
          dst.Row(x0 + j)[dstByte] = static_cast<uint8_t>(block >> (56 - 8 * j));
      }
    }
  }
  return dst;
}

void MirrorLeftRight(BitImage& image) {
  for (uint32_t y = 0; y < image.height; ++y) MirrorRow(image.Row(y), image.width);
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

namespace {
// From this size on, pixel memory is mapped from the system directly.
constexpr size_t kMappedPixels = size_t{4} << 20;
}  // namespace

template <typename T>
void* PixelAllocator<T>::AllocatePixels(size_t bytes) {
#ifdef __linux__
  if (bytes >= kMappedPixels) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    madvise(p, bytes, MADV_HUGEPAGE);  // a hint; without huge pages it works the same
    return p;
  }
#endif
  void* p = std::calloc(bytes ? bytes : 1, 1);
  if (!p) throw std::bad_alloc();
  return p;
}

template <typename T>
void PixelAllocator<T>::FreePixels(void* p, size_t bytes) {
#ifdef __linux__
  if (bytes >= kMappedPixels) {
    munmap(p, bytes);
    return;
  }
#endif
  (void)bytes;
  std::free(p);
}

template struct PixelAllocator<uint8_t>;

BitImage::BitImage(uint32_t w, uint32_t h)
    : width(w), height(h), stride(StrideFor(w)), bits(stride * h) {}

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

namespace {

// Set bits of a 64-bit word. The counting loops are built twice on x86-64
// Linux, with and without the popcount instruction, and the loader picks the
// one the processor runs; elsewhere the compiler's own count is used.
inline uint64_t Ones(uint64_t x) { return static_cast<uint64_t>(__builtin_popcountll(x)); }

}  // namespace

JUX_POPCOUNT_CLONES uint64_t CountSetBits(const uint8_t* data, size_t bytes) {
  uint64_t count = 0;
  size_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    if (word) count += Ones(word);
  }
  for (; i < bytes; ++i) count += Ones(data[i]);
  return count;
}

namespace {

// dst |= src over n bytes; vectorised whatever the build's optimisation level.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("tree-vectorize")))
#endif
JUX_VECTOR_CLONES void
OrInto(uint8_t* __restrict dst, const uint8_t* __restrict src, size_t n) {
  for (size_t i = 0; i < n; ++i) dst[i] |= src[i];
}

// Eight row bytes as one word, the leftmost pixel in the high bit.
inline uint64_t LoadBigEndian(const uint8_t* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  return word;
}

}  // namespace

uint64_t CountBlack(const BitImage& image) {
  return CountSetBits(image.bits.data(), image.bits.size());
}

void MirrorRow(uint8_t* row, uint32_t width) {
  const size_t stride = StrideFor(width);
  const unsigned pad = static_cast<unsigned>(stride * 8 - width);
  std::reverse(row, row + stride);
  for (size_t i = 0; i < stride; ++i) row[i] = kReverse.value[row[i]];
  if (pad == 0) return;
  // The pad bits are now in front: move the row left by their number.
  for (size_t i = 0; i + 1 < stride; ++i)
    row[i] = static_cast<uint8_t>((row[i] << pad) | (row[i + 1] >> (8 - pad)));
  row[stride - 1] = static_cast<uint8_t>(row[stride - 1] << pad);
}

void InvertRow(uint8_t* row, uint32_t width) {
  const size_t stride = StrideFor(width);
  for (size_t i = 0; i < stride; ++i) row[i] = static_cast<uint8_t>(~row[i]);
  row[stride - 1] &= static_cast<uint8_t>(0xFF << (stride * 8 - width));
}

void Invert(BitImage& image) {
  for (uint8_t& b : image.bits) b = static_cast<uint8_t>(~b);
  image.ClearPadBits();
}

BitImage Orient(BitImage image, int rotationCode) {
  // Each of the eight is at most one transposition (bottom up for the quarter
  // turn clockwise), a row flip and a mirror:
  //   0 -       1 T(up)       2 F + M   3 T + F
  //   4 M       5 T           6 F       7 T(up) + F
  switch (rotationCode & 7) {
    case 1:
      return Transpose(image, true);
    case 2:
      FlipTopBottom(image);
      MirrorLeftRight(image);
      return image;
    case 3:
      image = Transpose(image, false);
      FlipTopBottom(image);
      return image;
    case 4:
      MirrorLeftRight(image);
      return image;
    case 5:
      return Transpose(image, false);
    case 6:
      FlipTopBottom(image);
      return image;
    case 7:
      image = Transpose(image, true);
      FlipTopBottom(image);
      return image;
    default:
      return image;
  }
}

RowReducer::RowReducer(uint32_t width, uint32_t height, uint32_t from, uint32_t to,
                       std::function<void(const uint8_t* row)> emit)
    : xmap_(ScaleMap(width, from, std::min(from, to))),
      ymap_(ScaleMap(height, from, std::min(from, to))),
      width_(xmap_.empty() ? 0 : xmap_.back() + 1),
      height_(ymap_.empty() ? 0 : ymap_.back() + 1),
      sourceStride_(StrideFor(width)),
      merged_(sourceStride_, 0),
      out_(StrideFor(width_), 0),
      emit_(std::move(emit)) {
  if (to <= from || width == 0 || height == 0) return;
  enlarge_ = true;
  from_ = from;
  to_ = to;
  auto first = [&](uint64_t s) { return static_cast<uint32_t>((s * to + from - 1) / from); };
  width_ = first(width);
  height_ = first(height);
  xfirst_.resize(size_t{width} + 1);
  for (uint32_t s = 0; s <= width; ++s) xfirst_[s] = first(s);
  out_.assign(StrideFor(width_), 0);
}

void RowReducer::AddRow(const uint8_t* row) {
  if (sy_ >= ymap_.size()) return;
  if (enlarge_) {
    // Each black source pixel becomes its run of target pixels; the row is
    // handed on once for every target row the source row covers.
    std::fill(out_.begin(), out_.end(), 0);
    for (size_t bx = 0; bx < sourceStride_; ++bx) {
      for (uint8_t b = row[bx]; b; b = static_cast<uint8_t>(b & (b - 1))) {
        const uint32_t sx =
            static_cast<uint32_t>(bx * 8) + 7u - static_cast<uint32_t>(std::countr_zero(b));
        for (uint32_t dx = xfirst_[sx]; dx < xfirst_[sx + 1]; ++dx)
          out_[dx >> 3] |= static_cast<uint8_t>(0x80 >> (dx & 7));
      }
    }
    ++sy_;
    const uint32_t end = static_cast<uint32_t>((uint64_t{sy_} * to_ + from_ - 1) / from_);
    for (; ty_ < end; ++ty_) emit_(out_.data());
    return;
  }
  // OR together the source rows of one target row ...
  OrInto(merged_.data(), row, sourceStride_);
  ++sy_;
  if (sy_ < ymap_.size() && ymap_[sy_] == ymap_[sy_ - 1]) return;
  // ... then map the black pixels of the merged row to their target columns.
  std::fill(out_.begin(), out_.end(), 0);
  for (size_t bx = 0; bx < sourceStride_; ++bx) {
    uint8_t b = merged_[bx];
    while (b) {
      const int bit = std::countl_zero(b);
      const uint32_t dx = xmap_[bx * 8 + static_cast<uint32_t>(bit)];
      out_[dx >> 3] |= static_cast<uint8_t>(0x80 >> (dx & 7));
      b = static_cast<uint8_t>(b & ~(0x80 >> bit));
    }
  }
  std::fill(merged_.begin(), merged_.end(), 0);
  emit_(out_.data());
}

ViewBuilder::ViewBuilder(uint32_t width, uint32_t height, uint32_t maxWidth, uint32_t maxHeight,
                         std::function<void(const uint8_t* greyRow)> emit)
    : width_(width), height_(height), block_(1), stride_(StrideFor(width)), emit_(std::move(emit)) {
  if (width == 0 || height == 0 || maxWidth == 0 || maxHeight == 0) {
    height_ = 0;  // nothing to show
    return;
  }
  block_ = std::max({1u, (width + maxWidth - 1) / maxWidth, (height + maxHeight - 1) / maxHeight});
  view_.width = (width + block_ - 1) / block_;
  view_.height = (height + block_ - 1) / block_;
  if (!emit_) view_.pixels.reserve(static_cast<size_t>(view_.width) * view_.height);
  greyRow_.resize(view_.width);
  groupRow_.resize(stride_);
  groupWords_.assign((stride_ + 7) / 8, 0);
  group_ = std::clamp<uint32_t>(block_ / 2, 1, 8);
  counts_.assign(view_.width, 0);
  // For every 64-pixel word of a row, the view columns it touches and the
  // mask of its pixels in each.
  const size_t words = (stride_ + 7) / 8;
  for (size_t wi = 0; wi < words; ++wi) {
    partStart_.push_back(static_cast<uint32_t>(parts_.size()));
    const uint64_t x0 = wi * 64, x1 = std::min<uint64_t>(x0 + 64, width) - 1;
    for (uint64_t b = x0 / block_; b <= x1 / block_; ++b) {
      const uint64_t lo = std::max(x0, b * block_) - x0;
      const uint64_t hi = std::min(x1, (b + 1) * block_ - 1) - x0;
      parts_.push_back({static_cast<uint32_t>(b), (~0ULL >> lo) & (~0ULL << (63 - hi))});
    }
  }
  partStart_.push_back(static_cast<uint32_t>(parts_.size()));
  tail_.resize(8);
}

// Defined before its first use: a function built in several versions must
// be declared so before it is called.
JUX_POPCOUNT_CLONES void ViewBuilder::CountRow(const uint8_t* row) {
  ++countedRows_;
  const size_t fullWords = stride_ / 8;
  for (size_t wi = 0; wi < partStart_.size() - 1; ++wi) {
    if (wi + 4 <= fullWords) {  // pass over white quickly, 256 pixels at a time
      uint64_t quad[4];
      std::memcpy(quad, row + wi * 8, sizeof quad);
      if ((quad[0] | quad[1] | quad[2] | quad[3]) == 0) {
        wi += 3;
        continue;
      }
    }
    uint64_t word;
    if (wi < fullWords) {
      word = LoadBigEndian(row + wi * 8);
    } else {  // the row's last bytes, padded with white
      std::fill(tail_.begin(), tail_.end(), 0);
      std::copy(row + wi * 8, row + stride_, tail_.begin());
      word = LoadBigEndian(tail_.data());
    }
    if (word == 0) continue;
    for (uint32_t p = partStart_[wi]; p < partStart_[wi + 1]; ++p)
      counts_[parts_[p].first] += static_cast<uint32_t>(Ones(word & parts_[p].second));
  }
}

void ViewBuilder::AddRow(const uint8_t* row) {
  if (y_ >= height_) return;
  ++y_;
  const bool blockEnds = y_ % block_ == 0 || y_ == height_;
  if (merged_ == 0 && (blockEnds || group_ == 1)) {
    CountRow(row);
  } else {
    if (merged_ == 0)
      std::copy_n(row, stride_, groupRow_.begin());
    else
      OrInto(groupRow_.data(), row, stride_);
    if (++merged_ == group_ || blockEnds) {
      CountRow(groupRow_.data());
      merged_ = 0;
    }
  }
  if (blockEnds) EmitBlockRow();
}

void ViewBuilder::CountRuns(std::span<const uint32_t> changes) {
  ++countedRows_;
  uint32_t* counts = counts_.data();
  const uint32_t b = block_;
  const size_t n = changes.size();
  for (size_t i = 0; i < n; i += 2) {
    // The black run [from, to): a row that ends black ends it at the width.
    const uint32_t from = changes[i], to = i + 1 < n ? changes[i + 1] : width_;
    const uint32_t first = from / b, last = (to - 1) / b;
    if (first == last) {
      counts[first] += to - from;
      continue;
    }
    counts[first] += (first + 1) * b - from;
    for (uint32_t x = first + 1; x < last; ++x) counts[x] += b;
    counts[last] += to - last * b;
  }
}

void ViewBuilder::AddChanges(std::span<const uint32_t> changes) {
  if (y_ >= height_) return;
  ++y_;
  const bool blockEnds = y_ % block_ == 0 || y_ == height_;
  if (merged_ == 0 && (blockEnds || group_ == 1)) {
    CountRuns(changes);
  } else {
    // The rows of a group merged by OR as AddRow merges them: each black
    // run set in the group's row, touching only the words it covers.
    uint64_t* w = groupWords_.data();
    auto put = [](uint64_t& word, uint64_t bits) {
      word |= std::endian::native == std::endian::little ? __builtin_bswap64(bits) : bits;
    };
    const size_t n = changes.size();
    for (size_t i = 0; i < n; i += 2) {
      const uint32_t from = changes[i], to = i + 1 < n ? changes[i + 1] : width_;
      const size_t fw = from / 64, lw = (to - 1) / 64;
      const uint64_t head = ~uint64_t{0} >> (from % 64);
      const uint64_t tail = ~uint64_t{0} << (63 - (to - 1) % 64);
      if (fw == lw) {
        put(w[fw], head & tail);
        continue;
      }
      put(w[fw], head);
      std::fill(w + fw + 1, w + lw, ~uint64_t{0});
      put(w[lw], tail);
    }
    if (++merged_ == group_ || blockEnds) {
      CountRow(reinterpret_cast<const uint8_t*>(w));
      std::fill(groupWords_.begin(), groupWords_.end(), 0);
      merged_ = 0;
    }
  }
  if (blockEnds) EmitBlockRow();
}

void ViewBuilder::EmitBlockRow() {
  const uint32_t rows = countedRows_;
  countedRows_ = 0;
  // Grey of each count for a whole block of this block row, computed once.
  const uint32_t full = block_ * rows;
  if (greyOfCount_.size() != full + 1) {
    greyOfCount_.resize(full + 1);
    for (uint32_t c = 0; c <= full; ++c)
      greyOfCount_[c] = static_cast<uint8_t>(255.0 * (1.0 - std::sqrt(double(c) / full)) + 0.5);
  }
  const uint32_t whole = width_ / block_;  // columns whose block is whole
  for (uint32_t vx = 0; vx < whole; ++vx) greyRow_[vx] = greyOfCount_[counts_[vx]];
  for (uint32_t vx = whole; vx < view_.width; ++vx) {  // the narrower last block
    const double share = static_cast<double>(counts_[vx]) / (double(width_ - vx * block_) * rows);
    greyRow_[vx] = static_cast<uint8_t>(255.0 * (1.0 - std::sqrt(share)) + 0.5);
  }
  if (emit_)
    emit_(greyRow_.data());
  else
    view_.pixels.insert(view_.pixels.end(), greyRow_.begin(), greyRow_.end());
  std::fill(counts_.begin(), counts_.end(), 0);
}

}  // namespace conv
