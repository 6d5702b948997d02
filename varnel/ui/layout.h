// The main window's layout as arithmetic in twips, apart from the widgets:
// SizeControls works on the boxes of the controls it moves, so the minimum-size
// rule, the splitter clamp and the button row can be checked without a window.
// frmMain copies its controls' boxes in, runs SizeControls and places the
// controls from the result.
#pragma once

namespace varnel {

// Position and size in twips, relative to the control's container.
struct Box {
  double left = 0, top = 0, width = 0, height = 0;
  double right() const { return left + width; }
  double bottom() const { return top + height; }
  bool operator==(const Box&) const = default;
};

struct MainLayout {
  // The window: outer size (frame included) and the client area below the menu.
  double outerWidth = 0, outerHeight = 0;
  double clientWidth = 0, clientHeight = 0;

  // Containers on the client area.
  Box pnlTop, pnlFiles, pnlRight, pnlBottom, pnlBottom2;
  // In pnlTop.
  Box pnlJUX, pnlAppTitle, lblVersion;
  // In pnlFiles.
  Box lblTitle[2], DirMasterList, imgSplitter, lvContentsOf, lstDisplayScanInfo;
  // In pnlRight.
  Box pnlDriveData;
  // On the client area, in the row between pnlTop and pnlFiles: the row's
  // panel (left of pnlRight) and its two buttons.
  Box pnlButtons, cmdCreateDir, cmdRemoveDir;
  // In pnlBottom.
  Box txtFileName, txtDataField;
  // In pnlBottom2.
  Box cmdScan, cmdScanNext, cmdAutoMode, cmdExit;
};

// What SizeControls asks of the window when it is below its minimum size.
struct WindowResize {
  bool needed = false;
  double width = 0, height = 0;  // new outer size
};

// Height, in twips, that the window's caption, menu and borders add to the
// client area (the minimum height counts it).
inline constexpr double kNonClientHeight = 690;

// Lays the window out with the splitter at X (X is clamped in place). When the
// window is below its minimum size, nothing is moved and the result says which
// outer size the window must take; its resize lays it out again.
// nonClientHeight: the caption, menu and borders' height where the host's frame
// is taller than kNonClientHeight.
WindowResize SizeControls(MainLayout& l, double& X, double nonClientHeight = kNonClientHeight);

// Splitter dragging: where the drag bar goes for a mouse at mouseX (relative to
// imgSplitter), kept 1500 twips inside pnlFiles.
double SplitterBarLeft(const MainLayout& l, double mouseX);

}  // namespace varnel
