// Writes the converter benchmark's inputs into a folder:
//   drawing.tif        36 x 48 inch drawing at 400 dpi (14400 x 19200) in the
//                      scan program's layout (186-byte header, PackBits lines)
//   blank.tif          a blank page of the same size, same layout
//   drawing-plain.tif  the drawing as an ordinary one-strip-per-64K PackBits TIFF,
//                      which other TIFF tools read correctly
//   drawing.raw        the drawing's bits uncompressed, for the bit-count floor
//   noisy.tif, noisy-plain.tif, noisy.raw
//                      the same drawing with scan noise (rough edges on every
//                      black/white transition, isolated specks)
#include <cstdio>
#include <string>

#include "tests/converters/testdata.h"
#include "tools/converters/tiffio.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_inputs FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  const uint32_t width = 36 * 400, height = 48 * 400;
  const conv::BitImage drawing = convtest::Drawing(width, height);
  convtest::WriteBytes(dir + "/drawing.tif", convtest::ScanFileBytes(drawing));
  convtest::WriteBytes(dir + "/blank.tif", convtest::ScanFileBytes(conv::BitImage(width, height)));
  convtest::WriteBytes(dir + "/drawing-plain.tif", conv::TiffPackBits(drawing, 400));
  convtest::WriteBytes(dir + "/drawing.raw", {drawing.bits.begin(), drawing.bits.end()});
  std::printf("drawing %u x %u, %.2f%% black\n", width, height,
              100.0 * double(conv::CountBlack(drawing)) / (double(width) * height));
  const conv::BitImage noisy = convtest::NoisyDrawing(width, height);
  convtest::WriteBytes(dir + "/noisy.tif", convtest::ScanFileBytes(noisy));
  convtest::WriteBytes(dir + "/noisy-plain.tif", conv::TiffPackBits(noisy, 400));
  convtest::WriteBytes(dir + "/noisy.raw", {noisy.bits.begin(), noisy.bits.end()});
  std::printf("noisy drawing %u x %u, %.2f%% black\n", width, height,
              100.0 * double(conv::CountBlack(noisy)) / (double(width) * height));
  return 0;
}
