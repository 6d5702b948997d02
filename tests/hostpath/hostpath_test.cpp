#include "juxutil/hostpath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include <unistd.h>

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
      {r + "/SCANS\\brevik.tif", r + "/Scans/Brevik.TIF"},  // a host path, any case
      {r + "/scans/", r + "/Scans/"},
      {"E:\\x.tif", ""},  // no such drive
  };
  for (const auto& c : cases) EXPECT_EQ(hostpath::ToHost(c.windows, drives_), c.host) << c.windows;
}

// Works in a folder for the time of one scope.
class InFolder {
 public:
  explicit InFolder(const fs::path& folder) : before_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~InFolder() { fs::current_path(before_); }

 private:
  fs::path before_;
};

struct NameCase {
  std::string windows, host;
};

TEST_F(HostPathTest, DotsNeverLeaveTheDrive) {
  const std::string r = root_.string();
  const NameCase cases[] = {
      {"C:\\Scans\\.\\brevik.tif", r + "/Scans/Brevik.TIF"},
      {"C:\\Scans\\Temp\\..\\BREVIK.TIF", r + "/Scans/Brevik.TIF"},
      {"C:\\..\\ESCAPED\\X1.TLC", r + "/ESCAPED/X1.TLC"},  // ".." at the root stays there
      {"C:\\..\\..\\..\\..\\ESCAPE\\X0001.TLC", r + "/ESCAPE/X0001.TLC"},
      {"C:\\Scans\\..\\..\\scans\\temp", r + "/Scans/Temp"},
      {"C:\\Scans\\Temp\\..\\..\\..", r},
      {"C:/../Scans/./Temp/../Brevik.TIF", r + "/Scans/Brevik.TIF"},
      {"c:..\\x.tlc", r + "/x.tlc"},  // the process works under no drive: C:'s root
      {"D:\\..\\..\\etc\\passwd", "/media/usb/etc/passwd"},
      {"/already/../host/./path", "/host/path"},  // a host path is read the same way
      {"/../../x", "/x"},
      {"E:\\..\\x.tif", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(hostpath::ToHost(c.windows, drives_), c.host) << c.windows;
  EXPECT_EQ(hostpath::ShortPath("C:\\..\\Scans\\Temp\\..\\brevik.tif", drives_),
            "C:\\Scans\\brevik.tif");
}

TEST_F(HostPathTest, NamesWithoutADriveAreReadFromTheWorkingFolder) {
  const std::string r = root_.string();
  const fs::path away = root_.string() + "-away";  // a folder under no drive
  fs::create_directories(away / "Sub");
  std::ofstream(away / "H.tif") << "x";
  struct Case {
    fs::path workIn;
    std::string windows, host;
  } cases[] = {
      {root_ / "Scans" / "Temp", "X.TLC", r + "/Scans/Temp/X.TLC"},
      {root_ / "Scans" / "Temp", "..\\brevik.tif", r + "/Scans/Brevik.TIF"},
      {root_ / "Scans" / "Temp", "..\\..\\..\\..\\..\\x", r + "/x"},  // not above C:'s root
      {root_ / "Scans" / "Temp", "C:NEW.TLC", r + "/Scans/Temp/NEW.TLC"},
      {root_ / "Scans" / "Temp", "C:..\\..\\..\\x", r + "/x"},
      {root_ / "Scans" / "Temp", "\\X.TLC", r + "/X.TLC"},  // the root of the current drive
      {root_ / "Scans" / "Temp", "D:X.TLC", "/media/usb/X.TLC"},
      {root_ / "Scans" / "Temp", "", r + "/Scans/Temp"},
      {away / "Sub", "./zz.tlc", (away / "Sub" / "zz.tlc").string()},
      {away / "Sub", "../h.TIF", (away / "H.tif").string()},
      {away / "Sub", "..\\SUB\\.\\y", (away / "Sub" / "y").string()},
      {away / "Sub", "\\X.TLC", r + "/X.TLC"},  // under no drive, C: is the current drive
      {away / "Sub", "C:X.TLC", r + "/X.TLC"},
      {away / "Sub", (away / "SUB" / ".." / "h.tif").string(), (away / "H.tif").string()},
  };
  for (const auto& c : cases) {
    InFolder in(c.workIn);
    EXPECT_EQ(hostpath::ToHost(c.windows, drives_), c.host) << c.workIn << " " << c.windows;
  }
  fs::remove_all(away);
}

TEST_F(HostPathTest, ALinkIsANameLikeAnyOther) {
  // ".." after a link goes back to the folder holding the link, as Windows
  // reads names, not to the parent of the link's target.
  const fs::path away = root_.string() + "-away";
  fs::create_directories(away / "Deep");
  fs::create_directory_symlink(away / "Deep", root_ / "Scans" / "Out");
  const std::string r = root_.string();
  EXPECT_EQ(hostpath::ToHost("C:\\SCANS\\OUT\\..\\..\\..\\X", drives_), r + "/X");
  EXPECT_EQ(hostpath::ToHost("C:\\scans\\out\\a.tif", drives_), r + "/Scans/Out/a.tif");
  fs::remove_all(away);
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
