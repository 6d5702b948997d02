#include "tools/converters/g4.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "tools/converters/bitimage.h"
#include "tools/converters/cmdline.h"

namespace conv::g4 {
namespace {

// ---- Code tables --------------------------------------------------------

struct Code {
  uint16_t bits;
  uint8_t length;
};

// Terminating codes of runs 0-63, then make-up codes of 64-1728 (step 64).
constexpr Code kWhite[91] = {
    {0x35, 8},  {0x07, 6},  {0x07, 4},  {0x08, 4},  {0x0B, 4},  {0x0C, 4},  {0x0E, 4},
    {0x0F, 4},  {0x13, 5},  {0x14, 5},  {0x07, 5},  {0x08, 5},  {0x08, 6},  {0x03, 6},
    {0x34, 6},  {0x35, 6},  {0x2A, 6},  {0x2B, 6},  {0x27, 7},  {0x0C, 7},  {0x08, 7},
    {0x17, 7},  {0x03, 7},  {0x04, 7},  {0x28, 7},  {0x2B, 7},  {0x13, 7},  {0x24, 7},
    {0x18, 7},  {0x02, 8},  {0x03, 8},  {0x1A, 8},  {0x1B, 8},  {0x12, 8},  {0x13, 8},
    {0x14, 8},  {0x15, 8},  {0x16, 8},  {0x17, 8},  {0x28, 8},  {0x29, 8},  {0x2A, 8},
    {0x2B, 8},  {0x2C, 8},  {0x2D, 8},  {0x04, 8},  {0x05, 8},  {0x0A, 8},  {0x0B, 8},
    {0x52, 8},  {0x53, 8},  {0x54, 8},  {0x55, 8},  {0x24, 8},  {0x25, 8},  {0x58, 8},
    {0x59, 8},  {0x5A, 8},  {0x5B, 8},  {0x4A, 8},  {0x4B, 8},  {0x32, 8},  {0x33, 8},
    {0x34, 8},  // 63
    {0x1B, 5},  {0x12, 5},  {0x17, 6},  {0x37, 7},  {0x36, 8},  {0x37, 8},  {0x64, 8},
    {0x65, 8},  {0x68, 8},  {0x67, 8},  {0xCC, 9},  {0xCD, 9},  {0xD2, 9},  {0xD3, 9},
    {0xD4, 9},  {0xD5, 9},  {0xD6, 9},  {0xD7, 9},  {0xD8, 9},  {0xD9, 9},  {0xDA, 9},
    {0xDB, 9},  {0x98, 9},  {0x99, 9},  {0x9A, 9},  {0x18, 6},  {0x9B, 9},  // 1728
};
constexpr Code kBlack[91] = {
    {0x37, 10}, {0x02, 3},  {0x03, 2},  {0x02, 2},  {0x03, 3},  {0x03, 4},  {0x02, 4},
    {0x03, 5},  {0x05, 6},  {0x04, 6},  {0x04, 7},  {0x05, 7},  {0x07, 7},  {0x04, 8},
    {0x07, 8},  {0x18, 9},  {0x17, 10}, {0x18, 10}, {0x08, 10}, {0x67, 11}, {0x68, 11},
    {0x6C, 11}, {0x37, 11}, {0x28, 11}, {0x17, 11}, {0x18, 11}, {0xCA, 12}, {0xCB, 12},
    {0xCC, 12}, {0xCD, 12}, {0x68, 12}, {0x69, 12}, {0x6A, 12}, {0x6B, 12}, {0xD2, 12},
    {0xD3, 12}, {0xD4, 12}, {0xD5, 12}, {0xD6, 12}, {0xD7, 12}, {0x6C, 12}, {0x6D, 12},
    {0xDA, 12}, {0xDB, 12}, {0x54, 12}, {0x55, 12}, {0x56, 12}, {0x57, 12}, {0x64, 12},
    {0x65, 12}, {0x52, 12}, {0x53, 12}, {0x24, 12}, {0x37, 12}, {0x38, 12}, {0x27, 12},
    {0x28, 12}, {0x58, 12}, {0x59, 12}, {0x2B, 12}, {0x2C, 12}, {0x5A, 12}, {0x66, 12},
    {0x67, 12},  // 63
    {0x0F, 10}, {0xC8, 12}, {0xC9, 12}, {0x5B, 12}, {0x33, 12}, {0x34, 12}, {0x35, 12},
    {0x6C, 13}, {0x6D, 13}, {0x4A, 13}, {0x4B, 13}, {0x4C, 13}, {0x4D, 13}, {0x72, 13},
    {0x73, 13}, {0x74, 13}, {0x75, 13}, {0x76, 13}, {0x77, 13}, {0x52, 13}, {0x53, 13},
    {0x54, 13}, {0x55, 13}, {0x5A, 13}, {0x5B, 13}, {0x64, 13}, {0x65, 13},  // 1728
};
// Make-up codes of 1792-2560 (step 64), the same for both colours.
constexpr Code kLongMakeUp[13] = {
    {0x08, 11}, {0x0C, 11}, {0x0D, 11}, {0x12, 12}, {0x13, 12}, {0x14, 12}, {0x15, 12},
    {0x16, 12}, {0x17, 12}, {0x1C, 12}, {0x1D, 12}, {0x1E, 12}, {0x1F, 12},
};
// Make-up code of a multiple of 64 (64-2560).
Code MakeUp(uint32_t run, bool black) {
  const uint32_t i = run / 64;
  return i <= 27 ? (black ? kBlack : kWhite)[63 + i] : kLongMakeUp[i - 28];
}

constexpr Code kPass = {0x1, 4};
constexpr Code kHorizontal = {0x1, 3};
constexpr Code kEol = {0x1, 12};
// Vertical modes by a1 - b1 + 3: VL3 VL2 VL1 V0 VR1 VR2 VR3.
constexpr Code kVertical[7] = {{0x02, 7}, {0x02, 6}, {0x2, 3}, {0x1, 1},
                               {0x3, 3},  {0x03, 6}, {0x03, 7}};

uint64_t LoadBigEndian(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return std::endian::native == std::endian::little ? __builtin_bswap64(w) : w;
}

// The coder's bits on their way out: `acc` holds the newest `bits` of
// them, and every whole 32 go on at `at`, which has room for them.
struct BitWriter {
  uint64_t acc;
  unsigned bits;
  uint8_t* at;

