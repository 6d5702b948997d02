#include "tools/viewer/keys.h"

namespace viewer {

std::vector<MenuAction> MenuActionsFor(const std::vector<varnel::KeyStroke>& keys) {
  enum class Where { Window, FileMenu, OpenDialog } where = Where::Window;
  std::vector<MenuAction> actions;
  QString typed;  // the Open dialog's file name
  for (const varnel::KeyStroke& k : keys) {
    const QString letter = k.IsNamed() ? QString() : k.key.toUpper();
    switch (where) {
      case Where::Window:
        if (k.alt && letter == "F") where = Where::FileMenu;
        break;
      case Where::FileMenu:
        if (letter == "O") {
          where = Where::OpenDialog;
          typed.clear();
        } else if (letter == "C") {
          actions.push_back({MenuAction::Close, {}});
          where = Where::Window;
        } else if (letter == "X") {
          actions.push_back({MenuAction::Exit, {}});
          return actions;
        } else if (!(k.alt && letter == "F")) {
          where = Where::Window;  // any other key closes the menu
        }
        break;
      case Where::OpenDialog:
        if (k.key == "ENTER") {
          if (!typed.trimmed().isEmpty()) {
            actions.push_back({MenuAction::Open, typed.trimmed()});
            where = Where::Window;
          }
        } else if (k.key == "ESC") {
          where = Where::Window;
        } else if (k.key == "BACKSPACE") {
          typed.chop(1);
        } else if (!k.IsNamed() && !k.ctrl && !k.alt) {
          typed += k.key;
        }
        break;
    }
  }
  return actions;
}

std::vector<MenuAction> MenuActionsFor(const QString& keyString) {
  auto keys = varnel::ParseSendKeys(keyString);
  if (!keys) return {};
  return MenuActionsFor(*keys);
}

}  // namespace viewer
