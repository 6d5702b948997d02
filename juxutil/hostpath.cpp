#include "juxutil/hostpath.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace hostpath {
namespace {

#ifndef _WIN32
bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

#endif

std::string TrimSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

#ifndef _WIN32
// Appends one component to a host folder, taking an existing entry that
// matches without regard to case when the exact name is not there.
std::string AppendComponent(const std::string& folder, const std::string& name) {
  if (name == "." || name == "..") return folder + "/" + name;
  std::string exact = folder.empty() ? name : (folder == "/" ? "/" + name : folder + "/" + name);
  std::error_code ec;
  if (fs::exists(exact, ec)) return exact;
  fs::directory_iterator it(folder.empty() ? "." : folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (SameNoCase(entry, name))
      return folder.empty() ? entry : (folder == "/" ? "/" + entry : folder + "/" + entry);
  }
  return exact;
}
#endif

}  // namespace

DriveTable ParseDrives(std::string_view spec) {
  DriveTable table;
  while (!spec.empty()) {
    size_t end = spec.find(';');
    std::string_view item = spec.substr(0, end);
    spec = end == std::string_view::npos ? std::string_view() : spec.substr(end + 1);
    size_t eq = item.find('=');
    if (eq != 1 || !std::isalpha(static_cast<unsigned char>(item[0])) || item.size() < 3) continue;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(item[0])));
    table[letter] = TrimSlashes(std::string(item.substr(2)));
  }
  return table;
}

DriveTable CurrentDrives() {
  if (const char* spec = std::getenv("JUX_DRIVES"); spec && *spec) return ParseDrives(spec);
  const char* home = std::getenv("HOME");
  return DriveTable{{'C', TrimSlashes(home && *home ? home : "/")}};
}

std::string ToHost(std::string_view windowsPath, const DriveTable& drives) {
#ifdef _WIN32
  (void)drives;
  return std::string(windowsPath);
#else
  if (!windowsPath.empty() && windowsPath[0] == '/') {
    // A host folder the station has extended with its own separator
    // ("/opt/station\Varnel.Ini"): the backslashes are separators too.
    std::string path(windowsPath);
    for (char& c : path)
      if (c == '\\') c = '/';
    return path;
  }
  std::string folder;  // empty: the current folder
  std::string_view rest = windowsPath;
  if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
    auto it = drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0]))));
    if (it == drives.end()) return {};
    folder = it->second;
    rest.remove_prefix(2);
  }
  bool any = false;
  while (!rest.empty()) {
    size_t sep = rest.find_first_of("\\/");
    std::string name(rest.substr(0, sep));
    rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
    if (name.empty()) continue;
    folder = AppendComponent(folder, name);
    any = true;
  }
  if (!any && folder.empty()) return ".";
  return folder;
#endif
}

std::string ToHost(std::string_view windowsPath) { return ToHost(windowsPath, CurrentDrives()); }

std::string ToWindows(std::string_view hostPath, const DriveTable& drives) {
#ifdef _WIN32
  (void)drives;
  return std::string(hostPath);
#else
  std::string path(hostPath);
  char bestLetter = 0;
  size_t bestLength = 0;
  for (const auto& [letter, root] : drives) {
    bool under = root == "/" ? !path.empty() && path[0] == '/'
                             : path.compare(0, root.size(), root) == 0 &&
                                   (path.size() == root.size() || path[root.size()] == '/');
    if (under && (bestLetter == 0 || root.size() > bestLength)) {
      bestLetter = letter;
      bestLength = root.size();
    }
  }
  if (bestLetter == 0) return path;
  std::string rest = path.substr(bestLength == 1 ? 0 : bestLength);
  std::string out{bestLetter, ':'};
  for (char c : rest) out += c == '/' ? '\\' : c;
  if (out.size() == 2) out += '\\';
  return out;
#endif
}

std::string ToWindows(std::string_view hostPath) { return ToWindows(hostPath, CurrentDrives()); }

}  // namespace hostpath