  void Put(uint32_t code, unsigned length) {
    acc = (acc << length) | code;
    bits += length;
    if (bits < 32) return;
    bits -= 32;
    uint32_t word = static_cast<uint32_t>(acc >> bits);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
    std::memcpy(at, &word, 4);
    at += 4;
  }
  void Put(Code c) { Put(c.bits, c.length); }
  void PutRun(uint32_t run, bool black) {
    // Make-up codes as libtiff chooses them: 2560 while more than 2623 is
    // left, then one make-up code of the multiple of 64 below, then the
    // terminating code.
    for (; run >= 2624; run -= 2560) Put(kLongMakeUp[12]);
    if (run >= 64) {
      Put(MakeUp(run, black));
      run &= 63;
    }
    Put((black ? kBlack : kWhite)[run]);
  }
};

// The last word of a row of `width` pixels (a multiple of 64 or not) as
// it lies in memory, its pad bits clear whatever they were.
uint64_t LastWord(const uint8_t* row, uint32_t width) {
  const size_t first = (size_t{width} - 1) / 64 * 8, bytes = (size_t{width} + 7) / 8 - first;
  uint8_t tail[8] = {};
  std::memcpy(tail, row + first, bytes);
  if (width % 8) tail[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
  uint64_t w;
  std::memcpy(&w, tail, 8);
  return w;
}

// Three end marks after a row's changes: b1 and b2 always find an entry.
constexpr int kEndMarks = 3;

}  // namespace

// ---- Changing elements --------------------------------------------------

size_t FindChanges(const uint8_t* row, uint32_t width, uint32_t* out) {
  uint32_t* const first = out;
  const size_t bytes = (size_t{width} + 7) / 8;
  // Whole words of pixels only: a last word that holds pad bits goes the
  // masked way below, whatever those bits are.
  const size_t words = width / 64;
  uint64_t previous = 0;  // the last pixel seen
  auto scan = [&](uint64_t w, uint32_t base) {
    uint64_t t = w ^ ((w >> 1) | (previous << 63));
    previous = w & 1;
    while (t) {
      const int p = std::countl_zero(t);
      *out++ = base + static_cast<uint32_t>(p);
      t &= ~(uint64_t{1} << 63 >> p);
    }
  };
  for (size_t i = 0; i < words; ++i) {
    uint64_t raw;
    std::memcpy(&raw, row + 8 * i, 8);
    // Words all of the last pixel's colour hold no change (byte order does
    // not matter for that test).
    if (raw == (previous ? ~uint64_t{0} : 0)) continue;
    scan(LoadBigEndian(row + 8 * i), static_cast<uint32_t>(64 * i));
  }
  if (8 * words < bytes) {
    uint8_t tail[8] = {};
    std::memcpy(tail, row + 8 * words, bytes - 8 * words);
    uint64_t w = LoadBigEndian(tail);
    const unsigned valid = width - 64 * static_cast<unsigned>(words);
    w &= ~uint64_t{0} << (64 - valid);
    scan(w, static_cast<uint32_t>(64 * words));
  }
  // A row that ends black ends with a change at `width`: pixels past the
  // row are not part of it.
  if (out > first && out[-1] >= width) --out;
  return static_cast<size_t>(out - first);
}

void FindChanges(const uint8_t* row, uint32_t width, std::vector<uint32_t>& changes) {
  changes.resize(size_t{width} + 1);
  changes.resize(FindChanges(row, width, changes.data()));
}

size_t InvertChanges(std::span<const uint32_t> changes, uint32_t* out) {
  const bool atZero = !changes.empty() && changes[0] == 0;
  uint32_t* p = out;
  if (!atZero) *p++ = 0;
  p = std::copy(changes.begin() + (atZero ? 1 : 0), changes.end(), p);
  return static_cast<size_t>(p - out);
}

void DrawRow(std::span<const uint32_t> changes, uint32_t width, uint64_t* w) {
  // One pass over the row's words, each built with the first pixel highest
  // and stored in byte order.
  auto store = [&](size_t k, uint64_t v) {
    w[k] = std::endian::native == std::endian::little ? __builtin_bswap64(v) : v;
  };
  const size_t words = RowWords(width);
  size_t k = 0;  // the word being built
  uint64_t acc = 0;
  for (size_t i = 0; i < changes.size(); i += 2) {
    const uint32_t from = changes[i], to = i + 1 < changes.size() ? changes[i + 1] : width;
    const size_t fw = from / 64, lw = (to - 1) / 64;
    const uint64_t head = ~uint64_t{0} >> (from % 64);
    const uint64_t tail = ~uint64_t{0} << (63 - (to - 1) % 64);
    if (fw != k) {
      store(k, acc);
      std::fill(w + k + 1, w + fw, 0);
      k = fw;
      acc = 0;
    }
    if (fw == lw) {
      acc |= head & tail;
      continue;
    }
    store(k, acc | head);
    std::fill(w + fw + 1, w + lw, ~uint64_t{0});
    k = lw;
    acc = tail;
  }
  store(k, acc);
  std::fill(w + k + 1, w + words, 0);
}

// ---- Encoder --------------------------------------------------------------

Encoder::Encoder(uint32_t width, uint32_t height, Sink sink)
    : width_(width),
      height_(height),
      ref_(size_t{width} + 1 + kEndMarks, width),  // the row above the first is white
      cur_(size_t{width} + 1 + kEndMarks),
      sink_(std::move(sink)) {
  out_.resize(sink_ ? (1 << 16) : std::max<size_t>(4096, (size_t{width} + 7) / 8 * height / 16));
}

void Encoder::AddRow(const uint8_t* row) {
  curCount_ = FindChanges(row, width_, cur_.data());
  CodeRow();
}

void Encoder::AddChanges(std::span<const uint32_t> changes) {
  if (changes.size() > width_)
    throw ConvertError("Group 4 coding failed: more changes than pixels in a row");
  std::copy(changes.begin(), changes.end(), cur_.begin());
  curCount_ = changes.size();
  CodeRow();
}

void Encoder::CodeRow() {
  if (y_++ >= height_) throw ConvertError("Group 4 coding failed: more rows than the image has");
  std::fill_n(cur_.begin() + static_cast<ptrdiff_t>(curCount_), kEndMarks, width_);
  // Room for the row's codes: at most a mode code per change of either row
  // (a horizontal one 3 + 2 x 13 bits), and the make-up codes of long runs.
  const size_t room = (curCount_ + refCount_ + 2) * 4 + width_ / 2560 * 4 + 16;
  if (out_.size() - used_ < room) out_.resize(std::max(out_.size() * 2, used_ + room));

  BitWriter out{acc_, bits_, out_.data() + used_};
  const int64_t w = width_;
  const uint32_t* a = cur_.data();
  const uint32_t* b = ref_.data();
  int64_t a0 = -1;  // before the row: the imaginary white pixel
  unsigned black = 0;
  size_t ia = 0, k = 0;  // a[ia] = a1; b[k] the first change of the row above right of a0
  for (;;) {
    // b1: the first change of the row above right of a0 to the colour
    // opposite a0's (even entries turn black), b2 the one after.
    while (b[k] <= a0) ++k;
    const size_t ib = k + ((k & 1) != black);
    const int64_t a1 = a[ia], b1 = b[ib], b2 = b[ib + 1];
    if (b2 < a1) {
      out.Put(kPass);
      a0 = b2;
    } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
      out.Put(kVertical[a1 - b1 + 3]);
      a0 = a1;
      ++ia;
      black ^= 1;
    } else {
      const int64_t a2 = a[ia + 1];
      const uint32_t first = static_cast<uint32_t>(a1 - std::max<int64_t>(a0, 0));
      const uint32_t second = static_cast<uint32_t>(a2 - a1);
      if (first < 64 && second < 64) {  // the mode and both runs at once: at most 23 bits
        const Code c1 = (black ? kBlack : kWhite)[first], c2 = (black ? kWhite : kBlack)[second];
        out.Put((((uint32_t{kHorizontal.bits} << c1.length) | c1.bits) << c2.length) | c2.bits,
                unsigned{kHorizontal.length} + c1.length + c2.length);
      } else {
        out.Put(kHorizontal);
        out.PutRun(first, black);
        out.PutRun(second, !black);
      }
      a0 = a2;
      ia += 2;
    }
    if (a0 >= w) break;
  }
  acc_ = out.acc;
  bits_ = out.bits;
  used_ = static_cast<size_t>(out.at - out_.data());
  std::swap(ref_, cur_);
  refCount_ = curCount_;
  if (sink_ && used_ >= (1 << 15)) Drain();
}

void Encoder::Drain() {
  if (used_) sink_(out_.data(), used_);
  used_ = 0;
}

std::span<const uint8_t> Encoder::Finish() {
  if (y_ != height_)
    throw ConvertError("Group 4 coding failed: " + std::to_string(y_) + " of " +
                       std::to_string(height_) + " rows given");
  if (out_.size() - used_ < 16) out_.resize(used_ + 16);
  BitWriter out{acc_, bits_, out_.data() + used_};
  out.Put(kEol);  // EOFB
  out.Put(kEol);
  acc_ = out.acc;
  bits_ = out.bits;
  used_ = static_cast<size_t>(out.at - out_.data());
  while (bits_ >= 8) {
    bits_ -= 8;
    out_[used_++] = static_cast<uint8_t>(acc_ >> bits_);
  }
  if (bits_ > 0) out_[used_++] = static_cast<uint8_t>(acc_ << (8 - bits_));
  bits_ = 0;
  if (sink_) {
    Drain();
    return {};
  }
  return std::span<const uint8_t>(out_).first(used_);
}

// ---- Turned images --------------------------------------------------------

namespace {

// Gaps between changes as 7-bit groups, low group first, high bit = more.
uint8_t* PutNumber(uint8_t* out, uint32_t v) {
  while (v >= 0x80) {
    *out++ = static_cast<uint8_t>(v | 0x80);
    v >>= 7;
  }
  *out++ = static_cast<uint8_t>(v);
  return out;
}

// Chunks of this size, regions of this many chunks.
constexpr size_t kChunkBytes = 8 << 10;
constexpr size_t kRegionBytes = 8 << 20;
constexpr size_t kHugePage = 2 << 20;

uint32_t GetNumber(const uint8_t*& p) {
  uint32_t v = 0;
  for (unsigned shift = 0;; shift += 7) {
    const uint8_t byte = *p++;
    v |= uint32_t{byte & 0x7Fu} << shift;
    if (!(byte & 0x80)) return v;
  }
}

// Walks one stored row from the left, 64 pixels per call.
struct RowCursor {
  const uint8_t* p;
  uint32_t next;    // position of the next change (kNoChange when none is left)
  uint32_t colour;  // of the pixels before `next`, 1 = black
  static constexpr uint32_t kNoChange = 0xFFFFFFFF;

