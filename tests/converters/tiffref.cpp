#include "tests/converters/tiffref.h"

#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

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
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
  if (!file) throw ConvertError("no scratch file for libtiff's coder");
  TIFF* out = TIFFFdOpen(dup(fileno(file.get())), "g4 reference", "w");
  if (!out) throw ConvertError("libtiff cannot write the scratch file");
  TIFFSetField(out, TIFFTAG_IMAGEWIDTH, image_.width);
  TIFFSetField(out, TIFFTAG_IMAGELENGTH, image_.height);
  TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(out, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, image_.height);
  TIFFSetField(out, TIFFTAG_GROUP4OPTIONS, 0);
  bool written = true;
  for (uint32_t y = 0; y < image_.height && written; ++y)
    written = TIFFWriteScanline(out, image_.Row(y), y, 0) >= 0;
  TIFFClose(out);
  if (!written) throw ConvertError("Group 4 coding failed in libtiff");
  lseek(fileno(file.get()), 0, SEEK_SET);
  TIFF* in = TIFFFdOpen(dup(fileno(file.get())), "g4 reference", "r");
  if (!in) throw ConvertError("libtiff cannot read back its own file");
  stream_.resize(TIFFRawStripSize(in, 0));
  const tmsize_t got = TIFFReadRawStrip(in, 0, stream_.data(), static_cast<tmsize_t>(stream_.size()));
  TIFFClose(in);
  if (got < 0) throw ConvertError("libtiff cannot read back its strip");
  stream_.resize(static_cast<size_t>(got));
  return stream_;
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
