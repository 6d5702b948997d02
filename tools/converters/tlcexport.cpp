#include "tools/converters/tlcexport.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <tuple>

#include "tools/converters/bitimage.h"
#include "tools/converters/formats.h"
#include "tools/converters/g4.h"
#include "tools/converters/g4verify.h"
#include "tools/converters/tiffio.h"
#include "tools/converters/tlc.h"

namespace conv {

const std::vector<OutputType> kOutputTypes = {
    // clang-format off
    {'T', "TIFF, CCITT Group 4"},
    {'B', "TIFF, PackBits"},
    {'C', "CALS Type 1 raster"},
    {'F', "PDF, one page, Group 4 image"},
    {'N', "PNG, black and white"},
    {'L', "TLC"},
    // clang-format on
};

const std::vector<OptionSpec> kTlcExportOptionSpecs = [] {
  std::vector<OptionSpec> specs = {
      {'E', true}, {'Q', true}, {'o', true}, {'P', true}, {'#', false}};
  for (const OutputType& t : kOutputTypes) specs.push_back({t.letter, false});
  return specs;
}();

const char kTlcExportUsage[] =
    "usage: tlcexport -E errfile -Q msgfile TYPE -o OUTFILE [-P FROM,TO] [-#] TLCFILE\n"
    "       tlcexport -@ responsefile\n"
    "  TYPE        -T TIFF Group 4, -B TIFF PackBits, -C CALS Type 1, -F PDF, -N PNG, -L TLC\n"
    "  -P FROM,TO  change the resolution from FROM to TO dpi (a reduction keeps thin\n"
    "              lines, an enlargement replicates pixels)\n"
    "  -#          write the black-pixel statistics to the -Q file\n";

namespace {

const OutputType* TypeFor(char letter) {
  for (const OutputType& t : kOutputTypes)
    if (t.letter == letter) return &t;
  return nullptr;
}

std::string ReportLine(const std::string& label, const std::string& value) {
  std::string line = label;
  line.resize(46, ' ');
  return line + ": " + value;  // the value starts at character 49
}

void WriteReport(const std::string& shown, const TlcHeader& h, uint64_t black, Messages& messages) {
  for (const std::string& line : StatisticsReport(shown, h.width, h.height, h.density, black))
    messages.Info(line);
}

void WriteOutput(OutputFile& out, const std::vector<uint8_t>& bytes, const TlcExportOptions& o,
                 uint32_t width, uint32_t height, uint32_t dpi, Messages& messages) {
  out.Write(bytes.data(), bytes.size());
  out.Commit();
  messages.Info(o.tlcFile + " -> " + o.outFile + ": " + o.type->name + ", " +
                std::to_string(width) + " x " + std::to_string(height) + " pixels, " +
                std::to_string(dpi) + " dpi, " + std::to_string(bytes.size()) + " bytes");
}

// A file of one of the formats that carry the Group 4 stream itself.
std::vector<uint8_t> GroupFourFile(char type, std::span<const uint8_t> g4, uint32_t width,
                                   uint32_t height, uint32_t dpi) {
  switch (type) {
    case 'C':
      return CalsFromG4(g4, width, height, dpi);
    case 'F':
      return PdfFromG4(g4, width, height, dpi);
    default:
      return TiffFromG4(g4.data(), g4.size(), width, height, dpi);
  }
}

}  // namespace

TlcExportOptions TlcExportOptionsFrom(const ParsedOptions& parsed) {
  TlcExportOptions o;
  for (char letter : parsed.flags) {
    const OutputType* t = TypeFor(letter);
    if (!t) continue;
    if (o.type && o.type != t)
      throw ConvertError(
          std::string("two output types given: -") + o.type->letter + " and -" + t->letter,
          kExitUsage);
    o.type = t;
  }
  o.outFile = parsed.Last('o');
  o.statistics = parsed.Has('#');
  if (parsed.operands.empty()) throw ConvertError("no TLC file given", kExitUsage);
  if (parsed.operands.size() > 1) {
    std::string codes;
    for (const OutputType& t : kOutputTypes)
      codes += std::string(codes.empty() ? "" : ", ") + "-" + t.letter;
    throw ConvertError("unknown output type or extra argument \"" + parsed.operands[0] +
                           "\" (output types are " + codes + ")",
                       kExitUsage);
  }
  o.tlcFile = parsed.operands[0];
  if (o.type && o.outFile.empty())
    throw ConvertError(std::string("no output file given (-o) for type -") + o.type->letter,
                       kExitUsage);
  if (!o.outFile.empty() && !o.type) o.type = TypeFor('T');  // the station's usual format
  if (o.outFile.empty() && !o.statistics)
    throw ConvertError("nothing to do: give an output type with -o OUTFILE, or -#", kExitUsage);
  if (parsed.Has('P')) {
    std::tie(o.reduceFrom, o.reduceTo) = ParsePair(parsed.Last('P'), 1, 99999, "-P resolution");
  }
  return o;
}

std::vector<std::string> StatisticsReport(const std::string& shownName, uint32_t width,
                                          uint32_t height, uint32_t density, uint64_t black) {
  const uint64_t pixels = uint64_t{width} * height;
  char share[32];
  std::snprintf(share, sizeof share, "%8.2f%%",
                pixels ? 100.0 * double(black) / double(pixels) : 0.0);
  return {
      "Image statistics of " + shownName,
      ReportLine("Image size in pixels", std::to_string(width) + " x " + std::to_string(height)),
      ReportLine("Resolution in dots per inch", std::to_string(density)),
      ReportLine("Pixels in all", std::to_string(pixels)),
      ReportLine("Black pixels", std::to_string(black)),
      ReportLine("Share of black dots", share),
  };
}

void RunTlcExport(const TlcExportOptions& o, Messages& messages) {
  std::unique_ptr<OutputFile> out;
  if (!o.outFile.empty()) out = std::make_unique<OutputFile>(HostPath(o.outFile), o.outFile);
  const FileBytes input = ReadWholeFile(HostPath(o.tlcFile), o.tlcFile);
  const Tlc tlc = ParseTlc(input.bytes(), o.tlcFile);
  const TlcHeader& h = tlc.header;
  const char type = out ? o.type->letter : 0;
  // A reduction, or an enlargement (a TO above FROM) by pixel replication.
  const bool reduce = out && o.reduceFrom && o.reduceTo != o.reduceFrom;
  const bool groupFour = type == 'T' || type == 'C' || type == 'F' || type == 'L';
  std::optional<uint64_t> black;  // of the image as stored, before any reduction
  // A format that cannot hold the image is refused before any work is done.
  auto checkFits = [&](uint32_t width, uint32_t height, uint32_t dpi) {
    if (type != 'C') return;
    if (const std::string problem = CalsLimitProblem(width, height, dpi); !problem.empty())
      throw ConvertError(o.outFile + ": not written: " + problem + " (" + o.tlcFile + ")");
  };

  // Every export passes the image on only when its data decodes to exactly
  // the header's size; the check counts the black pixels on the way.
  if (!out || (groupFour && !reduce)) {
    // The Group 4 formats take the stored stream, once proven, as it is.
    const uint64_t blackPixels =
        VerifyG4(tlc.g4.data(), tlc.g4.size(), h.width, h.height, o.tlcFile);
    checkFits(h.width, h.height, h.density);
    if (o.statistics) black = blackPixels;
    if (out) {
      const std::vector<uint8_t> bytes =
          type == 'L' ? BuildTlc(h.width, h.height, h.density, tlc.g4, h.viewWidth, h.viewHeight,
                                 tlc.viewPng)
                      : GroupFourFile(type, tlc.g4, h.width, h.height, h.density);
      WriteOutput(*out, bytes, o, h.width, h.height, h.density, messages);
    }
  } else {
    // Everything else decodes the image row by row into its writer,
    // through the reduction when there is one.
    uint32_t width = h.width, height = h.height, dpi = h.density;
    if (reduce) {
      // An enlargement stays within what a TLC may hold.
      auto scaled = [&](uint32_t side) {
        return (uint64_t{side} * o.reduceTo + o.reduceFrom - 1) / o.reduceFrom;
      };
      const uint64_t w = scaled(h.width), ht = scaled(h.height);
      if (w > kMaxTlcSide || ht > kMaxTlcSide || (w + 7) / 8 * ht > kMaxTlcImageBytes)
        throw ConvertError(o.tlcFile + ": -P " + std::to_string(o.reduceFrom) + "," +
                           std::to_string(o.reduceTo) + " would make an image of " +
                           std::to_string(w) + " x " + std::to_string(ht) +
                           " pixels, more than a TLC image may have");
      const RowReducer probe(h.width, h.height, o.reduceFrom, o.reduceTo, nullptr);
      width = probe.width();
      height = probe.height();
      dpi = std::max<uint32_t>(
          1, static_cast<uint32_t>((uint64_t{h.density} * o.reduceTo + o.reduceFrom / 2) /
                                   o.reduceFrom));
    }
    checkFits(width, height, dpi);
    std::optional<g4::Encoder> g4;
    std::optional<PackBitsTiffWriter> packBits;
    std::optional<PngWriter> png;
    std::vector<uint8_t> inverted(StrideFor(width));
    std::function<void(const uint8_t*)> sink;
    if (groupFour) {
      g4.emplace(width, height);
      sink = [&](const uint8_t* row) { g4->AddRow(row); };
    } else if (type == 'B') {
      packBits.emplace(width, height, dpi);
      sink = [&](const uint8_t* row) { packBits->AddRow(row); };
    } else {
      png.emplace(width, height, 1, dpi, kPngLevel);
      sink = [&](const uint8_t* row) {  // PNG has black as 0
        for (size_t i = 0; i < inverted.size(); ++i) inverted[i] = static_cast<uint8_t>(~row[i]);
        png->AddRow(inverted.data());
      };
    }
    std::optional<RowReducer> reducer;
    if (reduce) reducer.emplace(h.width, h.height, o.reduceFrom, o.reduceTo, sink);

    // One decode both proves the data and gives the rows; nothing reaches
    // the output file unless the whole stream is sound.
    g4::Decoder decoder(tlc.g4.data(), tlc.g4.size(), h.width, h.height, o.tlcFile);
    std::vector<uint64_t> row(g4::RowWords(h.width));
    const auto* rowBytes = reinterpret_cast<const uint8_t*>(row.data());
    for (uint32_t y = 0; y < h.height; ++y) {
      g4::DrawRow(decoder.NextLine(), h.width, row.data());
      if (reducer)
        reducer->AddRow(rowBytes);
      else
        sink(rowBytes);
    }
    decoder.Finish();
    if (o.statistics) black = decoder.black();

    std::vector<uint8_t> bytes;
    if (g4) {
      const std::span<const uint8_t> stream = g4->Finish();
      // A reduced TLC has no view picture.
      bytes = type == 'L' ? BuildTlc(width, height, dpi, stream, 0, 0, {})
                          : GroupFourFile(type, stream, width, height, dpi);
    } else {
      bytes = packBits ? packBits->Finish() : png->Finish();
    }
    WriteOutput(*out, bytes, o, width, height, dpi, messages);
  }
  // The report comes last: the workstation takes the last line that holds
  // "black dots", and a file name in an earlier line might hold it too.
  if (black) WriteReport(o.tlcFile, h, *black, messages);
}

}  // namespace conv
