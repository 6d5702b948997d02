// The raster files that file2tlc takes, told apart by their first bytes: a
// 1-bit TIFF (the scan program's file among them), a PNG (grey, as the
// station files it) and a CALS Type 1 raster. Each is handed on row by row
// from the top, black = 1, pad bits clear, after `start` got its size.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "tools/converters/tiffio.h"

namespace conv {

// A PNG is read when it is grey (any bit depth; a pixel darker than half
// is black) and not interlaced, a CALS raster when it is Type 1 in the usual
// orientation (rorient 000,270). Anything else, and damaged or cut-short
// data, is a ConvertError naming `shown`.
void ReadRasterRows(std::span<const uint8_t> file, const std::string& shown,
                    const std::function<void(const TiffInfo&)>& start,
                    const std::function<void(const uint8_t* row)>& row);

}  // namespace conv
