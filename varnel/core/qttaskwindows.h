// The task-window seam: reaching another program's window (the viewer) by its
// task id, raising it and sending it keystrokes.
//
// On Linux and other POSIX hosts the program reached listens on a local
// socket of its user named after its process id (TaskWindowServer, run by
// the viewer); "activate" connects to it and has the window raised, "send
// keys" hands the key string over for the program to carry out as its
// keyboard would, and waits, when asked, for its answer that they have been
// processed. A task without that socket has no window: activation fails and
// the workstation starts the program anew. On Windows the real window is
// activated and real keystrokes are sent (qttaskwindows_win.cpp).
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "varnel/core/seams.h"

namespace varnel {

// The socket on which the task's window listens (a path under the user's
// runtime folder, else the temporary folder, carrying the user id).
QString TaskWindowSocketName(qint64 taskId);

class QtTaskWindows : public TaskWindows {
 public:
  // answerTimeoutMs bounds every wait for the window's answer.
  explicit QtTaskWindows(int answerTimeoutMs = 60000);
  ~QtTaskWindows() override;
  QtTaskWindows(const QtTaskWindows&) = delete;
  QtTaskWindows& operator=(const QtTaskWindows&) = delete;

  bool AppActivate(qint64 taskId) override;
  bool SendKeys(const QString& keys, bool wait) override;
  // What the window reported with its last answer (its title and status
  // line); empty when none came.
  QString LastAnswer() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The other end, in the program whose window is reached. Requests of one
// connection are carried out in the order they came, each answered when done.
// The handlers are called on the thread that runs the Qt event loop.
class TaskWindowServer {
 public:
  struct Handlers {
    std::function<void()> activate;  // raise the window
    // Carry out a key string; call `done` once it has been processed (it may
    // be later, from the event loop; a string that means nothing is done at once).
    std::function<void(const QString& keys, std::function<void()> done)> keys;
    std::function<QString()> state;  // the text of every answer
  };
  explicit TaskWindowServer(Handlers handlers);
  ~TaskWindowServer();
  TaskWindowServer(const TaskWindowServer&) = delete;
  TaskWindowServer& operator=(const TaskWindowServer&) = delete;

  // Listens on the socket of this process's id; false when it cannot.
  bool Listen();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace varnel
