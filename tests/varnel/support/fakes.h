// Fakes of the workstation's seams: they answer and record, and never wait
// for a person.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <ostream>

#include "varnel/core/qtprocess.h"
#include "varnel/core/seams.h"

// Readable QStrings in test failures.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace varnel::testing {

// Answers message boxes from a script (Ok/the first button when it runs out)
// and records every box shown.
class ScriptedPrompts : public Prompts {
 public:
  struct Box {
    QString text;
    Buttons buttons;
    Icon icon;
    QString title;
    std::optional<Answer> defaultButton;  // when the caller named one
  };
  QList<Answer> answers;  // taken from the front
  QList<Box> shown;
  Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) override;
  Answer MsgBoxDefault(const QString& text, Buttons buttons, Icon icon, const QString& title,
                       Answer defaultButton) override;
};

class RecordingWindows : public WindowHooks {
 public:
  QList<int> pointers;
  QList<bool> enabled;
  QStringList splash;
  void SetMousePointer(int pointer) override { pointers << pointer; }
  void SetMainEnabled(bool on) override { enabled << on; }
  void ShowSplashStatus(const QString& text) override { splash << text; }
  void ActivateMain() override { ++activated; }
  int activated = 0;
};

// The Qt event pump; Pause is recorded and, unless told otherwise, not waited.
class RecordingPump : public QtEventPump {
 public:
  bool realPause = false;
  QList<int> pauses;
  int doEvents = 0;
  // Called on every DoEvents with its count, before the events are handled: a
  // test acts at a given step of a wait instead of after some time.
  std::function<void(int)> onDoEvents;
  void DoEvents() override {
    ++doEvents;
    if (onDoEvents) onDoEvents(doEvents);
    QtEventPump::DoEvents();
  }
  void Pause(int ms) override {
    pauses << ms;
    if (realPause) QtEventPump::Pause(ms);
  }
};

// Records every command line and hands it to another host (the real one, or
// a scripted action that plays the child).
class RecordingProcesses : public ProcessHost {
 public:
  QStringList started;  // command lines, in order
  QList<qint64> tasks;  // their task ids (0: not started)
  int waits = 0;        // calls of WaitForTask
  // Plays a child when set: called with the command line; returns the task id.
  std::function<qint64(const QString&)> play;
  ProcessHost* real = nullptr;
  qint64 Shell(const QString& commandLine, ShellWindow window) override;
  WaitResult WaitForTask(qint64 taskId, int timeoutMs) override;
  std::optional<int> ExitCode(qint64 taskId) override {
    return real && !play ? real->ExitCode(taskId) : std::nullopt;
  }
  void EndTask(qint64 taskId) override {
    ended << taskId;
    if (real && !play) real->EndTask(taskId);
  }
  QList<qint64> ended;  // tasks ended by the workstation
};

// Answers the input dialog from a script (an empty answer, as Cancel gives,
// when it runs out) and records every question and where it was placed.
class ScriptedInputs : public InputDialogs {
 public:
  struct Asked {
    QString caption, prompt, proposed;
    bool placed = false;
    QPoint at;  // where the dialog would open, for a 100 x 50 dialog
  };
  QStringList answers;  // taken from the front
  QList<Asked> asked;
  QString InputBox(const QString& caption, const QString& prompt, const QString& proposed,
                   const std::function<QPoint(const QSize&)>& place) override {
    asked << Asked{caption, prompt, proposed, bool(place), place ? place(QSize(100, 50)) : QPoint()};
    return answers.isEmpty() ? QString() : answers.takeFirst();
  }
};

class NullStatus : public StatusDisplay {
 public:
  void ShowStatusBox(const std::optional<QString>&, const std::optional<QString>&,
                     const std::optional<QString>&) override {}
};

// Creates the QApplication of a test program on first use, on the offscreen
// platform unless QT_QPA_PLATFORM says otherwise.
void EnsureQtApp();

}  // namespace varnel::testing
