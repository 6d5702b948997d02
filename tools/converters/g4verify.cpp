#include "tools/converters/g4verify.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "tools/converters/cmdline.h"

namespace conv {
namespace {

// The modified Huffman codes of the run lengths (ITU-T T.4), as bit text.
struct Code {
  const char* bits;
  uint16_t run;
};

// clang-format off
constexpr Code kWhiteCodes[] = {
    {"00110101", 0}, {"000111", 1}, {"0111", 2}, {"1000", 3}, {"1011", 4}, {"1100", 5},
    {"1110", 6}, {"1111", 7}, {"10011", 8}, {"10100", 9}, {"00111", 10}, {"01000", 11},
    {"001000", 12}, {"000011", 13}, {"110100", 14}, {"110101", 15}, {"101010", 16},
    {"101011", 17}, {"0100111", 18}, {"0001100", 19}, {"0001000", 20}, {"0010111", 21},
    {"0000011", 22}, {"0000100", 23}, {"0101000", 24}, {"0101011", 25}, {"0010011", 26},
    {"0100100", 27}, {"0011000", 28}, {"00000010", 29}, {"00000011", 30}, {"00011010", 31},
    {"00011011", 32}, {"00010010", 33}, {"00010011", 34}, {"00010100", 35}, {"00010101", 36},
    {"00010110", 37}, {"00010111", 38}, {"00101000", 39}, {"00101001", 40}, {"00101010", 41},
    {"00101011", 42}, {"00101100", 43}, {"00101101", 44}, {"00000100", 45}, {"00000101", 46},
    {"00001010", 47}, {"00001011", 48}, {"01010010", 49}, {"01010011", 50}, {"01010100", 51},
    {"01010101", 52}, {"00100100", 53}, {"00100101", 54}, {"01011000", 55}, {"01011001", 56},
    {"01011010", 57}, {"01011011", 58}, {"01001010", 59}, {"01001011", 60}, {"00110010", 61},
    {"00110011", 62}, {"00110100", 63},
    {"11011", 64}, {"10010", 128}, {"010111", 192}, {"0110111", 256}, {"00110110", 320},
    {"00110111", 384}, {"01100100", 448}, {"01100101", 512}, {"01101000", 576},
    {"01100111", 640}, {"011001100", 704}, {"011001101", 768}, {"011010010", 832},
    {"011010011", 896}, {"011010100", 960}, {"011010101", 1024}, {"011010110", 1088},
    {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280}, {"011011010", 1344},
    {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536}, {"010011010", 1600},
    {"011000", 1664}, {"010011011", 1728},
};

constexpr Code kBlackCodes[] = {
    {"0000110111", 0}, {"010", 1}, {"11", 2}, {"10", 3}, {"011", 4}, {"0011", 5}, {"0010", 6},
    {"00011", 7}, {"000101", 8}, {"000100", 9}, {"0000100", 10}, {"0000101", 11},
    {"0000111", 12}, {"00000100", 13}, {"00000111", 14}, {"000011000", 15},
    {"0000010111", 16}, {"0000011000", 17}, {"0000001000", 18}, {"00001100111", 19},
    {"00001101000", 20}, {"00001101100", 21}, {"00000110111", 22}, {"00000101000", 23},
    {"00000010111", 24}, {"00000011000", 25}, {"000011001010", 26}, {"000011001011", 27},
    {"000011001100", 28}, {"000011001101", 29}, {"000001101000", 30}, {"000001101001", 31},
    {"000001101010", 32}, {"000001101011", 33}, {"000011010010", 34}, {"000011010011", 35},
    {"000011010100", 36}, {"000011010101", 37}, {"000011010110", 38}, {"000011010111", 39},
    {"000001101100", 40}, {"000001101101", 41}, {"000011011010", 42}, {"000011011011", 43},
    {"000001010100", 44}, {"000001010101", 45}, {"000001010110", 46}, {"000001010111", 47},
    {"000001100100", 48}, {"000001100101", 49}, {"000001010010", 50}, {"000001010011", 51},
    {"000000100100", 52}, {"000000110111", 53}, {"000000111000", 54}, {"000000100111", 55},
    {"000000101000", 56}, {"000001011000", 57}, {"000001011001", 58}, {"000000101011", 59},
    {"000000101100", 60}, {"000001011010", 61}, {"000001100110", 62}, {"000001100111", 63},
    {"0000001111", 64}, {"000011001000", 128}, {"000011001001", 192}, {"000001011011", 256},
    {"000000110011", 320}, {"000000110100", 384}, {"000000110101", 448},
    {"0000001101100", 512}, {"0000001101101", 576}, {"0000001001010", 640},
    {"0000001001011", 704}, {"0000001001100", 768}, {"0000001001101", 832},
    {"0000001110010", 896}, {"0000001110011", 960}, {"0000001110100", 1024},
    {"0000001110101", 1088}, {"0000001110110", 1152}, {"0000001110111", 1216},
    {"0000001010010", 1280}, {"0000001010011", 1344}, {"0000001010100", 1408},
    {"0000001010101", 1472}, {"0000001011010", 1536}, {"0000001011011", 1600},
    {"0000001100100", 1664}, {"0000001100101", 1728},
};

// Make-up codes of both colours for the longest runs.
constexpr Code kExtendedCodes[] = {
    {"00000001000", 1792}, {"00000001100", 1856}, {"00000001101", 1920},
    {"000000010010", 1984}, {"000000010011", 2048}, {"000000010100", 2112},
    {"000000010101", 2176}, {"000000010110", 2240}, {"000000010111", 2304},
    {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};
// clang-format on

// The coding modes of a line (ITU-T T.6): pass, horizontal, and the seven
// vertical offsets of a1 from b1.
enum Mode : uint8_t { kInvalid, kPass, kHorizontal, kVertical, kExtension };
struct ModeCode {
  const char* bits;
  Mode mode;
  int8_t offset;
};
constexpr ModeCode kModeCodes[] = {
    {"1", kVertical, 0},        {"011", kVertical, 1},  {"000011", kVertical, 2},
    {"0000011", kVertical, 3},  {"010", kVertical, -1}, {"000010", kVertical, -2},
    {"0000010", kVertical, -3}, {"0001", kPass, 0},     {"001", kHorizontal, 0},
    {"0000001", kExtension, 0},
};

// Every code is looked up by its first kRunBits / kModeBits bits: all
// entries that begin with a code hold it.
constexpr int kRunBits = 13;
constexpr int kModeBits = 7;

struct RunEntry {
  uint16_t run = 0;
  uint8_t length = 0;  // 0: no code begins so
};
struct ModeEntry {
  Mode mode = kInvalid;
  int8_t offset = 0;
  uint8_t length = 0;
};

template <typename Entry, size_t N>
void Fill(std::array<Entry, N>& table, int tableBits, const char* bits, Entry entry) {
  const int length = static_cast<int>(std::strlen(bits));
  uint32_t prefix = 0;
  for (int i = 0; i < length; ++i) prefix = prefix << 1 | (bits[i] == '1');
  entry.length = static_cast<uint8_t>(length);
  const uint32_t first = prefix << (tableBits - length);
  for (uint32_t i = 0; i < (1u << (tableBits - length)); ++i) table[first + i] = entry;
}

struct Tables {
  std::array<RunEntry, 1 << kRunBits> white{}, black{};
  std::array<ModeEntry, 1 << kModeBits> mode{};
  Tables() {
    for (const Code& c : kWhiteCodes) Fill(white, kRunBits, c.bits, RunEntry{c.run, 0});
    for (const Code& c : kBlackCodes) Fill(black, kRunBits, c.bits, RunEntry{c.run, 0});
    for (const Code& c : kExtendedCodes) {
      Fill(white, kRunBits, c.bits, RunEntry{c.run, 0});
      Fill(black, kRunBits, c.bits, RunEntry{c.run, 0});
    }
    for (const ModeCode& c : kModeCodes)
      Fill(mode, kModeBits, c.bits, ModeEntry{c.mode, c.offset, 0});
  }
};
const Tables& CodeTables() {
  static const Tables tables;
  return tables;
}

// The stream's bits, most significant first; past the end it reads zeros,
// and Consume tells whether the bits taken were really there.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : p_(data), end_(data + size) { Refill(); }

  uint32_t Peek(int bits) const { return static_cast<uint32_t>(buffer_ >> (64 - bits)); }
  bool Consume(int bits) {
    if (bits > count_) return false;
    buffer_ <<= bits;
    count_ -= bits;
    if (count_ < 32) Refill();
    return true;
  }
  // Zero bits up to the next one bit or the end of the data.
  uint64_t SkipZeros() {
    uint64_t zeros = 0;
    for (;;) {
      if (count_ == 0) return zeros;
      if (buffer_ != 0) {
        const int z = __builtin_clzll(buffer_);
        zeros += static_cast<uint64_t>(z);
        Consume(z);
        return zeros;
      }
      zeros += static_cast<uint64_t>(count_);
      Consume(count_);
    }
  }
  bool AtEnd() const { return count_ == 0; }
  // Where the reader stands in the data that begins at `base`, and back there.
  void Save(const uint8_t* base, size_t& offset, uint64_t& buffer, int& count) const {
    offset = static_cast<size_t>(p_ - base);
    buffer = buffer_;
    count = count_;
  }
  void Restore(const uint8_t* base, size_t offset, uint64_t buffer, int count) {
    p_ = base + offset;
    buffer_ = buffer;
    count_ = count;
  }

 private:
  void Refill() {
    if (end_ - p_ >= 8) {
      // Eight bytes at once: the whole bytes that fit are taken; the bits
      // of the next byte that slip in below are its own, read again later.
      uint64_t next;
      std::memcpy(&next, p_, 8);
      if constexpr (std::endian::native == std::endian::little) next = __builtin_bswap64(next);
      buffer_ |= next >> count_;
      p_ += (63 - count_) >> 3;
      count_ |= 56;
      return;
    }
    buffer_ &= count_ ? ~uint64_t{0} << (64 - count_) : 0;  // only real bits below the end
    while (count_ <= 56 && p_ < end_) {
      buffer_ |= uint64_t{*p_++} << (56 - count_);
      count_ += 8;
    }
  }
  const uint8_t* p_;
  const uint8_t* end_;
  uint64_t buffer_ = 0;
  int count_ = 0;  // valid bits at the top of buffer_
};

}  // namespace

namespace g4 {

class Decoder::Reader : public BitReader {
  using BitReader::BitReader;
};

Decoder::Decoder(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                 std::string shown)
    : in_(std::make_unique<Reader>(data, size)),
      data_(data),
      size_(size),
      width_(width),
      height_(height),
      shown_(std::move(shown)),
      // The line above the first is white: its changes are the end marks.
      // (A line holds at most `width` changes: each is right of the one before.)
      ref_(size_t{width} + 3, width),
      cur_(size_t{width} + 3) {}

Decoder::~Decoder() = default;

void Decoder::Fail(const std::string& what) const {
  throw ConvertError(shown_ + ": damaged image data at line " + std::to_string(line_ + 1) +
                     " of " + std::to_string(height_) + " (" + what + ")");
}

std::span<const uint32_t> Decoder::NextLine() {
  if (line_ >= height_) Fail("more lines asked for than the image has");
  const Tables& t = CodeTables();
  BitReader& in = *in_;
  // One run of the colour: make-up codes, then the terminating code.
  auto readRun = [&](bool black, uint32_t& run) {
    run = 0;
    for (;;) {
      const RunEntry& e = (black ? t.black : t.white)[in.Peek(kRunBits)];
      if (e.length == 0) return false;
      if (!in.Consume(e.length)) return false;
      run += e.run;
      if (e.run < 64) return true;
      if (run > width_) return false;
    }
  };

  // Changing elements of the reference and the coding line: the positions
  // where the colour changes, left to right, the first one to black; the
  // reference line ends with `width` three times, so that b1 and b2 can
  // always be read.
  const uint32_t* ref = ref_.data();
  uint32_t* const first = cur_.data();
  uint32_t* out = first;
  uint64_t black = 0;
  const int64_t w = width_;
  int64_t a0 = -1;  // -1: the imaginary white element before the line
  bool isBlack = false;
  size_t k = 0;  // first changing element of the reference line right of a0
  while (a0 < w) {
    while (ref[k] <= a0) ++k;
    // b1: the first changing element right of a0 of the colour opposite
    // to a0's, which is an even one (to black) when a0 is white.
    const size_t i = k + ((k & 1) != (isBlack ? 1u : 0u));
    const int64_t b1 = ref[i], b2 = ref[i + 1];
    const ModeEntry& m = t.mode[in.Peek(kModeBits)];
    // The vertical modes first: most of a line's codes are.
    if (m.mode == kVertical) {
      if (!in.Consume(m.length)) Fail("the data ends");
      const int64_t a1 = b1 + m.offset;
      if (a1 > w) Fail("a change beyond the line end");
      if (a1 <= a0 || a1 < 0) Fail("a change behind the last one");
      if (a1 < w) *out++ = static_cast<uint32_t>(a1);
      if (isBlack) black += static_cast<uint64_t>(a1 - a0);
      a0 = a1;
      isBlack = !isBlack;
    } else if (m.mode == kPass) {
      if (!in.Consume(m.length)) Fail("the data ends");
      if (b2 >= w) Fail("a pass beyond the line end");
      if (isBlack) black += static_cast<uint64_t>(b2 - a0);
      a0 = b2;
    } else if (m.mode == kHorizontal) {
      if (!in.Consume(m.length)) Fail("the data ends");
      uint32_t run1 = 0, run2 = 0;
      if (!readRun(isBlack, run1) || !readRun(!isBlack, run2))
        Fail(in.AtEnd() ? "the data ends" : "not a run length");
      const int64_t a1 = std::max<int64_t>(a0, 0) + run1, a2 = a1 + run2;
      if (a2 > w) Fail("a run goes beyond the line end");
      if ((run1 == 0 && a0 >= 0) || (run2 == 0 && a2 != w)) Fail("a run of no pixels");
      if (a1 < w) *out++ = static_cast<uint32_t>(a1);
      if (a2 < w) *out++ = static_cast<uint32_t>(a2);
      black += isBlack ? run1 : run2;
      a0 = a2;
    } else {
      Fail(in.AtEnd() ? "the data ends" : "not a coding mode");
    }
  }
  std::fill_n(out, 3, width_);
  black_ += black;
  ++line_;
  const size_t count = static_cast<size_t>(out - first);
  std::swap(ref_, cur_);  // this line is the next one's reference
  refCount_ = count;
  return {ref_.data(), count};
}

Decoder::Position Decoder::Here() const {
  Position p;
  p.line = line_;
  in_->Save(data_, p.offset, p.bits, p.count);
  p.ref.assign(ref_.begin(), ref_.begin() + static_cast<ptrdiff_t>(refCount_ + 3));
  return p;
}

void Decoder::Resume(const Position& p) {
  if (p.line > height_ || p.offset > size_ || p.ref.size() < 3 || p.ref.size() > ref_.size())
    Fail("a place the data does not have");
  line_ = p.line;
  in_->Restore(data_, p.offset, p.bits, p.count);
  std::copy(p.ref.begin(), p.ref.end(), ref_.begin());
  refCount_ = p.ref.size() - 3;
}

void Decoder::Finish() {
  if (line_ != height_) Fail("the image has more lines than were read");
  BitReader& in = *in_;
  // After the last line only an end of block (two EOL codes, 000000000001
  // twice) and zero fill bits may follow; the codes of another line may not.
  if (in.SkipZeros() < 11 && !in.AtEnd())
    throw ConvertError(shown_ + ": the image data holds more than the " + std::to_string(height_) +
                       " lines of " + std::to_string(width_) + " pixels its header announces");
  if (!in.AtEnd() &&
      !(in.Consume(1) && in.SkipZeros() == 11 && in.Consume(1) && (in.SkipZeros(), in.AtEnd())))
    throw ConvertError(shown_ + ": the image data ends in a damaged end-of-block code");
}

}  // namespace g4

uint64_t VerifyG4(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                  const std::string& shown) {
  g4::Decoder decoder(data, size, width, height, shown);
  for (uint32_t y = 0; y < height; ++y) decoder.NextLine();
  decoder.Finish();
  return decoder.black();
}

}  // namespace conv
