#include "tools/converters/formats.h"

#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/converters/cmdline.h"

namespace conv {
namespace {

void Append(std::vector<uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

void AppendBigEndian32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void AppendPngChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
  AppendBigEndian32(out, static_cast<uint32_t>(size));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data, data + size);
  uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(4 + size));
  AppendBigEndian32(out, static_cast<uint32_t>(crc));
}

}  // namespace

std::string CalsLimitProblem(uint32_t width, uint32_t height, uint32_t dpi) {
  if (dpi > 9999)
    return "a CALS Type 1 header holds at most 9999 dpi, the image has " + std::to_string(dpi) +
           " dpi";
  if (width > 999999 || height > 999999)
    return "a CALS Type 1 header holds at most 999999 pixels a side, the image has " +
           std::to_string(width) + " x " + std::to_string(height);
  return {};
}

std::vector<uint8_t> CalsFromG4(std::span<const uint8_t> g4, uint32_t width, uint32_t height,
                                uint32_t dpi) {
  if (const std::string problem = CalsLimitProblem(width, height, dpi); !problem.empty())
    throw ConvertError(problem);
  char size[32], density[16];
  std::snprintf(size, sizeof size, "%06u,%06u", width, height);
  std::snprintf(density, sizeof density, "%04u", dpi);
  const std::string records[] = {"srcdocid: NONE",
                                 "dstdocid: NONE",
                                 "txtfilid: NONE",
                                 "figid: NONE",
                                 "srcgph: NONE",
                                 "doccls: NONE",
                                 "rtype: 1",
                                 "rorient: 000,270",
                                 std::string("rpelcnt: ") + size,
                                 std::string("rdensty: ") + density,
                                 "notes: NONE"};
  std::vector<uint8_t> out;
  out.reserve(2048 + g4.size());
  for (const std::string& r : records) {
    std::string record = r;
    record.resize(128, ' ');
    Append(out, record);
  }
  out.resize(2048, ' ');  // the unused records are blank
  out.insert(out.end(), g4.begin(), g4.end());
  return out;
}

std::vector<uint8_t> PdfFromG4(std::span<const uint8_t> g4, uint32_t width, uint32_t height,
                               uint32_t dpi) {
  // Page size in points; pages beyond 200 inches need a larger user unit.
  double w = width * 72.0 / dpi, h = height * 72.0 / dpi;
  const double unit = std::max(1.0, std::ceil(std::max(w, h) / 14400.0));
  w /= unit;
  h /= unit;
  char number[64];
  auto fmt = [&](double v) {
    std::snprintf(number, sizeof number, "%.2f", v);
    return std::string(number);
  };
  std::vector<uint8_t> out;
  out.reserve(g4.size() + 2048);
  std::vector<size_t> offsets;
  auto object = [&](const std::string& body) {
    offsets.push_back(out.size());
    Append(out, std::to_string(offsets.size()) + " 0 obj\n" + body);
  };
  Append(out, unit > 1 ? "%PDF-1.6\n%\xE2\xE3\xCF\xD3\n" : "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  object("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
  object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n");
  object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + fmt(w) + " " + fmt(h) + "]" +
         (unit > 1 ? " /UserUnit " + fmt(unit) : std::string()) +
         " /Resources << /XObject << /Im0 4 0 R >> >> /Contents 5 0 R >>\nendobj\n");
  const std::string size = std::to_string(width) + " /Rows " + std::to_string(height);
  object("<< /Type /XObject /Subtype /Image /Width " + std::to_string(width) + " /Height " +
         std::to_string(height) +
         " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode"
         " /DecodeParms << /K -1 /Columns " +
         size + " >> /Length " + std::to_string(g4.size()) + " >>\nstream\n");
  out.insert(out.end(), g4.begin(), g4.end());
  Append(out, "\nendstream\nendobj\n");
  const std::string content = "q " + fmt(w) + " 0 0 " + fmt(h) + " 0 0 cm /Im0 Do Q\n";
  object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
         "endstream\nendobj\n");
  const size_t xref = out.size();
  Append(out, "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n");
  for (size_t off : offsets) {
    std::snprintf(number, sizeof number, "%010zu 00000 n \n", off);
    Append(out, number);
  }
  Append(out, "trailer\n<< /Size " + std::to_string(offsets.size() + 1) +
                  " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
  return out;
}

PngWriter::PngWriter(uint32_t width, uint32_t height, uint8_t bitDepth, uint32_t dpi, int level)
    : out_{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},
      line_(1 + (static_cast<size_t>(width) * bitDepth + 7) / 8),
      packed_(1 << 14),
      z_(new z_stream{}) {
  std::vector<uint8_t> ihdr;
  AppendBigEndian32(ihdr, width);
  AppendBigEndian32(ihdr, height);
  ihdr.insert(ihdr.end(), {bitDepth, 0 /* grey */, 0, 0, 0});
  AppendPngChunk(out_, "IHDR", ihdr.data(), ihdr.size());
  if (dpi) {
    std::vector<uint8_t> phys;
    const uint32_t perMetre = static_cast<uint32_t>(std::lround(dpi / 0.0254));
    AppendBigEndian32(phys, perMetre);
    AppendBigEndian32(phys, perMetre);
    phys.push_back(1);  // unit: metre
    AppendPngChunk(out_, "pHYs", phys.data(), phys.size());
  }
  // The fast level serves the view picture: runs only, no string matching,
  // so no large hash. The window stays whole: zlib moves its tables down by
  // a window's length every window's length of input, which for a small
  // window cost more than all the coding.
  const bool fast = level == Z_BEST_SPEED;
  if (deflateInit2(static_cast<z_stream*>(z_), level, Z_DEFLATED, 15, fast ? 5 : 8,
                   fast ? Z_RLE : Z_DEFAULT_STRATEGY) != Z_OK) {
    delete static_cast<z_stream*>(z_);
    throw ConvertError("cannot start the PNG compressor");
  }
}

PngWriter::~PngWriter() {
  deflateEnd(static_cast<z_stream*>(z_));
  delete static_cast<z_stream*>(z_);
}

void PngWriter::Drain(int flush) {
  auto* z = static_cast<z_stream*>(z_);
  do {
    z->next_out = packed_.data();
    z->avail_out = static_cast<uInt>(packed_.size());
    if (deflate(z, flush) == Z_STREAM_ERROR) throw ConvertError("PNG compression failed");
    idat_.insert(idat_.end(), packed_.data(), packed_.data() + (packed_.size() - z->avail_out));
  } while (z->avail_out == 0);
}

void PngWriter::AddRow(const uint8_t* row) {
  line_[0] = 0;  // filter type None: bitonal rows gain little from filters
  std::memcpy(line_.data() + 1, row, line_.size() - 1);
  auto* z = static_cast<z_stream*>(z_);
  z->next_in = line_.data();
  z->avail_in = static_cast<uInt>(line_.size());
  Drain(Z_NO_FLUSH);
}

std::vector<uint8_t> PngWriter::Finish() {
  Drain(Z_FINISH);
  constexpr size_t kChunk = 1 << 20;
  for (size_t pos = 0; pos < idat_.size(); pos += kChunk)
    AppendPngChunk(out_, "IDAT", idat_.data() + pos, std::min(kChunk, idat_.size() - pos));
  AppendPngChunk(out_, "IEND", nullptr, 0);
  return std::move(out_);
}

}  // namespace conv
