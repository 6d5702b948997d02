// TIFF reading and writing and the CCITT Group 4 codec, all through libtiff
// working on memory buffers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tools/converters/bitimage.h"

namespace conv {

struct TiffInfo {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t dpi = 0;  // from XResolution; 0 when the file does not say
  // The whole image as one Group 4 stream (one strip, first bit highest)
  // within the file, else empty; its 1 bits are white when `g4White`.
  std::span<const uint8_t> g4;
  bool g4White = false;
};

// Reads the first image of a 1-bit TIFF, row by row from the top: `start`
// gets the size before the first row, `row` each row (black = 1, pad bits
// clear). A PackBits image whose directory names only one strip is decoded
// as one stream from that strip's offset by ImageWidth and ImageLength alone:
// that is how the scan program's file is laid out (its RowsPerStrip and
// StripByteCounts are constants that do not describe the data, and the
// header edit after a scan moves StripOffsets and shortens ImageLength).
// Every other TIFF is read strip by strip by libtiff.
void ReadBitonalTiffRows(std::span<const uint8_t> file, const std::string& shown,
                         const std::function<void(const TiffInfo&)>& start,
                         const std::function<void(const uint8_t* row)>& row);
// The same as change lists (as g4::FindChanges gives them, valid during the
// call). Group 4 data is decoded by the converters' own decoder in either
// form, once, every strip held to the header's width and its rows.
void ReadBitonalTiffChanges(std::span<const uint8_t> file, const std::string& shown,
                            const std::function<void(const TiffInfo&)>& start,
                            const std::function<void(std::span<const uint32_t>)>& changes);
// What `start` of the readers above gets, every check of the header made,
// without reading the image data.
TiffInfo ReadBitonalTiffInfo(std::span<const uint8_t> file, const std::string& shown);

// Decodes a CCITT T.6 (Group 4) stream (one strip, black = 1) row by row
// through libtiff; a damaged stream is a ConvertError naming `shown`.
void DecodeG4Rows(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                  const std::string& shown, const std::function<void(const uint8_t* row)>& row);
// TIFF files (little-endian, one strip, WhiteIsZero, resolution in dpi, with
// a PlanarConfiguration entry that the workstation's header patch relies on).
std::vector<uint8_t> TiffFromG4(const uint8_t* g4, size_t size, uint32_t width, uint32_t height,
                                uint32_t dpi);
std::vector<uint8_t> TiffPackBits(const BitImage& image, uint32_t dpi);
// PackBits coding of one row of n bytes into `out`, which has room for
// PackBitsRoom(n) bytes; returns the bytes written.
size_t PackBitsRow(const uint8_t* row, size_t n, uint8_t* out);
inline size_t PackBitsRoom(size_t n) { return n + (n + 127) / 128; }
// The PackBits TIFF fed row by row.
class PackBitsTiffWriter {
 public:
  PackBitsTiffWriter(uint32_t width, uint32_t height, uint32_t dpi);
  ~PackBitsTiffWriter();
  PackBitsTiffWriter(const PackBitsTiffWriter&) = delete;
  PackBitsTiffWriter& operator=(const PackBitsTiffWriter&) = delete;
  void AddRow(const uint8_t* row);
  std::vector<uint8_t> Finish();  // after the last row

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace conv
