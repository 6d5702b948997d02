#include "varnel/pipeline/printhost.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <thread>

#include "varnel/core/hostfiles.h"
#include "varnel/core/numbers.h"

namespace varnel {

double NumberOfProcessors() {
  if (qEnvironmentVariableIsSet("NUMBER_OF_PROCESSORS"))
    return Val(qEnvironmentVariable("NUMBER_OF_PROCESSORS"));
  unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : count;
}

bool MhTouchFiles(const QString& fileName, const QDateTime& date, int option) {
  if (option != 2) return false;
  QString host = HostPath(fileName);
  if (host.isEmpty()) return false;
  qint64 ms = date.toMSecsSinceEpoch();
  timespec times[2];
  times[0].tv_sec = static_cast<time_t>(ms / 1000);
  times[0].tv_nsec = static_cast<long>((ms % 1000) * 1000000);
  if (times[0].tv_nsec < 0) {
    times[0].tv_sec -= 1;
    times[0].tv_nsec += 1000000000;
  }
  times[1] = times[0];
  return utimensat(AT_FDCWD, QFile::encodeName(host).constData(), times, 0) == 0;
}

namespace {

// The process's state letter from /proc/PID/stat (after the name in brackets).
char ProcessState(const QString& pidDir) {
  QFile stat(pidDir + "/stat");
  if (!stat.open(QIODevice::ReadOnly)) return 0;
  QByteArray text = stat.readAll();
  qsizetype close = text.lastIndexOf(')');
  return close >= 0 && close + 2 < text.size() ? text[close + 2] : 0;
}

QStringList Arguments(const QString& pidDir) {
  QFile cmdline(pidDir + "/cmdline");
  if (!cmdline.open(QIODevice::ReadOnly)) return {};
  QStringList args;
  for (const QByteArray& part : cmdline.readAll().split('\0'))
    if (!part.isEmpty()) args << QFile::decodeName(part);
  return args;
}

}  // namespace

QList<qint64> ProcessesOf(const QString& hostProgram) {
  QList<qint64> found;
  QString wanted = QFileInfo(hostProgram).canonicalFilePath();
  if (wanted.isEmpty()) return found;
  const QStringList pids = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& name : pids) {
    bool numeric = false;
    qint64 pid = name.toLongLong(&numeric);
    if (!numeric) continue;
    QString dir = "/proc/" + name;
    char state = ProcessState(dir);
    if (state == 0 || state == 'Z' || state == 'X') continue;
    bool match = QFileInfo(dir + "/exe").canonicalFilePath() == wanted;
    if (!match) {
      // A script: the shell is the executable, the script its first argument.
      QStringList args = Arguments(dir);
      for (int i = 0; i < std::min<qsizetype>(2, args.size()) && !match; ++i)
        match = args[i].startsWith('/') && QFileInfo(args[i]).canonicalFilePath() == wanted;
    }
    if (match) found << pid;
  }
  return found;
}

QList<WindowList::TopWindow> ProcessWindowList::FindWindows(const QString& title) {
  QList<TopWindow> windows;
  QString program = programOf_ ? programOf_(title) : QString();
  if (program.trimmed().isEmpty()) return windows;
  for (qint64 pid : ProcessesOf(HostPath(program.trimmed()))) windows << TopWindow{pid, true};
  return windows;
}

}  // namespace varnel
