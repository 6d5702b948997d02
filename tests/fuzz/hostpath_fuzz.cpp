// The host path mapping. Whatever a name holds (dots, double dots, either
// slash, a drive-relative or rooted name, a link that leads elsewhere), a name
// on drive C: or D: maps inside that drive's folder, a name without a drive
// inside the drive the process works on, and an unknown drive maps to
// nothing; the short form of a name stays on its drive too.
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "juxutil/hostpath.h"

namespace fs = std::filesystem;

namespace {

struct Station {
  fs::path top;
  std::string c, d;
  hostpath::DriveTable drives;
  Station() {
    top = fs::temp_directory_path() / ("fuzz_hostpath_" + std::to_string(::getpid()));
    fs::create_directories(top / "c" / "Scans" / "Temp");
    fs::create_directories(top / "c" / "My Scans" / "Job 7");
    fs::create_directories(top / "d" / "Plans");
    fs::create_directories(top / "away" / "Deep");
    std::ofstream(top / "c" / "Scans" / "Brevik.TIF") << "x";
    std::ofstream(top / "c" / "My Scans" / "Job 7" / "Drawing 1.tif") << "x";
    std::error_code ec;
    fs::create_directory_symlink(top / "away" / "Deep", top / "c" / "Scans" / "Out", ec);
    fs::create_directory_symlink(top / "away", top / "d" / "Plans" / "Up", ec);
    c = (top / "c").string();
    d = (top / "d").string();
    drives = hostpath::ParseDrives("C=" + c + ";D=" + d);
    fs::current_path(top / "c" / "Scans" / "Temp");
  }
  ~Station() {
    std::error_code ec;
    fs::current_path(fs::temp_directory_path(), ec);
    fs::remove_all(top, ec);
  }
};

bool Inside(const std::string& host, const std::string& root) {
  return host == root || (host.size() > root.size() && host.compare(0, root.size(), root) == 0 &&
                          host[root.size()] == '/');
}

// The folder a name must map into; empty for a host path, which may lie anywhere.
std::string RootOf(const std::string& name, const Station& s, bool& known) {
  known = true;
  if (!name.empty() && name[0] == '/') return {};
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    if (letter == 'C') return s.c;
    if (letter == 'D') return s.d;
    known = false;
    return {};
  }
  return s.c;  // the process works on C:
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Station station;
  const std::string name(reinterpret_cast<const char*>(data), size);
  bool known = true;
  const std::string root = RootOf(name, station, known);
  const std::string host = hostpath::ToHost(name, station.drives);
  if (!known) {
    if (!host.empty() || !hostpath::ShortPath(name, station.drives).empty()) std::abort();
    return 0;
  }
  if (host.empty() || host[0] != '/') std::abort();
  if (!root.empty() && !Inside(host, root)) std::abort();
  const std::string shortPath = hostpath::ShortPath(name, station.drives);
  if (!shortPath.empty() && !root.empty() && !Inside(hostpath::ToHost(shortPath, station.drives), root))
    std::abort();
  return 0;
}
