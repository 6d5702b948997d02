// The task-window seam on Windows: the task's window is found among the
// top-level windows by its process id and brought to the front, and the
// keys are sent as real keystrokes (SendInput) to the window in front, as
// the shell's own activation and key sending do. Built only for Windows.
#include <windows.h>

#include <vector>

#include "varnel/core/qttaskwindows.h"
#include "varnel/core/sendkeys.h"

namespace varnel {
namespace {

struct Search {
  DWORD pid;
  HWND found = nullptr;
};

BOOL CALLBACK FindTaskWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == search->pid && IsWindowVisible(hwnd) && !GetWindow(hwnd, GW_OWNER)) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

WORD VirtualKeyFor(const QString& name) {
  static const struct {
    const char* name;
    WORD vk;
  } kKeys[] = {{"ENTER", VK_RETURN},     {"ESC", VK_ESCAPE},        {"TAB", VK_TAB},
               {"BACKSPACE", VK_BACK},   {"DELETE", VK_DELETE},     {"INSERT", VK_INSERT},
               {"HOME", VK_HOME},        {"END", VK_END},           {"PGUP", VK_PRIOR},
               {"PGDN", VK_NEXT},        {"UP", VK_UP},             {"DOWN", VK_DOWN},
               {"LEFT", VK_LEFT},        {"RIGHT", VK_RIGHT},       {"BREAK", VK_CANCEL},
               {"CAPSLOCK", VK_CAPITAL}, {"HELP", VK_HELP},         {"NUMLOCK", VK_NUMLOCK},
               {"PRTSC", VK_SNAPSHOT},   {"SCROLLLOCK", VK_SCROLL}, {"ADD", VK_ADD},
               {"SUBTRACT", VK_SUBTRACT}, {"MULTIPLY", VK_MULTIPLY}, {"DIVIDE", VK_DIVIDE}};
  for (const auto& k : kKeys)
    if (name == QLatin1String(k.name)) return k.vk;
  if (name.startsWith('F')) return static_cast<WORD>(VK_F1 + name.mid(1).toInt() - 1);
  return 0;
}

void AddKey(std::vector<INPUT>& inputs, WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  inputs.push_back(in);
}

void AddCharacter(std::vector<INPUT>& inputs, wchar_t c) {
  for (bool up : {false, true}) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wScan = c;
    in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
    inputs.push_back(in);
  }
}

}  // namespace

struct QtTaskWindows::Impl {
  int timeoutMs;
  DWORD pid = 0;
  HWND window = nullptr;
};

QtTaskWindows::QtTaskWindows(int answerTimeoutMs) : impl_(std::make_unique<Impl>()) {
  impl_->timeoutMs = answerTimeoutMs;
}

QtTaskWindows::~QtTaskWindows() = default;

bool QtTaskWindows::AppActivate(qint64 taskId) {
  Search search{static_cast<DWORD>(taskId)};
  EnumWindows(FindTaskWindow, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return false;
  if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
  SetForegroundWindow(search.found);
  impl_->pid = search.pid;
  impl_->window = search.found;
  return true;
}

bool QtTaskWindows::SendKeys(const QString& keys, bool wait) {
  const auto strokes = ParseSendKeys(keys);
  if (!strokes || !impl_->window || !IsWindow(impl_->window)) return false;
  std::vector<INPUT> inputs;
  for (const KeyStroke& k : *strokes) {
    bool shift = k.shift, ctrl = k.ctrl, alt = k.alt;
    WORD vk = 0;
    if (k.IsNamed()) {
      vk = VirtualKeyFor(k.key);
    } else {
      const SHORT scan = VkKeyScanW(k.key[0].unicode());
      if (scan != -1) {  // a key of this keyboard, with the shift state it needs
        vk = LOBYTE(scan);
        shift |= (HIBYTE(scan) & 1) != 0;
        ctrl |= (HIBYTE(scan) & 2) != 0;
        alt |= (HIBYTE(scan) & 4) != 0;
      }
    }
    if (shift) AddKey(inputs, VK_SHIFT, false);
    if (ctrl) AddKey(inputs, VK_CONTROL, false);
    if (alt) AddKey(inputs, VK_MENU, false);
    if (vk) {
      AddKey(inputs, vk, false);
      AddKey(inputs, vk, true);
    } else if (!k.IsNamed()) {
      AddCharacter(inputs, static_cast<wchar_t>(k.key[0].unicode()));
    }
    if (alt) AddKey(inputs, VK_MENU, true);
    if (ctrl) AddKey(inputs, VK_CONTROL, true);
    if (shift) AddKey(inputs, VK_SHIFT, true);
  }
  if (!inputs.empty() &&
      SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
    return false;
  if (wait) {
    // Processed once the program waits for input again.
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, impl_->pid);
    if (!process) return false;
    const DWORD idle = WaitForInputIdle(process, static_cast<DWORD>(impl_->timeoutMs));
    CloseHandle(process);
    return idle == 0;
  }
  return true;
}

QString QtTaskWindows::LastAnswer() const { return {}; }

}  // namespace varnel
