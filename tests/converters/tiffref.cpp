#include "tests/converters/tiffref.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tools/converters/cmdline.h"
#include "tools/converters/tiffio.h"

namespace convtest {

using conv::BitImage;
using conv::ConvertError;

G4Encoder::G4Encoder(uint32_t width, uint32_t height) : image_(width, height) {}

void G4Encoder::AddRow(const uint8_t* row) {
  if (y_ >= image_.height) throw ConvertError("Group 4 coding failed: more rows than the image has");
  std::memcpy(image_.Row(y_++), row, image_.stride);
}

std::span<const uint8_t> G4Encoder::Finish() {
  if (y_ != image_.height) throw ConvertError("Group 4 coding failed: rows missing");
  // libtiff writes a one-strip Group 4 TIFF to a scratch file; the strip is
  // the stream.
  std::string scratch = (std::filesystem::temp_directory_path() / "g4-reference-XXXXXX").string();
  const int fd = mkstemp(scratch.data());
  if (fd < 0) throw ConvertError("no scratch file for libtiff's coder");
  close(fd);
  WriteLibtiffTiff(scratch, image_, COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, image_.height);
  TIFF* in = TIFFOpen(scratch.c_str(), "r");
  tmsize_t got = -1;
  if (in) {
    stream_.resize(static_cast<size_t>(TIFFRawStripSize(in, 0)));
    got = TIFFReadRawStrip(in, 0, stream_.data(), static_cast<tmsize_t>(stream_.size()));
    TIFFClose(in);
  }
  std::filesystem::remove(scratch);
  if (got < 0) throw ConvertError("libtiff cannot read back its Group 4 strip");
  stream_.resize(static_cast<size_t>(got));
  return stream_;
}

void WriteLibtiffTiff(const std::filesystem::path& path, const BitImage& image,
                      uint16_t compression, uint16_t photometric, uint32_t rowsPerStrip) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) throw std::runtime_error("cannot write " + path.string());
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 100.0);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 100.0);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  std::vector<uint8_t> row(image.stride);
  bool written = true;
  for (uint32_t y = 0; y < image.height && written; ++y) {
    std::copy_n(image.Row(y), image.stride, row.begin());
    if (photometric == PHOTOMETRIC_MINISBLACK)
      for (uint8_t& b : row) b = static_cast<uint8_t>(~b);
    written = TIFFWriteScanline(tif, row.data(), y, 0) >= 0;
  }
  TIFFClose(tif);
  if (!written) throw std::runtime_error("libtiff could not write " + path.string());
}

BitImage DecodeG4(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                  const std::string& shown) {
  BitImage image(width, height);
  uint32_t y = 0;
  conv::DecodeG4Rows(data, size, width, height, shown,
                     [&](const uint8_t* row) { std::memcpy(image.Row(y++), row, image.stride); });
  return image;
}

ScanImage ReadBitonalTiff(std::span<const uint8_t> file, const std::string& shown) {
  ScanImage scan;
  uint32_t y = 0;
  conv::ReadBitonalTiffRows(
      file, shown,
      [&](const conv::TiffInfo& info) {
        scan.image = BitImage(info.width, info.height);
        scan.dpi = info.dpi;
      },
      [&](const uint8_t* row) { std::memcpy(scan.image.Row(y++), row, scan.image.stride); });
  return scan;
}

}  // namespace convtest
