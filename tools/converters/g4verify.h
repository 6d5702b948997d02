// Proof that a Group 4 (T.6) stream holds exactly the image its header
// announces, without making the image: the exports that pass the stored
// stream on unchanged run this before they replace their target, so a TLC
// whose header lies about the size, or whose data is damaged or cut short,
// never reaches an output file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace conv {

// Decodes the changing elements of every line of the stream (black = 1,
// most significant bit first, as G4Encoder writes it) and checks that
//   - every line ends exactly at `width` pixels, no run crossing it;
//   - there are exactly `height` lines;
//   - after the last line nothing follows but an end-of-block code and zero
//     fill bits (a stream with more lines than `height` is refused too).
// Returns the number of black pixels, counted from the runs on the way. A
// stream that fails is a ConvertError naming `shown` and the line.
uint64_t VerifyG4(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                  const std::string& shown);

}  // namespace conv
