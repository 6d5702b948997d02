// The main window's layout arithmetic and its stored state, without a window.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include "varnel/ui/layout.h"
#include "varnel/ui/winstate.h"

namespace varnel {
namespace {

// The window's design sizes (twips), as frmMain places its controls.
MainLayout Design(double outerWidth, double outerHeight, double clientWidth, double clientHeight) {
  MainLayout l;
  l.outerWidth = outerWidth;
  l.outerHeight = outerHeight;
  l.clientWidth = clientWidth;
  l.clientHeight = clientHeight;
  l.pnlTop.height = 700;
  l.pnlBottom.height = 1200;
  l.pnlBottom2.height = 600;
  l.pnlRight = {0, 0, 6050, 3800};
  l.pnlDriveData = {0, 0, 2900, 600};
  l.pnlFiles = {100, 1150, 0, 0};
  l.lblTitle[0] = {0, 0, 2000, 250};
  l.lblTitle[1] = {2070, 0, 0, 250};
  l.imgSplitter = {2000, 0, 70, 0};
  l.cmdRemoveDir = {0, 760, 1400, 345};
  l.pnlJUX = {0, 40, 800, 450};
  l.pnlAppTitle = {800, 40, 3000, 450};
  l.lblVersion = {0, 470, 2000, 220};
  l.txtFileName = {1100, 450, 0, 330};
  l.txtDataField = {1100, 840, 0, 330};
  for (Box* b : {&l.cmdScan, &l.cmdScanNext, &l.cmdAutoMode, &l.cmdExit}) *b = {0, 100, 1400, 400};
  return l;
}

TEST(SizeControlsTest, LaysOutTheDefaultWindow) {
  MainLayout l = Design(10000, 7000, 9900, 6500);
  double X = 2000;
  ASSERT_FALSE(SizeControls(l, X).needed);
  // Free height 4000, free width 3850.
  EXPECT_EQ(l.pnlRight, (Box{3850, 800, 6050, 3800}));
  EXPECT_EQ(l.pnlFiles, (Box{100, 1150, 3750, 3450}));
  EXPECT_EQ(l.lstDisplayScanInfo, (Box{0, 0, 3750, 3450}));
  EXPECT_EQ(l.DirMasterList, (Box{0, 250, 2000, 3160}));
  EXPECT_EQ(l.lvContentsOf, (Box{2070, 250, 1680, 3160}));
  EXPECT_EQ(l.imgSplitter, (Box{2000, 0, 70, 3410}));
  EXPECT_EQ(l.lblTitle[0], (Box{0, 0, 2000, 250}));
  EXPECT_EQ(l.lblTitle[1], (Box{2070, 0, 1680, 250}));
  EXPECT_EQ(l.txtFileName.width, 8650);
  EXPECT_EQ(l.txtDataField.width, 8650);
  // The buttons centred, 165 apart: 4 * 1400 + 3 * 165 = 6095 wide.
  EXPECT_EQ(l.cmdScan.left, 1902.5);
  EXPECT_EQ(l.cmdScanNext.left, 3467.5);
  EXPECT_EQ(l.cmdAutoMode.left, 5032.5);
  EXPECT_EQ(l.cmdExit.left, 6597.5);
  // Remove Folder ends where the contents list does, in window coordinates.
  EXPECT_EQ(l.cmdRemoveDir.left, 2450);
  EXPECT_EQ(l.cmdRemoveDir.right(), l.pnlFiles.left + l.lvContentsOf.right());
  EXPECT_EQ(l.pnlJUX.left, 3050);
  EXPECT_EQ(l.pnlAppTitle.left, 3850);
  EXPECT_EQ(l.lblVersion.left, 4000);
  EXPECT_EQ(l.pnlBottom2.top, 5900);
  EXPECT_EQ(l.pnlBottom.top, 4700);
}

TEST(SizeControlsTest, ClampsTheSplitterLowerBoundFirst) {
  struct Case {
    double clientWidth, X, expected;
  };
  const Case cases[] = {
      {9900, 2000, 2000},   // inside
      {9900, 100, 1500},    // far left
      {9900, 5000, 2250},   // far right: pnlFiles 3750 wide
      {9900, 2250, 2250},   // on the bound
      {8950, 100, 1300},    // pnlFiles 2800: the upper bound, taken second, wins
      {12000, 1499, 1500},
  };
  for (const Case& c : cases) {
    MainLayout l = Design(c.clientWidth + 100, 7000, c.clientWidth, 6500);
    double X = c.X;
    ASSERT_FALSE(SizeControls(l, X).needed) << c.clientWidth;
    EXPECT_EQ(X, c.expected) << c.clientWidth << " " << c.X;
    EXPECT_EQ(l.imgSplitter.left, c.expected);
    EXPECT_EQ(l.DirMasterList.width, c.expected);
    EXPECT_EQ(l.lvContentsOf.left, c.expected + 70);
  }
}

TEST(SizeControlsTest, AWindowBelowItsMinimumGrowsBackAndNothingMoves) {
  struct Case {
    double outerWidth, outerHeight, clientWidth, clientHeight, nonClient;
    bool needed;
    double width, height;
  };
  const Case cases[] = {
      // H = 2500 < 3800: 700 + 3800 + 1200 + 600 + 690.
      {10000, 5500, 9900, 5000, 500, true, 10000, 6990},
      // A taller frame than 690 counts as it is.
      {10000, 5500, 9900, 5000, 900, true, 10000, 7200},
      // W = 1950 < 2900: 6050 + 2900 + the border's 100.
      {8100, 7000, 8000, 6500, 500, true, 9050, 7000},
      {8100, 5500, 8000, 5000, 500, true, 9050, 6990},
      // Exactly the minimum is enough.
      {9050, 6800, 8950, 6300, 500, false, 9050, 6800},
  };
  for (const Case& c : cases) {
    MainLayout l = Design(c.outerWidth, c.outerHeight, c.clientWidth, c.clientHeight);
    MainLayout before = l;
    double X = 2000;
    WindowResize r = SizeControls(l, X, c.nonClient);
    EXPECT_EQ(r.needed, c.needed) << c.clientWidth << "x" << c.clientHeight;
    if (!c.needed) continue;
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
    EXPECT_EQ(l.pnlRight, before.pnlRight);
    EXPECT_EQ(l.cmdScan, before.cmdScan);
  }
}

TEST(SizeControlsTest, TheDragBarStaysInsideTheFolderArea) {
  MainLayout l = Design(10000, 7000, 9900, 6500);
  double X = 2000;
  SizeControls(l, X);
  const std::pair<double, double> cases[] = {{-1000, 1500}, {-500, 1500}, {100, 2100},
                                             {250, 2250},   {251, 2250},  {5000, 2250}};
  for (auto [mouse, left] : cases) EXPECT_EQ(SplitterBarLeft(l, mouse), left) << mouse;
}

class WindowStateTest : public ::testing::Test {
 protected:
  QTemporaryDir dir_;
  QSettings store_{dir_.path() + "/state.ini", QSettings::IniFormat};
  QString Keys() {
    store_.beginGroup("Settings");
    QStringList keys = store_.childKeys();
    store_.endGroup();
    keys.sort();
    return keys.join(',');
  }
};

TEST_F(WindowStateTest, FirstStartGivesTheDefaults) {
  WindowState s = ReadWindowState(store_);
  EXPECT_EQ(s.SplitterLeft, 2000);
  EXPECT_EQ(s.MainLeft, 1000);
  EXPECT_EQ(s.MainTop, 1000);
  EXPECT_EQ(s.MainWidth, 10000);
  EXPECT_EQ(s.MainHeight, 7000);
  EXPECT_EQ(s.MainWindowState, 0);
  for (double w : s.ListViewHeaderWidth) EXPECT_EQ(w, 1400);
}

TEST_F(WindowStateTest, UnloadStoresWhatTheWindowsShowStateAllows) {
  struct Case {
    ShowState shown;
    const char* keys;
  };
  const Case cases[] = {
      {ShowState::Minimised, "ViewMode"},
      {ShowState::Maximised, "MainWindowState,ViewMode"},
      {ShowState::Normal,
       "ListViewHeaderWidth1,ListViewHeaderWidth2,ListViewHeaderWidth3,MainHeight,MainLeft,"
       "MainTop,MainWidth,MainWindowState,SplitterLeft,ViewMode"},
  };
  WindowState s;
  s.MainLeft = 1234;
  s.MainWindowState = 2;
  for (const Case& c : cases) {
    store_.clear();
    WriteWindowState(store_, s, c.shown, kViewModeReport);
    EXPECT_EQ(Keys(), c.keys);
  }
  // What a maximised close leaves: the normal position of the run before.
  WriteWindowState(store_, WindowState{}, ShowState::Normal, kViewModeReport);
  WriteWindowState(store_, s, ShowState::Maximised, kViewModeReport);
  WindowState back = ReadWindowState(store_);
  EXPECT_EQ(back.MainWindowState, 2);
  EXPECT_EQ(back.MainLeft, 1000);
  EXPECT_EQ(store_.value("Settings/ViewMode").toInt(), 3);
}

TEST(FrameOnScreenTest, AWindowOpensWhereItsTitleBarCanBeTaken) {
  const QRect left(0, 0, 1280, 1024), right(1280, 0, 1920, 1080);
  struct Case {
    const char* what;
    QRect stored;
    QList<QRect> screens;
    QPoint opens;
  } cases[] = {
      {"where it was", {67, 67, 667, 467}, {left}, {67, 67}},
      {"partly off to the right, its grip on", {1150, 300, 667, 467}, {left}, {1150, 300}},
      {"only a corner on", {1200, 300, 667, 467}, {left}, {1280 - 667, 300}},
      {"title above the screen", {67, -13, 667, 467}, {left}, {67, 0}},
      {"far below", {67, 5000, 667, 467}, {left}, {67, 1024 - 467}},
      {"far off to the left", {-2000, 100, 667, 467}, {left}, {0, 100}},
      {"on the second screen", {1400, 50, 667, 467}, {left, right}, {1400, 50}},
      {"beyond the second screen", {4000, 50, 667, 467}, {left, right}, {3200 - 667, 50}},
      {"larger than the screen", {-50, -50, 2000, 1500}, {left}, {0, 0}},
      {"no screen known", {-500, -500, 667, 467}, {}, {-500, -500}},
  };
  for (const Case& c : cases) {
    QRect opened = FrameOnScreen(c.stored, c.screens);
    EXPECT_EQ(opened.topLeft(), c.opens) << c.what;
    EXPECT_EQ(opened.size(), c.stored.size()) << c.what;
  }
}

}  // namespace
}  // namespace varnel
