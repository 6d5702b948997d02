// The main window's layout arithmetic on the window's own design sizes, and
// its stored state.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>

#include "tests/varnel/support/fakes.h"
#include "varnel/files/form.h"
#include "varnel/ui/controls.h"
#include "varnel/ui/layout.h"
#include "varnel/ui/winstate.h"

namespace varnel {
namespace {

// The window's design sizes, as the window's own code makes its controls,
// in a window of the given outer and inner size (twips).
MainLayout Design(double outerWidth, double outerHeight, double clientWidth, double clientHeight) {
  testing::EnsureQtApp();
  QWidget window;
  Form f;
  MainLayout l;
  CreateMainControls(&window, f, l);
  l.outerWidth = outerWidth;
  l.outerHeight = outerHeight;
  l.clientWidth = clientWidth;
  l.clientHeight = clientHeight;
  return l;
}

// The smallest inside the layout takes without growing the window.
double MinimumClientWidth(const MainLayout& l) { return l.pnlRight.width + l.pnlDriveData.width; }
double MinimumClientHeight(const MainLayout& l) {
  return l.pnlTop.height + l.pnlRight.height + l.pnlBottom.height + l.pnlBottom2.height;
}

bool Inside(const Box& inner, const Box& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right() <= outer.right() &&
         inner.bottom() <= outer.bottom();
}
bool Overlap(const Box& a, const Box& b) {
  return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}

// The first start's window (10000 x 7000 twips with the frame) and others:
// what every layout keeps, whatever the design sizes are.
TEST(SizeControlsTest, EveryLayoutKeepsTheWindowsRules) {
  const MainLayout design = Design(0, 0, 0, 0);
  const double minW = MinimumClientWidth(design), minH = MinimumClientHeight(design);
  struct Case {
    double clientWidth, clientHeight;
  } cases[] = {{9900, 6310}, {minW, minH}, {minW + 3001, minH + 1}, {20000, 14000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.clientWidth) + "x" + std::to_string(c.clientHeight));
    MainLayout l = Design(c.clientWidth + 100, c.clientHeight + 690, c.clientWidth, c.clientHeight);
    double X = 2000;
    ASSERT_FALSE(SizeControls(l, X).needed);
    const Box client{0, 0, c.clientWidth, c.clientHeight};
    // Title band on top, the two bottom rows at the bottom, all full width.
    EXPECT_EQ(l.pnlTop, (Box{0, 0, c.clientWidth, design.pnlTop.height}));
    EXPECT_EQ(l.pnlBottom2.bottom(), c.clientHeight);
    EXPECT_EQ(l.pnlBottom.bottom(), l.pnlBottom2.top);
    EXPECT_EQ(l.pnlBottom.width, c.clientWidth);
    // The parameter panel at the right edge, centred in the height between.
    EXPECT_EQ(l.pnlRight.right(), c.clientWidth);
    EXPECT_EQ(l.pnlRight.top - l.pnlTop.bottom(), l.pnlBottom.top - l.pnlRight.bottom());
    EXPECT_TRUE(Inside(l.pnlRight, client));
    // The folder area fills the rest up to the panel, below the button row.
    EXPECT_EQ(l.pnlFiles.right(), l.pnlRight.left);
    EXPECT_EQ(l.pnlButtons, (Box{0, l.pnlTop.bottom(), l.pnlRight.left, l.pnlFiles.top - l.pnlTop.bottom()}));
    for (const Box* button : {&l.cmdCreateDir, &l.cmdRemoveDir}) EXPECT_TRUE(Inside(*button, l.pnlButtons));
    EXPECT_FALSE(Overlap(l.cmdCreateDir, l.cmdRemoveDir));
    EXPECT_FALSE(Overlap(l.pnlFiles, l.pnlRight));
    EXPECT_LE(l.pnlFiles.bottom(), l.pnlBottom.top);
    // Inside it: the two lists either side of the splitter, under their titles,
    // and the scan-list panel over both.
    const Box files{0, 0, l.pnlFiles.width, l.pnlFiles.height};
    EXPECT_EQ(l.DirMasterList.right(), l.imgSplitter.left);
    EXPECT_EQ(l.lvContentsOf.left, l.imgSplitter.right());
    EXPECT_EQ(l.lvContentsOf.right(), l.pnlFiles.width);
    EXPECT_EQ(l.DirMasterList.top, l.lblTitle[0].bottom());
    EXPECT_EQ(l.lvContentsOf.top, l.lblTitle[1].bottom());
    EXPECT_EQ(l.lblTitle[1].left, l.lvContentsOf.left);
    EXPECT_EQ(l.lblTitle[1].right(), l.lvContentsOf.right());
    for (const Box* b : {&l.DirMasterList, &l.lvContentsOf, &l.imgSplitter, &l.lstDisplayScanInfo})
      EXPECT_TRUE(Inside(*b, files));
    EXPECT_EQ(l.lstDisplayScanInfo.bottom(), l.pnlFiles.height);
    EXPECT_EQ(l.lstDisplayScanInfo.width, l.pnlFiles.width);
    // Remove Folder ends where the contents list does, in window coordinates.
    EXPECT_EQ(l.cmdRemoveDir.right(), l.pnlFiles.left + l.lvContentsOf.right());
    // The file rows reach to 150 twips from the right edge.
    EXPECT_EQ(l.txtFileName.right(), c.clientWidth - 150);
    EXPECT_EQ(l.txtDataField.right(), c.clientWidth - 150);
    // The command buttons centred, in order, 165 twips apart.
    const Box* buttons[] = {&l.cmdScan, &l.cmdScanNext, &l.cmdAutoMode, &l.cmdExit};
    EXPECT_EQ(l.cmdScan.left, c.clientWidth - l.cmdExit.right());
    for (int i = 1; i < 4; ++i) EXPECT_EQ(buttons[i]->left - buttons[i - 1]->right(), 165);
    // The title centred over the window, the version centred under it.
    EXPECT_EQ(l.pnlAppTitle.left, l.pnlJUX.right());
    EXPECT_EQ(l.pnlJUX.left, c.clientWidth - l.pnlAppTitle.right());
    EXPECT_EQ(l.lblVersion.left, l.outerWidth - l.lblVersion.right());
    EXPECT_GE(l.lblVersion.top, l.pnlJUX.bottom());
  }
  // The first start's window keeps its splitter where it was stored.
  MainLayout first = Design(10000, 7000, 9900, 6310);
  double X = 2000;
  SizeControls(first, X);
  EXPECT_EQ(X, 2000);
}

TEST(SizeControlsTest, ClampsTheSplitterToTheFolderArea) {
  MainLayout l = Design(10000, 7000, 9900, 6310);
  double X = 2000;
  ASSERT_FALSE(SizeControls(l, X).needed);
  const double highest = l.pnlFiles.width - 1500;
  ASSERT_GT(highest, 1500);
  const std::pair<double, double> cases[] = {
      {1800, 1800}, {100, 1500}, {1499, 1500}, {highest, highest}, {highest + 1, highest}, {1e6, highest}};
  for (auto [asked, expected] : cases) {
    X = asked;
    ASSERT_FALSE(SizeControls(l, X).needed);
    EXPECT_EQ(X, expected) << asked;
    EXPECT_EQ(l.imgSplitter.left, expected);
    EXPECT_EQ(l.DirMasterList.width, expected);
    EXPECT_EQ(l.lblTitle[0].width, expected);
  }
}

TEST(SizeControlsTest, AWindowBelowItsMinimumGrowsBackAndNothingMoves) {
  const MainLayout design = Design(0, 0, 0, 0);
  const double minW = MinimumClientWidth(design), minH = MinimumClientHeight(design);
  struct Case {
    double clientWidth, clientHeight, nonClient;
    bool needed;
    double width, height;  // outer size asked for (the frame: 100 wide, 690 or more high)
  };
  const Case cases[] = {
      {minW, minH - 1, 500, true, minW + 100, minH + 690},
      // A taller frame than 690 counts as it is.
      {minW, minH - 1, 900, true, minW + 100, minH + 900},
      {minW - 1, minH, 500, true, minW + 100, minH + 690},
      {minW - 1000, minH - 1000, 500, true, minW + 100, minH + 690},
      // Exactly the minimum is enough.
      {minW, minH, 500, false, 0, 0},
  };
  for (const Case& c : cases) {
    MainLayout l = Design(c.clientWidth + 100, c.clientHeight + 690, c.clientWidth, c.clientHeight);
    MainLayout before = l;
    double X = 2000;
    WindowResize r = SizeControls(l, X, c.nonClient);
    EXPECT_EQ(r.needed, c.needed) << c.clientWidth << "x" << c.clientHeight;
    if (!c.needed) continue;
    // A size that is enough stays as it is.
    EXPECT_EQ(r.width, c.clientWidth < minW ? c.width : l.outerWidth);
    EXPECT_EQ(r.height, c.clientHeight < minH ? c.height : l.outerHeight);
    EXPECT_EQ(l.pnlRight, before.pnlRight);
    EXPECT_EQ(l.cmdScan, before.cmdScan);
  }
}

TEST(SizeControlsTest, TheDragBarStaysInsideTheFolderArea) {
  MainLayout l = Design(10000, 7000, 9900, 6310);
  double X = 2000;
  SizeControls(l, X);
  const double highest = l.pnlFiles.width - 1500;
  const std::pair<double, double> cases[] = {
      {-1000, 1500}, {-500, 1500}, {highest - 2001, highest - 1}, {highest - 2000, highest},
      {highest - 1999, highest}, {5000, highest}};
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
