// The converters' own CCITT T.6 (Group 4) coding, built for speed on large
// drawings: rows are looked at as lists of their changing elements (the
// pixels whose colour differs from the pixel before), found 64 pixels at a
// time, and the two-dimensional coding walks those lists instead of pixels.
//
// g4::Encoder writes the same stream as libtiff's Group 4 coder, byte for
// byte (white runs first, black = 1, EOFB at the end, last byte padded with
// zeros); g4::CountBlack reads such a stream without drawing its rows; and
// g4::OrientedImage holds a scan as change lists while it is read, to hand
// out the rows of the turned image a band at a time.
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
  void Put(uint32_t code, unsigned length) {
    acc_ = (acc_ << length) | code;
    bits_ += length;
    if (bits_ >= 32) Spill();
  }
  void Spill();
  void PutRun(uint32_t run, bool black);
  void Drain();

  uint32_t width_, height_, y_ = 0;
  std::vector<uint32_t> ref_, cur_;  // changes and end marks of the row above / this row
  uint64_t acc_ = 0;                 // bits not yet stored, the newest lowest
  unsigned bits_ = 0;
  std::vector<uint8_t> out_;
  Sink sink_;
};

// Black pixels of a Group 4 stream of a width x height image, summed from
// the decoded changing elements; no row is drawn. A damaged or short stream
// is a ConvertError naming `shown`.
uint64_t CountBlack(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                    const std::string& shown);

// A scan held as the change lists of its rows (a few bytes per change
// instead of a bit per pixel), taking the rows as they are read and handing
// out the rows of the image turned by a rotation code (as Orient in
// bitimage.h: 0-3 leading edge, + 4 mirror) and optionally inverted. The
// quarter turns read the scan in bands of 64 columns, each turned by 64 x 64
// bit blocks, so that at no time a second whole image exists.
class OrientedImage {
 public:
  OrientedImage(uint32_t width, uint32_t height, int rotationCode, bool invert);
  uint32_t width() const { return outWidth_; }  // of the turned image
  uint32_t height() const { return outHeight_; }
  void AddRow(const uint8_t* row);  // the scan's rows, top to bottom
  // After the last scan row: every row of the turned image, top to bottom
  // (valid during the call; pad bits clear).
  void Emit(const std::function<void(const uint8_t* row)>& emit) const;
  size_t StoredBytes() const { return data_.size(); }

 private:
  void EmitTurned(const std::function<void(const uint8_t*)>& emit) const;
  uint32_t width_, height_, outWidth_, outHeight_;
  bool transpose_, bottomUp_, flip_, mirror_, invert_;
  std::vector<uint32_t> changes_;  // work list of AddRow
  std::vector<uint8_t> data_;      // per row: first change + 1, then the gaps, then 0
  std::vector<uint64_t> rowStart_;
};

}  // namespace conv::g4
