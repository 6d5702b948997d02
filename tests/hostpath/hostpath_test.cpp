#include "juxutil/hostpath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

class HostPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("hostpath_" + std::to_string(::getpid()));
    fs::create_directories(root_ / "Scans" / "Temp");
    std::ofstream(root_ / "Scans" / "Brevik.TIF") << "x";
    drives_ = hostpath::ParseDrives("C=" + root_.string() + "/;d=/media/usb;X;=/bad");
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
  hostpath::DriveTable drives_;
};

TEST_F(HostPathTest, ParsesDriveTable) {
  ASSERT_EQ(drives_.size(), 2u);
  EXPECT_EQ(drives_.at('C'), root_.string());  // trailing slash dropped
  EXPECT_EQ(drives_.at('D'), "/media/usb");   // letter upper-cased
}

TEST_F(HostPathTest, MapsWindowsNamesToHostPaths) {
  const std::string r = root_.string();
  struct Case {
    std::string windows, host;
  } cases[] = {
      {"C:\\SCANS\\brevik.tif", r + "/Scans/Brevik.TIF"},  // existing components, any case
      {"c:\\scans\\temp\\NEW001.TLC", r + "/Scans/Temp/NEW001.TLC"},  // new file keeps its case
      {"C:\\Nowhere\\A.TIF", r + "/Nowhere/A.TIF"},
      {"C:\\", r},
      {"C:/Scans//Brevik.TIF", r + "/Scans/Brevik.TIF"},
      {"D:\\x.tif", "/media/usb/x.tif"},
      {"/already/host path", "/already/host path"},
      {"/already/host path\\Varnel.Ini", "/already/host path/Varnel.Ini"},
      {"E:\\x.tif", ""},  // no such drive
  };
  for (const auto& c : cases) EXPECT_EQ(hostpath::ToHost(c.windows, drives_), c.host) << c.windows;
}

TEST_F(HostPathTest, MapsHostPathsBackToWindowsNames) {
  const std::string r = root_.string();
  EXPECT_EQ(hostpath::ToWindows(r + "/Scans/Brevik.TIF", drives_), "C:\\Scans\\Brevik.TIF");
  EXPECT_EQ(hostpath::ToWindows(r, drives_), "C:\\");
  EXPECT_EQ(hostpath::ToWindows(r + "x/y", drives_), r + "x/y");  // a sibling, not under C:
  EXPECT_EQ(hostpath::ToWindows("/media/usb/a/b", drives_), "D:\\a\\b");
  // The longest drive folder wins.
  auto nested = hostpath::ParseDrives("C=/srv;D=/srv/scans");
  EXPECT_EQ(hostpath::ToWindows("/srv/scans/A.TIF", nested), "D:\\A.TIF");
  auto rootDrive = hostpath::ParseDrives("C=/");
  EXPECT_EQ(hostpath::ToWindows("/tmp/a", rootDrive), "C:\\tmp\\a");
  EXPECT_EQ(hostpath::ToHost("C:\\tmp", rootDrive), "/tmp");
}
