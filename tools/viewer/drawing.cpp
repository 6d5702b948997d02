#include "tools/viewer/drawing.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "tools/converters/bitimage.h"
#include "tools/converters/cmdline.h"
#include "tools/converters/g4.h"
#include "tools/converters/g4verify.h"
#include "tools/converters/tiffio.h"
#include "tools/converters/tlc.h"

namespace viewer {
namespace {

using conv::ConvertError;

// Largest image shown: 4 Gpx (512 MB of pixels), 160 by 200 inches at 800 dpi.
constexpr uint64_t kMaxPixels = uint64_t{1} << 32;
// Rows decoded between two looks at `cancelled`, and between two previews.
constexpr uint32_t kRowsPerPoll = 64;
constexpr int kPreviewSteps = 24;

void CheckSize(uint32_t width, uint32_t height, const std::string& shown) {
  if (width == 0 || height == 0)
    throw ConvertError(shown + ": the image has no pixels");
  if (uint64_t{width} * height > kMaxPixels || width > 1000000 || height > 1000000)
    throw ConvertError(shown + ": the image is too large to show (" + std::to_string(width) +
                       " x " + std::to_string(height) + " pixels)");
}

QImage NewImage(uint32_t width, uint32_t height, QImage::Format format, const std::string& shown) {
  QImage image(static_cast<int>(width), static_cast<int>(height), format);
  if (image.isNull())
    throw ConvertError(shown + ": not enough memory to show the image (" +
                       std::to_string(width) + " x " + std::to_string(height) + " pixels)");
  return image;
}

// Halves grey levels until the long side is small enough.
void AddHalvings(std::vector<QImage>& levels) {
  while (std::max(levels.back().width(), levels.back().height()) > kSmallestLevel)
    levels.push_back(HalveGrey(levels.back()));
}

uint32_t Reduced(uint32_t side, int k) { return (side + (1u << k) - 1) >> k; }

// Level 0 of a black-and-white image: rows of whole 64-bit words, so that
// change lists are drawn straight into them, in memory that comes zeroed
// (and in huge pages where the host has them).
QImage NewMonoImage(uint32_t width, uint32_t height, const std::string& shown) {
  using Allocator = conv::PixelBytes::allocator_type;
  struct Block {
    void* p;
    size_t bytes;
  };
  const size_t perLine = conv::g4::RowWords(width) * 8;
  auto* block = new Block{nullptr, perLine * height};
  try {
    block->p = Allocator::AllocatePixels(block->bytes);
  } catch (const std::bad_alloc&) {
    delete block;
    throw ConvertError(shown + ": not enough memory to show the image (" +
                       std::to_string(width) + " x " + std::to_string(height) + " pixels)");
  }
  QImage image(
      static_cast<uchar*>(block->p), static_cast<int>(width), static_cast<int>(height),
      static_cast<qsizetype>(perLine), QImage::Format_Mono,
      [](void* info) {
        auto* b = static_cast<Block*>(info);
        Allocator::FreePixels(b->p, b->bytes);
        delete b;
      },
      block);
  image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  return image;
}

// The rows of a level 0 in memory.
class MonoRows final : public FullRows {
 public:
  explicit MonoRows(const QImage& mono) : mono_(mono) {}
  void Rows(uint32_t y0, uint32_t y1,
            const std::function<void(std::span<const uint32_t>)>& each) const override {
    const auto width = static_cast<uint32_t>(mono_.width());
    std::vector<uint32_t> changes(size_t{width} + 1);
    y1 = std::min(y1, static_cast<uint32_t>(mono_.height()));
    for (uint32_t y = y0; y < y1; ++y)
      each({changes.data(), conv::g4::FindChanges(mono_.constScanLine(static_cast<int>(y)),
                                                  width, changes.data())});
  }

