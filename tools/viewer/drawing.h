// Reading a drawing for the viewer: TLC (with its grey view picture), 1-bit
// TIFF (Group 4, PackBits, uncompressed), PNG and the one-page Group 4 PDF
// the converters write. The file is decoded row by row into a grey picture
// about the size of a screen, made from the change lists of the rows, and
// that picture halved again and again; from these the viewer draws whatever
// is zoomed out, and a large drawing is never scaled down from its full size
// while the window paints. The full image is kept as pixels only for a file
// of pixel rows; a Group 4 stream is kept instead, and the part the window
// shows finer is decoded again from the place kept above it.
#pragma once

#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace viewer {

struct DrawingInfo {
  QString format;  // "TLC", "TIFF", "PNG", "PDF"
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t dpi = 0;                  // 0 when the file does not say
  std::optional<double> blackShare;  // per cent of all pixels, for black-and-white images
};

// Every pixel of a black-and-white drawing, row by row as change lists (as
// conv::g4::FindChanges gives them): what the window draws from where it
// shows the drawing finer than the levels made while loading.
class FullRows {
 public:
  virtual ~FullRows() = default;
  // Rows [y0, y1) (within the image) to `each`, top to bottom.
  virtual void Rows(uint32_t y0, uint32_t y1,
                    const std::function<void(std::span<const uint32_t>)>& each) const = 0;
};

struct Drawing {
  DrawingInfo info;
  // levels[0] holds every pixel of a grey or colour picture (Grayscale8),
  // and of a black-and-white one read from rows of pixels (Format_Mono,
  // colour 1 black, rows of whole 64-bit words). A black-and-white one read
  // from a Group 4 stream keeps that stream instead and levels[0] is null:
  // its pixels are decoded again for the part the window shows. levels[k] is
  // grey, each pixel standing for a square of 2^k pixels (the last row and
  // column may be cut); the last level is at most kSmallestLevel pixels on
  // its long side. Of a black-and-white image only the levels from the first
  // whose long side is at most kLoadedLevelSide are made while it loads; the
  // finer ones stay null, and the window makes the part it shows of them
  // when it zooms in that far (GreyPart, MonoPart).
  std::vector<QImage> levels;
  std::shared_ptr<const FullRows> rows;  // of a black-and-white drawing
};

inline constexpr int kSmallestLevel = 512;
inline constexpr uint32_t kLoadedLevelSide = 2048;

// Builds a grey level from the change lists of a black-and-white image's
// rows (as conv::g4::FindChanges gives them), fed top to bottom: each grey
// pixel sums the black of its square of 2^k pixels over the runs that cross
// it, its darkness growing with the square root of the square's black share
// (as in the converters' view picture) so that thin lines stay visible.
class GreyLevelBuilder {
 public:
  // `out` is the level (or a part of it), at least ceil(width / 2^k) wide;
  // its rows are written in turn, the last one also from a part block.
  GreyLevelBuilder(QImage& out, int k, uint32_t width);
  void AddChanges(std::span<const uint32_t> changes);
  void Finish();  // after the last row

 private:
  void EmitRow();
  QImage& out_;
  int k_;
  uint32_t width_, rows_ = 0;
  int y_ = 0;
  std::vector<uint32_t> counts_;
  std::vector<uint8_t> grey_;  // by black pixels of a square
};

// The part `part` (in level pixels, cut to the level) of grey level k of a
// black-and-white drawing, made from its rows.
QImage GreyPart(const Drawing& drawing, int k, QRect& part);
// The part `part` of a black-and-white drawing's pixels (Format_Mono, colour
// 1 black), cut to the drawing and reaching left to a multiple of 64 pixels:
// its place is `part` of the answer.
QImage MonoPart(const Drawing& drawing, QRect& part);

// Told while a drawing loads; every member may be empty. Called on the
// loading thread.
struct LoadProgress {
  std::function<void(const DrawingInfo&)> started;  // the size is known
  // A small picture of the whole drawing: the file's view picture, or the
  // part decoded so far.
  std::function<void(const QImage&)> preview;
  // The part decoded so far is shown only after this long: a load quicker
  // than that makes no copies of it that nobody would see.
  int previewAfterMs = 0;
  std::function<bool()> cancelled;  // polled while decoding
};

// Thrown out of LoadDrawing when `cancelled` said so.
struct LoadCancelled {};

// Reads a drawing file (by its content, whatever its name). A file that
// cannot be shown is a conv::ConvertError whose text names `shown`.
Drawing LoadDrawing(const std::string& hostPath, const std::string& shown,
                    const LoadProgress& progress = {});

// The Group 4 page image of a PDF, as tlcexport writes it: one image
// XObject with /Filter /CCITTFaxDecode and /K -1, its /Length given directly;
// dpi from the page's /MediaBox and /UserUnit.
struct PdfImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t dpi = 0;
  bool blackIs1 = false;
  std::span<const uint8_t> g4;
};
PdfImage FindPdfG4Image(std::span<const uint8_t> file, const std::string& shown);

// A grey picture halved: each pixel the mean of a 2 x 2 square.
QImage HalveGrey(const QImage& grey);

}  // namespace viewer
