#include "tools/converters/tiffio.h"

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstring>
#include <memory>

#include "tools/converters/cmdline.h"
#include "tools/converters/g4.h"
#include "tools/converters/g4verify.h"

namespace conv {
namespace {

// In-memory file behind a libtiff handle: either a read-only view or a
// growing buffer.
struct MemFile {
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  std::vector<uint8_t>* out = nullptr;
  uint64_t pos = 0;
  std::string firstError;  // first libtiff error (and, while decoding, warning)
  bool warningsAreErrors = false;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t n) {
  auto* m = static_cast<MemFile*>(h);
  const uint8_t* base = m->out ? m->out->data() : m->data;
  uint64_t size = m->out ? m->out->size() : m->size;
  if (m->pos >= size || n <= 0) return 0;
  uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(n), size - m->pos);
  std::memcpy(buf, base + m->pos, count);
  m->pos += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t MemWrite(thandle_t h, void* buf, tmsize_t n) {
  auto* m = static_cast<MemFile*>(h);
  if (!m->out || n < 0) return -1;
  uint64_t end = m->pos + static_cast<uint64_t>(n);
  if (end > m->out->size()) m->out->resize(end);
  std::memcpy(m->out->data() + m->pos, buf, static_cast<size_t>(n));
  m->pos = end;
  return n;
}

uint64_t MemLength(const MemFile* m) { return m->out ? m->out->size() : m->size; }

toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<MemFile*>(h);
  uint64_t size = MemLength(m);
  int64_t base = whence == SEEK_CUR   ? static_cast<int64_t>(m->pos)
                 : whence == SEEK_END ? static_cast<int64_t>(size)
                                      : 0;
  int64_t target = base + static_cast<int64_t>(off);
  if (target < 0) return static_cast<toff_t>(-1);
  m->pos = static_cast<uint64_t>(target);
  return m->pos;
}

int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return MemLength(static_cast<MemFile*>(h)); }
int MemMap(thandle_t h, void** base, toff_t* size) {
  auto* m = static_cast<MemFile*>(h);
  if (m->out) return 0;
  *base = const_cast<uint8_t*>(m->data);
  *size = m->size;
  return 1;
}
void MemUnmap(thandle_t, void*, toff_t) {}

int Report(void* user, const char* module, const char* fmt, va_list ap, bool warning) {
  auto* m = static_cast<MemFile*>(user);
  if (m && m->firstError.empty() && (!warning || m->warningsAreErrors)) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    m->firstError = module && *module ? std::string(module) + ": " + text : std::string(text);
  }
  return 1;  // handled: libtiff prints nothing
}
int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  return Report(user, module, fmt, ap, false);
}
int OnWarning(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  return Report(user, module, fmt, ap, true);
}

// A libtiff handle on a MemFile, closed with the object.
class Tiff {
 public:
  Tiff(MemFile& file, const char* mode) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(opts, OnError, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, OnWarning, &file);
    tif_ = TIFFClientOpenExt("memory", mode, &file, MemRead, MemWrite, MemSeek, MemClose, MemSize,
                             MemMap, MemUnmap, opts);
    TIFFOpenOptionsFree(opts);
  }
  ~Tiff() { Close(); }
  Tiff(const Tiff&) = delete;
  Tiff& operator=(const Tiff&) = delete;
  TIFF* get() const { return tif_; }
  void Close() {
    if (tif_) TIFFClose(tif_);
    tif_ = nullptr;
  }

 private:
  TIFF* tif_ = nullptr;
};

// A libtiff writer on a memory file.
std::unique_ptr<Tiff> OpenWriter(MemFile& mem, const std::string& what) {
  auto tif = std::make_unique<Tiff>(mem, "wl");
  if (!tif->get()) throw ConvertError("cannot set up the " + what + ": " + mem.firstError);
  return tif;
}

