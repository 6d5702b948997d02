#include "tools/viewer/drawing.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "tools/converters/bitimage.h"
#include "tools/converters/cmdline.h"
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

// Level 1 of a black-and-white image: each grey pixel stands for a 2 x 2
// square, its darkness growing with the square root of the square's black
// share (as in the converters' view picture) so that thin lines stay visible.
// Counted a byte at a time: four squares per byte of each of the two rows.
class BitonalHalver {
 public:
  explicit BitonalHalver(QImage& half) : half_(half) {
    for (int b = 0; b < 256; ++b) {
      uint32_t counts = 0;  // byte i of the word: black pixels of pair i, the leftmost first
      for (int pair = 0; pair < 4; ++pair) {
        const int bits = (b >> (6 - 2 * pair)) & 3;
        counts |= static_cast<uint32_t>((bits & 1) + (bits >> 1)) << (8 * pair);
      }
      pairCounts_[b] = counts;
    }
    for (int c = 0; c <= 4; ++c)
      grey_[c] = static_cast<uint8_t>(std::lround(255.0 * (1.0 - std::sqrt(c / 4.0))));
  }

  // Rows top to bottom, pad bits clear; `last` for the image's last row.
  void AddRow(const uint8_t* row, size_t stride, bool last) {
    if (!haveUpper_) {
      upper_.assign(row, row + stride);
      haveUpper_ = true;
      if (!last) return;
      row = nullptr;  // an odd last row pairs with white
    }
    haveUpper_ = false;
    line_.resize(stride * 4);
    for (size_t i = 0; i < stride; ++i) {
      const uint8_t a = upper_[i], b = row ? row[i] : 0;
      uint8_t* out = line_.data() + 4 * i;
      if ((a | b) == 0) {
        std::memset(out, 255, 4);
        continue;
      }
      const uint32_t counts = pairCounts_[a] + pairCounts_[b];  // each at most 4: no carry
      for (int pair = 0; pair < 4; ++pair) out[pair] = grey_[(counts >> (8 * pair)) & 0xFF];
    }
    std::memcpy(half_.scanLine(y_++), line_.data(), half_.width());
  }

 private:
  QImage& half_;
  uint32_t pairCounts_[256];
  uint8_t grey_[5];
  std::vector<uint8_t> upper_, line_;
  bool haveUpper_ = false;
  int y_ = 0;
};

// Receives the rows of a black-and-white image (black = 1, top to bottom)
// and builds the drawing's levels, the black count and the previews.
class BitonalSink {
 public:
  BitonalSink(const DrawingInfo& info, bool wantPreview, const LoadProgress& progress,
              const std::string& shown)
      : info_(info), progress_(progress), stride_(conv::StrideFor(info.width)) {
    CheckSize(info.width, info.height, shown);
    full_ = NewImage(info.width, info.height, QImage::Format_Mono, shown);
    full_.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    keep_ = static_cast<uint8_t>(0xFF << (stride_ * 8 - info.width));
    if (std::max(info.width, info.height) > static_cast<uint32_t>(kSmallestLevel)) {
      half_ = NewImage((info.width + 1) / 2, (info.height + 1) / 2, QImage::Format_Grayscale8,
                       shown);
      halver_.emplace(half_);
    }
    if (wantPreview && progress.preview) {
      previewBuilder_.emplace(info.width, info.height, kPreviewSide, kPreviewSide,
                              [this](const uint8_t* grey) {
                                std::memcpy(preview_.scanLine(previewY_++), grey,
                                            preview_.width());
                              });
      preview_ = NewImage(previewBuilder_->ViewWidth(), previewBuilder_->ViewHeight(),
                          QImage::Format_Grayscale8, shown);
      preview_.fill(255);
      previewEvery_ = std::max<uint32_t>(1, info.height / kPreviewSteps);
    }
  }

  void AddRow(const uint8_t* row) {
    if (y_ % kRowsPerPoll == 0 && progress_.cancelled && progress_.cancelled())
      throw LoadCancelled{};
    uint8_t* line = full_.scanLine(static_cast<int>(y_));
    std::memcpy(line, row, stride_);
    line[stride_ - 1] &= keep_;
    std::memset(line + stride_, 0, full_.bytesPerLine() - stride_);
    black_ += conv::CountSetBits(line, stride_);
    if (halver_) halver_->AddRow(line, stride_, y_ + 1 == info_.height);
    if (previewBuilder_) {
      previewBuilder_->AddRow(line);
      if ((y_ + 1) % previewEvery_ == 0) progress_.preview(preview_.copy());
    }
    ++y_;
  }

