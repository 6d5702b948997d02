// A bitonal image in memory, as the converters pass it between reading,
// turning, reducing and writing: one bit per pixel, 1 = black, rows of whole
// bytes with the leftmost pixel in the high bit. The pad bits after the last
// pixel of a row are always 0, so whole-byte work (counting, comparing) needs
// no masks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <span>
#include <vector>

namespace conv {

// Allocator of pixel memory: hands out zeroed memory, so that a new image
// needs no clearing pass, and maps large images in huge pages where the host
// offers them (a full-size drawing is 35 MB; small pages would fault 8000
// times).
template <typename T>
struct PixelAllocator {
  using value_type = T;
  PixelAllocator() = default;
  template <typename U>
  PixelAllocator(const PixelAllocator<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(AllocatePixels(n * sizeof(T))); }
  void deallocate(T* p, size_t n) { FreePixels(p, n * sizeof(T)); }
  template <typename U>
  void construct(U*) {}  // already zero
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const PixelAllocator<U>&) const {
    return true;
  }

  static void* AllocatePixels(size_t bytes);
  static void FreePixels(void* p, size_t bytes);
};
using PixelBytes = std::vector<uint8_t, PixelAllocator<uint8_t>>;

struct BitImage {
  uint32_t width = 0;
  uint32_t height = 0;
  size_t stride = 0;  // bytes per row
  PixelBytes bits;

  BitImage() = default;
  BitImage(uint32_t w, uint32_t h);  // all white

  uint8_t* Row(uint32_t y) { return bits.data() + y * stride; }
  const uint8_t* Row(uint32_t y) const { return bits.data() + y * stride; }
  bool Pixel(uint32_t x, uint32_t y) const { return (Row(y)[x >> 3] >> (7 - (x & 7))) & 1; }
  void Set(uint32_t x, uint32_t y, bool black);
  // Clears the pad bits of every row (after byte-wise work such as inverting).
  void ClearPadBits();
};

inline size_t StrideFor(uint32_t width) { return (static_cast<size_t>(width) + 7) / 8; }

// Number of 1 bits in a buffer (pixels when the pad bits are clear).
uint64_t CountSetBits(const uint8_t* data, size_t bytes);
uint64_t CountBlack(const BitImage& image);

// Swaps black and white.
void Invert(BitImage& image);
// The same for one row of `width` pixels, keeping the pad bits clear.
void InvertRow(uint8_t* row, uint32_t width);
// Mirrors one row of `width` pixels left to right.
void MirrorRow(uint8_t* row, uint32_t width);

// Turns the image so that a drawing fed with the given leading edge reads
// upright: rotation code 0 top, 1 right (turned 90 degrees clockwise),
// 2 bottom (180), 3 left (270); plus 4 mirrors the upright image left to right.
BitImage Orient(BitImage image, int rotationCode);

// Bitonal change of resolution from `from` to `to`. A reduction (to < from)
// makes each target pixel cover a rectangle of source pixels, black when any
// of them is, so a line one pixel thin survives every reduction; an
// enlargement (to > from) replicates each source pixel over the target
// pixels it covers, target pixel (x, y) taking source pixel
// (x * from / to, y * from / to). Fed the source rows top to bottom, it hands
// on each target row as soon as it is complete.
class RowReducer {
 public:
  RowReducer(uint32_t width, uint32_t height, uint32_t from, uint32_t to,
             std::function<void(const uint8_t* row)> emit);
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  void AddRow(const uint8_t* row);

 private:
  std::vector<uint32_t> xmap_, ymap_;  // source column / row -> target column / row
  uint32_t width_, height_;
  size_t sourceStride_;
  uint32_t sy_ = 0;
  std::vector<uint8_t> merged_, out_;
  std::function<void(const uint8_t*)> emit_;
  // Enlargement: source column s covers target columns xfirst_[s] to
  // xfirst_[s + 1] - 1, and rows alike.
  bool enlarge_ = false;
  uint32_t from_ = 1, to_ = 1;
  std::vector<uint32_t> xfirst_;
  uint32_t ty_ = 0;  // target rows handed on
};

// A small grey picture of at most maxWidth x maxHeight pixels for a viewer:
// each pixel stands for a square block of the image; its darkness grows with
// the square root of the block's black share so that thin lines stay visible.
// The rows of a block are counted in groups (up to eight, at most half the
// block) merged by OR as one row, which cuts the counting and makes thin
// horizontal lines darker, never lighter.
struct GreyImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // 0 black .. 255 white, row by row
};

// Builds the grey picture from the image's rows, fed top to bottom; each
// grey row goes to `emit` when given, else into the picture that Finish returns.
class ViewBuilder {
 public:
  ViewBuilder(uint32_t width, uint32_t height, uint32_t maxWidth, uint32_t maxHeight,
              std::function<void(const uint8_t* greyRow)> emit = nullptr);
  uint32_t ViewWidth() const { return view_.width; }
  uint32_t ViewHeight() const { return view_.height; }
  void AddRow(const uint8_t* row);
  // The same row as its change list (as g4::FindChanges gives it): the
  // same picture, without the row's pixels.
  void AddChanges(std::span<const uint32_t> changes);
  GreyImage Finish() { return std::move(view_); }

 private:
  void CountRow(const uint8_t* row);
  void CountRuns(std::span<const uint32_t> changes);
  void EmitBlockRow();
  uint32_t width_, height_, block_;
  size_t stride_;
  uint32_t y_ = 0;
  std::vector<uint32_t> counts_;
  std::vector<uint32_t> partStart_;                   // per row word: its first entry of parts_
  std::vector<std::pair<uint32_t, uint64_t>> parts_;  // view column, mask of the word's pixels
  std::vector<uint8_t> tail_;
  std::vector<uint8_t> greyRow_;
  std::vector<uint8_t> greyOfCount_;
  std::vector<uint8_t> groupRow_;  // the rows of a group merged so far
  std::vector<uint64_t> groupWords_;  // the same for rows given as change lists
  uint32_t group_ = 1, merged_ = 0;
  uint32_t countedRows_ = 0;  // rows counted (a group as one) in this block row
  std::function<void(const uint8_t*)> emit_;
  GreyImage view_;
};

}  // namespace conv
