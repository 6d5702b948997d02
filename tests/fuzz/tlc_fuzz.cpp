// tlcexport on a TLC file. Input: one byte choosing the export, then either
// a whole TLC file (it begins "Virozoro") or two bytes of width, two of
// height and the Group 4 data, put behind a header of that size.
// Properties: a bad file fails only with the converters' own error and
// leaves no output; the exports' check accepts only data that libtiff's own
// decoder turns into an image of the header's size with the same black
// count; an export that succeeds gives a file that decodes to those pixels.
#include <cstring>

#include "tests/fuzz/converter_fuzz.h"
#include "tools/converters/tlcexport.h"

namespace {

struct Export {
  char type;
  uint32_t from, to;  // -P, 0: none
};
constexpr Export kExports[] = {{'T', 0, 0},     {'L', 0, 0},     {'C', 0, 0},
                               {'F', 0, 0},     {'B', 0, 0},     {'N', 0, 0},
                               {'T', 400, 200}, {'L', 300, 400}, {'B', 3, 7}};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  convfuzz::EnterScratchFolder("tlc_fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  std::vector<uint8_t> file;
  if (size >= 9 && std::memcmp(data + 1, "Virozoro", 8) == 0) {
    file.assign(data + 1, data + size);
  } else {
    const uint32_t width = 1 + (data[1] | data[2] << 8) % 4096;
    const uint32_t height = 1 + (data[3] | data[4] << 8) % 1024;
    file =
        conv::BuildTlc(width, height, 400, std::span<const uint8_t>(data + 5, size - 5), 0, 0, {});
  }
  const std::string in = std::filesystem::absolute("in.tlc").string();
  const std::string out = std::filesystem::absolute("out.dat").string();
  convfuzz::WriteFile(in, file);
  std::remove(out.c_str());

  // The check against libtiff's decoder.
  conv::Tlc tlc;
  try {
    tlc = conv::ParseTlc(file, "in.tlc");
  } catch (const conv::ConvertError&) {
    return 0;
  }
  const conv::TlcHeader& h = tlc.header;
  uint64_t black = 0;
  try {
    black = conv::VerifyG4(tlc.g4.data(), tlc.g4.size(), h.width, h.height, "in.tlc");
  } catch (const conv::ConvertError&) {
    black = ~uint64_t{0};  // refused: the export below must fail too
  }
  conv::BitImage image;
  if (black != ~uint64_t{0}) {
    try {
      image = convtest::DecodeG4(tlc.g4.data(), tlc.g4.size(), h.width, h.height, "in.tlc");
    } catch (const conv::ConvertError&) {
      convfuzz::Check(false, "data the check accepts does not decode");
    }
    convfuzz::Check(conv::CountBlack(image) == black, "black count of the check");
  }

  const Export& e = kExports[data[0] % std::size(kExports)];
  conv::TlcExportOptions options;
  options.tlcFile = in;
  options.outFile = out;
  for (const conv::OutputType& t : conv::kOutputTypes)
    if (t.letter == e.type) options.type = &t;
  options.reduceFrom = e.from;
  options.reduceTo = e.to;
  options.statistics = (data[0] & 0x80) != 0;
  try {
    conv::Messages messages("tlcexport", "/dev/null", "");
    conv::RunTlcExport(options, messages);
  } catch (const conv::ConvertError&) {
    convfuzz::Check(!std::filesystem::exists(out), "a failed export left its output");
    return 0;
  }
  convfuzz::Check(black != ~uint64_t{0}, "an export of data the check refuses");
  if (e.from == 0 && (e.type == 'T' || e.type == 'L')) {
    const std::vector<uint8_t> bytes = convfuzz::ReadFile(out);
    conv::BitImage got;
    if (e.type == 'L') {
      const std::span<const uint8_t> g4 = conv::ParseTlc(bytes, "out.tlc").g4;
      got = convtest::DecodeG4(g4.data(), g4.size(), h.width, h.height, "out.tlc");
    } else {
      got = convtest::ReadBitonalTiff(bytes, "out.tif").image;
    }
    convfuzz::Check(got.width == h.width && got.height == h.height && got.bits == image.bits,
                    "exported pixels");
  }
  return 0;
}