 private:
  QImage mono_;  // shares the pixels of the drawing's level 0
};

// A Group 4 stream (its own copy: the file may change while it is shown)
// and the decoder's place every kMarkEvery lines, taken while it loads, so
// that any rows are decoded again from the place above them.
class G4Rows final : public FullRows {
 public:
  static constexpr uint32_t kMarkEvery = 256;

  G4Rows(std::span<const uint8_t> g4, uint32_t width, uint32_t height, bool invert,
         std::string shown)
      : data_(g4.begin(), g4.end()),
        width_(width),
        height_(height),
        invert_(invert),
        shown_(std::move(shown)) {}

  // Every line to `each` (the load, which proves the stream), the stream
  // also checked to end with its last line when `wholeStream`.
  void Load(const std::function<void(std::span<const uint32_t>)>& each, bool wholeStream) {
    conv::g4::Decoder decoder(data_.data(), data_.size(), width_, height_, shown_);
    std::vector<uint32_t> inverted(invert_ ? size_t{width_} + 1 : 0);
    for (uint32_t y = 0; y < height_; ++y) {
      if (y % kMarkEvery == 0) marks_.push_back(decoder.Here());
      Give(decoder.NextLine(), inverted.data(), each);
    }
    if (wholeStream) decoder.Finish();
  }

  void Rows(uint32_t y0, uint32_t y1,
            const std::function<void(std::span<const uint32_t>)>& each) const override {
    y1 = std::min(y1, height_);
    if (y0 >= y1 || marks_.empty()) return;
    const size_t mark = std::min<size_t>(y0 / kMarkEvery, marks_.size() - 1);
    conv::g4::Decoder decoder(data_.data(), data_.size(), width_, height_, shown_);
    decoder.Resume(marks_[mark]);
    std::vector<uint32_t> inverted(invert_ ? size_t{width_} + 1 : 0);
    // The stream was proved while loading: it decodes the same again.
    while (decoder.line() < y0) decoder.NextLine();
    while (decoder.line() < y1) Give(decoder.NextLine(), inverted.data(), each);
  }

 private:
  void Give(std::span<const uint32_t> changes, uint32_t* inverted,
            const std::function<void(std::span<const uint32_t>)>& each) const {
    if (invert_) changes = {inverted, conv::g4::InvertChanges(changes, inverted)};
    each(changes);
  }

  std::vector<uint8_t> data_;
  uint32_t width_, height_;
  bool invert_;
  std::string shown_;
  std::vector<conv::g4::Decoder::Position> marks_;
};

// Receives the rows of a black-and-white image (black = 1, top to bottom),
// as pixels or as change lists, and builds the drawing's level 0, its first
// grey level (also the picture shown while it loads), the black count and
// the previews.
class BitonalSink {
 public:
  // Without `fullImage` no level 0 is made: the rows come from a stream
  // that can give them again (G4Rows).
  BitonalSink(const DrawingInfo& info, bool wantPreview, bool fullImage,
              const LoadProgress& progress, const std::string& shown)
      : info_(info), progress_(progress), stride_(conv::StrideFor(info.width)) {
    CheckSize(info.width, info.height, shown);
    if (fullImage) {
      full_ = NewMonoImage(info.width, info.height, shown);
      base_ = full_.bits();
      perLine_ = static_cast<size_t>(full_.bytesPerLine());
    }
    keep_ = static_cast<uint8_t>(0xFF << (stride_ * 8 - info.width));
    changes_.resize(size_t{info.width} + 1);
    const uint32_t side = std::max(info.width, info.height);
    if (side > static_cast<uint32_t>(kSmallestLevel)) {
      k_ = 1;
      while (Reduced(side, k_) > kLoadedLevelSide) ++k_;
      grey_ = NewImage(Reduced(info.width, k_), Reduced(info.height, k_),
                       QImage::Format_Grayscale8, shown);
      grey_.fill(255);
      builder_.emplace(grey_, k_, info.width);
      if (wantPreview && progress.preview)
        previewEvery_ = std::max<uint32_t>(1, info.height / kPreviewSteps);
    }
  }