  explicit RowCursor(const uint8_t* row) : p(row), colour(0) {
    const uint32_t first = GetNumber(p);
    next = first ? first - 1 : kNoChange;
  }
  void Advance() {
    const uint32_t gap = GetNumber(p);
    next = gap ? next + gap : kNoChange;
    colour ^= 1;
  }
};

}  // namespace

OrientedImage::OrientedImage(uint32_t width, uint32_t height, int rotationCode, bool invert)
    : width_(width), height_(height), invert_(invert) {
  // The eight codes as a transposition (source columns become rows, read
  // from the bottom for "up"), a flip of the rows, and a mirror of each
  // source row (with a transposition: of the order of the output rows):
  //   0 -      1 T(up)     2 F + M     3 T + M
  //   4 M      5 T         6 F         7 T(up) + M
  const int code = rotationCode & 7;
  transpose_ = code & 1;
  bottomUp_ = code == 1 || code == 7;
  flip_ = code == 2 || code == 6;
  mirror_ = code == 2 || code == 3 || code == 4 || code == 7;
  outWidth_ = transpose_ ? height : width;
  outHeight_ = transpose_ ? width : height;
  if (transpose_) {
    const size_t bands = (size_t{width} + kBand - 1) / kBand;
    bandRows_.assign(bands, std::vector<uint64_t>(size_t{height} / 64 + 1));
    // Around the image: white, or (the image inverted) black.
    outside_.assign(RowWords(width), invert ? ~uint64_t{0} : 0);
    if (invert && width > 0) {
      const std::vector<uint8_t> black(size_t{width + 7} / 8, 0xFF);
      outside_.back() = LastWord(black.data(), width);
    }
    above_ = outside_;
    bandChunks_.resize(bands);
  } else {
    rowStart_.reserve(height);
  }
}

OrientedImage::~OrientedImage() {
  for (const auto& [p, bytes] : regions_) PixelBytes::allocator_type::FreePixels(p, bytes);
}

uint8_t* OrientedImage::NewChunk(std::vector<Chunk>& chunks, size_t bytes) {
  const size_t size = std::max(bytes, kChunkBytes);
  if (regionFree_ < size) {
    // Huge pages only fill whole aligned 2 MB: the region's use starts at
    // the first such boundary.
    const size_t region = std::max(size, kRegionBytes) + kHugePage;
    uint8_t* p = static_cast<uint8_t*>(PixelBytes::allocator_type::AllocatePixels(region));
    regions_.emplace_back(p, region);
    const size_t skip = (kHugePage - reinterpret_cast<uintptr_t>(p) % kHugePage) % kHugePage;
    regionNext_ = p + skip;
    regionFree_ = region - skip;
  }
  uint8_t* chunk = regionNext_;
  regionNext_ += size;
  regionFree_ -= size;
  chunks.push_back({chunk, chunk, chunk + size});
  return chunk;
}

void OrientedImage::AddRow(const uint8_t* row) {
  if (rows_ >= height_) throw ConvertError("image turning: more rows than the image has");
  const uint32_t y = rows_++;
  if (transpose_) return AddBandRows(row, y);
  if (changes_.size() < size_t{width_} + 2) changes_.resize(size_t{width_} + 2);
  uint32_t* c = changes_.data();
  size_t n = FindChanges(row, width_, c + 1);  // c[0] free for a change at 0
  uint32_t* first = c + 1;
  if (invert_) {  // the colour before the row stays white: toggle a change at 0
    if (n > 0 && *first == 0) {
      ++first, --n;
    } else {
      *--first = 0;
      ++n;
    }
  }
  if (mirror_) {
    // Black runs [c0, c1), [c2, c3) ... become [W - c1, W - c0) ...
    if (n & 1) first[n++] = width_;
    std::reverse(first, first + n);
    for (size_t i = 0; i < n; ++i) first[i] = width_ - first[i];
    if (n > 0 && first[n - 1] == width_) --n;
  }
  // A row takes at most five bytes per change and the end mark.
  uint8_t* out = Reserve(rowChunks_, 5 * n + 1);
  rowStart_.push_back(out);
  uint32_t last = 0;
  for (size_t i = 0; i < n; ++i) {
    out = PutNumber(out, i == 0 ? first[i] + 1 : first[i] - last);
    last = first[i];
  }
  *out++ = 0;
  rowChunks_.back().end = out;
}

void OrientedImage::AddBandRows(const uint8_t* row, uint32_t y) {
  // What the turned rows need of a scan row is where it differs from the
  // row above (white above the first, black when inverted): those pixels
  // are the changes of the turned rows at this row's place. Found 64 pixels
  // at a time and written straight into their bands: a band's entry (the
  // number of pixels - 1, then their columns in the band) is opened at its
  // first one. A mirror is the order in which the turned rows are handed
  // out.
  constexpr size_t kBandWords = kBand / 64;
  size_t open = SIZE_MAX;  // the band being written
  uint8_t* entry = nullptr;
  uint8_t* out = nullptr;
  auto close = [&] {
    if (open == SIZE_MAX) return;
    *entry = static_cast<uint8_t>(out - entry - 2);
    bandChunks_[open].back().end = out;
    bandRows_[open][y / 64] |= uint64_t{1} << (y % 64);
  };
  uint64_t* above = above_.data();
  // Word i of the row, `now` as it lies in memory, where it differs from
  // the word above.
  auto take = [&](size_t i, uint64_t now) {
    uint64_t t = now ^ above[i];
    if constexpr (std::endian::native == std::endian::little) t = __builtin_bswap64(t);
    above[i] = now;
    if (i / kBandWords != open) {
      close();
      open = i / kBandWords;
      entry = Reserve(bandChunks_[open], kBand + 2);
      out = entry + 1;
    }
    // Two at a time: a word seldom holds more, and their number (noise)
    // then costs no branch. An entry has room for one written past its
    // last pixel.
    const size_t base = 64 * (i % kBandWords);
    do {
      const int p = __builtin_clzll(t);  // t is not empty
      t &= ~(uint64_t{1} << 63 >> p);
      const bool second = t != 0;
      const int q = __builtin_clzll(t | 1);  // without a second: written, not kept
      t &= ~(uint64_t{1} << 63 >> q);
      out[0] = static_cast<uint8_t>(base + static_cast<size_t>(p));
      out[1] = static_cast<uint8_t>(base + static_cast<size_t>(q));
      out += 1 + second;
    } while (t);
  };
  // Words as they lie in memory: equal ones need no byte order. A band
  // the same as above (most of them) is passed over at once.
  const size_t fullWords = width_ / 64;
  for (size_t i = 0; i < RowWords(width_); ++i) {
    if (i % kBandWords == 0 && i + kBandWords <= fullWords) {
      uint64_t now[kBandWords];
      std::memcpy(now, row + 8 * i, sizeof now);
      uint64_t any = 0;
      for (size_t k = 0; k < kBandWords; ++k) any |= now[k] ^ above[i + k];
      if (any == 0) {
        i += kBandWords - 1;
        continue;
      }
    }
    uint64_t now;
    if (i < fullWords)
      std::memcpy(&now, row + 8 * i, 8);
    else
      now = LastWord(row, width_);
    if (now != above[i]) take(i, now);
  }
  close();
}

void OrientedImage::Emit(const std::function<void(std::span<const uint32_t>)>& emit) const {
  if (rows_ != height_)
    throw ConvertError("image turning: " + std::to_string(rows_) + " of " +
                       std::to_string(height_) + " rows given");
  if (transpose_) return EmitTurned(emit);
  std::vector<uint32_t> changes;
  for (uint32_t r = 0; r < height_; ++r) {
    changes.clear();
    RowCursor cursor(rowStart_[flip_ ? height_ - 1 - r : r]);
    for (; cursor.next != RowCursor::kNoChange; cursor.Advance()) changes.push_back(cursor.next);
    emit(changes);
  }
}

namespace {

// The columns, from the right, where the `words` words of two rows (as
// they lie in memory) differ.
size_t DifferingColumns(const uint64_t* a, const uint64_t* b, size_t words, uint8_t* columns) {
  size_t n = 0;
  for (size_t w = 0; w < words; ++w) {
    uint64_t t = a[w] ^ b[w];
    if constexpr (std::endian::native == std::endian::little) t = __builtin_bswap64(t);
    for (; t; t &= t - 1)
      columns[n++] = static_cast<uint8_t>(64 * w + 63 - static_cast<size_t>(std::countr_zero(t)));
  }
  return n;
}

// The changes of a band's output rows, noted as they are found going down
// the source rows (the output rows changing at one place at a time). Each
// output row writes into its own segment of 64 entries, and takes the next
// free segment when that is full: 256 lists grown side by side from one
// pool, so the writes stay within a few pages; a row's segments are
// gathered into one list when it is handed out.
class BandChanges {
 public:
  static constexpr uint32_t kRows = OrientedImage::kBand;

