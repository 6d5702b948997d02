// The whole scan lines in the PackBits data of a scan file, counted as the
// data is written, so that a scan cut short can state in its header the
// lines the file really holds.
#pragma once

#include <cstdint>

namespace juxscan {

// Pieces may split a run anywhere; a line counts once all its bytes are in
// (a file that ends inside a run does not hold that run's line). Each line is
// packed on its own, so a run that reaches past a line's end is not scan
// data as the card packs it (a buffer whose words another program zeroed
// while the scan ran): from there on nothing is counted.
class ScanLineCount {
 public:
  explicit ScanLineCount(uint32_t lineLength) : lineLength_(lineLength), next_(lineLength) {}

  void Add(const uint8_t* data, uint32_t size);
  // Bytes per line of the lines not yet begun (a new width during the scan).
  void SetLineLength(uint32_t lineLength);
  // Counts nothing more: what follows cannot be trusted to be the scan's.
  void Close() { closed_ = true; }
  uint32_t Lines() const { return lines_; }

 private:
  // `n` decoded bytes of the current line (the run's header made sure they fit).
  void Decoded(uint32_t n);

  uint32_t lineLength_, next_;
  uint32_t inLine_ = 0;    // decoded bytes of the line being read
  uint32_t literal_ = 0;   // literal bytes of the current run still to come
  uint32_t repeat_ = 0;    // length of a repeat run whose data byte is still to come
  uint32_t lines_ = 0;
  bool closed_ = false;
};

}  // namespace juxscan
