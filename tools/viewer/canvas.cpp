#include "tools/viewer/canvas.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QRegion>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace viewer {

double ViewPlace::FitScale(QSizeF drawing, QSizeF window) {
  if (drawing.isEmpty() || window.isEmpty()) return 1;
  return std::min(window.width() / drawing.width(), window.height() / drawing.height());
}

QPointF ViewPlace::ToWindow(QPointF p, QSizeF window) const {
  return (p - centre) * scale + QPointF(window.width() / 2, window.height() / 2);
}

QPointF ViewPlace::ToDrawing(QPointF p, QSizeF window) const {
  return (p - QPointF(window.width() / 2, window.height() / 2)) / scale + centre;
}

void ViewPlace::ZoomAt(double factor, QPointF anchor, QSizeF window, double minScale) {
  const QPointF fixed = ToDrawing(anchor, window);
  scale = std::clamp(scale * factor, std::min(minScale, kMaxScale), kMaxScale);
  // The same drawing point under the anchor again.
  centre = fixed - (anchor - QPointF(window.width() / 2, window.height() / 2)) / scale;
}

void ViewPlace::Clamp(QSizeF drawing) {
  centre.setX(std::clamp(centre.x(), 0.0, drawing.width()));
  centre.setY(std::clamp(centre.y(), 0.0, drawing.height()));
}

int LevelFor(double scale, int levels) {
  if (levels <= 1 || scale >= 1) return 0;
  const int k = static_cast<int>(std::floor(std::log2(1 / scale) + 0.5));
  return std::clamp(k, 0, levels - 1);
}

DrawingView::DrawingView(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(false);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QSizeF DrawingView::DrawingSize() const { return QSizeF(size_); }

void DrawingView::SetPreview(const QImage& picture, QSize drawingSize) {
  const bool newSize = drawingSize != size_;
  preview_ = picture;
  size_ = drawingSize;
  message_.clear();
  if (newSize || fitted_) Fit();
  update();
}

void DrawingView::SetDrawing(std::shared_ptr<const Drawing> drawing) {
  const QSize size = drawing ? QSize(drawing->info.width, drawing->info.height) : QSize();
  const bool newSize = size != size_;
  drawing_ = std::move(drawing);
  made_ = {};
  size_ = size;
  if (!drawing_) preview_ = QImage();
  message_.clear();
  if (newSize || fitted_) Fit();
  update();
}

void DrawingView::SetMessage(const QString& text) {
  drawing_.reset();
  made_ = {};
  preview_ = QImage();
  size_ = QSize();
  message_ = text;
  update();
}

void DrawingView::Changed() {
  place_.Clamp(DrawingSize());
  update();
  if (scaleChanged) scaleChanged();
}

void DrawingView::Fit() {
  fitted_ = true;
  place_.scale = ViewPlace::FitScale(DrawingSize(), QSizeF(size()));
  place_.centre = QPointF(size_.width() / 2.0, size_.height() / 2.0);
  Changed();
}

void DrawingView::ActualSize() { ZoomBy(1 / place_.scale, QPointF(width() / 2.0, height() / 2.0)); }
void DrawingView::ZoomIn() { ZoomBy(kZoomStep, QPointF(width() / 2.0, height() / 2.0)); }
void DrawingView::ZoomOut() { ZoomBy(1 / kZoomStep, QPointF(width() / 2.0, height() / 2.0)); }

void DrawingView::ZoomBy(double factor, QPointF anchor) {
  if (size_.isEmpty()) return;
  // Zooming out stops at the fitted view (or at 1:1 for a drawing smaller
  // than the window).
  const double fit = ViewPlace::FitScale(DrawingSize(), QSizeF(size()));
  place_.ZoomAt(factor, anchor, QSizeF(size()), std::min(fit, 1.0));
  if (std::abs(place_.scale - fit) <= fit * 1e-9) return Fit();
  fitted_ = false;
  Changed();
}

void DrawingView::resizeEvent(QResizeEvent*) {
  if (fitted_)
    Fit();
  else
    Changed();
}

void DrawingView::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches != 0) ZoomBy(std::pow(kZoomStep, notches), event->position());
  event->accept();
}

void DrawingView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = true;
  dragFrom_ = event->position().toPoint();
  setCursor(Qt::ClosedHandCursor);
}

void DrawingView::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  const QPoint now = event->position().toPoint();
  place_.centre -= QPointF(now - dragFrom_) / place_.scale;
  dragFrom_ = now;
  fitted_ = false;
  Changed();
}

void DrawingView::mouseReleaseEvent(QMouseEvent*) {
  dragging_ = false;
  unsetCursor();
}

void DrawingView::keyPressEvent(QKeyEvent* event) {
  // The arrow keys pan by a tenth of the window.
  const double stepX = width() / 10.0 / place_.scale, stepY = height() / 10.0 / place_.scale;
  QPointF move;
  switch (event->key()) {
    case Qt::Key_Left: move = {-stepX, 0}; break;
    case Qt::Key_Right: move = {stepX, 0}; break;
    case Qt::Key_Up: move = {0, -stepY}; break;
    case Qt::Key_Down: move = {0, stepY}; break;
    default: return QWidget::keyPressEvent(event);
  }
  place_.centre += move;
  fitted_ = false;
  Changed();
}