  void Clear() {
    segments_ = 0;
    std::fill(std::begin(at_), std::end(at_), 0);  // no segment yet: the next is taken
  }
  // A change at `position` in each of the `n` output rows listed at `rows`.
  void Add(uint32_t position, const uint8_t* rows, size_t n) {
    if (segments_ + kRows > link_.size()) Grow();
    for (size_t i = 0; i < n; ++i) {
      const uint8_t j = rows[i];
      if (at_[j] % kSegment == 0) NextSegment(j);
      pool_[at_[j]++] = position;
    }
  }
  // Output row j's changes, left to right: in the order noted, or backwards
  // when they were noted from the right end. Valid until the next call.
  std::span<const uint32_t> Row(uint32_t j, bool backwards) {
    row_.clear();
    if (at_[j] == 0) return {};
    const uint32_t current = (at_[j] - 1) / kSegment;
    for (uint32_t s = first_[j];; s = link_[s]) {
      const uint32_t* begin = pool_.data() + size_t{s} * kSegment;
      row_.insert(row_.end(), begin, s == current ? pool_.data() + at_[j] : begin + kSegment);
      if (s == current) break;
    }
    if (backwards) std::reverse(row_.begin(), row_.end());
    return row_;
  }

 private:
  static constexpr uint32_t kSegment = 64;

