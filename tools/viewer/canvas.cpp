#include "tools/viewer/canvas.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

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
  size_ = size;
  if (!drawing_) preview_ = QImage();
  message_.clear();
  if (newSize || fitted_) Fit();
  update();
}

void DrawingView::SetMessage(const QString& text) {
  drawing_.reset();
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

void DrawingView::PaintLevel(QPainter& painter, const QImage& level, int reduction) {
  const QSizeF window(size());
  // The part of the level in the window, in whole level pixels.
  const QPointF topLeft = place_.ToDrawing(QPointF(0, 0), window) / reduction;
  const QPointF bottomRight = place_.ToDrawing(QPointF(width(), height()), window) / reduction;
  int x0 = std::max(0, static_cast<int>(std::floor(topLeft.x())) - 1);
  const int y0 = std::max(0, static_cast<int>(std::floor(topLeft.y())) - 1);
  const int x1 = std::min(level.width(), static_cast<int>(std::ceil(bottomRight.x())) + 1);
  const int y1 = std::min(level.height(), static_cast<int>(std::ceil(bottomRight.y())) + 1);
  if (level.depth() == 1) x0 &= ~31;  // whole words copy fast
  if (x1 <= x0 || y1 <= y0) return;
  const QImage piece = level.copy(x0, y0, x1 - x0, y1 - y0);
  const QPointF a = place_.ToWindow(QPointF(x0, y0) * reduction, window);
  const QPointF b = place_.ToWindow(QPointF(x1, y1) * reduction, window);
  const double pixel = place_.scale * reduction;  // window pixels per level pixel
  painter.setRenderHint(QPainter::SmoothPixmapTransform, pixel < 1);
  painter.drawImage(QRectF(a, b), piece);
}

void DrawingView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(96, 96, 96));
  if (!message_.isEmpty() || size_.isEmpty()) {
    painter.setPen(Qt::white);
    painter.drawText(rect().adjusted(20, 20, -20, -20), Qt::AlignCenter | Qt::TextWordWrap,
                     message_);
    return;
  }
  const QSizeF window(size());
  const QRectF page(place_.ToWindow(QPointF(0, 0), window),
                    place_.ToWindow(QPointF(size_.width(), size_.height()), window));
  painter.fillRect(page, Qt::white);
  if (drawing_) {
    const int k = LevelFor(place_.scale, static_cast<int>(drawing_->levels.size()));
    PaintLevel(painter, drawing_->levels[k], 1 << k);
  } else if (!preview_.isNull()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(page, preview_);
  }
}

}  // namespace viewer