void SetBitonalTags(TIFF* tif, uint32_t width, uint32_t height, uint16_t compression,
                    uint32_t rowsPerStrip, uint32_t dpi) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  if (dpi) {
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(dpi));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(dpi));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  }
  if (compression == COMPRESSION_CCITTFAX4) TIFFSetField(tif, TIFFTAG_GROUP4OPTIONS, 0);
}

// A one-strip Group 4 TIFF in memory around an existing stream, opened for
// reading: the way to reach libtiff's decoder.
std::vector<uint8_t> WrapG4(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                            uint32_t dpi) {
  std::vector<uint8_t> buffer;
  MemFile mem;
  mem.out = &buffer;
  const std::unique_ptr<Tiff> tif = OpenWriter(mem, "TIFF writer");
  SetBitonalTags(tif->get(), width, height, COMPRESSION_CCITTFAX4, height, dpi);
  if (TIFFWriteRawStrip(tif->get(), 0, const_cast<uint8_t*>(data), static_cast<tmsize_t>(size)) < 0)
    throw ConvertError("cannot write the TIFF strip: " + mem.firstError);
  tif->Close();
  return buffer;
}

// 128 bytes of each byte value: where a PackBits repeat run is copied from.
struct Stretches {
  uint8_t of[256][128];
  Stretches() {
    for (int v = 0; v < 256; ++v) std::memset(of[v], v, sizeof of[v]);
  }
};
const Stretches kStretches;

// The scan program's PackBits data as one stream, handed out a row at a
// time; runs may cross row ends.
class PackBitsReader {
 public:
  PackBitsReader(std::span<const uint8_t> file, uint64_t offset)
      : data_(file.data()), size_(file.size()), pos_(offset) {}

  // Runs are at most 128 bytes. Fill writes each whole run inside the row
  // as a fixed 64 or 128 bytes (a few wide stores instead of a library call
  // for a run of a few bytes); the bytes past the run are written again by
  // the next run or fall into this much room after the row.
  static constexpr size_t kRoom = 128;

  // Fills `n` bytes at `out`, which has kRoom bytes of room after them;
  // false when the data ends first.
  bool Fill(uint8_t* out, size_t n) {
    for (;;) {
      // A run left over from the row before (runs may cross row ends).
      if (literal_ > 0) {
        const size_t k = std::min(literal_, n);
        if (pos_ + k > size_) return false;
        std::memcpy(out, data_ + pos_, k);
        pos_ += k, literal_ -= k, out += k, n -= k;
      } else if (repeat_ > 0) {
        const size_t k = std::min(repeat_, n);
        std::memset(out, value_, k);
        repeat_ -= k, out += k, n -= k;
      }
      if (n == 0) return true;
      // Whole runs inside the row, the common case. Each is copied from the
      // data or (a repeat) from a stretch of its byte, so the kind of run,
      // which follows no pattern, costs no branch; only the long ones (the
      // blank stretches, mostly) take a second half.
      while (pos_ + 2 + kRoom <= size_) {
        const int code = static_cast<int8_t>(data_[pos_]);
        const bool literal = code >= 0;
        const bool noOp = code == -128;
        const size_t repeat = noOp ? 0 : static_cast<size_t>(1 - code);
        const size_t k = literal ? static_cast<size_t>(code) + 1 : repeat;
        if (k > n) break;
        const uint8_t* from = literal ? data_ + pos_ + 1 : kStretches.of[data_[pos_ + 1]];
        std::memcpy(out, from, kRoom / 2);
        if (k > kRoom / 2) std::memcpy(out + kRoom / 2, from + kRoom / 2, kRoom / 2);
        pos_ += literal ? k + 1 : noOp ? 1 : 2;
        out += k, n -= k;
        if (n == 0) return true;
      }
      // A run that goes on into the next row, or one near the end of the
      // data: left over, to be taken byte-exact above.
      if (pos_ >= size_) return false;
      const int code = static_cast<int8_t>(data_[pos_++]);
      if (code >= 0) {
        literal_ = static_cast<size_t>(code) + 1;
      } else if (code != -128) {  // -128 is a no-op
        if (pos_ >= size_) return false;
        repeat_ = static_cast<size_t>(1 - code);
        value_ = data_[pos_++];
      }
    }
  }

