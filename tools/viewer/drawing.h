// Reading a drawing for the viewer: TLC (with its grey view picture), 1-bit
// TIFF (Group 4, PackBits, uncompressed), PNG and the one-page Group 4 PDF
// the converters write. The file is decoded row by row into the full image
// and, on the way, into grey pictures of it halved again and again, from
// which the viewer draws whatever is zoomed out; a large drawing is never
// scaled down from its full size while the window paints.
#pragma once

#include <QImage>
#include <cstdint>
#include <functional>
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

struct Drawing {
  DrawingInfo info;
  // levels[0] holds every pixel: Format_Mono (colour 1 black) for a
  // black-and-white image, else Grayscale8. levels[k] is grey, each pixel
  // standing for a square of 2^k pixels (the last row and column may be
  // cut); the last level is at most kSmallestLevel pixels on its long side.
  std::vector<QImage> levels;
};

inline constexpr int kSmallestLevel = 512;
// Long side of the picture shown while a file without a view picture loads.
inline constexpr uint32_t kPreviewSide = 1024;

// Told while a drawing loads; every member may be empty. Called on the
// loading thread.
struct LoadProgress {
  std::function<void(const DrawingInfo&)> started;  // the size is known
  // A small picture of the whole drawing: the file's view picture, or the
  // part decoded so far.
  std::function<void(const QImage&)> preview;
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
