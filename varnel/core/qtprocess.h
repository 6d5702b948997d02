// The Qt implementations of the process and event-loop seams (Qt Core only).
#pragma once

#include <QHash>
#include <QPointer>
#include <QProcess>

#include "varnel/core/seams.h"

namespace varnel {

// Lets window events run; Pause waits in a local event loop, never blocking it.
class QtEventPump : public EventPump {
 public:
  void DoEvents() override;
  void Pause(int ms) override;
};

// Starts children with QProcess. The program name and the paths on the command
// line stay Windows-style; the program is mapped to a host path here and the
// children get the station's drive table (JUX_DRIVES) to map theirs. Children
// are killed only when asked to (EndTask): a QProcess whose wait was given up
// is otherwise left to end on its own.
class QtProcessHost : public ProcessHost {
 public:
  QtProcessHost() = default;
  ~QtProcessHost() override;
  QtProcessHost(const QtProcessHost&) = delete;
  QtProcessHost& operator=(const QtProcessHost&) = delete;

  qint64 Shell(const QString& commandLine, ShellWindow window) override;
  WaitResult WaitForTask(qint64 taskId, int timeoutMs) override;
  std::optional<int> ExitCode(qint64 taskId) override;
  void EndTask(qint64 taskId) override;

 private:
  struct Task {
    QPointer<QProcess> process;  // deletes itself when the child has ended
    bool ended = false;
    int exitCode = kKilledExit;
  };
  QHash<qint64, Task> tasks_;
  qint64 lastEnded_ = 0;  // the task WaitForTask reported as ended last, and its code
  int lastExitCode_ = kKilledExit;
};

}  // namespace varnel
