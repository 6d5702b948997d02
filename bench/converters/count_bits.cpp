// The floor of the statistics run: read an uncompressed 1-bit image file and
// count its set bits, nothing else.
#include <cstdio>
#include <vector>

#include "tools/converters/bitimage.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: count_bits RAWFILE\n");
    return 2;
  }
  std::FILE* f = std::fopen(argv[1], "rb");
  if (!f) return 1;
  std::vector<uint8_t> chunk(1 << 20);
  uint64_t bits = 0;
  size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0)
    bits += conv::CountSetBits(chunk.data(), n);
  std::fclose(f);
  std::printf("%llu\n", static_cast<unsigned long long>(bits));
  return 0;
}
