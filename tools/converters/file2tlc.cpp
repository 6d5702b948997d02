#include "tools/converters/file2tlc.h"

#include <algorithm>
#include <optional>
#include <tuple>

#include "tools/converters/bitimage.h"
#include "tools/converters/formats.h"
#include "tools/converters/g4.h"
#include "tools/converters/rasterin.h"
#include "tools/converters/tiffio.h"
#include "tools/converters/tlc.h"

namespace conv {

const std::vector<OptionSpec> kFile2TlcOptionSpecs = {{'Q', true},      {'E', true}, {'o', true},
                                                      {'r', true},      {'D', true}, {'I', false},
                                                      {'M', true, true}};

const char kFile2TlcUsage[] =
    "usage: file2tlc -Q msgfile -E errfile -o TLCFILE [-r ROT] [-D DPI] [-I] [-M W,H] SCANFILE\n"
    "       file2tlc -@ responsefile\n"
    "  -r ROT  leading edge 0 top, 1 right, 2 bottom, 3 left; + 4 mirrors the image\n"
    "  -D DPI  resolution written into the TLC header (default: the scan file's)\n"
    "  -I      invert black and white\n"
    "  -M W,H  keep a view picture of at most W x H pixels in the TLC file (-M alone: none)\n"
    "SCANFILE is a 1-bit TIFF (the scan program's among them), a grey PNG or a CALS Type 1 raster.\n";

// The scan program's header states 400 dpi; a file without a resolution is
// taken to come from the scanner at its native resolution.
constexpr uint32_t kDefaultDpi = 400;
// What stays mapped behind the reading of a scan that is turned.
constexpr size_t kReleaseMargin = 1 << 20;

File2TlcOptions File2TlcOptionsFrom(const ParsedOptions& parsed) {
  File2TlcOptions o;
  o.tlcFile = parsed.Last('o');
  if (o.tlcFile.empty()) throw ConvertError("no output file given (-o TLCFILE)", kExitUsage);
  if (parsed.operands.empty()) throw ConvertError("no scan file given", kExitUsage);
  if (parsed.operands.size() > 1)
    throw ConvertError(
        "more than one scan file given: " + parsed.operands[0] + " and " + parsed.operands[1],
        kExitUsage);
  o.scanFile = parsed.operands[0];
  if (parsed.Has('r'))
    o.rotation = static_cast<int>(ParseNumber(parsed.Last('r'), 0, 7, "rotation code"));
  if (parsed.Has('D')) o.dpi = ParseNumber(parsed.Last('D'), 1, 99999, "resolution");
  o.invert = parsed.Has('I');
  // "-M" without a size (an empty configured size) keeps no view picture.
  if (!parsed.Last('M').empty())
    std::tie(o.viewWidth, o.viewHeight) = ParsePair(parsed.Last('M'), 1, 100000, "view size");
  return o;
}

void RunFile2Tlc(const File2TlcOptions& o, Messages& messages) {
  OutputFile out(HostPath(o.tlcFile), o.tlcFile);  // fails early on a missing folder
  std::optional<FileBytes> input = ReadWholeFile(HostPath(o.scanFile), o.scanFile);
  const std::span<const uint8_t> file = input->bytes();

  // Every row of the upright image goes to the coder, whose stream goes
  // straight into the file after a header that is completed at the end, and
  // to the view picture, whose grey rows go straight into its PNG.
  uint32_t width = 0, height = 0, dpi = 0;
  uint64_t dataBytes = 0;
  std::optional<g4::Encoder> encoder;
  std::optional<ViewBuilder> view;
  std::optional<PngWriter> viewPng;
  auto begin = [&](uint32_t w, uint32_t h, uint32_t fileDpi) {
    width = w;
    height = h;
    dpi = o.dpi ? o.dpi : fileDpi ? fileDpi : kDefaultDpi;
    const std::string placeholder(kTlcHeaderSize, ' ');
    out.Write(placeholder.data(), placeholder.size());
    encoder.emplace(w, h, [&](const uint8_t* data, size_t size) {
      out.Write(data, size);
      dataBytes += size;
    });
    if (o.viewWidth) {
      view.emplace(w, h, o.viewWidth, o.viewHeight,
                   [&](const uint8_t* grey) { viewPng->AddRow(grey); });
      viewPng.emplace(view->ViewWidth(), view->ViewHeight(), 8, 0, kViewPngLevel);
    }
  };
  auto take = [&](const uint8_t* row) {
    encoder->AddRow(row);
    if (view) view->AddRow(row);
  };

  if ((o.rotation & 3) == 0) {
    // No turn: the scan streams through row by row, the whole image is never
    // held.
    std::vector<uint8_t> work;
    ReadRasterRows(
        file, o.scanFile,
        [&](const TiffInfo& info) {
          begin(info.width, info.height, info.dpi);
          work.resize(StrideFor(info.width));
        },
        [&](const uint8_t* row) {
          if (!o.invert && !(o.rotation & 4)) return take(row);
          std::copy(row, row + work.size(), work.begin());
          if (o.invert) InvertRow(work.data(), width);
          if (o.rotation & 4) MirrorRow(work.data(), width);
          take(work.data());
        });
  } else {
    // Turned or flipped: the scan is kept as the change lists of its rows,
    // much smaller than its pixels, and the file is let go before the rows
    // of the upright image are handed out as change lists (a band of 256
    // at a time for a quarter turn).
    std::optional<g4::OrientedImage> oriented;
    uint32_t fileDpi = 0, scanHeight = 0, rowsRead = 0;
    ReadRasterRows(
        file, o.scanFile,
        [&](const TiffInfo& info) {
          oriented.emplace(info.width, info.height, o.rotation, o.invert);
          fileDpi = info.dpi;
          scanHeight = info.height;
        },
        [&](const uint8_t* row) {
          oriented->AddRow(row);
          // The file is read front to back: the part behind the share of
          // rows read so far (less a margin) leaves memory as the change
          // lists grow.
          if (++rowsRead % 256 != 0) return;
          const auto done =
              static_cast<size_t>(double(rowsRead) / scanHeight * double(file.size()));
          if (done > kReleaseMargin) input->Release(done - kReleaseMargin);
        });
    input.reset();
    begin(oriented->width(), oriented->height(), fileDpi);
    oriented->Emit([&](std::span<const uint32_t> changes) {
      encoder->AddChanges(changes);
      if (view) view->AddChanges(changes);
    });
  }
  encoder->Finish();

  TlcHeader header{width, height, dpi, dataBytes, 0, 0, 0};
  if (viewPng) {
    const std::vector<uint8_t> png = viewPng->Finish();
    out.Write(png.data(), png.size());
    header.viewWidth = view->ViewWidth();
    header.viewHeight = view->ViewHeight();
    header.viewBytes = png.size();
  }
  const std::string text = FormatTlcHeader(header);
  out.Overwrite(0, text.data(), text.size());
  out.Commit();

  std::string line = o.scanFile + " -> " + o.tlcFile + ": " + std::to_string(width) + " x " +
                     std::to_string(height) + " pixels, " + std::to_string(dpi) +
                     " dpi, rotation " + std::to_string(o.rotation) +
                     (o.invert ? ", inverted" : "") + ", " +
                     std::to_string(kTlcHeaderSize + dataBytes + header.viewBytes) + " bytes";
  if (view)
    line +=
        ", view " + std::to_string(header.viewWidth) + " x " + std::to_string(header.viewHeight);
  messages.Info(line);
}

}  // namespace conv
