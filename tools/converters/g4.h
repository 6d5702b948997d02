// The converters' own CCITT T.6 (Group 4) coding, built for speed on large
// drawings: rows are looked at as lists of their changing elements (the
// pixels whose colour differs from the pixel before), found 64 pixels at a
// time, and the two-dimensional coding walks those lists instead of pixels.
//
// g4::Encoder writes the same stream as libtiff's Group 4 coder, byte for
// byte (white runs first, black = 1, EOFB at the end, last byte padded with
// zeros), and g4::OrientedImage holds a scan as change lists while it is
// read, to hand out the rows of the turned image a band at a time. (Reading
// such a stream back as changes is VerifyG4's, in g4verify.h.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace conv::g4 {

// The changing elements of a row of `width` pixels (black = 1, leftmost
// pixel in the high bit, pad bits ignored): the positions x in [0, width)
// where pixel x differs from pixel x-1, the pixel before the row counting as
// white. Even entries start black runs, odd ones start white runs.
void FindChanges(const uint8_t* row, uint32_t width, std::vector<uint32_t>& changes);
// The same into `out`, which has room for width + 1 entries; returns how many.
size_t FindChanges(const uint8_t* row, uint32_t width, uint32_t* out);
// The row of `width` pixels that has these changes, pad bits clear, drawn in
// RowWords(width) whole words; read as bytes, they are the row as in BitImage.
void DrawRow(std::span<const uint32_t> changes, uint32_t width, uint64_t* row);
inline size_t RowWords(uint32_t width) { return (size_t{width} + 63) / 64; }
// The changes of the row with black and white swapped into `out` (room for
// changes.size() + 1): the colour before the row stays white, so a change at
// 0 comes or goes. Returns how many.
size_t InvertChanges(std::span<const uint32_t> changes, uint32_t* out);

// Group 4 coder of a whole image as one stream, fed row by row (rows as in
// BitImage, or as change lists). With a sink the stream goes there in pieces
// as it is made instead of being kept.
class Encoder {
 public:
  using Sink = std::function<void(const uint8_t*, size_t)>;
  Encoder(uint32_t width, uint32_t height, Sink sink = nullptr);
  void AddRow(const uint8_t* row);
  void AddChanges(std::span<const uint32_t> changes);  // as FindChanges gives them
  // After the last row: the stream, valid as long as the encoder (empty with
  // a sink). A wrong number of rows is a ConvertError.
  std::span<const uint8_t> Finish();

 private:
  void CodeRow();  // cur_ against ref_
  // Bits go into acc_ and from there 32 at a time into out_ (CodeRow makes
  // room for a row's codes first), through a writer (in g4.cpp) that holds
  // them in registers while a row is coded.
  void Drain();

  uint32_t width_, height_, y_ = 0;
  std::vector<uint32_t> ref_, cur_;  // changes and end marks of the row above / this row
  size_t refCount_ = 0, curCount_ = 0;
  uint64_t acc_ = 0;                 // bits not yet stored, the newest lowest
  unsigned bits_ = 0;
  std::vector<uint8_t> out_;         // the stream so far: used_ bytes of it
  size_t used_ = 0;
  Sink sink_;
};

// A scan held as the change lists of its rows (a byte or two per change
// instead of a bit per pixel), taking the rows as they are read and handing
// out the rows of the image turned by a rotation code (as Orient in
// bitimage.h: 0-3 leading edge, + 4 mirror) and optionally inverted, again
// as change lists. For the quarter turns each row is kept as the pixels
// where it differs from the row above, which are the changes of the turned
// rows at its place, by bands of 256 columns, each band's rows one after
// the other: the turned rows come out a band at a time from memory read
// straight through, and no second whole image ever exists.
class OrientedImage {
 public:
  static constexpr uint32_t kBand = 256;

  OrientedImage(uint32_t width, uint32_t height, int rotationCode, bool invert);
  ~OrientedImage();
  OrientedImage(const OrientedImage&) = delete;
  OrientedImage& operator=(const OrientedImage&) = delete;
  uint32_t width() const { return outWidth_; }  // of the turned image
  uint32_t height() const { return outHeight_; }
  void AddRow(const uint8_t* row);  // the scan's rows, top to bottom
  // After the last scan row: every row of the turned image, top to bottom,
  // as its change list (valid during the call).
  void Emit(const std::function<void(std::span<const uint32_t> changes)>& emit) const;

 private:
  void AddBandRows(const uint8_t* row, uint32_t y);
  void EmitTurned(const std::function<void(std::span<const uint32_t>)>& emit) const;
  uint32_t width_, height_, outWidth_, outHeight_, rows_ = 0;
  bool transpose_, bottomUp_, flip_, mirror_, invert_;
  std::vector<uint32_t> changes_;  // work list of AddRow without a quarter turn
  // The stored changes live in chunks cut from large regions of memory
  // mapped in huge pages: a few MB of small fresh pages would cost more in
  // page faults than all the work on them.
  struct Chunk {
    uint8_t* begin;
    uint8_t* end;  // of what is written
    uint8_t* limit;
  };
  uint8_t* Reserve(std::vector<Chunk>& chunks, size_t bytes) {
    if (!chunks.empty() && size_t(chunks.back().limit - chunks.back().end) >= bytes)
      return chunks.back().end;
    return NewChunk(chunks, bytes);
  }
  uint8_t* NewChunk(std::vector<Chunk>& chunks, size_t bytes);
  std::vector<std::pair<uint8_t*, size_t>> regions_;
  uint8_t* regionNext_ = nullptr;
  size_t regionFree_ = 0;
  // Without a quarter turn: the rows in order, each its first change + 1,
  // then the gaps, then 0.
  std::vector<Chunk> rowChunks_;
  std::vector<const uint8_t*> rowStart_;
  // With one, per band: which rows differ from the row above in it (a bit
  // per row), and for each such row the number of those pixels - 1 and
  // their columns in the band, a byte each.
  std::vector<std::vector<uint64_t>> bandRows_;
  std::vector<uint64_t> outside_;  // around the image, as words of a row in memory
  std::vector<uint64_t> above_;    // the row above the next
  std::vector<std::vector<Chunk>> bandChunks_;
};

}  // namespace conv::g4
