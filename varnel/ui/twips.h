// Sizes and positions of the workstation's windows are kept in twips (1/1440
// inch); the screen's twips per pixel turns them into pixels.
#pragma once

#include <QWidget>
#include <cmath>

namespace varnel {

// Twips per pixel of the screen the widget is on (15 at 96 dots per inch).
inline double TwipsPerPixel(const QWidget* widget) {
  int dpi = widget ? widget->logicalDpiX() : 96;
  return 1440.0 / (dpi > 0 ? dpi : 96);
}

inline int TwipsToPixels(double twips, const QWidget* widget) {
  return static_cast<int>(std::lround(twips / TwipsPerPixel(widget)));
}

}  // namespace varnel
