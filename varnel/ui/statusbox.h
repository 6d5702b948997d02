// The status window: a small borderless window with one to three lines that
// the workstation shows while it waits for a child program, and where the
// operator's ESC asks the wait to stop.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "varnel/core/seams.h"
#include "varnel/core/station.h"

class QFrame;
class QLabel;

namespace varnel {

// Fixed layout of the window in twips.
struct StatusBoxLayout {
  static constexpr int kWidth = 5400;
  static constexpr int kFrameLeft = 60, kFrameTop = 40, kFrameWidth = 5280;
  static constexpr int kLabelLeft = 120, kLabelWidth = 5040, kLabelHeight = 285;
  static constexpr int kLabelTop[3] = {240, 600, 960};  // lblStatus1-3 inside the frame
};

// Heights in twips for the lines shown: the frame reaches from its top to the
// last visible label plus one label height plus 200; the window is 130 taller.
struct StatusBoxHeights {
  int frame;
  int window;
};
StatusBoxHeights SizeStatusBox(bool line2Visible, bool line3Visible);

class frmMsgDplyBox : public QWidget {
  Q_OBJECT
 public:
  // owner: the main window (may be null); the window stays on top of it.
  frmMsgDplyBox(Station& st, QWidget* owner);

  QFrame* fraFrame;
  QLabel* lblStatus1;
  QLabel* lblStatus2;
  QLabel* lblStatus3;
  // Position and size in twips; applied when the window is activated.
  int LeftTwips = 0, TopTwips = 0, WidthTwips = StatusBoxLayout::kWidth, HeightTwips = 0;
  int FrameHeightTwips = 0;
  // Ctrl+R: used by auto scan mode only.
  std::function<void()> onRescanKey;
  // The window manager closes the window (Alt+F4 on it): the operator closes
  // the workstation. Without it the window goes as by ShowStatusBox().
  std::function<void()> onWindowClose;

  // Places the window and its frame at the twips values.
  void PlaceInPixels();

 protected:
  void showEvent(QShowEvent* event) override;      // Form_Activate
  void closeEvent(QCloseEvent* event) override;    // Form_Unload
  void keyPressEvent(QKeyEvent* event) override;   // Form_KeyPress

 private:
  Station& st_;
};

// ShowStatusBox for the workstation: owns the one status window.
class StatusBox : public StatusDisplay {
 public:
  StatusBox(Station& st, QWidget* owner) : st_(st), owner_(owner) {}
  void ShowStatusBox(const std::optional<QString>& line1 = std::nullopt,
                     const std::optional<QString>& line2 = std::nullopt,
                     const std::optional<QString>& line3 = std::nullopt) override;
  // The window while it is loaded, else null.
  frmMsgDplyBox* Form() const { return form_; }
  // Given to every window this box loads: Ctrl+R in auto scan mode, and
  // the window manager's close of the window.
  std::function<void()> onRescanKey;
  std::function<void()> onWindowClose;

 private:
  Station& st_;
  QPointer<QWidget> owner_;
  QPointer<frmMsgDplyBox> form_;
};

}  // namespace varnel