 private:
  const uint8_t* data_;
  uint64_t size_;
  uint64_t pos_;
  size_t literal_ = 0, repeat_ = 0;
  uint8_t value_ = 0;
};

// ImageWidth and ImageLength read straight from the first directory of a
// classic TIFF (0 when absent): libtiff refuses to open an image without
// pixels, which is what a scan with no lines leaves, and deserves a plainer
// message.
std::pair<uint32_t, uint32_t> HeaderSize(std::span<const uint8_t> f) {
  if (f.size() < 8 || f[0] != f[1] || (f[0] != 'I' && f[0] != 'M')) return {1, 1};
  const bool little = f[0] == 'I';
  auto get = [&](uint64_t at, int bytes) -> uint32_t {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint32_t{f[at + i]} << (8 * (little ? i : bytes - 1 - i));
    return v;
  };
  const uint64_t ifd = get(4, 4);
  if (ifd + 2 > f.size()) return {1, 1};
  uint32_t width = 0, height = 0;
  for (uint64_t e = ifd + 2, n = get(ifd, 2); n > 0 && e + 12 <= f.size(); --n, e += 12) {
    const uint32_t tag = get(e, 2), type = get(e + 2, 2);
    const uint32_t value = type == 3 ? get(e + 8, 2) : get(e + 8, 4);
    if (tag == 256) width = value;
    if (tag == 257) height = value;
  }
  return {width, height};
}

// The largest image the converters take: 2 GB of pixels in memory.
constexpr uint64_t kMaxImageBytes = uint64_t{1} << 31;

// The most that coded data can hold at best, by compression: bytes of
// pixels per coded byte, or (the fax codings) one line per coded bit. A
// header that claims more lines than its data can hold is refused before
// any buffer is sized from it.
struct CodingLimit {
  uint16_t compression;
  uint32_t pixelBytesPerByte;  // 0: bounded by lines per bit
};
constexpr CodingLimit kCodingLimits[] = {
    {COMPRESSION_NONE, 1},
    {COMPRESSION_PACKBITS, 64},         // a repeat run: 2 bytes give 128
    {COMPRESSION_LZW, 3641},            // a code of 9 bits or more gives at most 4096 bytes
    {COMPRESSION_ADOBE_DEFLATE, 1032},  // the deflate format's limit
    {COMPRESSION_DEFLATE, 1032},
    {COMPRESSION_CCITTRLE, 0},
    {COMPRESSION_CCITTRLEW, 0},
    {COMPRESSION_CCITTFAX3, 0},
    {COMPRESSION_CCITTFAX4, 0},
};

bool CanHold(uint16_t compression, uint64_t codedBytes, uint64_t rows, size_t stride) {
  for (const CodingLimit& c : kCodingLimits)
    if (c.compression == compression)
      return c.pixelBytesPerByte ? codedBytes * c.pixelBytesPerByte >= rows * stride
                                 : codedBytes * 8 >= rows;
  return true;  // no bound known
}

}  // namespace

