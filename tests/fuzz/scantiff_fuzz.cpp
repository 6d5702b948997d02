// file2tlc on the scan program's TIFF: the fixed 186-byte header with the
// width, the length and the strip offset (as the strip edit moves it) taken
// from the input, then the input's PackBits data. Input: one byte of
// options (rotation, inversion, view), two of width, two of length, one of
// offset, then the data.
#include "tests/fuzz/converter_fuzz.h"

namespace {

std::vector<uint8_t> ScanFile(uint32_t width, uint32_t height, uint32_t skip,
                              std::span<const uint8_t> data) {
  std::vector<uint8_t> file(186, 0);
  auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  file[0] = file[1] = 'I';
  put(2, 42, 2);
  put(4, 8, 4);
  put(8, 13, 2);
  const uint32_t entries[13][3] = {
      {254, 4, 0},   {256, 4, width},      {257, 4, height}, {258, 3, 1},     {259, 3, 32773},
      {262, 3, 0},   {273, 4, 186 + skip}, {278, 4, 1257},   {279, 4, 77854}, {282, 5, 170},
      {283, 5, 178}, {284, 3, 1},          {281, 3, 1}};
  for (int i = 0; i < 13; ++i) {
    put(10 + 12 * i, entries[i][0], 2);
    put(12 + 12 * i, entries[i][1], 2);
    put(14 + 12 * i, 1, 4);
    put(18 + 12 * i, entries[i][2], 4);
  }
  put(170, 400, 4), put(174, 1, 4), put(178, 400, 4), put(182, 1, 4);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  convfuzz::EnterScratchFolder("scantiff_fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const uint32_t width = (data[1] | data[2] << 8) % 4096;  // 0 too: a scan without pixels
  const uint32_t height = (data[3] | data[4] << 8) % 1024;
  const std::span<const uint8_t> rest(data + 6, size - 6);
  convfuzz::File2TlcRoundTrip(ScanFile(width, height, data[5] % 64, rest), data[0]);
  return 0;
}
