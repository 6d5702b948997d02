#include "juxscan/scanlines.h"

namespace juxscan {

void ScanLineCount::Add(const uint8_t* data, uint32_t size) {
  for (uint32_t i = 0; i < size && !closed_ && lineLength_ != 0;) {
    if (literal_ > 0) {  // a literal run's bytes, as many as this piece holds
      const uint32_t n = literal_ < size - i ? literal_ : size - i;
      literal_ -= n;
      i += n;
      Decoded(n);
      continue;
    }
    const uint8_t byte = data[i++];
    if (repeat_ > 0) {  // a repeat run's data byte
      Decoded(repeat_);
      repeat_ = 0;
    } else if (byte < 128) {  // a literal run of byte + 1 bytes follows
      literal_ = byte + 1u;
      if (inLine_ + literal_ > lineLength_) closed_ = true;
    } else if (byte > 128) {  // the next byte, 257 - byte times
      repeat_ = 257u - byte;
      if (inLine_ + repeat_ > lineLength_) closed_ = true;
    }  // 128 is no operation
  }
}

void ScanLineCount::SetLineLength(uint32_t lineLength) {
  next_ = lineLength;
  if (inLine_ == 0 && literal_ == 0 && repeat_ == 0) lineLength_ = lineLength;
}

void ScanLineCount::Decoded(uint32_t n) {
  inLine_ += n;
  if (inLine_ < lineLength_) return;
  ++lines_;
  inLine_ = 0;
  lineLength_ = next_;
}

}  // namespace juxscan