  void AddRow(const uint8_t* row) {
    uint8_t* line = NextLine();
    std::memcpy(line, row, stride_);
    line[stride_ - 1] &= keep_;
    const size_t n = conv::g4::FindChanges(line, info_.width, changes_.data());
    // Level 0 drawn again from its changes: pad bits clear, whatever the row held.
    Take({changes_.data(), n});
  }

  void AddChanges(std::span<const uint32_t> changes) {
    NextLine();
    Take(changes);
  }

  Drawing Finish(const std::string& shown) {
    if (y_ != info_.height)
      throw ConvertError(shown + ": the image data ends after line " + std::to_string(y_) +
                         " of " + std::to_string(info_.height));
    Drawing d;
    d.info = info_;
    d.info.blackShare = 100.0 * static_cast<double>(black_) /
                        (static_cast<double>(info_.width) * info_.height);
    if (!full_.isNull()) d.rows = std::make_shared<const MonoRows>(full_);
    d.levels.push_back(std::move(full_));
    if (builder_) {
      builder_->Finish();
      d.levels.resize(static_cast<size_t>(k_));  // the finer ones are made when shown
      d.levels.push_back(std::move(grey_));
      AddHalvings(d.levels);
    }
    return d;
  }

 private:
  uint8_t* NextLine() {
    if (y_ % kRowsPerPoll == 0 && progress_.cancelled && progress_.cancelled())
      throw LoadCancelled{};
    if (y_ >= info_.height) throw ConvertError("the image has more rows than its size says");
    return base_ + y_ * perLine_;
  }

  void Take(std::span<const uint32_t> changes) {
    if (base_)
      conv::g4::DrawRow(changes, info_.width, reinterpret_cast<uint64_t*>(base_ + y_ * perLine_));
    const size_t n = changes.size();
    for (size_t i = 0; i < n; i += 2) black_ += (i + 1 < n ? changes[i + 1] : info_.width) - changes[i];
    if (builder_) {
      builder_->AddChanges(changes);
      if (previewEvery_ && (y_ + 1) % previewEvery_ == 0 &&
          std::chrono::steady_clock::now() - started_ >=
              std::chrono::milliseconds(progress_.previewAfterMs))
        progress_.preview(grey_.copy());
    }
    ++y_;
  }

