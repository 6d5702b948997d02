#include "juxutil/hostpath.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

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

// The names of a path between its separators (either slash), empty ones dropped.
std::vector<std::string> Components(std::string_view path) {
  std::vector<std::string> names;
  while (!path.empty()) {
    size_t sep = path.find_first_of("\\/");
    if (sep != 0) names.emplace_back(path.substr(0, sep));
    path = sep == std::string_view::npos ? std::string_view() : path.substr(sep + 1);
  }
  return names;
}

std::string TrimSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

#ifndef _WIN32
// ---------------------------------------------------------------------------
// 8.3 aliases. A name already in 8.3 form is its own short name; any other
// name gets two characters of its stem, four hex digits of a hash of the
// whole name and "~N", then up to three characters of its extension. N is 1
// unless another name of the folder makes the same alias (or an entry bears
// that name itself): the colliding names then count up in name order.

bool IsShortNameChar(unsigned char c) {
  return std::isalnum(c) || std::string_view("!#$%&'()-@^_`{}~").find(static_cast<char>(c)) !=
                                std::string_view::npos;
}

bool IsShortName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return !name.empty();
  size_t dot = name.find('.');
  std::string_view stem = name.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (stem.empty() || stem.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string_view::npos && ext.empty()) return false;  // "NAME." is not a name
  for (std::string_view part : {stem, ext})
    for (char c : part)
      if (!IsShortNameChar(static_cast<unsigned char>(c))) return false;
  return true;
}

// The characters of a long name that an alias may keep: upper case, blanks
// and dots dropped, anything FAT cannot hold as '_'.
std::string AliasBasis(std::string_view part) {
  std::string out;
  for (char ch : part) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == ' ' || c == '.') continue;
    out += IsShortNameChar(c) ? static_cast<char>(std::toupper(c)) : '_';
  }
  return out;
}

// The alias without its number: stem part, and the extension with its dot.
struct AliasForm {
  std::string stem, ext;
  bool operator==(const AliasForm&) const = default;
};

AliasForm AliasFormOf(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == 0) dot = std::string_view::npos;  // ".profile" is all stem
  std::string stem = AliasBasis(name.substr(0, dot)).substr(0, 2);
  std::string ext =
      dot == std::string_view::npos ? std::string() : AliasBasis(name.substr(dot + 1)).substr(0, 3);
  uint32_t hash = 2166136261u;  // FNV-1a over the exact name, folded to 16 bits
  for (char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  static const char kHex[] = "0123456789ABCDEF";
  uint16_t h = static_cast<uint16_t>(hash ^ (hash >> 16));
  for (int shift = 12; shift >= 0; shift -= 4) stem += kHex[(h >> shift) & 0xF];
  return {stem, ext.empty() ? ext : "." + ext};
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? "." : folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The short name of each of the folder's `entries` (sorted), in their order.
std::vector<std::string> ShortNames(const std::vector<std::string>& entries) {
  std::set<std::string> taken;  // names that stand as they are
  for (const std::string& e : entries)
    if (IsShortName(e)) taken.insert(Upper(e));
  std::map<std::string, int> numbers;  // last number given per alias form
  std::vector<std::string> names;
  for (const std::string& e : entries) {
    if (IsShortName(e)) {
      names.push_back(e);
      continue;
    }
    const AliasForm form = AliasFormOf(e);
    int& number = numbers[form.stem + form.ext];
    std::string alias;
    do {
      ++number;
      alias = form.stem.substr(0, number < 10 ? 6 : 5) + "~" + std::to_string(number) + form.ext;
    } while (taken.count(alias) != 0);
    names.push_back(alias);
  }
  return names;
}

// The short name of the folder's entry `name`.
std::string ShortNameIn(const std::string& folder, const std::string& name) {
  if (IsShortName(name)) return name;
  std::vector<std::string> entries = FolderEntries(folder);
  auto it = std::lower_bound(entries.begin(), entries.end(), name);
  if (it == entries.end() || *it != name) return name;
  return ShortNames(entries)[static_cast<size_t>(it - entries.begin())];
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : (folder == "/" ? "/" + name : folder + "/" + name);
}

// Appends one component to a host folder. The exact name comes first; when
// it is not there, an entry that matches without regard to case (the way
// Windows names are matched), or one whose 8.3 alias the name is. Host paths
// are matched exactly apart from aliases (`anyCase` false).
std::string AppendComponent(const std::string& folder, const std::string& name,
                            bool anyCase = true) {
  if (name == "." || name == "..") return folder + "/" + name;
  std::string exact = Join(folder, name);
  std::error_code ec;
  if (fs::exists(exact, ec)) return exact;
  const bool maybeAlias = name.find('~') != std::string::npos && IsShortName(name);
  if (!anyCase && !maybeAlias) return exact;
  std::vector<std::string> entries = FolderEntries(folder);
  if (anyCase) {
    for (const std::string& entry : entries)
      if (SameNoCase(entry, name)) return Join(folder, entry);
  }
  if (maybeAlias) {
    std::vector<std::string> shortNames = ShortNames(entries);
    for (size_t i = 0; i < entries.size(); ++i)
      if (shortNames[i] != entries[i] && SameNoCase(shortNames[i], name))
        return Join(folder, entries[i]);
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
    if (path.find('~') == std::string::npos) return path;
    // A short form of a host path: its aliases back to the long names.
    std::string folder = "/";
    for (const std::string& name : Components(path)) folder = AppendComponent(folder, name, false);
    if (path.back() == '/' && folder != "/") folder += '/';
    return folder;
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
  for (const std::string& name : Components(rest)) {
    folder = AppendComponent(folder, name);
    any = true;
  }
  if (!any && folder.empty()) return ".";
  return folder;
#endif
}

std::string ToHost(std::string_view windowsPath) { return ToHost(windowsPath, CurrentDrives()); }

std::string ShortPath(std::string_view windowsPath, const DriveTable& drives) {
#ifdef _WIN32
  (void)drives;
  std::string path(windowsPath);
  char buffer[MAX_PATH];
  DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  return length == 0 || length >= sizeof buffer ? std::string() : std::string(buffer, length);
#else
  std::string_view rest = windowsPath;
  std::string folder, out;  // host folder reached so far, short form so far
  char separator = '\\';
  bool anyCase = true;
  if (!rest.empty() && rest[0] == '/') {
    folder = out = "/";
    separator = '/';
    anyCase = false;
  } else if (rest.size() >= 2 && rest[1] == ':' &&
             std::isalpha(static_cast<unsigned char>(rest[0]))) {
    auto it = drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0]))));
    if (it == drives.end()) return {};
    folder = it->second;
    out = std::string(rest.substr(0, 2)) + "\\";
    rest.remove_prefix(2);
  }
  std::error_code ec;
  for (const std::string& name : Components(rest)) {
    std::string host = AppendComponent(folder, name, anyCase);
    if (!fs::exists(host, ec)) return {};
    std::string entry = fs::path(host).filename().string();
    std::string shortName = IsShortName(name) ? name : ShortNameIn(folder, entry);
    if (!out.empty() && out.back() != separator) out += separator;
    out += shortName;
    folder = host;
  }
  if (!fs::exists(folder.empty() ? "." : folder, ec)) return {};
  if (out.empty()) out = ".";
  // A folder named with its closing separator keeps it.
  if (!windowsPath.empty() && (windowsPath.back() == '\\' || windowsPath.back() == '/') &&
      out.back() != separator)
    out += separator;
  return out;
#endif
}

std::string ShortPath(std::string_view windowsPath) {
  return ShortPath(windowsPath, CurrentDrives());
}

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
