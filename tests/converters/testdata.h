// Images and files for the converter tests and benchmarks: scan files laid
// out like the scan program's (186-byte header with its constant RowsPerStrip
// and StripByteCounts, PackBits lines) and drawing-like test pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/converters/bitimage.h"

namespace convtest {

// A drawing of the given size: frame, title block, outlines, circles,
// hatching, dimension lines and lettering, a few percent black at 400 dpi.
conv::BitImage Drawing(uint32_t width, uint32_t height, uint32_t seed = 1);
// The same drawing as a scanner delivers it: rough edges (at every
// black/white edge, across and along the rows, one of the two pixels may take
// the other's colour) and isolated specks all over.
conv::BitImage NoisyDrawing(uint32_t width, uint32_t height, uint32_t seed = 1);

// Each line PackBits-coded on its own, as the scanner delivers them.
std::vector<uint8_t> PackBitsLines(const conv::BitImage& image);

// The scan program's file: its fixed header (ImageWidth and ImageLength
// patched in, 400 dpi), then the PackBits lines, then `extraLines` white
// lines that the header does not count (as after a trailing strip).
std::vector<uint8_t> ScanFileBytes(const conv::BitImage& image, uint32_t extraLines = 0);

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

}  // namespace convtest