  DrawingInfo info_;
  const LoadProgress& progress_;
  size_t stride_, perLine_ = 0;
  QImage full_, grey_;
  uint8_t* base_ = nullptr;
  uint8_t keep_ = 0xFF;
  int k_ = 0;
  std::optional<GreyLevelBuilder> builder_;
  std::vector<uint32_t> changes_;
  uint32_t previewEvery_ = 0;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  uint32_t y_ = 0;
  uint64_t black_ = 0;
};

// The lines of a Group 4 stream into the sink, inverted when its 1 bits are
// white; the drawing keeps the stream for its finer views. The stored stream
// of a TLC must also end where its lines end.
Drawing LoadG4(const DrawingInfo& info, std::span<const uint8_t> g4, bool invert,
               bool wholeStream, bool wantPreview, const LoadProgress& progress,
               const std::string& shown) {
  BitonalSink sink(info, wantPreview, false, progress, shown);
  auto rows = std::make_shared<G4Rows>(g4, info.width, info.height, invert, shown);
  rows->Load([&](std::span<const uint32_t> changes) { sink.AddChanges(changes); }, wholeStream);
  Drawing d = sink.Finish(shown);
  d.rows = std::move(rows);
  return d;
}

Drawing LoadTlc(std::span<const uint8_t> file, const std::string& shown,
                const LoadProgress& progress) {
  const conv::Tlc tlc = conv::ParseTlc(file, shown);
  DrawingInfo info{"TLC", tlc.header.width, tlc.header.height, tlc.header.density, {}};
  CheckSize(info.width, info.height, shown);
  if (progress.started) progress.started(info);
  bool havePreview = false;
  if (!tlc.viewPng.empty() && progress.preview) {
    // Named PNG, so that Qt reads it with its own PNG reader and loads no
    // image format plugins to find out what it is.
    QImage view =
        QImage::fromData(tlc.viewPng.data(), static_cast<int>(tlc.viewPng.size()), "PNG");
    if (!view.isNull()) {
      progress.preview(view.convertToFormat(QImage::Format_Grayscale8));
      havePreview = true;
    }
  }
  return LoadG4(info, tlc.g4, false, true, !havePreview, progress, shown);
}

Drawing LoadTiff(std::span<const uint8_t> file, const std::string& shown,
                 const LoadProgress& progress) {
  const conv::TiffInfo t = conv::ReadBitonalTiffInfo(file, shown);
  if (!t.g4.empty()) {  // one Group 4 stream, kept as a TLC's is
    const DrawingInfo info{"TIFF", t.width, t.height, t.dpi, {}};
    CheckSize(info.width, info.height, shown);
    if (progress.started) progress.started(info);
    return LoadG4(info, t.g4, t.g4White, true, true, progress, shown);
  }
  std::optional<BitonalSink> sink;
  conv::ReadBitonalTiffChanges(
      file, shown,
      [&](const conv::TiffInfo& t) {
        const DrawingInfo info{"TIFF", t.width, t.height, t.dpi, {}};
        CheckSize(info.width, info.height, shown);
        if (progress.started) progress.started(info);
        sink.emplace(info, true, true, progress, shown);
      },
      [&](std::span<const uint32_t> changes) { sink->AddChanges(changes); });
  if (!sink) throw ConvertError(shown + ": the file has no image");
  return sink->Finish(shown);
}

Drawing LoadPng(std::span<const uint8_t> file, const std::string& shown,
                const LoadProgress& progress) {
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()),
                                             static_cast<qsizetype>(file.size()));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "png");
  const QSize size = reader.size();
  if (size.isValid()) CheckSize(size.width(), size.height(), shown);
  reader.setAllocationLimit(0);  // the size is checked above
  QImage image = reader.read();
  if (image.isNull())
    throw ConvertError(shown + ": not a readable PNG image (" + reader.errorString().toStdString() +
                       ")");
  DrawingInfo info{"PNG", static_cast<uint32_t>(image.width()),
                   static_cast<uint32_t>(image.height()), 0, {}};
  if (image.dotsPerMeterX() > 0)
    info.dpi = static_cast<uint32_t>(std::lround(image.dotsPerMeterX() * 0.0254));
  if (progress.started) progress.started(info);
  if (image.depth() == 1) {
    image = image.convertToFormat(QImage::Format_Mono);
    if (qGray(image.color(1)) > qGray(image.color(0))) image.invertPixels();  // 1 black
    BitonalSink sink(info, true, true, progress, shown);
    for (int y = 0; y < image.height(); ++y) sink.AddRow(image.constScanLine(y));
    return sink.Finish(shown);
  }
  // A grey or colour picture is shown grey.
  Drawing d;
  d.info = info;
  d.levels.push_back(image.convertToFormat(QImage::Format_Grayscale8));
  if (d.levels[0].isNull()) throw ConvertError(shown + ": not enough memory to show the image");
  if (std::max(image.width(), image.height()) > kSmallestLevel) {
    d.levels.push_back(HalveGrey(d.levels[0]));
    AddHalvings(d.levels);
  }
  return d;
}

// --- PDF -------------------------------------------------------------------

bool IsDelimiter(char c) { return !std::isalnum(static_cast<unsigned char>(c)); }

// Position just after `key` as a whole name in `text`, from `from`; npos when absent.
size_t FindKey(std::string_view text, std::string_view key, size_t from = 0) {
  for (size_t p = text.find(key, from); p != std::string_view::npos; p = text.find(key, p + 1))
    if (p + key.size() >= text.size() || IsDelimiter(text[p + key.size()])) return p + key.size();
  return std::string_view::npos;
}

