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

// The names of a path between its separators (either slash, or only those
// given), empty ones dropped.
std::vector<std::string> Components(std::string_view path, const char* separators = "\\/") {
  std::vector<std::string> names;
  while (!path.empty()) {
    size_t sep = path.find_first_of(separators);
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
// Windows names are matched), or one whose 8.3 alias the name is. The same
// holds below a drive's folder and anywhere else on the host (the program's
// own folder need not lie on a drive).
std::string AppendComponent(const std::string& folder, const std::string& name) {
  std::string exact = Join(folder, name);
  std::error_code ec;
  if (fs::exists(exact, ec)) return exact;
  const bool maybeAlias = name.find('~') != std::string::npos && IsShortName(name);
  std::vector<std::string> entries = FolderEntries(folder);
  for (const std::string& entry : entries)
    if (SameNoCase(entry, name)) return Join(folder, entry);
  if (maybeAlias) {
    std::vector<std::string> shortNames = ShortNames(entries);
    for (size_t i = 0; i < entries.size(); ++i)
      if (shortNames[i] != entries[i] && SameNoCase(shortNames[i], name))
        return Join(folder, entries[i]);
  }
  return exact;
}

// The drive whose folder holds a host path (the longest such folder), 0 for none.
char DriveOf(const std::string& path, const DriveTable& drives) {
  char best = 0;
  size_t bestLength = 0;
  for (const auto& [letter, root] : drives) {
    bool under = root == "/" ? !path.empty() && path[0] == '/'
                             : path.compare(0, root.size(), root) == 0 &&
                                   (path.size() == root.size() || path[root.size()] == '/');
    if (under && (best == 0 || root.size() > bestLength)) {
      best = letter;
      bestLength = root.size();
    }
  }
  return best;
}

// The drive a name without a letter stands on when the process works under
// no drive: C:, else the first drive of the table.
char DefaultDrive(const DriveTable& drives) {
  if (drives.count('C')) return 'C';
  return drives.empty() ? 0 : drives.begin()->first;
}

// Where a name starts and the names below that point, read the Windows way:
// "." is dropped and ".." takes back the name before it, never past the start
// (a drive's folder, or the host's root for a host path), so nothing a name
// holds leads out of its drive.
struct Anchored {
  char drive = 0;                  // 0: a host path under no drive
  std::string root;                // host folder of the drive, or "/"
  std::vector<std::string> names;  // below `root`, "." and ".." folded away
};

void Fold(std::vector<std::string>& names, const std::string& name) {
  if (name == ".") return;
  if (name == "..") {
    if (!names.empty()) names.pop_back();
    return;
  }
  names.push_back(name);
}

// The process's working folder as an anchor: on the drive that holds it, or
// as a host path; false when the host cannot tell it.
bool CurrentFolder(const DriveTable& drives, Anchored& here) {
  std::error_code ec;
  const std::string cwd = fs::current_path(ec).string();
  if (ec || cwd.empty() || cwd[0] != '/') return false;
  here.drive = DriveOf(cwd, drives);
  here.root = here.drive ? drives.at(here.drive) : "/";
  const size_t below = here.root == "/" ? 1 : here.root.size();
  here.names = Components(std::string_view(cwd).substr(below), "/");
  return true;
}

// The anchor of a name; false when it names a drive this station lacks.
bool Anchor(std::string_view path, const DriveTable& drives, Anchored& out) {
  std::string_view rest = path;
  const bool rooted = !rest.empty() && (rest[0] == '\\' || rest[0] == '/');
  auto driveRoot = [&](char letter) {
    auto it = drives.find(letter);
    if (it == drives.end()) return false;
    out.drive = letter;
    out.root = it->second;
    return true;
  };
  if (!rest.empty() && rest[0] == '/') {
    out.root = "/";  // a host path
  } else if (rest.size() >= 2 && rest[1] == ':' &&
             std::isalpha(static_cast<unsigned char>(rest[0]))) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
    if (!driveRoot(letter)) return false;
    rest.remove_prefix(2);
    // "C:NAME" is in the current folder of C:, its root unless the process works there.
    Anchored here;
    if ((rest.empty() || (rest[0] != '\\' && rest[0] != '/')) && CurrentFolder(drives, here) &&
        here.drive == letter)
      out.names = here.names;
  } else {
    Anchored here;
    const bool known = CurrentFolder(drives, here);
    if (rooted || !known) {
      // "\NAME" is at the root of the current drive.
      if (!driveRoot(known && here.drive ? here.drive : DefaultDrive(drives))) return false;
    } else {
      out = here;  // a relative name: below the working folder
    }
  }
  for (const std::string& name : Components(rest)) Fold(out.names, name);
  return true;
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
  Anchored at;
  if (!Anchor(windowsPath, drives, at)) return {};
  std::string folder = at.root;
  for (const std::string& name : at.names) folder = AppendComponent(folder, name);
  // A host folder named with its closing separator keeps it.
  if (at.drive == 0 && folder != "/" && !windowsPath.empty() &&
      (windowsPath.back() == '/' || windowsPath.back() == '\\'))
    folder += '/';
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
  Anchored at;
  if (!Anchor(windowsPath, drives, at)) return {};
  std::string folder = at.root;  // host folder reached so far
  std::string out = at.drive ? std::string{at.drive, ':', '\\'} : "/";  // short form so far
  const char separator = at.drive ? '\\' : '/';
  std::error_code ec;
  for (const std::string& name : at.names) {
    std::string host = AppendComponent(folder, name);
    if (!fs::exists(host, ec)) return {};
    std::string entry = fs::path(host).filename().string();
    std::string shortName = IsShortName(name) ? name : ShortNameIn(folder, entry);
    if (!out.empty() && out.back() != separator) out += separator;
    out += shortName;
    folder = host;
  }
  if (!fs::exists(folder, ec)) return {};
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
  const char bestLetter = DriveOf(path, drives);
  const size_t bestLength = bestLetter ? drives.at(bestLetter).size() : 0;
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
