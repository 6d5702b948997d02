#include "varnel/ui/statusbox.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>

#include "varnel/ui/twips.h"

namespace varnel {

StatusBoxHeights SizeStatusBox(bool line2Visible, bool line3Visible) {
  int last = line3Visible ? 2 : line2Visible ? 1 : 0;
  int frame = StatusBoxLayout::kLabelTop[last] + StatusBoxLayout::kLabelHeight + 200;
  return {frame, frame + 130};
}

frmMsgDplyBox::frmMsgDplyBox(Station& st, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint), st_(st) {
  setObjectName("frmMsgDplyBox");
  setFocusPolicy(Qt::StrongFocus);
  fraFrame = new QFrame(this);
  fraFrame->setFrameShape(QFrame::Box);
  QLabel** labels[3] = {&lblStatus1, &lblStatus2, &lblStatus3};
  for (QLabel** label : labels) {
    *label = new QLabel(fraFrame);
    (*label)->setAlignment(Qt::AlignCenter);
  }
  // Centred over the owner (or the screen) when first loaded.
  QRect area = owner ? owner->frameGeometry() : screen()->availableGeometry();
  double tpp = TwipsPerPixel(this);
  LeftTwips = static_cast<int>((area.center().x() * tpp) - WidthTwips / 2.0);
  TopTwips = static_cast<int>((area.center().y() * tpp) - 1000);
}

void frmMsgDplyBox::PlaceInPixels() {
  auto px = [this](int twips) { return TwipsToPixels(twips, this); };
  setGeometry(px(LeftTwips), px(TopTwips), px(WidthTwips), px(HeightTwips));
  fraFrame->setGeometry(px(StatusBoxLayout::kFrameLeft), px(StatusBoxLayout::kFrameTop),
                        px(StatusBoxLayout::kFrameWidth), px(FrameHeightTwips));
  QLabel* labels[3] = {lblStatus1, lblStatus2, lblStatus3};
  for (int i = 0; i < 3; ++i)
    labels[i]->setGeometry(px(StatusBoxLayout::kLabelLeft), px(StatusBoxLayout::kLabelTop[i]),
                           px(StatusBoxLayout::kLabelWidth), px(StatusBoxLayout::kLabelHeight));
}

void frmMsgDplyBox::showEvent(QShowEvent* event) {
  st_.MessageBoxUp = true;
  PlaceInPixels();
  QWidget::showEvent(event);
}

void frmMsgDplyBox::closeEvent(QCloseEvent* event) {
  // Closed from outside while it is up: the window stays until the wait it
  // tells of is over, and the close goes to the workstation.
  if (event->spontaneous() && onWindowClose) {
    event->ignore();
    onWindowClose();
    return;
  }
  st_.MessageBoxUp = false;
  QWidget::closeEvent(event);
}

void frmMsgDplyBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    st_.AbortRequested = true;
  } else if (event->key() == Qt::Key_R && (event->modifiers() & Qt::ControlModifier)) {
    if (onRescanKey) onRescanKey();
  }
}

void StatusBox::ShowStatusBox(const std::optional<QString>& line1,
                              const std::optional<QString>& line2,
                              const std::optional<QString>& line3) {
  WindowHooks& windows = *st_.seams.windows;
  // No text: the window goes.
  if (!line1) {
    if (frmMsgDplyBox* form = form_) {
      form_ = nullptr;
      form->close();
      // At once: a deferred delete would wait for the outermost event loop,
      // which a long auto-mode run does not return to.
      delete form;
    }
    windows.SetMousePointer(kDefaultPointer);
    return;
  }
  windows.SetMousePointer(kHourglass);
  if (!form_) {
    form_ = new frmMsgDplyBox(st_, owner_);
    form_->setAttribute(Qt::WA_DeleteOnClose);
    form_->onRescanKey = onRescanKey;
    form_->onWindowClose = onWindowClose;
  }
  frmMsgDplyBox& form = *form_;

  // The lines; a missing line is hidden.
  form.lblStatus1->setText(*line1);
  form.lblStatus2->setText(line2.value_or(QString()));
  form.lblStatus2->setVisible(line2.has_value());
  form.lblStatus3->setText(line3.value_or(QString()));
  form.lblStatus3->setVisible(line3.has_value());

  // Size to the last visible line.
  StatusBoxHeights heights = SizeStatusBox(line2.has_value(), line3.has_value());
  form.FrameHeightTwips = heights.frame;
  form.HeightTwips = heights.window;
  form.PlaceInPixels();

  // Shown once; later calls change it in place.
  if (!form.isVisible()) {
    form.show();
    form.activateWindow();
    form.setFocus();
  }
  st_.seams.pump->DoEvents();
}

}  // namespace varnel