namespace {

// Both readers in one: the rows go to `emit` when it is given, else as
// change lists to `changesOut`.
void ReadTiffLines(std::span<const uint8_t> file, const std::string& shown,
                   const std::function<void(const TiffInfo&)>& start,
                   const std::function<void(const uint8_t* row)>* emit,
                   const std::function<void(std::span<const uint32_t>)>* changesOut) {
  if (file.empty()) throw ConvertError(shown + ": the file is empty");
  MemFile mem;
  mem.data = file.data();
  mem.size = file.size();
  Tiff tif(mem, "r");
  if (!tif.get()) {
    if (const auto [w, h] = HeaderSize(file); w == 0 || h == 0)
      throw ConvertError(shown + ": the image has no pixels (" + std::to_string(w) + " x " +
                         std::to_string(h) + ")");
    throw ConvertError(shown + ": not a readable TIFF file" +
                       (mem.firstError.empty() ? "" : " (" + mem.firstError + ")"));
  }
  TIFF* t = tif.get();
  uint32_t width = 0, height = 0;
  uint16_t bps = 1, spp = 1, compression = COMPRESSION_NONE, photometric = 0, fillOrder = 1;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(t, TIFFTAG_FILLORDER, &fillOrder);
  if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric)) photometric = PHOTOMETRIC_MINISWHITE;

  if (width == 0 || height == 0)
    throw ConvertError(shown + ": the image has no pixels (" + std::to_string(width) + " x " +
                       std::to_string(height) + ")");
  if (bps != 1 || spp != 1)
    throw ConvertError(shown + ": not a black-and-white image (" + std::to_string(bps) +
                       " bits per sample, " + std::to_string(spp) + " samples per pixel)");
  if (photometric != PHOTOMETRIC_MINISWHITE && photometric != PHOTOMETRIC_MINISBLACK)
    throw ConvertError(shown + ": photometric interpretation " + std::to_string(photometric) +
                       " is not black and white");
  if (TIFFIsTiled(t)) throw ConvertError(shown + ": tiled TIFF images are not supported");
  if (!TIFFIsCODECConfigured(compression))
    throw ConvertError(shown + ": compression " + std::to_string(compression) +
                       " is not supported");
  const size_t stride = StrideFor(width);
  if (stride * uint64_t{height} > kMaxImageBytes)
    throw ConvertError(shown + ": the image is too large (" + std::to_string(width) + " x " +
                       std::to_string(height) + ")");
  uint64_t* offsets = nullptr;
  if (!TIFFGetField(t, TIFFTAG_STRIPOFFSETS, &offsets) || !offsets)
    throw ConvertError(shown + ": the file has no image data");

  TiffInfo info;
  info.width = width;
  info.height = height;
  float xres = 0;
  uint16_t unit = RESUNIT_INCH;
  if (TIFFGetField(t, TIFFTAG_XRESOLUTION, &xres) && xres > 0) {
    TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
    double dpi = unit == RESUNIT_CENTIMETER ? xres * 2.54 : xres;
    if (dpi >= 1 && dpi < 100000) info.dpi = static_cast<uint32_t>(dpi + 0.5);
  }
  // The strips' data must be able to hold their rows, before anything is
  // sized from the header.
  struct G4Strip {
    std::span<const uint8_t> coded;
    uint32_t rows;
  };
  std::vector<G4Strip> g4Strips;
  std::vector<std::vector<uint8_t>> reversedStrips;  // of data stored in the other bit order
  reversedStrips.reserve(TIFFNumberOfStrips(t));
  const uint32_t strips = TIFFNumberOfStrips(t);
  bool oneStream = compression == COMPRESSION_PACKBITS;
  for (uint32_t s = 1; s < strips && oneStream; ++s) oneStream = offsets[s] == 0;
  uint32_t rowsPerStrip = height;
  TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, height);
  auto present = [&](uint64_t offset, uint64_t count) {
    return offset < file.size() ? std::min<uint64_t>(count, file.size() - offset) : 0;
  };
  if (oneStream) {
    const uint64_t bytes = present(offsets[0], file.size());
    if (!CanHold(compression, bytes, height, stride))
      throw ConvertError(shown + ": the image data (" + std::to_string(bytes) +
                         " bytes) cannot hold " + std::to_string(height) + " lines of " +
                         std::to_string(width) + " pixels");
  } else {
    uint64_t* counts = nullptr;
    if (!TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts)) counts = nullptr;
    for (uint32_t s = 0; s < strips; ++s) {
      const uint64_t first = uint64_t{s} * rowsPerStrip;
      if (first >= height) break;
      const uint64_t rows = std::min<uint64_t>(rowsPerStrip, height - first);
      const uint64_t bytes = present(offsets[s], counts ? counts[s] : file.size());
      if (!CanHold(compression, bytes, rows, stride))
        throw ConvertError(shown + ": strip " + std::to_string(s + 1) + " of the image data (" +
                           std::to_string(bytes) + " bytes) cannot hold its " +
                           std::to_string(rows) + " lines of " + std::to_string(width) + " pixels");
      if (compression == COMPRESSION_CCITTFAX4) {
        std::span<const uint8_t> coded =
            file.subspan(std::min<uint64_t>(offsets[s], file.size()), bytes);
        if (fillOrder == FILLORDER_LSB2MSB) {
          std::vector<uint8_t>& reversed = reversedStrips.emplace_back(coded.begin(), coded.end());
          TIFFReverseBits(reversed.data(), static_cast<tmsize_t>(reversed.size()));
          coded = reversed;
        }
        g4Strips.push_back({coded, static_cast<uint32_t>(rows)});
      }
    }
  }
  if (g4Strips.size() == 1 && reversedStrips.empty() && g4Strips[0].rows == height) {
    info.g4 = g4Strips[0].coded;
    info.g4White = photometric == PHOTOMETRIC_MINISBLACK;
  }
  start(info);

  const bool invert = photometric == PHOTOMETRIC_MINISBLACK;
  std::vector<uint32_t> changes(size_t{width} + 1);
  if (compression == COMPRESSION_CCITTFAX4) {
    // Group 4 data is held to the header as a TLC's is: every line ends
    // exactly at the width, and each strip holds exactly its lines (libtiff's
    // decoder would take a width the data contradicts, or lines left over,
    // without a word). The converters' own decoder checks that while it
    // decodes, so the data is decoded once.
    std::vector<uint64_t> row(emit ? g4::RowWords(width) : 0);
    uint32_t done = 0;
    for (size_t s = 0; s < g4Strips.size(); ++s) {
      const auto [coded, rows] = g4Strips[s];
      const std::string where = g4Strips.size() > 1 ? " (strip " + std::to_string(s + 1) + ")" : "";
      g4::Decoder decoder(coded.data(), coded.size(), width, rows, shown + where);
      for (uint32_t r = 0; r < rows; ++r) {
        std::span<const uint32_t> line = decoder.NextLine();
        if (invert) line = {changes.data(), g4::InvertChanges(line, changes.data())};
        if (!emit) {
          (*changesOut)(line);
          continue;
        }
        g4::DrawRow(line, width, row.data());
        (*emit)(reinterpret_cast<const uint8_t*>(row.data()));
      }
      decoder.Finish();
      done += rows;
    }
    if (done < height)
      throw ConvertError(shown + ": the image data ends after line " + std::to_string(done) +
                         " of " + std::to_string(height));
    return;
  }

  const uint8_t keep = static_cast<uint8_t>(0xFF << (stride * 8 - width));
  // Every row passes here: black = 1, clear pad bits. (The bit order is
  // undone on the coded data, before decoding, as libtiff does.)
  auto deliver = [&](uint8_t* row) {
    if (photometric == PHOTOMETRIC_MINISBLACK)
      for (size_t i = 0; i < stride; ++i) row[i] = static_cast<uint8_t>(~row[i]);
    row[stride - 1] &= keep;
    if (emit) return (*emit)(row);
    (*changesOut)({changes.data(), g4::FindChanges(row, width, changes.data())});
  };

  if (oneStream) {
    if (offsets[0] >= file.size()) throw ConvertError(shown + ": the file has no image data");
    std::span<const uint8_t> coded = file.subspan(offsets[0]);
    std::vector<uint8_t> reversed;
    if (fillOrder == FILLORDER_LSB2MSB) {
      reversed.assign(coded.begin(), coded.end());
      TIFFReverseBits(reversed.data(), static_cast<tmsize_t>(reversed.size()));
      coded = reversed;
    }
    PackBitsReader reader(coded, 0);
    std::vector<uint8_t> row(stride + PackBitsReader::kRoom);
    for (uint32_t y = 0; y < height; ++y) {
      if (!reader.Fill(row.data(), stride))
        throw ConvertError(shown + ": the image data ends after line " + std::to_string(y) +
                           " of " + std::to_string(height));
      deliver(row.data());
    }
    return;
  }
  mem.warningsAreErrors = true;
  std::vector<uint8_t> strip(rowsPerStrip * stride);
  uint32_t y = 0;
  for (uint32_t s = 0; s < strips && y < height; ++s) {
    const uint32_t rows = std::min(rowsPerStrip, height - y);
    tmsize_t got = TIFFReadEncodedStrip(t, s, strip.data(), static_cast<tmsize_t>(rows * stride));
    if (got < static_cast<tmsize_t>(rows * stride) || !mem.firstError.empty())
      throw ConvertError(shown + ": damaged image data in strip " + std::to_string(s + 1) +
                         (mem.firstError.empty() ? "" : " (" + mem.firstError + ")"));
    for (uint32_t r = 0; r < rows; ++r, ++y) deliver(strip.data() + r * stride);
  }
  if (y < height)
    throw ConvertError(shown + ": the image data ends after line " + std::to_string(y) + " of " +
                       std::to_string(height));
}

}  // namespace

