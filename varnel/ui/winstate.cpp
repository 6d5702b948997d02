#include "varnel/ui/winstate.h"

#include <algorithm>

#include "varnel/core/strings.h"

namespace varnel {

QSettings WindowSettings() {
  return QSettings(QSettings::UserScope, LoadResString(resAppTitle), LoadResString(resAppTitle));
}

WindowState ReadWindowState(QSettings& store) {
  WindowState s;
  store.beginGroup("Settings");
  s.SplitterLeft = store.value("SplitterLeft", s.SplitterLeft).toDouble();
  for (int i = 0; i < 3; ++i)
    s.ListViewHeaderWidth[i] =
        store.value(QString("ListViewHeaderWidth%1").arg(i + 1), s.ListViewHeaderWidth[i])
            .toDouble();
  s.MainWindowState = store.value("MainWindowState", s.MainWindowState).toInt();
  s.MainLeft = store.value("MainLeft", s.MainLeft).toDouble();
  s.MainTop = store.value("MainTop", s.MainTop).toDouble();
  s.MainWidth = store.value("MainWidth", s.MainWidth).toDouble();
  s.MainHeight = store.value("MainHeight", s.MainHeight).toDouble();
  store.endGroup();
  return s;
}

void WriteWindowState(QSettings& store, const WindowState& s, ShowState shown, int viewMode) {
  store.beginGroup("Settings");
  if (shown != ShowState::Minimised) store.setValue("MainWindowState", s.MainWindowState);
  if (shown == ShowState::Normal) {
    store.setValue("MainLeft", s.MainLeft);
    store.setValue("MainTop", s.MainTop);
    store.setValue("MainWidth", s.MainWidth);
    store.setValue("MainHeight", s.MainHeight);
    store.setValue("SplitterLeft", s.SplitterLeft);
    for (int i = 0; i < 3; ++i)
      store.setValue(QString("ListViewHeaderWidth%1").arg(i + 1), s.ListViewHeaderWidth[i]);
  }
  store.setValue("ViewMode", viewMode);
  store.endGroup();
  store.sync();
}

namespace {

// What must show of a title bar to drag it: this much of its width (or the
// whole window when narrower) and its top line, in pixels.
constexpr int kGrip = 100, kTitle = 20;

bool CanBeTaken(const QRect& frame, const QRect& screen) {
  QRect bar(frame.left(), frame.top(), frame.width(), kTitle);
  QRect shown = bar.intersected(screen);
  return frame.top() >= screen.top() && shown.height() == kTitle &&
         shown.width() >= std::min(kGrip, frame.width());
}

int Distance(const QRect& frame, const QRect& screen) {
  int dx = std::max({screen.left() - frame.left(), frame.left() - screen.right(), 0});
  int dy = std::max({screen.top() - frame.top(), frame.top() - screen.bottom(), 0});
  return dx + dy;
}

int Clamp(int value, int low, int high) { return std::max(low, std::min(value, high)); }

}  // namespace

QRect FrameOnScreen(const QRect& frame, const QList<QRect>& screens) {
  if (screens.isEmpty()) return frame;
  for (const QRect& screen : screens)
    if (CanBeTaken(frame, screen)) return frame;
  const QRect* nearest = &screens.first();
  for (const QRect& screen : screens)
    if (Distance(frame, screen) < Distance(frame, *nearest)) nearest = &screen;
  // Within the screen where it fits; its top left corner on it where it does not.
  QRect moved = frame;
  moved.moveLeft(Clamp(frame.left(), nearest->left(),
                       std::max(nearest->left(), nearest->right() + 1 - frame.width())));
  moved.moveTop(Clamp(frame.top(), nearest->top(),
                      std::max(nearest->top(), nearest->bottom() + 1 - frame.height())));
  return moved;
}

}  // namespace varnel
