// file2tlc on an ordinary 1-bit TIFF (any compression libtiff reads, strips,
// bit order, black or white as zero), or a PNG or CALS raster. Input: one
// byte of options (rotation, inversion, view), then the file.
#include "tests/fuzz/converter_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  convfuzz::EnterScratchFolder("tiff_fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  convfuzz::File2TlcRoundTrip(std::span<const uint8_t>(data + 1, size - 1), data[0]);
  return 0;
}