void ReadBitonalTiffRows(std::span<const uint8_t> file, const std::string& shown,
                         const std::function<void(const TiffInfo&)>& start,
                         const std::function<void(const uint8_t* row)>& row) {
  ReadTiffLines(file, shown, start, &row, nullptr);
}

void ReadBitonalTiffChanges(std::span<const uint8_t> file, const std::string& shown,
                            const std::function<void(const TiffInfo&)>& start,
                            const std::function<void(std::span<const uint32_t>)>& changes) {
  ReadTiffLines(file, shown, start, nullptr, &changes);
}

TiffInfo ReadBitonalTiffInfo(std::span<const uint8_t> file, const std::string& shown) {
  struct Read {};  // the header is all that is wanted
  TiffInfo info;
  const std::function<void(std::span<const uint32_t>)> none;
  try {
    ReadTiffLines(
        file, shown,
        [&](const TiffInfo& i) {
          info = i;
          throw Read{};
        },
        nullptr, &none);
  } catch (const Read&) {
  }
  return info;
}

void DecodeG4Rows(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                  const std::string& shown, const std::function<void(const uint8_t* row)>& emit) {
  std::vector<uint8_t> wrapped = WrapG4(data, size, width, height, 0);
  MemFile mem;
  mem.data = wrapped.data();
  mem.size = wrapped.size();
  Tiff tif(mem, "r");
  if (!tif.get()) throw ConvertError(shown + ": cannot decode: " + mem.firstError);
  mem.warningsAreErrors = true;  // a short or bad code stream only warns in libtiff
  const size_t stride = StrideFor(width);
  const uint8_t keep = static_cast<uint8_t>(0xFF << (stride * 8 - width));
  std::vector<uint8_t> row(stride);
  for (uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif.get(), row.data(), y, 0) < 0 || !mem.firstError.empty())
      throw ConvertError(shown + ": damaged image data at line " + std::to_string(y + 1) +
                         (mem.firstError.empty() ? "" : " (" + mem.firstError + ")"));
    row[stride - 1] &= keep;
    emit(row.data());
  }
}

