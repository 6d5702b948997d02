// What the console programs juxscan and juxstat share beyond the device layer:
// polling the console keyboard for ESC, reading numbers from their command
// lines, printing their message lines, and the loop that makes a controller
// setting. Standard library only (plus the host's console calls behind #ifdef).
#pragma once

#include <cstdio>
#include <ostream>
#include <string_view>

#include "juxutil/juxutil.h"

namespace console {

constexpr int kEsc = 27;

// The console keyboard as the programs poll it: never blocks, never echoes.
class Keyboard {
 public:
  virtual ~Keyboard() = default;
  // True when a key is waiting (Windows _kbhit).
  virtual bool KeyWaiting() = 0;
  // The waiting key, 0 when there is none (Windows _getch). A key that sends
  // a sequence (arrows, function keys) reads as 0, never as ESC.
  virtual int ReadKey() = 0;
};

// The keyboard of this process. When standard input is a terminal it is put
// into no-echo, character-at-a-time mode on first use and restored when the
// program ends (also on SIGINT, SIGTERM, SIGHUP). Without a terminal there is
// never a key. Lives for the whole program.
Keyboard& SystemKeyboard();

// A command-line number read as the C runtime's atoi reads it: leading white
// space passed over, an optional sign, then decimal digits up to the first
// other character; no digits give 0. Values beyond the int range stop at its
// limits (atoi itself leaves them undefined).
int AtoiNumber(std::string_view text);

// One message line: the printf-style `format` with `args`, a line end, and a
// flush, so that a caller reading the output sees each line as it happens.
template <class... Args>
void Say(std::ostream& out, const char* format, Args... args) {
  if constexpr (sizeof...(Args) == 0) {
    out << format << '\n';
  } else {
    char line[160];
    std::snprintf(line, sizeof line, format, args...);
    out << line << '\n';
  }
  out.flush();
}

// Controller settings are made by sending, reading back and comparing: 10
// tries with 50 ms pauses. `attempt` makes one try and tells how it went.
enum class Setting { Confirmed, NotConfirmed, NoAnswer };

inline Setting ConfirmedIf(bool readBackMatches) {
  return readBackMatches ? Setting::Confirmed : Setting::NotConfirmed;
}

template <class Attempt>
Setting TrySetting(Attempt attempt) {
  for (int tries = 0; tries < 10; ++tries) {
    Setting result = attempt();
    if (result != Setting::NotConfirmed) return result;
    JuxSleep(50);
  }
  return Setting::NotConfirmed;
}

}  // namespace console
