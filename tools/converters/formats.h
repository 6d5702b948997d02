// Writers of the export formats that tlcexport offers besides TIFF. The
// Group 4 based formats take the TLC's stream as it is, so an export without
// turning or reducing never decodes the image.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/converters/bitimage.h"

namespace conv {

// zlib level of the PNG writer: the default, a fair balance for line art.
inline constexpr int kPngLevel = 6;
// The view picture kept in a TLC file is made for speed.
inline constexpr int kViewPngLevel = 1;

// CALS Type 1 raster: a 2048-byte header of sixteen 128-byte text records,
// then the Group 4 stream. Its fixed-width fields hold at most 999999 pixels
// a side and 9999 dpi: CalsLimitProblem says which of them an image
// exceeds (empty when it fits), CalsFromG4 refuses such an image.
std::string CalsLimitProblem(uint32_t width, uint32_t height, uint32_t dpi);
std::vector<uint8_t> CalsFromG4(std::span<const uint8_t> g4, uint32_t width, uint32_t height,
                                uint32_t dpi);

// A one-page PDF whose page is the image at its resolution, the image kept as
// a CCITTFaxDecode (K -1) stream.
std::vector<uint8_t> PdfFromG4(std::span<const uint8_t> g4, uint32_t width, uint32_t height,
                               uint32_t dpi);

// PNG, grey, fed row by row in PNG's own terms (for 1 bit: black 0).
class PngWriter {
 public:
  PngWriter(uint32_t width, uint32_t height, uint8_t bitDepth, uint32_t dpi, int level);
  ~PngWriter();
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;
  void AddRow(const uint8_t* row);
  std::vector<uint8_t> Finish();  // after the last row

 private:
  void Drain(int flush);
  std::vector<uint8_t> out_, idat_, line_, packed_;
  void* z_;  // the zlib stream
};

}  // namespace conv
