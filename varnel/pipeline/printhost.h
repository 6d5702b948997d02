// Host services of the print requests: the processor count the wait for the
// print monitor depends on, the time stamp helper, and the window list on a
// host without one.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

#include "varnel/core/seams.h"

namespace varnel {

// NUMBER_OF_PROCESSORS read as a number (its leading numeric part; 0 when it
// has none). Where the host does not set the variable, the processor count.
double NumberOfProcessors();

// Sets the file's time stamp to the given date. Option 2 sets the time of last
// change (and of last access with it). False when the file could not be touched.
bool MhTouchFiles(const QString& fileName, const QDateTime& date, int option);

// Window list of a host that keeps none (Linux): the title's program is looked
// up by programOf (a Windows-style path, empty for a title of no known program),
// and every running process of that program counts as one visible window of
// that title; its handle is the process id. Activation has nothing to do.
class ProcessWindowList : public WindowList {
 public:
  explicit ProcessWindowList(std::function<QString(const QString& title)> programOf)
      : programOf_(std::move(programOf)) {}
  QList<TopWindow> FindWindows(const QString& title) override;
  void ShowAndActivate(qint64, int) override {}

 private:
  std::function<QString(const QString&)> programOf_;
};

// The running processes (not yet reaped zombies excluded) whose program is the
// host file hostProgram: its executable, or the script a shell runs.
QList<qint64> ProcessesOf(const QString& hostProgram);

}  // namespace varnel
