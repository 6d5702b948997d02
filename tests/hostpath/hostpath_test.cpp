#include "juxutil/hostpath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

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

// ---------------------------------------------------------------------------
// Short (8.3) names: the converters' option lines are never quoted, so the
// short form of a path must hold no blank and must lead every program back to
// the same file.

namespace {

bool IsEightDotThree(const std::string& name) {
  size_t dot = name.find('.');
  std::string stem = name.substr(0, dot);
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (stem.empty() || stem.size() > 8 || ext.size() > 3 || ext.find('.') != std::string::npos)
    return false;
  return name.find_first_of(" +,;=[]") == std::string::npos;
}

std::vector<std::string> WindowsComponents(const std::string& path) {
  std::vector<std::string> parts;
  std::stringstream in(path.substr(3));  // after "C:\"
  for (std::string part; std::getline(in, part, '\\');) parts.push_back(part);
  return parts;
}

}  // namespace

TEST_F(HostPathTest, ShortPathsHoldNoBlankAndLeadBackToTheSameFile) {
  const char* names[] = {"My Scans",       "Drawing 1.tif",  "Brevik.TIF", "a.b.c.tif",
                         "longername.tif", "x+y[1].tif",     ".profile",   "Plan.tiff",
                         "  lead.tif",     "\xC3\xA6" "ble.tif"};
  fs::create_directories(root_ / "My Scans" / "Job 7");
  for (const char* name : names) std::ofstream(root_ / "My Scans" / "Job 7" / name) << name;
  for (const char* name : names) {
    std::string windows = std::string("C:\\My Scans\\Job 7\\") + name;
    std::string shortPath = hostpath::ShortPath(windows, drives_);
    SCOPED_TRACE(windows + " -> " + shortPath);
    ASSERT_FALSE(shortPath.empty());
    EXPECT_EQ(shortPath.find(' '), std::string::npos);
    for (const std::string& part : WindowsComponents(shortPath)) EXPECT_TRUE(IsEightDotThree(part));
    EXPECT_EQ(hostpath::ToHost(shortPath, drives_), (root_ / "My Scans" / "Job 7" / name).string());
    // Asked again (short form or other case), the answer is the same.
    EXPECT_EQ(hostpath::ShortPath(shortPath, drives_), shortPath);
  }
  // Names that are 8.3 already stand as written.
  EXPECT_EQ(hostpath::ShortPath("C:\\scans\\brevik.tif", drives_), "C:\\scans\\brevik.tif");
  EXPECT_EQ(hostpath::ShortPath("C:\\Scans\\Temp\\", drives_), "C:\\Scans\\Temp\\");
  EXPECT_EQ(hostpath::ShortPath("C:\\", drives_), "C:\\");
  // A path that does not exist has no short form.
  for (const char* missing : {"C:\\My Scans\\Nothing here.tif", "C:\\Nowhere\\A.TIF", "E:\\A.TIF"})
    EXPECT_EQ(hostpath::ShortPath(missing, drives_), "") << missing;
}

TEST_F(HostPathTest, AnAliasKeepsNamingItsFileWhateverTheFolderGains) {
  fs::create_directories(root_ / "My Scans");
  const std::string before = hostpath::ShortPath("C:\\My Scans", drives_);
  for (const char* other : {"My Scan A", "My Scans 2", "My Scan", "MY SCANS.OLD", "Mx Scans"})
    fs::create_directories(root_ / other);
  EXPECT_EQ(hostpath::ShortPath("C:\\My Scans", drives_), before);
  EXPECT_EQ(hostpath::ToHost(before, drives_), (root_ / "My Scans").string());
  // Every sibling gets an alias of its own.
  std::set<std::string> aliases;
  for (const auto& entry : fs::directory_iterator(root_))
    aliases.insert(hostpath::ShortPath("C:\\" + entry.path().filename().string(), drives_));
  EXPECT_EQ(aliases.size(), static_cast<size_t>(std::distance(fs::directory_iterator(root_), {})));
}

TEST_F(HostPathTest, AnEntryBearingAnAliasAsItsNameKeepsIt) {
  fs::create_directories(root_ / "My Scans");
  const std::string alias = hostpath::ShortPath("C:\\My Scans", drives_);  // C:\MY....~1
  ASSERT_EQ(alias.substr(alias.size() - 2), "~1");
  fs::create_directories(root_ / alias.substr(3));  // a folder really named so
  const std::string moved = hostpath::ShortPath("C:\\My Scans", drives_);
  EXPECT_EQ(moved, alias.substr(0, alias.size() - 1) + "2");
  EXPECT_EQ(hostpath::ToHost(alias, drives_), (root_ / alias.substr(3)).string());
  EXPECT_EQ(hostpath::ToHost(moved, drives_), (root_ / "My Scans").string());
}

TEST_F(HostPathTest, ShortFormOfAHostPath) {
  fs::create_directories(root_ / "Work Dir");
  std::ofstream(root_ / "Work Dir" / "Brevik.Tlc") << "x";
  const std::string host = (root_ / "Work Dir" / "Brevik.Tlc").string();
  const std::string shortPath = hostpath::ShortPath(host, drives_);
  EXPECT_EQ(shortPath.find(' '), std::string::npos) << shortPath;
  EXPECT_EQ(hostpath::ToHost(shortPath, drives_), host);
  // The station appends its own separator to a host folder.
  const std::string folder = hostpath::ShortPath((root_ / "Work Dir").string() + "/", drives_);
  EXPECT_EQ(hostpath::ToHost(folder + "\\Brevik.Tlc", drives_), host);
}
