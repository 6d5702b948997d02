#include "varnel/core/sendkeys.h"

#include <QStringList>

namespace varnel {
namespace {

// Characters with a meaning of their own; typed literally only in braces.
const QString kSpecial = QStringLiteral("+^%~(){}[]");

// Key names and their other spellings.
QString CanonicalKeyName(const QString& name) {
  static const QStringList kNames = {
      "ENTER", "ESC",  "TAB",    "BACKSPACE", "DELETE", "INSERT",    "HOME",       "END",
      "PGUP",  "PGDN", "UP",     "DOWN",      "LEFT",   "RIGHT",     "BREAK",      "CAPSLOCK",
      "HELP",  "NUMLOCK", "PRTSC", "SCROLLLOCK", "ADD", "SUBTRACT", "MULTIPLY",  "DIVIDE"};
  const QString upper = name.toUpper();
  if (upper == "BS" || upper == "BKSP") return "BACKSPACE";
  if (upper == "DEL") return "DELETE";
  if (upper == "INS") return "INSERT";
  if (upper == "ESCAPE") return "ESC";
  if (kNames.contains(upper)) return upper;
  if (upper.size() >= 2 && upper[0] == 'F') {
    bool ok = false;
    const int n = upper.mid(1).toInt(&ok);
    if (ok && n >= 1 && n <= 16 && upper.mid(1) == QString::number(n)) return upper;
  }
  return {};
}

struct Modifiers {
  bool shift = false, ctrl = false, alt = false;
  bool Any() const { return shift || ctrl || alt; }
  Modifiers operator|(const Modifiers& o) const {
    return {shift || o.shift, ctrl || o.ctrl, alt || o.alt};
  }
};

}  // namespace

std::optional<std::vector<KeyStroke>> ParseSendKeys(const QString& keys) {
  std::vector<KeyStroke> out;
  Modifiers next;                  // typed before the next key or group
  std::optional<Modifiers> group;  // held while a group is open
  auto add = [&](const QString& key, int times) {
    const Modifiers m = group.value_or(Modifiers{}) | next;
    for (int i = 0; i < times; ++i) out.push_back({key, m.shift, m.ctrl, m.alt});
    next = {};
  };
  const qsizetype n = keys.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = keys[i];
    if (c == '+') {
      next.shift = true;
    } else if (c == '^') {
      next.ctrl = true;
    } else if (c == '%') {
      next.alt = true;
    } else if (c == '(') {
      if (group || !next.Any()) return std::nullopt;  // a group belongs to a modifier
      group = next;
      next = {};
    } else if (c == ')') {
      if (!group || next.Any()) return std::nullopt;
      group.reset();
    } else if (c == '~') {
      add("ENTER", 1);
    } else if (c == '{') {
      if (i + 2 < n && keys[i + 1] == '}' && keys[i + 2] == '}') {  // "{}}"
        add("}", 1);
        i += 2;
        continue;
      }
      const qsizetype close = keys.indexOf('}', i + 1);
      if (close < 0 || close == i + 1) return std::nullopt;
      const QString inside = keys.mid(i + 1, close - i - 1);
      i = close;
      QString name = inside;
      int times = 1;
      const qsizetype blank = inside.lastIndexOf(' ');
      if (blank > 0) {  // "{ENTER 2}"
        bool ok = false;
        times = inside.mid(blank + 1).toInt(&ok);
        if (!ok || times < 0 || times > 1000) return std::nullopt;
        name = inside.left(blank);
      }
      if (name.size() == 1) {
        add(name, times);
      } else {
        const QString canonical = CanonicalKeyName(name);
        if (canonical.isEmpty()) return std::nullopt;
        add(canonical, times);
      }
    } else if (c == '}') {
      return std::nullopt;
    } else {
      add(QString(c), 1);
    }
  }
  if (group || next.Any()) return std::nullopt;
  return out;
}

QString SendKeysLiteral(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (QChar c : text) {
    if (kSpecial.contains(c))
      out += QStringLiteral("{") + c + QStringLiteral("}");
    else
      out += c;
  }
  return out;
}

}  // namespace varnel
