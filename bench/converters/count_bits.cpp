// The references of the statistics run, each printing the black pixels:
//   count_bits RAWFILE         read an uncompressed 1-bit image file and
//                              count its set bits, nothing else
//   count_bits --tiff TIFFFILE decode a 1-bit TIFF strip by strip with
//                              libtiff and count the set bits
//   count_bits --tlc TLCFILE   the converters' own decoding of a TLC's
//                              image, counting from the runs (no pixels)
#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/converters/bitimage.h"
#include "tools/converters/cmdline.h"
#include "tools/converters/g4verify.h"
#include "tools/converters/tlc.h"

namespace {

int Raw(const char* path, uint64_t& bits) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return 1;
  std::vector<uint8_t> chunk(1 << 20);
  size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0)
    bits += conv::CountSetBits(chunk.data(), n);
  std::fclose(f);
  return 0;
}

int Libtiff(const char* path, uint64_t& bits) {
  TIFF* tif = TIFFOpen(path, "r");
  if (!tif) return 1;
  std::vector<uint8_t> strip(static_cast<size_t>(TIFFStripSize(tif)));
  for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
    const tmsize_t got = TIFFReadEncodedStrip(tif, s, strip.data(), -1);
    if (got < 0) {
      TIFFClose(tif);
      return 1;
    }
    bits += conv::CountSetBits(strip.data(), static_cast<size_t>(got));
  }
  TIFFClose(tif);
  return 0;
}

int OwnDecoding(const char* path, uint64_t& bits) {
  try {
    const conv::FileBytes bytes = conv::ReadWholeFile(path, path);
    const conv::Tlc tlc = conv::ParseTlc(bytes.bytes(), path);
    bits = conv::VerifyG4(tlc.g4.data(), tlc.g4.size(), tlc.header.width, tlc.header.height, path);
  } catch (const conv::ConvertError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t bits = 0;
  int rc = 2;
  if (argc == 2)
    rc = Raw(argv[1], bits);
  else if (argc == 3 && std::strcmp(argv[1], "--tiff") == 0)
    rc = Libtiff(argv[2], bits);
  else if (argc == 3 && std::strcmp(argv[1], "--tlc") == 0)
    rc = OwnDecoding(argv[2], bits);
  else
    std::fprintf(stderr, "usage: count_bits RAWFILE | --tiff TIFFFILE | --tlc TLCFILE\n");
  if (rc == 0) std::printf("%llu\n", static_cast<unsigned long long>(bits));
  return rc;
}
