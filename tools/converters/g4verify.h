// Proof that a Group 4 (T.6) stream holds exactly the image its header
// announces, without making the image: the exports that pass the stored
// stream on unchanged run this before they replace their target, so a TLC
// whose header lies about the size, or whose data is damaged or cut short,
// never reaches an output file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace conv {

namespace g4 {

// Reads a Group 4 stream back as the change lists of its lines (as
// FindChanges in g4.h gives them), checking each line as it goes: one decode
// both proves the data and hands out its rows, so an export that reads the
// image never decodes it twice. The data must stay valid while the decoder
// is used; a stream that fails is a ConvertError naming `shown` and the line.
class Decoder {
 public:
  Decoder(const uint8_t* data, size_t size, uint32_t width, uint32_t height, std::string shown);
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  uint32_t line() const { return line_; }  // lines decoded so far
  // The changes of the next line, valid until the next call; a call after
  // the last line is a ConvertError.
  std::span<const uint32_t> NextLine();
  // After the last line: checks that only an end-of-block code and zero
  // fill bits follow (a stream with more lines than `height` is refused).
  void Finish();
  // Black pixels of the lines decoded so far.
  uint64_t black() const { return black_; }

  // Where the decoder stands between two lines: a decoder of the same data
  // (at any address) resumes there and goes on with the same lines.
  struct Position {
    uint32_t line = 0;  // lines decoded before it
    size_t offset = 0;  // the reader's place in the data
    uint64_t bits = 0;
    int count = 0;
    std::vector<uint32_t> ref;  // the changes of the line above, with its end marks
  };
  Position Here() const;
  void Resume(const Position& position);

 private:
  class Reader;
  [[noreturn]] void Fail(const std::string& what) const;
  std::unique_ptr<Reader> in_;
  const uint8_t* data_;
  size_t size_;
  uint32_t width_, height_, line_ = 0;
  size_t refCount_ = 0;  // changes in ref_ before its end marks
  std::string shown_;
  // Changes of the line above and of this one, each followed by end marks.
  std::vector<uint32_t> ref_, cur_;
  uint64_t black_ = 0;
};

}  // namespace g4

// Decodes the changing elements of every line of the stream (black = 1,
// most significant bit first, as the Group 4 coders write it) and checks that
//   - every line ends exactly at `width` pixels, no run crossing it;
//   - there are exactly `height` lines;
//   - after the last line nothing follows but an end-of-block code and zero
//     fill bits (a stream with more lines than `height` is refused too).
// Returns the number of black pixels, counted from the runs on the way. A
// stream that fails is a ConvertError naming `shown` and the line.
uint64_t VerifyG4(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                  const std::string& shown);

}  // namespace conv