std::optional<double> NumberAt(std::string_view text, size_t pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\r' || text[pos] == '\n'))
    ++pos;
  size_t end = pos;
  while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) ||
                               text[end] == '-' || text[end] == '+' || text[end] == '.'))
    ++end;
  if (end == pos) return std::nullopt;
  return std::strtod(std::string(text.substr(pos, end - pos)).c_str(), nullptr);
}

std::optional<double> NumberAfter(std::string_view text, std::string_view key) {
  const size_t p = FindKey(text, key);
  if (p == std::string_view::npos) return std::nullopt;
  return NumberAt(text, p);
}

}  // namespace

PdfImage FindPdfG4Image(std::span<const uint8_t> file, const std::string& shown) {
  const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
  const size_t filter = FindKey(text, "/CCITTFaxDecode");
  if (filter == std::string_view::npos)
    throw ConvertError(shown + ": the PDF holds no Group 4 page image");
  // The image's dictionary: from its "obj" to its "stream".
  const size_t objStart = text.rfind(" obj", filter);
  const size_t streamWord = text.find("stream", filter);
  if (objStart == std::string_view::npos || streamWord == std::string_view::npos)
    throw ConvertError(shown + ": the PDF's page image is damaged");
  const std::string_view dict = text.substr(objStart, streamWord - objStart);
  const auto width = NumberAfter(dict, "/Width");
  const auto height = NumberAfter(dict, "/Height");
  const auto k = NumberAfter(dict, "/K");
  const auto length = NumberAfter(dict, "/Length");
  if (!width || !height || *width < 1 || *height < 1 || *width > 1e6 || *height > 1e6)
    throw ConvertError(shown + ": the PDF's page image has no size");
  if (!k || *k >= 0)
    throw ConvertError(shown + ": the PDF's page image is not Group 4 coded");
  const size_t lengthAt = FindKey(dict, "/Length");
  if (!length || *length < 0 || dict.substr(lengthAt).find(" R") < dict.substr(lengthAt).find('/'))
    throw ConvertError(shown + ": the PDF's page image has no length given");
  PdfImage image;
  image.width = static_cast<uint32_t>(*width);
  image.height = static_cast<uint32_t>(*height);
  const size_t black = FindKey(dict, "/BlackIs1");
  image.blackIs1 = black != std::string_view::npos &&
                   text.substr(objStart + black).substr(0, 8).find("true") != std::string_view::npos;
  size_t data = streamWord + 6;
  if (data < text.size() && text[data] == '\r') ++data;
  if (data < text.size() && text[data] == '\n') ++data;
  if (data + static_cast<size_t>(*length) > text.size())
    throw ConvertError(shown + ": the PDF is cut short");
  image.g4 = file.subspan(data, static_cast<size_t>(*length));
  // Resolution from the page: points are 1/72 inch, times /UserUnit.
  const size_t box = FindKey(text, "/MediaBox");
  if (box != std::string_view::npos) {
    const size_t open = text.find('[', box);
    double numbers[4];
    size_t pos = open + 1;
    bool ok = open != std::string_view::npos;
    for (int i = 0; i < 4 && ok; ++i) {
      while (pos < text.size() && text[pos] == ' ') ++pos;
      const auto v = NumberAt(text, pos);
      ok = v.has_value();
      if (ok) numbers[i] = *v;
      while (pos < text.size() && text[pos] != ' ' && text[pos] != ']') ++pos;
    }
    const double unit = NumberAfter(text, "/UserUnit").value_or(1.0);
    const double inches = ok ? (numbers[2] - numbers[0]) * unit / 72.0 : 0;
    if (inches > 0) image.dpi = static_cast<uint32_t>(std::lround(image.width / inches));
  }
  return image;
}

