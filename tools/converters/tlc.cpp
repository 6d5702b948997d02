#include "tools/converters/tlc.h"

#include <tuple>

#include "tools/converters/bitimage.h"
#include "tools/converters/cmdline.h"

namespace conv {
namespace {

constexpr char kSignature[] = "Virozoro Size";
constexpr uint32_t kMaxDensity = 100000;

}  // namespace

std::string FormatTlcHeader(const TlcHeader& h) {
  std::string text = std::string(kSignature) + " " + std::to_string(h.width) + "," +
                     std::to_string(h.height) + " Density " + std::to_string(h.density) + " Data " +
                     std::to_string(h.dataBytes);
  if (h.viewBytes)
    text += " View " + std::to_string(h.viewWidth) + "," + std::to_string(h.viewHeight) + "," +
            std::to_string(h.viewBytes);
  text.resize(kTlcHeaderSize - 2, ' ');
  return text + "\r\n";
}

Tlc ParseTlc(std::span<const uint8_t> file, const std::string& shown) {
  if (file.empty()) throw ConvertError(shown + ": the file is empty");
  const std::string signature(kSignature);
  if (file.size() < signature.size() ||
      std::string(file.begin(), file.begin() + static_cast<ptrdiff_t>(signature.size())) !=
          signature)
    throw ConvertError(shown + ": not a TLC file (it does not begin with \"" + signature + "\")");
  if (file.size() < kTlcHeaderSize) throw ConvertError(shown + ": the TLC header is cut short");

  const std::string text(file.begin(), file.begin() + kTlcHeaderSize);
  Tlc tlc;
  TlcHeader& h = tlc.header;
  try {
    for (unsigned char c : text)
      if (c != '\r' && c != '\n' && (c < 0x20 || c > 0x7E))
        throw ConvertError("it holds a byte that is not text");
    std::vector<std::string> words = SplitWords(text);
    if (words.size() < 5 || words[3] != "Density")
      throw ConvertError("the size or density is missing");
    std::tie(h.width, h.height) = ParsePair(words[2], 1, kMaxTlcSide, "size");
    h.density = ParseNumber(words[4], 1, kMaxDensity, "density");
    bool haveData = false;
    for (size_t i = 5; i + 1 < words.size(); i += 2) {
      if (words[i] == "Data") {
        h.dataBytes = ParseNumber(words[i + 1], 1, 0xFFFFFFFFu, "data length");
        haveData = true;
      } else if (words[i] == "View") {
        const std::string& v = words[i + 1];
        size_t last = v.rfind(',');
        if (last == std::string::npos) throw ConvertError("the view field is malformed");
        std::tie(h.viewWidth, h.viewHeight) =
            ParsePair(v.substr(0, last), 1, kMaxTlcSide, "view size");
        h.viewBytes = ParseNumber(v.substr(last + 1), 1, 0xFFFFFFFFu, "view length");
      }
    }
    if (!haveData) throw ConvertError("the data length is missing");
  } catch (const ConvertError& e) {
    throw ConvertError(shown + ": damaged TLC header: " + e.what());
  }
  if (StrideFor(h.width) * uint64_t{h.height} > kMaxTlcImageBytes)
    throw ConvertError(shown + ": the TLC image is too large (" + std::to_string(h.width) + " x " +
                       std::to_string(h.height) + ")");
  const uint64_t dataEnd = kTlcHeaderSize + h.dataBytes;
  if (dataEnd + h.viewBytes > file.size())
    throw ConvertError(shown + ": the TLC file is cut short (" + std::to_string(file.size()) +
                       " bytes, the header announces " + std::to_string(dataEnd + h.viewBytes) +
                       ")");
  tlc.g4 = file.subspan(kTlcHeaderSize, h.dataBytes);
  tlc.viewPng = file.subspan(dataEnd, h.viewBytes);
  return tlc;
}

std::vector<uint8_t> BuildTlc(uint32_t width, uint32_t height, uint32_t density,
                              std::span<const uint8_t> g4, uint32_t viewWidth, uint32_t viewHeight,
                              std::span<const uint8_t> viewPng) {
  TlcHeader h{width, height, density, g4.size(), viewWidth, viewHeight, viewPng.size()};
  const std::string header = FormatTlcHeader(h);
  std::vector<uint8_t> out(header.begin(), header.end());
  out.reserve(header.size() + g4.size() + viewPng.size());
  out.insert(out.end(), g4.begin(), g4.end());
  out.insert(out.end(), viewPng.begin(), viewPng.end());
  return out;
}

}  // namespace conv
