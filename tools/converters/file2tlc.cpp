#include "tools/converters/file2tlc.h"

#include <tuple>

#include "tools/converters/bitimage.h"
#include "tools/converters/formats.h"
#include "tools/converters/tiffio.h"
#include "tools/converters/tlc.h"

namespace conv {

const std::vector<OptionSpec> kFile2TlcOptionSpecs = {
    {'Q', true}, {'E', true}, {'o', true}, {'r', true}, {'D', true}, {'I', false}, {'M', true}};

const char kFile2TlcUsage[] =
    "usage: file2tlc -Q msgfile -E errfile -o TLCFILE [-r ROT] [-D DPI] [-I] [-M W,H] SCANFILE\n"
    "       file2tlc -@ responsefile\n"
    "  -r ROT  leading edge 0 top, 1 right, 2 bottom, 3 left; + 4 mirrors the image\n"
    "  -D DPI  resolution written into the TLC header (default: the scan file's)\n"
    "  -I      invert black and white\n"
    "  -M W,H  keep a view picture of at most W x H pixels in the TLC file\n";

// The scan program's header states 400 dpi; a file without a resolution is
// taken to come from the scanner at its native resolution.
constexpr uint32_t kDefaultDpi = 400;

File2TlcOptions File2TlcOptionsFrom(const ParsedOptions& parsed) {
  File2TlcOptions o;
  o.tlcFile = parsed.Last('o');
  if (o.tlcFile.empty()) throw ConvertError("no output file given (-o TLCFILE)", kExitUsage);
  if (parsed.operands.empty()) throw ConvertError("no scan file given", kExitUsage);
  if (parsed.operands.size() > 1)
    throw ConvertError("more than one scan file given: " + parsed.operands[0] + " and " +
                           parsed.operands[1],
                       kExitUsage);
  o.scanFile = parsed.operands[0];
  if (parsed.Has('r')) o.rotation = static_cast<int>(ParseNumber(parsed.Last('r'), 0, 7, "rotation code"));
  if (parsed.Has('D')) o.dpi = ParseNumber(parsed.Last('D'), 1, 99999, "resolution");
  o.invert = parsed.Has('I');
  if (parsed.Has('M'))
    std::tie(o.viewWidth, o.viewHeight) = ParsePair(parsed.Last('M'), 1, 100000, "view size");
  return o;
}

void RunFile2Tlc(const File2TlcOptions& o, Messages& messages) {
  OutputFile out(HostPath(o.tlcFile), o.tlcFile);  // fails early on a missing folder
  ScanImage scan = ReadBitonalTiff(ReadWholeFile(HostPath(o.scanFile), o.scanFile), o.scanFile);
  const uint32_t dpi = o.dpi ? o.dpi : scan.dpi ? scan.dpi : kDefaultDpi;
  if (o.invert) Invert(scan.image);
  BitImage image = Orient(std::move(scan.image), o.rotation);
  const std::vector<uint8_t> g4 = EncodeG4(image);

  GreyImage view;
  std::vector<uint8_t> viewPng;
  if (o.viewWidth) {
    view = MakeView(image, o.viewWidth, o.viewHeight);
    viewPng = PngFromGrey(view);
  }
  const std::vector<uint8_t> tlc =
      BuildTlc(image.width, image.height, dpi, g4, view.width, view.height, viewPng);
  out.Write(tlc.data(), tlc.size());
  out.Commit();

  std::string line = o.scanFile + " -> " + o.tlcFile + ": " + std::to_string(image.width) + " x " +
                     std::to_string(image.height) + " pixels, " + std::to_string(dpi) +
                     " dpi, rotation " + std::to_string(o.rotation) +
                     (o.invert ? ", inverted" : "") + ", " + std::to_string(tlc.size()) + " bytes";
  if (o.viewWidth)
    line += ", view " + std::to_string(view.width) + " x " + std::to_string(view.height);
  messages.Info(line);
}

}  // namespace conv
