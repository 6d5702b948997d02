// What keystrokes typed into the viewer's window do, so that a key string
// sent through the task-window seam means what the same keys would mean
// typed by hand: Alt+F opens the File menu; there the underlined letters
// choose "Open..." (O), "Close" (C) and "Exit" (X); the Open dialog takes the
// typed file name (Backspace takes a character back), Enter opens it (an
// empty name is not taken), Esc cancels. Every other key does nothing here.
#pragma once

#include <QString>
#include <vector>

#include "varnel/core/sendkeys.h"

namespace viewer {

struct MenuAction {
  enum Kind { Open, Close, Exit };
  Kind kind;
  QString path;  // Open: the file name typed
  bool operator==(const MenuAction&) const = default;
};

// The menu commands the keystrokes give, in order. A dialog still open when
// the keys end is cancelled; nothing follows Exit.
std::vector<MenuAction> MenuActionsFor(const std::vector<varnel::KeyStroke>& keys);
// The same for a key string in the shell's notation; nothing when it is not
// valid notation.
std::vector<MenuAction> MenuActionsFor(const QString& keyString);

}  // namespace viewer
