#include "tests/varnel/support/fakes.h"

#include <QApplication>
#include <cstdlib>

namespace varnel::testing {

Prompts::Answer ScriptedPrompts::MsgBoxDefault(const QString& text, Buttons buttons, Icon icon,
                                               const QString& title, Answer defaultButton) {
  Answer answer = MsgBox(text, buttons, icon, title);
  shown.last().defaultButton = defaultButton;
  return answer;
}

Prompts::Answer ScriptedPrompts::MsgBox(const QString& text, Buttons buttons, Icon icon,
                                        const QString& title) {
  shown << Box{text, buttons, icon, title, std::nullopt};
  if (!answers.isEmpty()) return answers.takeFirst();
  switch (buttons) {
    case Buttons::YesNo:
    case Buttons::YesNoCancel: return Answer::Yes;
    case Buttons::RetryCancel: return Answer::Retry;
    default: return Answer::Ok;
  }
}

qint64 RecordingProcesses::Shell(const QString& commandLine, ShellWindow window) {
  started << commandLine;
  qint64 task = play ? play(commandLine) : real ? real->Shell(commandLine, window) : 0;
  tasks << task;
  return task;
}

WaitResult RecordingProcesses::WaitForTask(qint64 taskId, int timeoutMs) {
  ++waits;
  if (play) return taskId != 0 ? WaitResult::Ended : WaitResult::Failed;
  return real ? real->WaitForTask(taskId, timeoutMs) : WaitResult::Failed;
}

void EnsureQtApp() {
  if (QCoreApplication::instance()) return;
  // gtest_discover_tests runs the program without the test environment.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "varnel_test";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives until the test program ends
}

}  // namespace varnel::testing
