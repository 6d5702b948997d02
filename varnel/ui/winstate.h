// The main window's state kept per user between runs: the settings store under
// the application title, section "Settings". Positions and sizes in twips.
#pragma once

#include <QList>
#include <QRect>
#include <QSettings>
#include <QString>

namespace varnel {

struct WindowState {
  double SplitterLeft = 2000;
  double ListViewHeaderWidth[3] = {1400, 1400, 1400};
  int MainWindowState = 0;  // 0 normal, 2 maximised
  double MainLeft = 1000, MainTop = 1000;
  double MainWidth = 10000, MainHeight = 7000;
};

// How the window is shown when it unloads.
// The view mode stored for the "Contents of" list: its report view with columns.
inline constexpr int kViewModeReport = 3;

enum class ShowState { Normal, Minimised, Maximised };

// The store of the workstation: the per-user settings of the application title.
// Tests move it with QSettings::setPath.
QSettings WindowSettings();

// The stored state; a missing key gives its default.
WindowState ReadWindowState(QSettings& store);
// What unloading stores: the state unless minimised, the normal position, size,
// splitter and column widths only when normal, and always the view mode.
void WriteWindowState(QSettings& store, const WindowState& state, ShowState shown,
                      int viewMode);

// Where a window whose frame was stored at frame opens, given the available
// areas of the screens: where it was, as long as enough of its title bar lies
// on one screen to be taken with the mouse; otherwise moved just onto the
// screen it is nearest to (the first screen when there is none), keeping its
// size. No screens: as stored.
QRect FrameOnScreen(const QRect& frame, const QList<QRect>& screens);

}  // namespace varnel
