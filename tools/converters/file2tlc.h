// file2tlc: a scan TIFF (or a PNG or CALS raster) to a TLC file, turned upright, mirrored, inverted,
// with the resolution for the header and an optional reduced view picture.
//   file2tlc -Q msgfile -E errfile -o TLCFILE [-r ROT] [-D DPI] [-I] [-M W,H] SCANFILE
//   file2tlc -@ responsefile
#pragma once

#include <string>
#include <vector>

#include "tools/converters/cmdline.h"

namespace conv {

extern const std::vector<OptionSpec> kFile2TlcOptionSpecs;
extern const char kFile2TlcUsage[];

struct File2TlcOptions {
  std::string scanFile;  // Windows-style names, as given
  std::string tlcFile;
  int rotation = 0;  // 0-3 leading edge, + 4 mirror
  uint32_t dpi = 0;  // 0: the scan file's resolution (400 when it has none)
  bool invert = false;
  uint32_t viewWidth = 0;  // 0: no view picture
  uint32_t viewHeight = 0;
};

// Checks the parsed option line; a problem is a ConvertError with kExitUsage.
File2TlcOptions File2TlcOptionsFrom(const ParsedOptions& parsed);
void RunFile2Tlc(const File2TlcOptions& options, Messages& messages);

}  // namespace conv
