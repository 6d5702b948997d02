// The private-profile reader and writer. The input is three lines (section,
// key, value) and then the file as it stands. A write followed by a read
// gives the value back, and every other line of the file keeps its bytes.
#include <unistd.h>

#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "varnel/core/profile.h"

namespace {

QString gFile;

std::vector<QByteArray> Lines(const QByteArray& all) {
  std::vector<QByteArray> lines;
  for (qsizetype start = 0; start < all.size();) {
    qsizetype nl = all.indexOf('\n', start);
    qsizetype end = nl < 0 ? all.size() : nl + 1;
    lines.push_back(all.mid(start, end - start));
    start = end;
  }
  return lines;
}

QByteArray Body(QByteArray line) {
  while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
  return line;
}

// Line i of the old file and line j of the new one are the same line; the
// old last line may have gained its line end.
bool SameLine(const std::vector<QByteArray>& a, size_t i, const std::vector<QByteArray>& b,
              size_t j) {
  if (i + 1 == a.size() && !a[i].endsWith('\n')) return Body(a[i]) == Body(b[j]);
  return a[i] == b[j];
}

// The old lines from i on are the new lines from j on.
bool Equal(const std::vector<QByteArray>& a, size_t i, const std::vector<QByteArray>& b, size_t j) {
  if (i > a.size() || j > b.size() || a.size() - i != b.size() - j) return false;
  for (; i < a.size(); ++i, ++j)
    if (!SameLine(a, i, b, j)) return false;
  return true;
}

// A name or value that reads back as it was written: no line break, no
// blanks at its ends, no quotes around it.
bool Plain(const QString& s, bool isName) {
  if (s.isEmpty()) return !isName;
  if (s.contains('\n') || s.contains('\r') || s.trimmed() != s) return false;
  if (s.front() == '"' || s.front() == '\'') return false;
  if (isName && (s.contains('=') || s.contains('[') || s.contains(']'))) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  auto dir = std::filesystem::temp_directory_path() / ("profile_fuzz_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  gFile = QString::fromStdString((dir / "Varnel.Ini").string());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QList<QByteArray> parts = input.split('\n');
  if (parts.size() < 4) return -1;
  const QString section = QString::fromUtf8(parts[0]);
  const QString key = QString::fromUtf8(parts[1]);
  const QString value = QString::fromUtf8(parts[2]);
  const QByteArray before = input.mid(parts[0].size() + parts[1].size() + parts[2].size() + 3);
  {
    QFile f(gFile);
    if (!f.open(QIODevice::WriteOnly) || f.write(before) != before.size()) std::abort();
  }
  if (!varnel::profile::Write(gFile, section, key, value)) std::abort();
  QFile f(gFile);
  if (!f.open(QIODevice::ReadOnly)) std::abort();
  const std::vector<QByteArray> oldLines = Lines(before), newLines = Lines(f.readAll());

  // Other lines unchanged: the new file is the old one with one line
  // replaced, one line inserted, or a section and its key appended.
  size_t k = 0;  // the first line that differs
  while (k < oldLines.size() && k < newLines.size() && SameLine(oldLines, k, newLines, k)) ++k;
  const bool same = Equal(oldLines, k, newLines, k);
  const bool replaced = k < oldLines.size() && Equal(oldLines, k + 1, newLines, k + 1);
  const bool inserted = Equal(oldLines, k, newLines, k + 1);
  const bool appended = k == oldLines.size() && newLines.size() == oldLines.size() + 2;
  if (!same && !replaced && !inserted && !appended) std::abort();

  if (Plain(section, true) && Plain(key, true) && Plain(value, false)) {
    std::optional<QString> back = varnel::profile::Read(gFile, section, key);
    if (!back || *back != value) std::abort();
  }
  return 0;
}
