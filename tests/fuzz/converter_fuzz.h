// What the converter harnesses share: a scratch folder of their own, and the
// round trip through file2tlc. A bad input may fail only with the
// converters' own error (ConvertError); a good one must come out of the TLC
// file as the very pixels the TIFF reader gave, turned as asked, its Group 4
// data must pass the exports' check with the same black count, and it must
// be the stream libtiff's coder makes of those pixels.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "tests/converters/tiffref.h"
#include "tools/converters/bitimage.h"
#include "tools/converters/cmdline.h"
#include "tools/converters/file2tlc.h"
#include "tools/converters/g4verify.h"
#include "tools/converters/rasterin.h"
#include "tools/converters/tiffio.h"
#include "tools/converters/tlc.h"

namespace convfuzz {

// The harness's own folder, made the current one.
inline void EnterScratchFolder(const char* harness) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    (std::string(harness) + "_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  if (chdir(dir.c_str()) != 0) std::abort();
}

inline void WriteFile(const std::string& path, std::span<const uint8_t> bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
      bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
  }
  return bytes;
}

inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "round trip broken: %s\n", what);
    std::abort();
  }
}

// file2tlc on the raster `file` (TIFF, PNG, CALS), with the rotation, inversion and view picture
// taken from `choice`; then the round trip is checked.
inline void File2TlcRoundTrip(std::span<const uint8_t> file, uint8_t choice) {
  // A few bytes of Group 4 may rightly stand for a white image of gigabytes;
  // the harness keeps to images that it can hold three times over.
  struct TooLarge {};
  try {
    conv::ReadRasterRows(
        file, "scan",
        [](const conv::TiffInfo& info) {
          if (conv::StrideFor(info.width) * uint64_t{info.height} > (uint64_t{16} << 20))
            throw TooLarge();
          throw conv::ConvertError("size only");
        },
        [](const uint8_t*) {});
  } catch (const TooLarge&) {
    return;
  } catch (const conv::ConvertError&) {
  }
  const std::string scan = std::filesystem::absolute("scan.tif").string();
  const std::string tlc = std::filesystem::absolute("out.tlc").string();
  WriteFile(scan, file);
  std::remove(tlc.c_str());
  conv::File2TlcOptions options;
  options.scanFile = scan;
  options.tlcFile = tlc;
  options.rotation = choice & 7;
  options.invert = (choice & 8) != 0;
  if (choice & 16) options.viewWidth = options.viewHeight = 1 + (choice >> 5) * 9;
  try {
    conv::Messages messages("file2tlc", "/dev/null", "");
    conv::RunFile2Tlc(options, messages);
  } catch (const conv::ConvertError&) {
    Check(!std::filesystem::exists(tlc), "a failed run left its output");
    return;
  }
  // The reader is trusted here (it is what file2tlc itself uses); what is
  // checked is everything after it.
  conv::BitImage read;
  uint32_t y = 0;
  conv::ReadRasterRows(
      file, "scan", [&](const conv::TiffInfo& info) { read = conv::BitImage(info.width, info.height); },
      [&](const uint8_t* row) { std::copy_n(row, read.stride, read.Row(y++)); });
  if (options.invert) conv::Invert(read);
  const conv::BitImage want = conv::Orient(std::move(read), options.rotation);

  const std::vector<uint8_t> bytes = ReadFile(tlc);
  const conv::Tlc parts = conv::ParseTlc(bytes, "out.tlc");
  Check(parts.header.width == want.width && parts.header.height == want.height, "size");
  Check(conv::VerifyG4(parts.g4.data(), parts.g4.size(), want.width, want.height, "out.tlc") ==
            conv::CountBlack(want),
        "black count of the check");
  const conv::BitImage got =
      convtest::DecodeG4(parts.g4.data(), parts.g4.size(), want.width, want.height, "out.tlc");
  Check(got.bits == want.bits, "pixels");
  // The converters' own coder writes libtiff's stream byte for byte.
  convtest::G4Encoder reference(want.width, want.height);
  for (uint32_t y = 0; y < want.height; ++y) reference.AddRow(want.Row(y));
  const std::span<const uint8_t> expected = reference.Finish();
  Check(std::equal(parts.g4.begin(), parts.g4.end(), expected.begin(), expected.end()),
        "stream unlike libtiff's");
  Check((options.viewWidth != 0) == !parts.viewPng.empty(), "view picture");
}

}  // namespace convfuzz
