#include "varnel/core/qtprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "varnel/core/cmdline.h"
#include "varnel/core/hostfiles.h"

namespace varnel {

void QtEventPump::DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtEventPump::Pause(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(ms - timer.elapsed()), &loop, &QEventLoop::quit);
    loop.exec();
  }
}

QtProcessHost::~QtProcessHost() {
  // The QProcess objects have no parent and are not deleted here: deleting one
  // whose child still runs would kill the child.
  for (auto it = tasks_.begin(); it != tasks_.end(); ++it)
    if (it->process) it->process->disconnect(nullptr, nullptr, nullptr);
}

qint64 QtProcessHost::Shell(const QString& commandLine, ShellWindow /*window*/) {
  // The window state has no meaning for the host's programs.
  ShellCommand command = ParseShellCommand(commandLine, [](const QString& p) { return FileExists(p); });
  QString program = HostPath(command.program);
  if (program.isEmpty()) return 0;

  auto* process = new QProcess;
  process->setProgram(program);
  process->setArguments(command.arguments);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("JUX_DRIVES", DriveTableText());
  process->setProcessEnvironment(env);
  // No console to read from or write to, as for a hidden window.
  process->setStandardInputFile(QProcess::nullDevice());
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  process->start();
  if (!process->waitForStarted(10000)) {
    delete process;
    return 0;
  }
  qint64 task = process->processId();
  tasks_[task] = Task{process, false};
  QObject::connect(process, &QProcess::finished, process,
                   [this, task, process](int code, QProcess::ExitStatus status) {
                     auto it = tasks_.find(task);
                     if (it != tasks_.end() && it->process == process) {
                       it->ended = true;
                       it->exitCode = status == QProcess::NormalExit ? code : kKilledExit;
                     }
                     process->deleteLater();
                   });
  return task;
}

WaitResult QtProcessHost::WaitForTask(qint64 taskId, int timeoutMs) {
  auto it = tasks_.find(taskId);
  if (it == tasks_.end()) return WaitResult::Failed;
  if (!it->ended && it->process) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(it->process.data(), &QProcess::finished, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    timer.start(timeoutMs);
    loop.exec();
    it = tasks_.find(taskId);  // events ran: look again
    if (it == tasks_.end()) return WaitResult::Failed;
  }
  if (it->ended || !it->process) {
    lastEnded_ = taskId;
    lastExitCode_ = it->ended ? it->exitCode : kKilledExit;
    tasks_.erase(it);  // as closing the handle
    return WaitResult::Ended;
  }
  return WaitResult::TimedOut;
}

std::optional<int> QtProcessHost::ExitCode(qint64 taskId) {
  if (taskId == 0 || taskId != lastEnded_) return std::nullopt;
  return lastExitCode_;
}

void QtProcessHost::EndTask(qint64 taskId) {
  auto it = tasks_.find(taskId);
  if (it == tasks_.end()) return;
  QPointer<QProcess> process = it->process;
  tasks_.erase(it);
  if (!process || process->state() == QProcess::NotRunning) return;
  process->kill();
  process->waitForFinished(10000);
}

}  // namespace varnel
