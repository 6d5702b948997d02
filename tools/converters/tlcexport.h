// tlcexport: a TLC file to another raster format, optionally reduced, and
// the black-pixel statistics of the image.
//   tlcexport -E errfile -Q msgfile TYPE -o OUTFILE [-P FROM,TO] [-#] TLCFILE
//   tlcexport -@ responsefile
// TYPE is one of the output type codes of kOutputTypes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/converters/cmdline.h"

namespace conv {

// The output type codes, as the workstation's [OutputTypes] entries end.
// Each code is itself an option of tlcexport ("-T" is also the plain
// "write TIFF Group 4" option of the workstation's reduction and statistics
// runs).
struct OutputType {
  char letter;  // the code is '-' and this letter
  const char* name;
};
extern const std::vector<OutputType> kOutputTypes;

extern const std::vector<OptionSpec> kTlcExportOptionSpecs;
extern const char kTlcExportUsage[];

struct TlcExportOptions {
  std::string tlcFile;
  std::string outFile;  // empty: no picture written
  const OutputType* type = nullptr;
  uint32_t reduceFrom = 0;  // 0: no reduction
  uint32_t reduceTo = 0;
  bool statistics = false;
};

TlcExportOptions TlcExportOptionsFrom(const ParsedOptions& parsed);
void RunTlcExport(const TlcExportOptions& options, Messages& messages);

// The statistics report; its "black dots" line carries from character 49
// the black share with two decimals and "%".
std::vector<std::string> StatisticsReport(const std::string& shownName, uint32_t width,
                                          uint32_t height, uint32_t density, uint64_t black);

}  // namespace conv
