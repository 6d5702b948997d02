// libtiff as the reference the converters' own Group 4 coder and readers are
// checked against, and two conveniences of the tests: whole images instead of
// rows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "tools/converters/bitimage.h"

namespace convtest {

// libtiff's CCITT T.6 (Group 4) coder over a whole image as one stream,
// white runs first, black = 1, fed row by row.
class G4Encoder {
 public:
  G4Encoder(uint32_t width, uint32_t height);
  void AddRow(const uint8_t* row);
  // After the last row: the stream (one strip of libtiff's output).
  std::span<const uint8_t> Finish();

 private:
  conv::BitImage image_;
  uint32_t y_ = 0;
  std::vector<uint8_t> stream_;
};

// libtiff writes the image as a 1-bit TIFF file at 100 dpi, strips of
// `rowsPerStrip` rows; with PHOTOMETRIC_MINISBLACK the bits written are the
// pixels inverted.
void WriteLibtiffTiff(const std::filesystem::path& path, const conv::BitImage& image,
                      uint16_t compression, uint16_t photometric, uint32_t rowsPerStrip);

// A Group 4 stream decoded by libtiff into one image; a damaged stream is a
// ConvertError naming `shown`.
conv::BitImage DecodeG4(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                        const std::string& shown);

// The first image of a 1-bit TIFF as the converters read it, into one image.
struct ScanImage {
  conv::BitImage image;
  uint32_t dpi = 0;  // from XResolution; 0 when the file does not say
};
ScanImage ReadBitonalTiff(std::span<const uint8_t> file, const std::string& shown);

}  // namespace convtest