  Drawing Finish(const std::string& shown) {
    if (y_ != info_.height)
      throw ConvertError(shown + ": the image data ends after line " + std::to_string(y_) +
                         " of " + std::to_string(info_.height));
    Drawing d;
    d.info = info_;
    d.info.blackShare = 100.0 * static_cast<double>(black_) /
                        (static_cast<double>(info_.width) * info_.height);
    d.levels.push_back(std::move(full_));
    if (halver_) {
      d.levels.push_back(std::move(half_));
      AddHalvings(d.levels);
    }
    return d;
  }

 private:
  DrawingInfo info_;
  const LoadProgress& progress_;
  size_t stride_;
  uint8_t keep_ = 0xFF;
  QImage full_, half_, preview_;
  std::optional<BitonalHalver> halver_;
  std::optional<conv::ViewBuilder> previewBuilder_;
  int previewY_ = 0;
  uint32_t previewEvery_ = 1;
  uint32_t y_ = 0;
  uint64_t black_ = 0;
};

Drawing LoadTlc(std::span<const uint8_t> file, const std::string& shown,
                const LoadProgress& progress) {
  const conv::Tlc tlc = conv::ParseTlc(file, shown);
  DrawingInfo info{"TLC", tlc.header.width, tlc.header.height, tlc.header.density, {}};
  CheckSize(info.width, info.height, shown);
  if (progress.started) progress.started(info);
  bool havePreview = false;
  if (!tlc.viewPng.empty() && progress.preview) {
    QImage view = QImage::fromData(tlc.viewPng.data(), static_cast<int>(tlc.viewPng.size()));
    if (!view.isNull()) {
      progress.preview(view.convertToFormat(QImage::Format_Grayscale8));
      havePreview = true;
    }
  }
  BitonalSink sink(info, !havePreview, progress, shown);
  conv::DecodeG4Rows(tlc.g4.data(), tlc.g4.size(), info.width, info.height, shown,
                     [&](const uint8_t* row) { sink.AddRow(row); });
  return sink.Finish(shown);
}

Drawing LoadTiff(std::span<const uint8_t> file, const std::string& shown,
                 const LoadProgress& progress) {
  std::optional<BitonalSink> sink;
  conv::ReadBitonalTiffRows(
      file, shown,
      [&](const conv::TiffInfo& t) {
        const DrawingInfo info{"TIFF", t.width, t.height, t.dpi, {}};
        CheckSize(info.width, info.height, shown);
        if (progress.started) progress.started(info);
        sink.emplace(info, true, progress, shown);
      },
      [&](const uint8_t* row) { sink->AddRow(row); });
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
    BitonalSink sink(info, true, progress, shown);
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
  BitonalSink sink(info, true, progress, shown);
  std::vector<uint8_t> inverted(conv::StrideFor(pdf.width));
  conv::DecodeG4Rows(pdf.g4.data(), pdf.g4.size(), pdf.width, pdf.height, shown,
                     [&](const uint8_t* row) {
                       if (!pdf.blackIs1) return sink.AddRow(row);
                       // Coded the other way round: the 1 bits are white.
                       std::memcpy(inverted.data(), row, inverted.size());
                       conv::InvertRow(inverted.data(), pdf.width);
                       sink.AddRow(inverted.data());
                     });
  return sink.Finish(shown);
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
  for (int y = 0; y < half.height(); ++y) {
    const uchar* a = grey.constScanLine(2 * y);
    const uchar* b = grey.constScanLine(std::min(2 * y + 1, h - 1));
    uchar* out = half.scanLine(y);
    for (int x = 0; x < half.width(); ++x) {
      const int x1 = std::min(2 * x + 1, w - 1);
      out[x] = static_cast<uchar>((a[2 * x] + a[x1] + b[2 * x] + b[x1] + 2) / 4);
    }
  }
  return half;
}

}  // namespace viewer