  // Room for a new segment for every row: Add takes at most one for each.
  void Grow() {
    link_.resize(std::max<size_t>(2 * link_.size(), segments_ + kRows));
    pool_.resize(link_.size() * kSegment);
  }
  void NextSegment(uint32_t j) {
    const uint32_t s = segments_++;
    if (at_[j] == 0)
      first_[j] = s;
    else
      link_[at_[j] / kSegment - 1] = s;
    at_[j] = s * kSegment;
  }

  std::vector<uint32_t> pool_;  // the segments, kSegment entries each
  std::vector<uint32_t> link_;  // of each segment: the next of its row
  uint32_t segments_ = 0;       // taken from the pool
  uint32_t first_[kRows] = {};  // each row's first segment
  uint32_t at_[kRows] = {};     // and where its next change goes (0: no segment yet)
  std::vector<uint32_t> row_;
};

}  // namespace

void OrientedImage::EmitTurned(const std::function<void(std::span<const uint32_t>)>& emit) const {
  // Output row r is source column r. The pixels where source row y differs
  // from the row above are the changes of their output rows at output
  // column y (or, read from the bottom, at H - y: between output columns
  // H-1-y and H-y); the bottom row against what lies below the image gives
  // those at H (none: the end of the rows), or at 0 from the bottom.
  // Mirrored, the output rows are the source columns from the right: the
  // bands are taken from the right, and their rows handed out from the last.
  const uint32_t h = height_;
  const bool up = bottomUp_, leftward = mirror_;
  BandChanges found;
  for (size_t i = 0; i < bandChunks_.size(); ++i) {
    const size_t band = leftward ? bandChunks_.size() - 1 - i : i;
    const std::vector<Chunk>& chunks = bandChunks_[band];
    size_t chunk = 0;
    const uint8_t* p = chunks.empty() ? nullptr : chunks[0].begin;
    const std::vector<uint64_t>& has = bandRows_[band];
    found.Clear();
    for (size_t k = 0; k < has.size(); ++k)
      for (uint64_t rows = has[k]; rows; rows &= rows - 1) {
        const uint32_t y = static_cast<uint32_t>(64 * k + std::countr_zero(rows));
        if (p == chunks[chunk].end) p = chunks[++chunk].begin;  // an entry never crosses chunks
        const size_t n = size_t{*p} + 1;
        if (!up || y > 0) found.Add(up ? h - y : y, p + 1, n);
        p += n + 1;
      }
    if (up) {  // the bottom row against what lies below
      const size_t first = band * (kBand / 64);
      const size_t words = std::min<size_t>(kBand / 64, above_.size() - first);
      uint8_t columns[kBand];
      found.Add(0, columns, DifferingColumns(&above_[first], &outside_[first], words, columns));
    }
    const uint32_t x0 = static_cast<uint32_t>(band * kBand);
    const uint32_t rows = std::min<uint32_t>(kBand, width_ - x0);
    for (uint32_t j = 0; j < rows; ++j) emit(found.Row(leftward ? rows - 1 - j : j, up));
  }
}

}  // namespace conv::g4