std::vector<uint8_t> TiffFromG4(const uint8_t* g4, size_t size, uint32_t width, uint32_t height,
                                uint32_t dpi) {
  return WrapG4(g4, size, width, height, dpi);
}

size_t PackBitsRow(const uint8_t* row, size_t n, uint8_t* out) {
  uint8_t* const start = out;
  size_t i = 0;
  while (i < n) {
    // The run of equal bytes from i, at most 128 long; whole words of a
    // blank stretch at a time.
    const uint8_t b = row[i];
    const size_t limit = std::min(n, i + 128);
    size_t j = i + 1;
    const uint64_t pattern = b * 0x0101010101010101u;
    for (uint64_t w; j + 8 <= limit && (std::memcpy(&w, row + j, 8), w == pattern);) j += 8;
    while (j < limit && row[j] == b) ++j;
    if (j - i >= 2) {
      *out++ = static_cast<uint8_t>(1 - static_cast<int>(j - i));  // -(count - 1)
      *out++ = b;
      i = j;
      continue;
    }
    // Literal bytes up to the next run of three (a run of two inside a
    // literal costs no more as literal bytes).
    j = i + 1;
    while (j < limit && !(j + 2 < n && row[j] == row[j + 1] && row[j] == row[j + 2])) ++j;
    *out++ = static_cast<uint8_t>(j - i - 1);
    std::memcpy(out, row + i, j - i);
    out += j - i;
    i = j;
  }
  return static_cast<size_t>(out - start);
}

