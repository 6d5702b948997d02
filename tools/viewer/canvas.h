// The drawing area of the viewer: the drawing (or, while it loads, a small
// picture of it) fitted, zoomed and panned; or one line of text in the
// middle (a message, or that nothing is open).
#pragma once

#include <QImage>
#include <QPointF>
#include <QSizeF>
#include <QWidget>
#include <functional>
#include <memory>

#include "tools/viewer/drawing.h"

namespace viewer {

// Where the drawing lies in the window: `scale` window pixels per drawing
// pixel, `centre` the drawing point in the window's middle. Plain
// arithmetic, kept apart from the widget.
struct ViewPlace {
  double scale = 1;
  QPointF centre;

  // The scale that shows the whole drawing in the window.
  static double FitScale(QSizeF drawing, QSizeF window);
  // Zooms by `factor` keeping the drawing point under `anchor` (window
  // coordinates) where it is; the scale stays within [minScale, kMaxScale].
  void ZoomAt(double factor, QPointF anchor, QSizeF window, double minScale);
  // Keeps the centre on the drawing.
  void Clamp(QSizeF drawing);
  QPointF ToWindow(QPointF drawingPoint, QSizeF window) const;
  QPointF ToDrawing(QPointF windowPoint, QSizeF window) const;
};
inline constexpr double kMaxScale = 32;
inline constexpr double kZoomStep = 1.25;

// The level of a drawing to draw from at a scale: the one whose pixels come
// nearest to window pixels (a level is enlarged by at most 1.41 and reduced
// by at most 1.41, so the window never scales the full image down much).
int LevelFor(double scale, int levels);

class DrawingView : public QWidget {
 public:
  explicit DrawingView(QWidget* parent = nullptr);

  // A picture standing for the whole drawing of the given size.
  void SetPreview(const QImage& picture, QSize drawingSize);
  void SetDrawing(std::shared_ptr<const Drawing> drawing);
  // Text in place of a drawing (an empty text: nothing shown).
  void SetMessage(const QString& text);
  const QString& Message() const { return message_; }

  void ZoomIn();
  void ZoomOut();
  void Fit();
  void ActualSize();  // one drawing pixel to one window pixel
  bool Fitted() const { return fitted_; }
  double Scale() const { return place_.scale; }
  // Told whenever the scale changes.
  std::function<void()> scaleChanged;

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void wheelEvent(QWheelEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void keyPressEvent(QKeyEvent*) override;

 private:
  QSizeF DrawingSize() const;
  void ZoomBy(double factor, QPointF anchor);
  void Changed();
  // The part of a level (of levelSize pixels) in the window, in its pixels.
  QRect VisiblePart(int reduction, QSize levelSize) const;
  // `image` holds the level's pixels from `origin` on.
  void PaintLevel(QPainter& painter, const QImage& image, QPoint origin, int reduction,
                  QRect visible);
  // Level k (one not made while loading) made for a part around `visible`.
  const QImage& MadePart(int k, QRect visible);

  std::shared_ptr<const Drawing> drawing_;
  QImage preview_;
  QSize size_;  // of the drawing shown or loading
  QString message_;
  ViewPlace place_;
  bool fitted_ = true;
  QPoint dragFrom_;
  bool dragging_ = false;
  struct MadeLevel {
    const Drawing* drawing = nullptr;  // of drawing_ when made
    int level = -1;
    QRect part;  // in level pixels
    QImage image;
  } made_;
};

}  // namespace viewer
