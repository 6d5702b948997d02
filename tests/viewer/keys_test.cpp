// Key strings: the shell's notation read into keystrokes, and keystrokes
// read as the viewer's menu reads them.
#include <gtest/gtest.h>

#include <QStringList>

#include "tools/viewer/keys.h"
#include "tools/viewer/viewerwindow.h"
#include "varnel/core/sendkeys.h"

using varnel::KeyStroke;
using viewer::MenuAction;

namespace {

// Keystrokes written short: "a" a key, "%f" Alt+f, "^+x" Ctrl+Shift+x, "ENTER" a named key.
std::vector<KeyStroke> Strokes(const QStringList& written) {
  std::vector<KeyStroke> out;
  for (QString w : written) {
    KeyStroke k;
    while (w.size() > 1 && (w[0] == '%' || w[0] == '^' || w[0] == '+')) {
      if (w[0] == '%') k.alt = true;
      if (w[0] == '^') k.ctrl = true;
      if (w[0] == '+') k.shift = true;
      w.remove(0, 1);
    }
    k.key = w;
    out.push_back(k);
  }
  return out;
}

TEST(ViewerKeys, NotationReadsIntoKeystrokes) {
  const struct {
    QString keys;
    QStringList want;
  } cases[] = {
      {"%FO{ENTER}", {"%F", "O", "ENTER"}},
      {"%FC{ENTER}", {"%F", "C", "ENTER"}},
      {"ab~", {"a", "b", "ENTER"}},
      {"+(ab)c", {"+a", "+b", "c"}},
      {"^%x", {"^%x"}},
      {"%(^a)b", {"%^a", "b"}},
      {"{+}{^}{%}{~}{(}{)}{{}{}}", {"+", "^", "%", "~", "(", ")", "{", "}"}},
      {"{enter 3}", {"ENTER", "ENTER", "ENTER"}},
      {"{BS}{bksp}{Del}{esc}{F12}", {"BACKSPACE", "BACKSPACE", "DELETE", "ESC", "F12"}},
      {"{a 2}", {"a", "a"}},
      {"C:\\A B.TLC", {"C", ":", "\\", "A", " ", "B", ".", "T", "L", "C"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    const auto got = varnel::ParseSendKeys(c.keys);
    ASSERT_TRUE(got.has_value()) << c.keys.toStdString();
    EXPECT_EQ(*got, Strokes(c.want)) << c.keys.toStdString();
  }
}

TEST(ViewerKeys, BadNotationIsRefused) {
  for (const QString keys : {"{ENTER", "a}b", "{NOSUCHKEY}", "(ab)", "%(ab", "%", "+(a)^", "{}",
                             "{F17}", "{ENTER x}", "%(a(b))"})
    EXPECT_FALSE(varnel::ParseSendKeys(keys).has_value()) << keys.toStdString();
}

TEST(ViewerKeys, LiteralTextTypesItself) {
  for (const QString text : {"C:\\SCANS\\A+B (2).TLC", "C:\\DOCUME~1\\50%^{x}[y].TIF", "plain"}) {
    const auto keys = varnel::ParseSendKeys(varnel::SendKeysLiteral(text));
    ASSERT_TRUE(keys.has_value()) << text.toStdString();
    QString typed;
    for (const KeyStroke& k : *keys) {
      EXPECT_FALSE(k.shift || k.ctrl || k.alt || k.IsNamed()) << text.toStdString();
      typed += k.key;
    }
    EXPECT_EQ(typed, text);
  }
}

TEST(ViewerKeys, KeyStringsAsTheMenuReadsThem) {
  const MenuAction close{MenuAction::Close, {}}, exit{MenuAction::Exit, {}};
  auto open = [](const QString& path) { return MenuAction{MenuAction::Open, path}; };
  const struct {
    QString keys;
    std::vector<MenuAction> want;
  } cases[] = {
      // What the workstation sends.
      {"%FO{ENTER}C:\\SCANS\\TEMP001.TLC{ENTER}", {open("C:\\SCANS\\TEMP001.TLC")}},
      {"%FC{ENTER}", {close}},
      {"%FX{ENTER}", {exit}},
      // The same keys written otherwise.
      {"%fo~C:\\A.TLC~", {open("C:\\A.TLC")}},
      {"%(fx)", {exit}},
      {"%FO" + varnel::SendKeysLiteral("C:\\A+B (2).TLC") + "{ENTER}", {open("C:\\A+B (2).TLC")}},
      // Typing in the dialog.
      {"%FOC:\\AX{BS}.TLC{ENTER}", {open("C:\\A.TLC")}},
      {"%FO{ENTER}{ENTER}", {}},                  // Enter on an empty name does nothing
      {"%FOC:\\A.TLC", {}},                       // never confirmed: cancelled
      {"%FOC:\\A.TLC{ESC}{ENTER}", {}},           // cancelled
      {"%FC%FO{ENTER}C:\\B.TLC{ENTER}", {close, open("C:\\B.TLC")}},
      {"%FX%FC", {exit}},                         // nothing after Exit
      // Keys that mean nothing to the menu.
      {"FO{ENTER}C:\\A.TLC{ENTER}", {}},          // no Alt: the window gets F and O
      {"^FO", {}},
      {"%FQ", {}},
      {"%F{ESC}C", {}},
      {"%EX", {}},
      {"{NOSUCHKEY}%FX", {}},                     // not valid notation: nothing at all
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(viewer::MenuActionsFor(c.keys), c.want) << c.keys.toStdString();
}

TEST(ViewerKeys, CommandLineNamesOneFile) {
  const struct {
    QStringList words;
    QString want;
  } cases[] = {
      {{"C:\\SCANS\\A.TLC"}, "C:\\SCANS\\A.TLC"},
      {{"\"C:\\SCANS\\A.TLC\""}, "C:\\SCANS\\A.TLC"},
      {{"C:\\MY", "SCANS\\A.TLC"}, "C:\\MY SCANS\\A.TLC"},  // unquoted name with a blank
      {{"\"C:\\MY", "SCANS\\A.TLC\""}, "C:\\MY SCANS\\A.TLC"},
      {{"  /home/op/a.tlc "}, "/home/op/a.tlc"},
      {{}, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(viewer::FileNamedOnCommandLine(c.words), c.want) << c.words.join('|').toStdString();
}

}  // namespace