struct PackBitsTiffWriter::State {
  std::vector<uint8_t> buffer;
  MemFile mem;
  std::unique_ptr<Tiff> tif;
  uint32_t height, rowsPerStrip, y = 0;
  size_t stride;
  std::vector<uint8_t> strip;  // the coded rows of the strip being filled
  size_t used = 0;
};

PackBitsTiffWriter::PackBitsTiffWriter(uint32_t width, uint32_t height, uint32_t dpi)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.height = height;
  s.stride = StrideFor(width);
  s.mem.out = &s.buffer;
  s.tif = OpenWriter(s.mem, "TIFF writer");
  // Strips of about 64 KB, as TIFF readers like them.
  s.rowsPerStrip = std::clamp<uint32_t>(
      static_cast<uint32_t>(65536 / std::max<size_t>(1, s.stride)), 1, std::max(1u, height));
  SetBitonalTags(s.tif->get(), width, height, COMPRESSION_PACKBITS, s.rowsPerStrip, dpi);
  s.strip.resize(s.rowsPerStrip * PackBitsRoom(s.stride));
}

PackBitsTiffWriter::~PackBitsTiffWriter() = default;

void PackBitsTiffWriter::AddRow(const uint8_t* row) {
  // Each row is coded on its own, and a strip's rows go to libtiff as its
  // raw data.
  State& s = *state_;
  if (s.y >= s.height) throw ConvertError("PackBits coding failed: more rows than the image has");
  s.used += PackBitsRow(row, s.stride, s.strip.data() + s.used);
  ++s.y;
  if (s.y % s.rowsPerStrip != 0 && s.y != s.height) return;
  if (TIFFWriteRawStrip(s.tif->get(), (s.y - 1) / s.rowsPerStrip, s.strip.data(),
                        static_cast<tmsize_t>(s.used)) < 0)
    throw ConvertError("PackBits coding failed: " + s.mem.firstError);
  s.used = 0;
}

std::vector<uint8_t> PackBitsTiffWriter::Finish() {
  if (state_->y != state_->height) throw ConvertError("PackBits coding ended early");
  state_->tif->Close();
  if (!state_->mem.firstError.empty())
    throw ConvertError("PackBits coding failed: " + state_->mem.firstError);
  return std::move(state_->buffer);
}

std::vector<uint8_t> TiffPackBits(const BitImage& image, uint32_t dpi) {
  PackBitsTiffWriter writer(image.width, image.height, dpi);
  for (uint32_t y = 0; y < image.height; ++y) writer.AddRow(image.Row(y));
  return writer.Finish();
}

}  // namespace conv
