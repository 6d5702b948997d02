#include "juxutil/console.h"

#include <climits>
#include <cstdint>

#ifdef _WIN32
#include <conio.h>
#include <io.h>
#include <stdio.h>
#else
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace console {

int AtoiNumber(std::string_view text) {
  size_t i = 0;
  auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{INT_MAX} + 1) value = int64_t{INT_MAX} + 1;  // saturate, keep reading
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

namespace {

#ifdef _WIN32

class ConsoleKeyboard : public Keyboard {
 public:
  ConsoleKeyboard() : terminal_(_isatty(_fileno(stdin)) != 0) {}
  bool KeyWaiting() override { return terminal_ && _kbhit() != 0; }
  int ReadKey() override {
    if (!KeyWaiting()) return 0;
    int key = _getch();
    // Arrow and function keys come as a prefix (0 or 0xE0) and a second code.
    if (key == 0 || key == 0xE0) {
      if (_kbhit()) _getch();
      return 0;
    }
    return key;
  }

 private:
  bool terminal_;
};

#else

// The terminal settings to put back when the program ends. Kept at file scope
// so that the signal handler can reach them.
struct termios gSavedTerminal;
volatile sig_atomic_t gTerminalChanged = 0;

void RestoreTerminal() {
  if (gTerminalChanged) {
    tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
    gTerminalChanged = 0;
  }
}

void RestoreAndRaise(int sig) {
  RestoreTerminal();
  signal(sig, SIG_DFL);
  raise(sig);
}

bool InputPending() {
  struct pollfd p = {STDIN_FILENO, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

class ConsoleKeyboard : public Keyboard {
 public:
  ConsoleKeyboard() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &gSavedTerminal) != 0) return;
    struct termios raw = gSavedTerminal;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, RestoreAndRaise);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return;
    gTerminalChanged = 1;
    terminal_ = true;
  }
  ~ConsoleKeyboard() override { RestoreTerminal(); }

  bool KeyWaiting() override { return terminal_ && InputPending(); }

  int ReadKey() override {
    unsigned char c = 0;
    if (!KeyWaiting() || read(STDIN_FILENO, &c, 1) != 1) return 0;
    // A terminal sends arrow and function keys as ESC and more bytes in one
    // write; a lone ESC is the key itself.
    if (c == kEsc && InputPending()) {
      unsigned char rest[32];
      while (InputPending() && read(STDIN_FILENO, rest, sizeof rest) > 0) {
      }
      return 0;
    }
    return c;
  }

 private:
  bool terminal_ = false;
};

#endif

}  // namespace

Keyboard& SystemKeyboard() {
  static ConsoleKeyboard keyboard;
  return keyboard;
}

}  // namespace console
