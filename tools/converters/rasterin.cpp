#include "tools/converters/rasterin.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

#include "tools/converters/cmdline.h"
#include "tools/converters/g4verify.h"

namespace conv {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kCalsHeaderSize = 2048;
constexpr size_t kCalsRecordSize = 128;
// The largest image taken, as for a TIFF: 2 GB of pixels.
constexpr uint64_t kMaxImageBytes = uint64_t{1} << 31;

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void CheckSize(const std::string& shown, uint32_t width, uint32_t height) {
  if (width == 0 || height == 0)
    throw ConvertError(shown + ": the image has no pixels (" + std::to_string(width) + " x " +
                       std::to_string(height) + ")");
  if (StrideFor(width) * uint64_t{height} > kMaxImageBytes)
    throw ConvertError(shown + ": the image is too large (" + std::to_string(width) + " x " +
                       std::to_string(height) + ")");
}

// ---------------------------------------------------------------------------
// PNG

uint8_t Paeth(uint8_t a, uint8_t b, uint8_t c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The grey rows of a PNG, inflated chunk by chunk, unfiltered and handed on
// as bitonal rows.
class PngRows {
 public:
  PngRows(const std::string& shown, uint32_t width, uint32_t height, uint8_t depth,
          const std::function<void(const uint8_t*)>& emit)
      : shown_(shown), width_(width), height_(height), depth_(depth), emit_(emit) {
    const size_t bytes = (uint64_t{width} * depth + 7) / 8;
    cur_.assign(bytes + 1, 0);
    prev_.assign(bytes + 1, 0);
    out_.assign(StrideFor(width), 0);
    if (inflateInit(&z_) != Z_OK) throw ConvertError(shown + ": cannot set up the PNG reader");
  }
  ~PngRows() { inflateEnd(&z_); }
  PngRows(const PngRows&) = delete;
  PngRows& operator=(const PngRows&) = delete;

  void Add(const uint8_t* data, size_t size) {
    if (ended_) return;  // what follows the end of the image stream is not image data
    z_.next_in = const_cast<uint8_t*>(data);
    z_.avail_in = static_cast<uInt>(size);
    for (;;) {
      uint8_t extra = 0;
      const bool full = y_ == height_;
      z_.next_out = full ? &extra : cur_.data() + fill_;
      z_.avail_out = full ? 1 : static_cast<uInt>(cur_.size() - fill_);
      const int ret = inflate(&z_, Z_NO_FLUSH);
      if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR)
        throw ConvertError(shown_ + ": damaged image data after line " + std::to_string(y_) +
                           " of " + std::to_string(height_));
      if (full && z_.avail_out == 0)
        throw ConvertError(shown_ + ": the image data holds more than the " +
                           std::to_string(height_) + " lines of " + std::to_string(width_) +
                           " pixels its header announces");
      if (!full) {
        fill_ = cur_.size() - z_.avail_out;
        if (fill_ == cur_.size()) Row();
      }
      if (ret == Z_STREAM_END) {
        ended_ = true;
        return;
      }
      if (ret == Z_BUF_ERROR) return;  // all input taken: the next chunk goes on
    }
  }

  void Finish() const {
    if (y_ < height_)
      throw ConvertError(shown_ + ": the image data ends after line " + std::to_string(y_) +
                         " of " + std::to_string(height_));
  }

 private:
  void Row() {
    const size_t n = cur_.size() - 1;
    const size_t bpp = std::max<size_t>(1, depth_ / 8);
    uint8_t* x = cur_.data() + 1;
    const uint8_t* p = prev_.data() + 1;
    switch (cur_[0]) {
      case 0: break;
      case 1: for (size_t i = bpp; i < n; ++i) x[i] = static_cast<uint8_t>(x[i] + x[i - bpp]); break;
      case 2: for (size_t i = 0; i < n; ++i) x[i] = static_cast<uint8_t>(x[i] + p[i]); break;
      case 3:
        for (size_t i = 0; i < n; ++i)
          x[i] = static_cast<uint8_t>(x[i] + ((i >= bpp ? x[i - bpp] : 0) + p[i]) / 2);
        break;
      case 4:
        for (size_t i = 0; i < n; ++i)
          x[i] = static_cast<uint8_t>(
              x[i] + Paeth(i >= bpp ? x[i - bpp] : 0, p[i], i >= bpp ? p[i - bpp] : 0));
        break;
      default:
        throw ConvertError(shown_ + ": damaged image data at line " + std::to_string(y_ + 1) +
                           " (filter type " + std::to_string(cur_[0]) + ")");
    }
    if (depth_ == 1) {  // PNG has black as 0
      for (size_t i = 0; i < out_.size(); ++i) out_[i] = static_cast<uint8_t>(~x[i]);
    } else {
      std::fill(out_.begin(), out_.end(), 0);
      const uint32_t half = (1u << std::min<uint8_t>(depth_, 16)) / 2;
      for (uint32_t i = 0; i < width_; ++i) {
        uint32_t v;
        if (depth_ == 16) {
          v = uint32_t{x[2 * i]} << 8 | x[2 * i + 1];
        } else if (depth_ == 8) {
          v = x[i];
        } else {
          const uint64_t bit = uint64_t{i} * depth_;
          v = (x[bit / 8] >> (8 - depth_ - bit % 8)) & ((1u << depth_) - 1);
        }
        if (v < half) out_[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
      }
    }
    out_.back() &= static_cast<uint8_t>(0xFF << (out_.size() * 8 - width_));
    emit_(out_.data());
    std::swap(cur_, prev_);
    fill_ = 0;
    ++y_;
  }

  const std::string& shown_;
  uint32_t width_, height_;
  uint8_t depth_;
  const std::function<void(const uint8_t*)>& emit_;
  z_stream z_{};
  std::vector<uint8_t> cur_, prev_, out_;  // filter byte + row; bitonal row
  size_t fill_ = 0;
  uint32_t y_ = 0;
  bool ended_ = false;
};

void ReadPngRows(std::span<const uint8_t> file, const std::string& shown,
                 const std::function<void(const TiffInfo&)>& start,
                 const std::function<void(const uint8_t* row)>& emit) {
  TiffInfo info;
  uint8_t depth = 0;
  std::unique_ptr<PngRows> rows;
  for (size_t pos = sizeof kPngSignature;;) {
    if (file.size() - pos < 12) throw ConvertError(shown + ": the PNG file is cut short");
    const uint32_t length = Be32(&file[pos]);
    if (length > file.size() - pos - 12) throw ConvertError(shown + ": the PNG file is cut short");
    const uint8_t* type = &file[pos + 4];
    const uint8_t* data = type + 4;
    const std::string name(reinterpret_cast<const char*>(type), 4);
    if (crc32(0L, type, 4 + length) != Be32(data + length))
      throw ConvertError(shown + ": damaged PNG chunk " + name);
    pos += 12 + size_t{length};
    if (name == "IHDR") {
      if (length != 13 || rows) throw ConvertError(shown + ": damaged PNG header");
      info.width = Be32(data);
      info.height = Be32(data + 4);
      depth = data[8];
      if (data[9] != 0)
        throw ConvertError(shown + ": PNG colour type " + std::to_string(data[9]) +
                           " is not a grey image");
      if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)
        throw ConvertError(shown + ": damaged PNG header (bit depth " + std::to_string(depth) + ")");
      if (data[10] != 0 || data[11] != 0) throw ConvertError(shown + ": damaged PNG header");
      if (data[12] != 0) throw ConvertError(shown + ": interlaced PNG images are not supported");
      CheckSize(shown, info.width, info.height);
    } else if (name == "pHYs" && length >= 9 && data[8] == 1 && !rows) {
      const double dpi = Be32(data) * 0.0254;  // pixels per metre
      if (dpi >= 1 && dpi < 100000) info.dpi = static_cast<uint32_t>(dpi + 0.5);
    } else if (name == "IDAT") {
      if (depth == 0) throw ConvertError(shown + ": the PNG image data comes before its header");
      if (!rows) {
        start(info);
        rows = std::make_unique<PngRows>(shown, info.width, info.height, depth, emit);
      }
      rows->Add(data, length);
    } else if (name == "IEND") {
      break;
    } else if (std::isupper(type[0]) && name != "PLTE") {
      throw ConvertError(shown + ": PNG chunk " + name + " is not supported");
    }
  }
  if (!rows) throw ConvertError(shown + ": the file has no image data");
  rows->Finish();
}

// ---------------------------------------------------------------------------
// CALS Type 1: 2048 bytes of 128-byte text records ("name: value"), then one
// Group 4 stream.

bool IsCals(std::span<const uint8_t> file) {
  static const char kFirst[] = "srcdocid:";
  return file.size() >= kCalsRecordSize &&
         std::equal(kFirst, kFirst + sizeof kFirst - 1, file.begin(),
                    [](char a, uint8_t b) { return a == std::tolower(b); });
}

void ReadCalsRows(std::span<const uint8_t> file, const std::string& shown,
                  const std::function<void(const TiffInfo&)>& start,
                  const std::function<void(const uint8_t* row)>& emit) {
  if (file.size() < kCalsHeaderSize) throw ConvertError(shown + ": the CALS header is cut short");
  std::string type, size, density, orient;
  for (size_t at = 0; at < kCalsHeaderSize; at += kCalsRecordSize) {
    std::string record(reinterpret_cast<const char*>(&file[at]), kCalsRecordSize);
    const size_t colon = record.find(':');
    if (colon == std::string::npos) continue;
    std::string key = record.substr(0, colon);
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    std::string value = record.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    value.erase(value.find_last_not_of(" \r\n") + 1);
    if (key == "rtype") type = value;
    if (key == "rpelcnt") size = value;
    if (key == "rdensty") density = value;
    if (key == "rorient") orient = value;
  }
  if (type != "1") throw ConvertError(shown + ": CALS raster type '" + type + "' is not Type 1");
  if (!orient.empty() && orient != "000,270")
    throw ConvertError(shown + ": CALS orientation " + orient + " is not supported");
  unsigned long w = 0, h = 0;
  char rest = 0;
  if (std::sscanf(size.c_str(), "%lu,%lu%c", &w, &h, &rest) != 2 || w > UINT32_MAX || h > UINT32_MAX)
    throw ConvertError(shown + ": damaged CALS header (rpelcnt '" + size + "')");
  TiffInfo info;
  info.width = static_cast<uint32_t>(w);
  info.height = static_cast<uint32_t>(h);
  CheckSize(shown, info.width, info.height);
  unsigned long dpi = 0;
  if (std::sscanf(density.c_str(), "%lu%c", &dpi, &rest) == 1 && dpi >= 1 && dpi < 100000)
    info.dpi = static_cast<uint32_t>(dpi);
  const std::span<const uint8_t> g4 = file.subspan(kCalsHeaderSize);
  VerifyG4(g4.data(), g4.size(), info.width, info.height, shown);
  start(info);
  DecodeG4Rows(g4.data(), g4.size(), info.width, info.height, shown, emit);
}

}  // namespace

void ReadRasterRows(std::span<const uint8_t> file, const std::string& shown,
                    const std::function<void(const TiffInfo&)>& start,
                    const std::function<void(const uint8_t* row)>& row) {
  if (file.size() >= sizeof kPngSignature &&
      std::equal(std::begin(kPngSignature), std::end(kPngSignature), file.begin()))
    return ReadPngRows(file, shown, start, row);
  if (IsCals(file)) return ReadCalsRows(file, shown, start, row);
  ReadBitonalTiffRows(file, shown, start, row);
}

}  // namespace conv