namespace {

Drawing LoadPdf(std::span<const uint8_t> file, const std::string& shown,
                const LoadProgress& progress) {
  const PdfImage pdf = FindPdfG4Image(file, shown);
  const DrawingInfo info{"PDF", pdf.width, pdf.height, pdf.dpi, {}};
  CheckSize(info.width, info.height, shown);
  if (progress.started) progress.started(info);
  // With /BlackIs1 coded the other way round: the 1 bits are white.
  return LoadG4(info, pdf.g4, pdf.blackIs1, false, true, progress, shown);
}

bool StartsWith(std::span<const uint8_t> file, std::string_view magic) {
  return file.size() >= magic.size() && std::memcmp(file.data(), magic.data(), magic.size()) == 0;
}

}  // namespace

Drawing LoadDrawing(const std::string& hostPath, const std::string& shown,
                    const LoadProgress& progress) {
  const conv::FileBytes bytes = conv::ReadWholeFile(hostPath, shown);
  const std::span<const uint8_t> file = bytes.bytes();
  if (file.empty()) throw ConvertError(shown + ": the file is empty");
  if (StartsWith(file, "Virozoro")) return LoadTlc(file, shown, progress);
  if (StartsWith(file, std::string_view("II*\0", 4)) ||
      StartsWith(file, std::string_view("MM\0*", 4)))
    return LoadTiff(file, shown, progress);
  if (StartsWith(file, "\x89PNG\r\n\x1a\n")) return LoadPng(file, shown, progress);
  if (StartsWith(file, "%PDF-")) return LoadPdf(file, shown, progress);
  throw ConvertError(shown + ": not a drawing the viewer can show (TLC, TIFF, PNG or PDF)");
}

QImage HalveGrey(const QImage& grey) {
  const int w = grey.width(), h = grey.height();
  QImage half((w + 1) / 2, (h + 1) / 2, QImage::Format_Grayscale8);
  if (half.isNull()) return half;
  const int hw = half.width(), hh = half.height();
  const int pairs = w / 2;  // whole pairs of a row; an odd last column pairs with itself
  for (int y = 0; y < hh; ++y) {
    const uchar* a = grey.constScanLine(2 * y);
    const uchar* b = grey.constScanLine(std::min(2 * y + 1, h - 1));
    uchar* out = half.scanLine(y);
    for (int x = 0; x < pairs; ++x)
      out[x] = static_cast<uchar>((a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + 2) / 4);
    if (pairs < hw) out[pairs] = static_cast<uchar>((2 * a[w - 1] + 2 * b[w - 1] + 2) / 4);
  }
  return half;
}

GreyLevelBuilder::GreyLevelBuilder(QImage& out, int k, uint32_t width)
    : out_(out), k_(k), width_(width), counts_(Reduced(width, k) + 1) {
  const uint32_t area = 1u << (2 * k);
  grey_.resize(size_t{area} + 1);
  for (uint32_t c = 0; c <= area; ++c)
    grey_[c] = static_cast<uint8_t>(std::lround(255.0 * (1.0 - std::sqrt(double(c) / area))));
}

void GreyLevelBuilder::AddChanges(std::span<const uint32_t> changes) {
  const size_t n = changes.size();
  const uint32_t size = 1u << k_;
  uint32_t* counts = counts_.data();
  for (size_t i = 0; i < n; i += 2) {
    // The black run [a, b): its share of each square it crosses.
    const uint32_t a = changes[i], b = i + 1 < n ? changes[i + 1] : width_;
    const uint32_t first = a >> k_, last = (b - 1) >> k_;
    if (first == last) {
      counts[first] += b - a;
      continue;
    }
    counts[first] += ((first + 1) << k_) - a;
    for (uint32_t x = first + 1; x < last; ++x) counts[x] += size;
    counts[last] += b - (last << k_);
  }
  if (++rows_ == size) EmitRow();
}

