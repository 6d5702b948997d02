#include "varnel/core/profile.h"

#include <QFile>
#include <QSaveFile>
#include <vector>

namespace varnel::profile {
namespace {

// One line of the file as it stands (with its line end) and what it means.
struct Line {
  QByteArray raw;
  enum Kind { Other, Section, Key } kind = Other;
  QString name;                  // section or key name, trimmed
  std::optional<QString> value;  // keys only; none for a line without "="
};

QString Decode(const QByteArray& bytes) {
  // Files written on the station are in the ANSI code page; a file edited on
  // another host may be UTF-8. Take UTF-8 only when it is valid.
  QString text = QString::fromUtf8(bytes);
  return text.toUtf8() == bytes ? text : QString::fromLatin1(bytes);
}

QString TrimBlanks(const QString& s) {
  qsizetype b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.mid(b, e - b);
}

Line Parse(const QByteArray& raw) {
  Line line;
  line.raw = raw;
  QByteArray body = raw;
  while (body.endsWith('\n') || body.endsWith('\r')) body.chop(1);
  QString text = TrimBlanks(Decode(body));
  if (text.isEmpty()) return line;
  if (text.startsWith('[')) {
    qsizetype close = text.lastIndexOf(']');
    if (close > 0) {
      line.kind = Line::Section;
      line.name = TrimBlanks(text.mid(1, close - 1));
      return line;
    }
  }
  line.kind = Line::Key;
  qsizetype eq = text.indexOf('=');
  if (eq < 0) {
    line.name = text;
    return line;
  }
  line.name = TrimBlanks(text.left(eq));
  QString value = TrimBlanks(text.mid(eq + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.mid(1, value.size() - 2);
  line.value = value;
  return line;
}

std::vector<Line> Load(const QString& hostFile, bool* exists) {
  std::vector<Line> lines;
  QFile file(hostFile);
  *exists = file.open(QIODevice::ReadOnly);
  if (!*exists) return lines;
  QByteArray all = file.readAll();
  qsizetype start = 0;
  while (start < all.size()) {
    qsizetype nl = all.indexOf('\n', start);
    qsizetype end = nl < 0 ? all.size() : nl + 1;
    lines.push_back(Parse(all.mid(start, end - start)));
    start = end;
  }
  return lines;
}

bool SameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index of the first section header named so, or -1.
qsizetype FindSection(const std::vector<Line>& lines, const QString& section) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].kind == Line::Section && SameName(lines[i].name, section))
      return static_cast<qsizetype>(i);
  return -1;
}

// One past the last line of the section that starts at header.
size_t SectionEnd(const std::vector<Line>& lines, size_t header) {
  size_t i = header + 1;
  while (i < lines.size() && lines[i].kind != Line::Section) ++i;
  return i;
}

qsizetype FindKey(const std::vector<Line>& lines, size_t header, const QString& key) {
  for (size_t i = header + 1, end = SectionEnd(lines, header); i < end; ++i)
    if (lines[i].kind == Line::Key && lines[i].value && SameName(lines[i].name, key))
      return static_cast<qsizetype>(i);
  return -1;
}

QByteArray NewLine(const QString& text) { return text.toUtf8() + "\r\n"; }

bool Save(const QString& hostFile, const std::vector<Line>& lines) {
  QSaveFile file(hostFile);
  if (!file.open(QIODevice::WriteOnly)) return false;
  for (const Line& line : lines)
    if (file.write(line.raw) != line.raw.size()) return false;
  return file.commit();
}

// A line that is appended after the last line must start on a line of its own.
void EndLastLine(std::vector<Line>& lines, size_t before) {
  if (before == 0) return;
  QByteArray& raw = lines[before - 1].raw;
  if (!raw.endsWith('\n')) raw += "\r\n";
}

}  // namespace

std::optional<QString> Read(const QString& hostFile, const QString& section, const QString& key) {
  bool exists = false;
  std::vector<Line> lines = Load(hostFile, &exists);
  qsizetype header = FindSection(lines, section);
  if (header < 0) return std::nullopt;
  qsizetype at = FindKey(lines, static_cast<size_t>(header), key);
  if (at < 0) return std::nullopt;
  return lines[static_cast<size_t>(at)].value;
}

bool Write(const QString& hostFile, const QString& section, const std::optional<QString>& key,
           const std::optional<QString>& value) {
  bool exists = false;
  std::vector<Line> lines = Load(hostFile, &exists);
  if (!exists && QFile::exists(hostFile)) return false;  // there but unreadable
  qsizetype header = FindSection(lines, section);

  if (!key) {  // delete the section with all its lines
    if (header < 0) return true;
    lines.erase(lines.begin() + header, lines.begin() + static_cast<qsizetype>(SectionEnd(lines, header)));
    return Save(hostFile, lines);
  }
  qsizetype at = header < 0 ? -1 : FindKey(lines, static_cast<size_t>(header), *key);
  if (!value) {  // delete the key
    if (at < 0) return true;
    lines.erase(lines.begin() + at);
    return Save(hostFile, lines);
  }

  Line entry = Parse(NewLine(*key + "=" + *value));
  if (at >= 0) {
    lines[static_cast<size_t>(at)] = entry;
  } else if (header >= 0) {
    // After the section's last non-blank line, so blank lines between sections stay.
    size_t pos = SectionEnd(lines, static_cast<size_t>(header));
    while (pos > static_cast<size_t>(header) + 1 && lines[pos - 1].kind == Line::Other &&
           lines[pos - 1].raw.trimmed().isEmpty())
      --pos;
    EndLastLine(lines, pos);
    lines.insert(lines.begin() + static_cast<qsizetype>(pos), entry);
  } else {
    EndLastLine(lines, lines.size());
    lines.push_back(Parse(NewLine("[" + section + "]")));
    lines.push_back(entry);
  }
  return Save(hostFile, lines);
}

}  // namespace varnel::profile
