// The host services the workstation's procedures use, each behind one small
// interface. The program wires the Qt implementations (message boxes, QProcess,
// the Qt event loop, the main window); tests wire fakes. Nothing here owns the
// objects it points to: they are created before the Station and outlive it.
#pragma once

#include <QPoint>
#include <QSize>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

namespace varnel {

// Message boxes. Every question and message of the workstation goes through
// MsgBox, so a test can answer them without a person.
class Prompts {
 public:
  enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
  enum class Icon { None, Critical, Question, Exclamation, Information };
  enum class Answer { Ok, Cancel, Yes, No, Retry };
  virtual ~Prompts() = default;
  // Shows a modal box and returns the button pressed.
  virtual Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) = 0;
  // The same with the button that Enter presses; a box that cannot place it
  // shows its first button as the default.
  virtual Answer MsgBoxDefault(const QString& text, Buttons buttons, Icon icon, const QString& title,
                               Answer defaultButton) {
    (void)defaultButton;
    return MsgBox(text, buttons, icon, title);
  }
};

// Window state of a program started through the shell (the platform may ignore it).
enum class ShellWindow { Hide, NormalFocus, MinimizedFocus, MaximizedFocus, MinimizedNoFocus };

enum class WaitResult { Ended, TimedOut, Failed };

// Child programs. A command line is split the Windows way; its program and the
// paths in it are Windows-style names.
class ProcessHost {
 public:
  virtual ~ProcessHost() = default;
  // Starts a command line and returns its task id, 0 when nothing could be started.
  // The child is never killed by the workstation.
  virtual qint64 Shell(const QString& commandLine, ShellWindow window) = 0;
  // Waits up to timeoutMs for the task to end, letting window events run meanwhile.
  // An unknown task id (not started, or already reported as ended) fails at once.
  virtual WaitResult WaitForTask(qint64 taskId, int timeoutMs) = 0;
  // The exit code of the task that WaitForTask reported as ended last
  // (kKilledExit when it was killed); nothing for another task or when the
  // host cannot tell.
  virtual std::optional<int> ExitCode(qint64 /*taskId*/) { return std::nullopt; }
  // Ends a task whose wait was given up (it is killed) and returns once it has
  // ended, so that it writes no file afterwards.
  virtual void EndTask(qint64 /*taskId*/) {}
  static constexpr int kKilledExit = -1;
};

// Lets pending window events run.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void DoEvents() = 0;
  // Waits the given time while window events keep running.
  virtual void Pause(int ms) = 0;
};

// The mouse pointers the procedures set, by their codes.
enum MousePointer : int { kDefaultPointer = 0, kHourglass = 11 };

// The main window and the splash window as the core procedures see them.
class WindowHooks {
 public:
  virtual ~WindowHooks() = default;
  // A MousePointer code.
  virtual void SetMousePointer(int pointer) = 0;
  virtual void SetMainEnabled(bool enabled) = 0;
  // Status line of the splash window while the program starts.
  virtual void ShowSplashStatus(const QString& text) = 0;
  // Brings the main window to the front (auto scan mode has ended).
  virtual void ActivateMain() = 0;
};

// The status window: one to three lines while the workstation waits; called
// without line 1 it closes.
class StatusDisplay {
 public:
  virtual ~StatusDisplay() = default;
  virtual void ShowStatusBox(const std::optional<QString>& line1 = std::nullopt,
                             const std::optional<QString>& line2 = std::nullopt,
                             const std::optional<QString>& line3 = std::nullopt) = 0;
};

// Another program's window (the viewer), reached by its task id: activated
// and sent synthetic keystrokes in the shell's key notation ("%FO{ENTER}").
class TaskWindows {
 public:
  virtual ~TaskWindows() = default;
  // Brings the task's window to the front; false when the task has no window
  // any more (it has ended), so that the caller starts the program anew.
  virtual bool AppActivate(qint64 taskId) = 0;
  // Sends keys to the window activated last; with wait, returns only once they
  // have been processed. False when they could not be delivered.
  virtual bool SendKeys(const QString& keys, bool wait) = 0;
};

// The input dialog: asks the operator for one name. Empty when the operator
// cancelled (or gave none).
class InputDialogs {
 public:
  virtual ~InputDialogs() = default;
  // place gets the dialog's size and returns where its top-left corner goes on
  // the screen; without it the dialog opens where the platform puts it.
  virtual QString InputBox(const QString& caption, const QString& prompt, const QString& proposed,
                           const std::function<QPoint(const QSize&)>& place = {}) = 0;
};

// Top-level windows of other programs, found by their exact title. Where the
// host keeps no window list, a running process of the program that owns the
// title counts as its one visible window.
class WindowList {
 public:
  struct TopWindow {
    qint64 handle;
    bool visible;
  };
  virtual ~WindowList() = default;
  // Every top-level window with exactly this title, in the platform's order.
  virtual QList<TopWindow> FindWindows(const QString& title) = 0;
  // Shows the window in the given show state (9: restored) and activates it.
  virtual void ShowAndActivate(qint64 handle, int showState) = 0;
};

struct Seams {
  Prompts* prompts = nullptr;
  ProcessHost* processes = nullptr;
  EventPump* pump = nullptr;
  WindowHooks* windows = nullptr;
  StatusDisplay* status = nullptr;
  TaskWindows* tasks = nullptr;
  InputDialogs* inputs = nullptr;
  WindowList* topWindows = nullptr;
};

}  // namespace varnel
