// The child programs' own time in a benchmark of the workstation: every child
// counts from its start to the moment its end is seen.
#pragma once

#include <QElapsedTimer>
#include <QHash>

#include "varnel/core/qtprocess.h"

namespace varnel {

class TimingProcesses : public ProcessHost {
 public:
  QtProcessHost real;
  QHash<qint64, qint64> startedAt;
  QElapsedTimer clock;
  qint64 childNs = 0;
  TimingProcesses() { clock.start(); }
  qint64 Shell(const QString& commandLine, ShellWindow window) override {
    qint64 t = clock.nsecsElapsed();
    qint64 task = real.Shell(commandLine, window);
    if (task != 0) startedAt[task] = t;
    return task;
  }
  WaitResult WaitForTask(qint64 taskId, int timeoutMs) override {
    WaitResult r = real.WaitForTask(taskId, timeoutMs);
    if (r != WaitResult::TimedOut && startedAt.contains(taskId))
      childNs += clock.nsecsElapsed() - startedAt.take(taskId);
    return r;
  }
};

}  // namespace varnel
