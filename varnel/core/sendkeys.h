// The shell's key notation, in which the workstation writes the keystrokes it
// sends to another program's window ("%FO{ENTER}", Alt+F, O, Enter):
//   + Shift, ^ Ctrl, % Alt, each for the next key or a group in parentheses
//   ("+(ab)"); ~ is Enter; {NAME} a named key ({ENTER}, {ESC}, {TAB}, {BS},
//   {F1} ...), {NAME n} that key n times; {c} the character c itself, which
//   is how + ^ % ~ ( ) { } [ ] are typed. Every other character types itself.
#pragma once

#include <QChar>
#include <QString>
#include <optional>
#include <vector>

namespace varnel {

struct KeyStroke {
  QString key;  // one character as typed, or a key name in upper case ("ENTER")
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  bool IsNamed() const { return key.size() > 1; }
  bool operator==(const KeyStroke&) const = default;
};

// The keystrokes of a key string; nothing when it is not valid notation
// (an unknown key name, an unclosed brace or group, a modifier without key).
std::optional<std::vector<KeyStroke>> ParseSendKeys(const QString& keys);

// The notation that types `text` as it stands (a file name with "+" or "~"
// in it would otherwise press Shift or Enter).
QString SendKeysLiteral(const QString& text);

}  // namespace varnel