namespace {

// Black-and-white pixels (1 black, the first in the high bit) as window
// pixels, eight at a time through a table: what the window draws one to one
// is then a plain copy.
QImage WindowPixels(const uchar* bits, qsizetype bytesPerLine, QSize size) {
  static const auto table = [] {
    std::array<std::array<uint32_t, 8>, 256> t;
    for (int b = 0; b < 256; ++b)
      for (int i = 0; i < 8; ++i) t[b][i] = (b >> (7 - i)) & 1 ? 0xFF000000u : 0xFFFFFFFFu;
    return t;
  }();
  QImage out(size, QImage::Format_RGB32);
  if (out.isNull()) return out;
  const int w = size.width();
  for (int y = 0; y < size.height(); ++y) {
    const uchar* in = bits + y * bytesPerLine;
    auto* o = reinterpret_cast<uint32_t*>(out.scanLine(y));
    int x = 0;
    for (; x + 8 <= w; x += 8) std::memcpy(o + x, table[in[x / 8]].data(), 32);
    for (; x < w; ++x) o[x] = table[in[x / 8]][x & 7];
  }
  return out;
}

}  // namespace

QRect DrawingView::VisiblePart(int reduction, QSize levelSize) const {
  const QSizeF window(size());
  const QPointF topLeft = place_.ToDrawing(QPointF(0, 0), window) / reduction;
  const QPointF bottomRight = place_.ToDrawing(QPointF(width(), height()), window) / reduction;
  const int x0 = std::max(0, static_cast<int>(std::floor(topLeft.x())) - 1);
  const int y0 = std::max(0, static_cast<int>(std::floor(topLeft.y())) - 1);
  const int x1 = std::min(levelSize.width(), static_cast<int>(std::ceil(bottomRight.x())) + 1);
  const int y1 = std::min(levelSize.height(), static_cast<int>(std::ceil(bottomRight.y())) + 1);
  return QRect(x0, y0, x1 - x0, y1 - y0);
}

const QImage& DrawingView::MadePart(int k, QRect visible) {
  if (made_.drawing != drawing_.get() || made_.level != k || !made_.part.contains(visible)) {
    // Half a window more on every side, so that panning a little finds it made.
    QRect part = visible.adjusted(-visible.width() / 2, -visible.height() / 2,
                                  visible.width() / 2, visible.height() / 2);
    made_.image = k == 0 ? MonoPart(*drawing_, part) : GreyPart(*drawing_, k, part);
    made_.part = part;
    made_.drawing = drawing_.get();
    made_.level = k;
  }
  return made_.image;
}

void DrawingView::PaintLevel(QPainter& painter, const QImage& image, QPoint origin, int reduction,
                             QRect visible) {
  // The part of the image in the window, in whole level pixels.
  QRect r = visible & QRect(origin, image.size());
  QImage piece;
  const double pixel = place_.scale * reduction;  // window pixels per level pixel
  const bool oneToOne = std::abs(pixel - 1) < 1e-9;
  if (image.depth() == 1) {
    // Level 0 is drawn from its own rows, from a whole byte on: a copy of a
    // 1-bit image whose width is not whole bytes would go pixel by pixel.
    // (A part of level 0 begins at a multiple of 64 pixels, so whole bytes
    // and words of the level are whole ones of the part.)
    r.setLeft(r.left() & ~7);
    if (r.isEmpty()) return;
    auto row = [&](int x) {
      return image.constScanLine(r.top() - origin.y()) + (x - origin.x()) / 8;
    };
    if (oneToOne) {
      piece = WindowPixels(row(r.left()), image.bytesPerLine(), r.size());
    } else {
      r.setLeft(r.left() & ~31);  // a picture's rows begin at whole words
      piece = QImage(row(r.left()), r.width(), r.height(), image.bytesPerLine(),
                     QImage::Format_Mono);
      piece.setColorTable(image.colorTable());
    }
  } else {
    if (r.isEmpty()) return;
    piece = image.copy(r.translated(-origin));
  }
  const QSizeF window(size());
  const QPointF a = place_.ToWindow(QPointF(r.topLeft()) * reduction, window);
  if (oneToOne) {
    // One to one: a plain copy to the nearest whole window pixel.
    painter.drawImage(QPoint(static_cast<int>(std::lround(a.x())), static_cast<int>(std::lround(a.y()))),
                      piece);
    return;
  }
  const QPointF b =
      place_.ToWindow(QPointF(r.x() + r.width(), r.y() + r.height()) * reduction, window);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, pixel < 1);
  painter.drawImage(QRectF(a, b), piece);
}

void DrawingView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!message_.isEmpty() || size_.isEmpty()) {
    painter.fillRect(rect(), QColor(96, 96, 96));
    painter.setPen(Qt::white);
    painter.drawText(rect().adjusted(20, 20, -20, -20), Qt::AlignCenter | Qt::TextWordWrap,
                     message_);
    return;
  }
  const QSizeF window(size());
  const QRectF page(place_.ToWindow(QPointF(0, 0), window),
                    place_.ToWindow(QPointF(size_.width(), size_.height()), window));
  // Only the window around the page is grey; a loaded drawing covers its page.
  const QRegion around = QRegion(rect()) - QRegion(page.toAlignedRect().adjusted(1, 1, -1, -1));
  for (const QRect& r : around) painter.fillRect(r, QColor(96, 96, 96));
  if (!drawing_) painter.fillRect(page, Qt::white);
  if (drawing_) {
    const int k = LevelFor(place_.scale, static_cast<int>(drawing_->levels.size()));
    const int reduction = 1 << k;
    const QSize levelSize((size_.width() + reduction - 1) / reduction,
                          (size_.height() + reduction - 1) / reduction);
    const QRect visible = VisiblePart(reduction, levelSize);
    const QImage& level = drawing_->levels[k];
    if (!level.isNull())
      PaintLevel(painter, level, QPoint(0, 0), reduction, visible);
    else if (!visible.isEmpty()) {  // a level made only for the part shown
      const QImage& part = MadePart(k, visible);  // before its place is read
      PaintLevel(painter, part, made_.part.topLeft(), reduction, visible);
    }
  } else if (!preview_.isNull()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(page, preview_);
  }
}

}  // namespace viewer