void GreyLevelBuilder::EmitRow() {
  rows_ = 0;
  if (y_ >= out_.height()) return;
  uchar* line = out_.scanLine(y_++);
  const uint32_t columns = std::min<uint32_t>(Reduced(width_, k_), out_.width());
  for (uint32_t x = 0; x < columns; ++x) line[x] = grey_[counts_[x]];
  std::fill(counts_.begin(), counts_.end(), 0);
}

void GreyLevelBuilder::Finish() {
  if (rows_) EmitRow();
}

namespace {

// The changes of the part [x0, x0 + w) of a row, counted from x0, into `out`
// (room for w + 1); returns how many.
size_t ClipChanges(std::span<const uint32_t> changes, uint32_t x0, uint32_t w, uint32_t* out) {
  const auto after = std::upper_bound(changes.begin(), changes.end(), x0);
  uint32_t* p = out;
  if ((after - changes.begin()) & 1) *p++ = 0;  // black at x0
  for (auto c = after; c != changes.end() && *c < x0 + w; ++c) *p++ = *c - x0;
  return static_cast<size_t>(p - out);
}

// The rows [y0, y1) of the columns [x0, x0 + w) of a drawing's pixels.
void PartRows(const Drawing& drawing, uint32_t x0, uint32_t w, uint32_t y0, uint32_t y1,
              const std::function<void(std::span<const uint32_t>)>& each) {
  std::vector<uint32_t> clipped(size_t{w} + 1);
  drawing.rows->Rows(y0, y1, [&](std::span<const uint32_t> changes) {
    each({clipped.data(), ClipChanges(changes, x0, w, clipped.data())});
  });
}

}  // namespace

QImage GreyPart(const Drawing& drawing, int k, QRect& part) {
  const uint32_t width = drawing.info.width, height = drawing.info.height;
  part &= QRect(0, 0, static_cast<int>(Reduced(width, k)), static_cast<int>(Reduced(height, k)));
  if (part.isEmpty() || !drawing.rows) return {};
  QImage out(part.size(), QImage::Format_Grayscale8);
  if (out.isNull()) return out;
  const uint32_t x0 = static_cast<uint32_t>(part.left()) << k;
  const uint32_t w = std::min(static_cast<uint32_t>(part.width()) << k, width - x0);
  const uint32_t y0 = static_cast<uint32_t>(part.top()) << k;
  const uint32_t y1 = std::min(static_cast<uint32_t>(part.bottom() + 1) << k, height);
  GreyLevelBuilder builder(out, k, w);
  PartRows(drawing, x0, w, y0, y1, [&](std::span<const uint32_t> c) { builder.AddChanges(c); });
  builder.Finish();
  return out;
}

QImage MonoPart(const Drawing& drawing, QRect& part) {
  part.setLeft(part.left() / 64 * 64);
  part &= QRect(0, 0, static_cast<int>(drawing.info.width), static_cast<int>(drawing.info.height));
  if (part.isEmpty() || !drawing.rows) return {};
  QImage out(part.size(), QImage::Format_Mono);
  if (out.isNull()) return out;
  out.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  const auto w = static_cast<uint32_t>(part.width());
  const size_t bytes = std::min<size_t>(static_cast<size_t>(out.bytesPerLine()), (w + 7) / 8);
  std::vector<uint64_t> row(conv::g4::RowWords(w));
  int y = 0;
  PartRows(drawing, static_cast<uint32_t>(part.left()), w, static_cast<uint32_t>(part.top()),
           static_cast<uint32_t>(part.bottom() + 1), [&](std::span<const uint32_t> c) {
             conv::g4::DrawRow(c, w, row.data());
             uchar* line = out.scanLine(y++);
             std::memcpy(line, row.data(), bytes);
             std::memset(line + bytes, 0, static_cast<size_t>(out.bytesPerLine()) - bytes);
           });
  return out;
}

}  // namespace viewer
