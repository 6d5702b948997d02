// The main window's controls: created, filled into the Form and given their
// design places by one procedure, which the window and the tests share, so a
// test's form is the window's own.
#pragma once

#include <QFont>
#include <QWidget>
#include <functional>

#include "varnel/files/form.h"
#include "varnel/pipeline/workflow.h"
#include "varnel/ui/layout.h"

class QFrame;

namespace varnel {

// The splitter between the folder list and the contents list: reports its
// mouse, x in pixels relative to itself.
class SplitterHandle : public QWidget {
 public:
  std::function<void()> down, up;
  std::function<void(int)> move;
  using QWidget::QWidget;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// Controls of the window that the Form does not hold.
struct MainControls {
  QFrame* pnlButtons = nullptr;        // the row of the two folder buttons
  SplitterHandle* splitter = nullptr;  // the Form's imgSplitter
};

// The window's font: the desktop's, at 8 points.
QFont WindowFont();
// FontTest: the title's narrow bold face of a font, by which the title is measured.
QFont TitleFont(const QFont& windowFont);

// Places a widget at a box in twips (relative to its parent).
void Place(QWidget* widget, const Box& box);

// Creates every control of the main window on client (the window's inside;
// its window is the Form's window), fills the Form with them, places those
// that keep their place and sets in layout the design boxes of those that
// SizeControls moves. The menu is the window's own.
MainControls CreateMainControls(QWidget* client, Form& f, MainLayout& layout);
// The captions of the controls (and of the menu entries that are set) from
// the string table. The contents list's title keeps its folder once one is listed.
void SetCaptions(Form& f);
// What the operator chose on the controls, for one pass of the scan road: the
// data field's text only while the field is shown.
ScanRequest ReadScanRequest(const Form& f);

// The event of the Auto Set Print check box, for its toggled signal. When
// Auto Set Print does not come on (settings cancelled), the box is switched
// back off with its signals blocked, so this runs once per state.
void chkAutoSetPrint_Click(Station& st, Form& f);
// For the window's unload: switches Auto Set Print off if it is on, which may
// ask about the copies still to be printed.
void SwitchAutoSetPrintOff(Station& st, Form& f);

// Widens the drive frame by grow twips (the title is wider than the panel);
// the panel grows with it and the right column moves along.
void WidenDriveFrame(Form& f, MainLayout& layout, double grow);

}  // namespace varnel
