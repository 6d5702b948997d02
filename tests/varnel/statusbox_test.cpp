// The status window, offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/runner.h"
#include "varnel/ui/statusbox.h"
#include "varnel/ui/twips.h"

namespace varnel {
namespace {

using testing::StationTest;

class StatusBoxTest : public StationTest {
 protected:
  StatusBoxTest() : box_(*st_, &main_) {}
  int Px(int twips) { return TwipsToPixels(twips, box_.Form()); }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(box_.Form(), &event);
  }
  QMainWindow main_;
  StatusBox box_;
};

TEST_F(StatusBoxTest, SizesToTheLastVisibleLine) {
  struct Case {
    std::optional<QString> line2, line3;
    int lastTop;  // top of the last visible label
  } cases[] = {{std::nullopt, std::nullopt, 240},
               {QString("two"), std::nullopt, 600},
               {std::nullopt, QString("three"), 960},  // line 2 hidden, sized to line 3
               {QString(""), QString("three"), 960}};
  for (const Case& c : cases) {
    box_.ShowStatusBox(QString("one"), c.line2, c.line3);
    frmMsgDplyBox* form = box_.Form();
    ASSERT_NE(form, nullptr);
    int frame = c.lastTop + 285 + 200;
    EXPECT_EQ(form->FrameHeightTwips, frame);
    EXPECT_EQ(form->HeightTwips, frame + 130);
    EXPECT_EQ(form->height(), Px(frame + 130));
    EXPECT_EQ(form->fraFrame->height(), Px(frame));
    EXPECT_EQ(form->lblStatus1->text(), "one");
    EXPECT_EQ(form->lblStatus2->isHidden(), !c.line2.has_value());
    EXPECT_EQ(form->lblStatus3->isHidden(), !c.line3.has_value());
    EXPECT_EQ(form->lblStatus3->text(), c.line3.value_or(""));
  }
}

TEST_F(StatusBoxTest, ShownOnceOwnedByTheMainWindowAndClosedWithoutText) {
  box_.ShowStatusBox(QString("Insert Document into the Scanner"), QString("and then press START"));
  QPointer<frmMsgDplyBox> form = box_.Form();
  ASSERT_TRUE(form);
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(st_->MessageBoxUp);
  EXPECT_EQ(form->parentWidget(), &main_);
  EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(form->isWindow());
  EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);

  box_.ShowStatusBox(QString("Reducing Image"));  // replaced in place
  EXPECT_EQ(box_.Form(), form.data());
  EXPECT_EQ(form->lblStatus1->text(), "Reducing Image");
  EXPECT_TRUE(form->lblStatus2->isHidden());

  box_.ShowStatusBox();
  EXPECT_EQ(box_.Form(), nullptr);
  EXPECT_FALSE(st_->MessageBoxUp);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(form);
  EXPECT_EQ(windows_.pointers, (QList<int>{11, 11, 0}));
}

TEST_F(StatusBoxTest, ClosingWhenNoneIsUpOnlyResetsThePointer) {
  box_.ShowStatusBox();
  EXPECT_EQ(box_.Form(), nullptr);
  EXPECT_EQ(windows_.pointers, QList<int>{0});
  EXPECT_FALSE(st_->MessageBoxUp);
}

TEST_F(StatusBoxTest, EscAsksForTheAbortAndCtrlRGoesToAutoMode) {
  box_.ShowStatusBox(QString("Auto Scan Mode"));
  int rescans = 0;
  box_.Form()->onRescanKey = [&] { ++rescans; };
  Key(Qt::Key_A);
  Key(Qt::Key_R);
  EXPECT_FALSE(st_->AbortRequested);
  EXPECT_EQ(rescans, 0);
  Key(Qt::Key_R, Qt::ControlModifier);
  EXPECT_EQ(rescans, 1);
  Key(Qt::Key_Escape);
  EXPECT_TRUE(st_->AbortRequested);
  EXPECT_TRUE(box_.Form()->isVisible());  // ESC does not close the window
}

TEST_F(StatusBoxTest, EscDuringAWaitEndsItWithinAStep) {
  UseStationFolder();
  WriteScript("bin/scan", "exec sleep 5");
  box_.ShowStatusBox(QString("Insert Document into the Scanner"), QString("and then press START"));
  // ESC reaches the window at the first turn of the wait loop.
  pump_.onDoEvents = [this](int) {
    QCoreApplication::postEvent(box_.Form(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape,
                                                           Qt::NoModifier));
  };
  EXPECT_FALSE(RunAndWait(*st_, "/O:C:\\Temp\\Brevik.TIF", "C:\\bin\\scan"));
  pump_.onDoEvents = nullptr;
  EXPECT_EQ(processes_.waits, 2);  // the child would run 5 s: ten steps
  EXPECT_TRUE(st_->AbortRequested);
}

}  // namespace
}  // namespace varnel
