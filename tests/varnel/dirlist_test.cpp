// The folder list on real folders of a temporary drive C:, offscreen.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/files/lists.h"

namespace varnel {
namespace {

class DirListTest : public testing::StationTest {
 protected:
  DirListTest() {
    testing::EnsureQtApp();
    for (const char* file : {"Scans/Jobs/a.txt", "Scans/beta/x", "Scans/Alpha/y", "Scans/file"})
      WriteFile(file, "x");
  }
  DirListBox list_;
};

TEST_F(DirListTest, NumbersTheParentChainNegativeAndTheSubfoldersFromZero) {
  struct Case {
    const char* path;
    const char* expectedPath;
    QStringList chain;       // entries -1, -2, ...
    QStringList subfolders;  // entries 0, 1, ...
  };
  const Case cases[] = {
      {"c:\\scans\\", "C:\\Scans", {"C:\\Scans", "C:\\"},
       {"C:\\Scans\\Alpha", "C:\\Scans\\beta", "C:\\Scans\\Jobs"}},
      {"C:\\SCANS\\JOBS", "C:\\Scans\\Jobs", {"C:\\Scans\\Jobs", "C:\\Scans", "C:\\"}, {}},
      {"C:", "C:\\", {"C:\\"}, {"C:\\Scans"}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(list_.SetPath(c.path)) << c.path << list_.error().toStdString();
    EXPECT_EQ(list_.Path(), c.expectedPath);
    for (int i = 0; i < c.chain.size(); ++i) EXPECT_EQ(list_.List(-1 - i), c.chain[i]) << c.path;
    EXPECT_EQ(list_.List(-1 - static_cast<int>(c.chain.size())), "") << c.path;
    ASSERT_EQ(list_.ListCount(), c.subfolders.size()) << c.path;
    for (int i = 0; i < c.subfolders.size(); ++i) EXPECT_EQ(list_.List(i), c.subfolders[i]);
    EXPECT_EQ(list_.ListIndex(), -1);  // the folder itself is highlighted
    EXPECT_EQ(list_.count(), c.chain.size() + c.subfolders.size());
  }
}

TEST_F(DirListTest, AFolderThatCannotBeListedLeavesTheListAsItWas) {
  ASSERT_TRUE(list_.SetPath("C:\\Scans"));
  QSignalSpy changes(&list_, &DirListBox::Change);
  for (const char* bad : {"C:\\Scans\\missing", "C:\\Scans\\file", "Q:\\", "Scans"}) {
    EXPECT_FALSE(list_.SetPath(bad)) << bad;
    EXPECT_FALSE(list_.error().isEmpty()) << bad;
    EXPECT_EQ(list_.Path(), "C:\\Scans");
    EXPECT_EQ(list_.ListCount(), 3);
  }
  EXPECT_EQ(changes.count(), 0);
  EXPECT_TRUE(list_.SetPath("C:\\Scans\\Jobs"));
  EXPECT_TRUE(list_.SetPath("c:\\scans\\jobs"));  // the same folder: no second change
  EXPECT_EQ(changes.count(), 1);
}

TEST_F(DirListTest, RefreshShowsAFolderCreatedMeanwhile) {
  ASSERT_TRUE(list_.SetPath("C:\\Scans"));
  WriteFile("Scans/New Folder/z", "z");
  list_.Refresh();
  EXPECT_EQ(list_.ListCount(), 4);
  EXPECT_EQ(list_.List(3), "C:\\Scans\\New Folder");
}

TEST_F(DirListTest, TheListRaisesItsEventsAndOpensNothingByItself) {
  ASSERT_TRUE(list_.SetPath("C:\\Scans"));
  list_.resize(200, 200);
  list_.show();
  QSignalSpy clicks(&list_, &DirListBox::Click), keys(&list_, &DirListBox::KeyPress),
      downs(&list_, &DirListBox::MouseDown), ups(&list_, &DirListBox::MouseUp),
      changes(&list_, &DirListBox::Change);
  QTest::keyClick(&list_, Qt::Key_Down);
  EXPECT_EQ(list_.ListIndex(), 0);
  EXPECT_EQ(clicks.count(), 1);
  QTest::keyClick(&list_, Qt::Key_Return);
  QTest::keyClick(&list_, Qt::Key_Space);
  ASSERT_EQ(keys.count(), 2);
  EXPECT_EQ(keys[0][0].toInt(), 13);
  EXPECT_EQ(keys[1][0].toInt(), 32);
  QRect row = list_.visualItemRect(list_.item(3));
  QTest::mouseClick(list_.viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_EQ(downs.count(), 1);
  EXPECT_EQ(ups.count(), 1);
  EXPECT_EQ(list_.ListIndex(), 1);
  EXPECT_EQ(changes.count(), 0);
  EXPECT_EQ(list_.Path(), "C:\\Scans");
}

}  // namespace
}  // namespace varnel
