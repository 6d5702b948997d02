// The drive and file lists and the current drive and folder, over a station
// whose drives are temporary folders.
#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/strings.h"
#include "varnel/files/curdir.h"
#include "varnel/files/lists.h"

namespace varnel {
namespace {

class ListsTest : public testing::StationTest {
 protected:
  ListsTest() {
    QDir().mkpath(Host("d"));
    setenv("JUX_DRIVES", ("C=" + dir_.path() + ";D=" + Host("d") + ";Q=" + Host("gone")).toUtf8(), 1);
  }
};

TEST_F(ListsTest, DriveListHoldsTheStationsDrivesAndRefusesUnknownOnes) {
  DriveListBox list;
  ASSERT_EQ(list.ListCount(), 3);
  EXPECT_TRUE(list.List(0).startsWith("c:"));
  EXPECT_TRUE(list.List(1).startsWith("d:"));
  QSignalSpy changes(&list, &DriveListBox::Change);

  struct Case {
    const char* drive;
    bool ok;
    const char* selected;  // first two characters afterwards
  } const cases[] = {
      {"D:\\SCANS", true, "d:"},  // any text beginning with the letter
      {"d", true, "d:"},          // the same drive again: no change
      {"X:", false, "d:"},        // not on this station
      {"Q:", false, "d:"},        // its folder is missing
      {"", false, "d:"},
      {"c:", true, "c:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.drive);
    EXPECT_EQ(list.SetDrive(c.drive), c.ok);
    EXPECT_EQ(list.Drive().left(2), c.selected);
    EXPECT_EQ(list.error(), c.ok ? QString() : LoadResString(resDeviceUnavailable));
  }
  EXPECT_EQ(changes.count(), 2);  // to d: and back to c:
  EXPECT_GT(list.FreeBytes(0), 0);
}

TEST_F(ListsTest, FileListShowsOnlyFilesInNameOrder) {
  WriteFile("Scans/b.tlc", "1");
  WriteFile("Scans/A.tif", "1");
  WriteFile("Scans/c", "1");
  QDir().mkpath(Host("Scans/Sub"));
  FileListBox files;
  ASSERT_TRUE(files.SetPath("C:\\SCANS"));
  ASSERT_EQ(files.ListCount(), 3);
  EXPECT_EQ(files.List(0), "A.tif");
  EXPECT_EQ(files.List(1), "b.tlc");
  EXPECT_EQ(files.List(2), "c");
  EXPECT_FALSE(files.SetPath("C:\\Missing"));
  EXPECT_EQ(files.Path(), "C:\\SCANS");
  WriteFile("Scans/d", "1");
  files.Refresh();
  EXPECT_EQ(files.ListCount(), 4);
}

TEST_F(ListsTest, EachDriveKeepsItsOwnCurrentFolder) {
  QDir().mkpath(Host("A"));
  QDir().mkpath(Host("d/B"));
  QString error;
  ASSERT_TRUE(ChDrive("C:", error));
  ASSERT_TRUE(ChDir("C:\\A\\", error));
  EXPECT_EQ(CurDir(), "C:\\A");
  ASSERT_TRUE(ChDir("D:\\B", error));
  EXPECT_EQ(CurDir(), "C:\\A");  // another drive's folder does not move the current drive
  EXPECT_EQ(CurDir("D:"), "D:\\B");
  ASSERT_TRUE(ChDrive("d", error));
  EXPECT_EQ(CurDir(), "D:\\B");
  EXPECT_EQ(CurDir("C:\\"), "C:\\A");
  ASSERT_TRUE(ChDir("\\", error));
  EXPECT_EQ(CurDir(), "D:\\");
  ASSERT_TRUE(ChDrive("C", error));
  EXPECT_EQ(CurDir(), "C:\\A");

  EXPECT_FALSE(ChDir("C:\\Missing", error));
  EXPECT_EQ(error, LoadResString(resPathNotFound));
  EXPECT_FALSE(ChDrive("Q:", error));
  EXPECT_EQ(error, LoadResString(resDeviceUnavailable));
  EXPECT_FALSE(ChDir("X:\\", error));
  EXPECT_EQ(error, LoadResString(resDeviceUnavailable));
  EXPECT_EQ(CurDir(), "C:\\A");
}

}  // namespace
}  // namespace varnel
