// A long scan-list job through the real window: the scripted operator ticks
// View Image and Auto Set Print and presses Auto Mode over a list of SHEETS
// entries, fed one small sheet each by the simulated card, with the real
// juxscan, juxstat, converters, viewer, request dialog and print monitor.
// Reported: sheets fed and filed, database lines, print jobs, the
// workstation's resident memory and open descriptors after sheet 10 and after
// the last sheet, child processes left at the end (the viewer and the
// unattended-print program stay up by design and are ended by the bench;
// then nothing may be left), and the time per sheet against the child
// programs' own time. A child's time runs from its start to the moment its
// end is seen (juxscan's includes the feeder's sheet); the viewer's answers
// to its activation and keys are the viewer's time, and the road's fixed
// pause between the two (for the viewer's window to come up) is told apart.
//
//   soak_bench [SHEETS]        (default 1000; a plain program, run by hand)
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <string>
#include <unistd.h>

#include "bench/pipeline/timing.h"
#include "tests/support/simcard.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/qtprocess.h"
#include "varnel/core/qttaskwindows.h"
#include "varnel/core/station.h"
#include "varnel/ui/frmmain.h"
#include "varnel/ui/workstation.h"

namespace {

using namespace varnel;

QElapsedTimer clock_;

// The viewer's time: answering its activation and the keys that open a file.
// The road's fixed pause between the activation and the keys (for the
// viewer's window to come to the front) is measured on its own.
class TimingTasks : public TaskWindows {
 public:
  QtTaskWindows real;
  qint64 viewerNs = 0, pauseNs = 0;
  bool AppActivate(qint64 taskId) override {
    qint64 t = clock_.nsecsElapsed();
    bool r = real.AppActivate(taskId);
    activatedAt_ = clock_.nsecsElapsed();
    viewerNs += activatedAt_ - t;
    return r;
  }
  bool SendKeys(const QString& keys, bool wait) override {
    qint64 t = clock_.nsecsElapsed();
    if (activatedAt_ != 0) pauseNs += t - activatedAt_;
    activatedAt_ = 0;
    bool r = real.SendKeys(keys, wait);
    viewerNs += clock_.nsecsElapsed() - t;
    return r;
  }

 private:
  qint64 activatedAt_ = 0;
};

class Operator : public Prompts {
 public:
  int boxes = 0;
  std::function<void()> listComplete;  // at the box that says the list is done
  Answer MsgBox(const QString& text, Buttons buttons, Icon, const QString& title) override {
    ++boxes;
    if (text.startsWith("Auto Scan Complete") && listComplete) listComplete();
    std::printf("  [box] %s: %s\n", qPrintable(title), qPrintable(text));
    std::fflush(stdout);
    return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::Yes : Answer::Ok;
  }
};

struct Sample {
  long rssKb = 0;
  int fds = 0;
  QStringList open;  // what each descriptor refers to
};
Sample Measure() {
  Sample s;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) s.rssKb = std::atol(line.c_str() + 6);
  const QStringList fds = QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
  s.fds = static_cast<int>(fds.size());
  for (const QString& fd : fds) {
    char target[512];
    ssize_t n = ::readlink(("/proc/self/fd/" + fd).toLocal8Bit().constData(), target, sizeof target - 1);
    s.open << QString::fromLocal8Bit(target, n > 0 ? n : 0);
  }
  return s;
}

struct Proc {
  qint64 pid = 0, parent = 0;
  QString command;
};
// Every process below this one that still runs (orphans of its children come
// to it: it is their subreaper), with its program.
QList<Proc> Descendants() {
  QHash<qint64, Proc> all;
  for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
    QFile stat("/proc/" + pid + "/stat");
    if (!stat.open(QIODevice::ReadOnly)) continue;
    QString text = QString::fromLatin1(stat.readAll());
    QStringList after = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (after.size() < 2 || after[0] == "Z") continue;
    QFile cmd("/proc/" + pid + "/cmdline");
    cmd.open(QIODevice::ReadOnly);
    all[pid.toLongLong()] = {pid.toLongLong(), after[1].toLongLong(),
                             QString::fromLocal8Bit(cmd.readAll()).replace(QChar('\0'), ' ').trimmed()};
  }
  QList<Proc> below;
  QList<qint64> parents{getpid()};
  while (!parents.isEmpty()) {
    qint64 parent = parents.takeFirst();
    for (const Proc& p : all)
      if (p.parent == parent) {
        below << p;
        parents << p.pid;
      }
  }
  return below;
}

// Ends processes, the deepest first, and reaps them.
void End(const QList<Proc>& processes) {
  for (auto it = processes.rbegin(); it != processes.rend(); ++it) ::kill(it->pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    for (const Proc& p : processes) ::waitpid(p.pid, nullptr, WNOHANG);
    bool gone = true;
    for (const Proc& p : processes) gone = gone && ::kill(p.pid, 0) != 0;
    if (gone) return;
    QThread::msleep(20);
  }
}

int CountLines(const QString& path, const QString& containing = QString()) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  int n = 0;
  for (const QByteArray& line : file.readAll().split('\n'))
    n += !line.trimmed().isEmpty() && (containing.isEmpty() || line.contains(containing.toUtf8()));
  return n;
}

void Write(const QString& path, const QByteArray& text, bool executable = false) {
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.write(text);
  file.close();
  if (executable) file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool Sheet(int x, int y) { return x < 4 || y < 4 || x >= 396 || y >= 296 || x == y || (x / 50 + y / 50) % 7 == 0; }

}  // namespace

int main(int argc, char** argv) {
  clock_.start();
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const int sheets = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;

  // Drive C: is a temporary folder; the station in C:\Station.
  QTemporaryDir drive;
  const QString c = drive.path() + "/";
  setenv("JUX_DRIVES", ("C=" + drive.path()).toUtf8().constData(), 1);
  simcard::SimCard card;
  setenv("JUX_DEVICE_DIR", card.Dir().c_str(), 1);
  for (const char* folder : {"Station", "Temp", "Stack", "Print/Request", "Print/PRequest",
                             "Print/Printed", "Print/Failed"})
    QDir().mkpath(c + folder);
  const QByteArray bin = QByteArray::fromStdString(simcard::BinDir());
  // The request dialog answers with its presets; the print monitor reads the
  // station's own configuration (the workstation finds it by its script).
  Write(c + "Station/reqqueue", "#!/bin/sh\n'" + bin + "/reqqueue' \"$@\" /Q\n", true);
  Write(c + "Station/printmon", "#!/bin/sh\n'" + bin + "/printmon' \"$@\" '/I:" + c.toUtf8() +
                                    "Station/PrintMon.Ini'\n", true);
  Write(c + "Station/PrintMon.Ini",
        "[PrintMon]\r\nRequestDir=C:\\Print\\Request\r\nPriorityDir=C:\\Print\\PRequest\r\n"
        "OutputDir=C:\\Print\\Printed\r\nFailedDir=C:\\Print\\Failed\r\nPrinter=\r\n"
        "LogFile=C:\\Print\\PrintMon.Log\r\nPollMs=200\r\n");
  Write(c + "Station/Varnel.Ini",
        "[PROGRAMS]\r\nScanExe=" + bin + "/juxscan\r\nStatusExe=" + bin + "/juxstat\r\n" +
            "File2TlcExe=" + bin + "/file2tlc\r\nExportExe=" + bin + "/tlcexport\r\n" +
            "ViewExe=" + bin + "/tlcview\r\nEditExe=\r\nRequestExe=C:\\Station\\reqqueue\r\n" +
            "UnattendExe=C:\\Station\\printmon\r\nMiniViewSize=1000,700\r\n" +
            "AutoModeViewDelayTime=0\r\nMachineType=6769\r\nHardwareConnect=YES\r\n" +
            "Units=ENGLISH\r\nTempDir=C:\\Temp\\\r\nDebug=0\r\n" +
            "[PRINTERS]\r\nRequestDir=C:\\Print\\Request\r\nPriorityDir=C:\\Print\\PRequest\r\n" +
            "[ENGLISHScanWidths]\r\nWidth1=1\r\n[ScanDPI]\r\nDPI1=400\r\n" +
            "[OutputTypes]\r\nType1=TLC Compressed raster    -L\r\n[GENERAL]\r\nDataField=True\r\n");
  QByteArray list;
  for (int i = 1; i <= sheets; ++i)
    list += "C:\\SOAK\\S" + QByteArray::number(i).rightJustified(4, '0') + ".TLC,soak\r\n";
  Write(c + "SOAK.LST", list);
  for (int i = 1; i <= sheets; ++i)
    simcard::WritePbmFile((c + "Stack/" + QString::number(i).rightJustified(5, '0') + ".pbm").toStdString(),
                          400, 300, Sheet);
  card.Feed((c + "Stack").toStdString(), {"--start-on-ask", "0"});
  QDir::setCurrent(c + "Station");

  Operator prompts;
  auto* processes = new TimingProcesses;  // outlives the window's Qt objects: left to the end
  auto* tasks = new TimingTasks;
  Sample at10, atHalf, atEnd;
  qint64 startNs = 0, lastSheetNs = 0, clickEndNs = 0;
  qint64 childAtLast = 0, viewerAtLast = 0, pauseAtLast = 0;
  int filedSeen = 0;
  WorkstationScript script;
  script.programFolder = "C:\\Station";
  script.commandLine = "C:\\SOAK.LST";
  script.prompts = &prompts;
  script.processes = processes;
  script.tasks = tasks;
  script.shown = [&](frmMain& main, Station& st) {
    Form& f = main.form();
    f.chkViewFlag->click();
    f.chkAutoSetPrint->click();
    f.txtDataField->setText("SOAK");
    // Every filed sheet is seen between the passes (the timer runs while the
    // workstation waits for its children).
    auto* watch = new QTimer(&main);
    QObject::connect(watch, &QTimer::timeout, [&] {
      int filed = st.LastScanFile.isEmpty() ? 0 : st.LastScanFile.mid(9, 4).toInt();
      if (filed == filedSeen) return;
      filedSeen = filed;
      if (filed >= 10 && at10.rssKb == 0) at10 = Measure();
      if (filed >= sheets / 2 && atHalf.rssKb == 0) atHalf = Measure();
    });
    // The last sheet is done when the end of the list is told, before the
    // list report's statistics run.
    prompts.listComplete = [&] {
      filedSeen = st.LastScanFile.mid(9, 4).toInt();
      lastSheetNs = clock_.nsecsElapsed();
      childAtLast = processes->childNs;
      viewerAtLast = tasks->viewerNs;
      pauseAtLast = tasks->pauseNs;
      atEnd = Measure();
    };
    watch->start(5);
    startNs = clock_.nsecsElapsed();
    f.cmdAutoMode->click();
    clickEndNs = clock_.nsecsElapsed();
    main.close();
  };
  std::printf("soak: %d sheets of 400 x 300 pixels, View Image and Auto Set Print on\n", sheets);
  std::fflush(stdout);
  int code = RunWorkstation(1, argv, &script);

  // Let the print monitor finish what is queued (at most a minute), then count.
  auto queuedJobs = [&c] {
    return static_cast<int>(QDir(c + "Print/PRequest").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() +
                            QDir(c + "Print/Request").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
  };
  for (int i = 0; i < 600 && queuedJobs() > 0; ++i) QThread::msleep(100);
  const int filed = static_cast<int>(QDir(c + "SOAK").entryList({"S*.TLC"}, QDir::Files).size());
  const int lines = CountLines(c + "SOAK/Database.Asc");
  const int allLines = CountLines(c + "Station/Database.All");
  const int printed = CountLines(c + "Print/PrintMon.Log", " printed: ");
  const int queued = queuedJobs();
  // The viewer and the unattended-print program stay up after the workstation,
  // as programs of their own that the operator closes; anything else still
  // running was left behind. The bench ends them all and looks again.
  // The simulated card's own programs are the bench's.
  const long taken = sheets - static_cast<long>(card.Value("scanner.documents"));
  auto workstations = [] {
    QList<Proc> found;
    for (const Proc& p : Descendants())
      if (!p.command.contains("juxsim")) found << p;
    return found;
  };
  const QList<Proc> running = workstations();
  QStringList stayUp, left;
  for (const Proc& p : running) {
    const bool own = p.command.contains("printmon") || p.command.contains("tlcview");
    (own ? stayUp : left) << QString::number(p.pid) + " " + p.command;
  }
  End(running);
  const int afterEnd = static_cast<int>(workstations().size());

  const double run = (lastSheetNs - startNs) / 1e9, child = childAtLast / 1e9, viewer = viewerAtLast / 1e9,
               pause = pauseAtLast / 1e9;
  std::printf("exit code %d, %d boxes\n", code, prompts.boxes);
  std::printf("sheets fed %d, taken by the scanner %ld, filed %d, database lines %d (Database.All %d)\n",
              sheets, taken, filed, lines, allLines);
  std::printf("print jobs: %d logged by the print monitor, %d still queued\n", printed, queued);
  std::printf("workstation after sheet 10: %ld kB resident, %d descriptors\n", at10.rssKb, at10.fds);
  std::printf("workstation after sheet %d: %ld kB resident, %d descriptors\n", sheets / 2,
              atHalf.rssKb, atHalf.fds);
  std::printf("workstation after sheet %d: %ld kB resident, %d descriptors (%+.1f %%, %+d)\n", sheets,
              atEnd.rssKb, atEnd.fds, at10.rssKb ? 100.0 * (atEnd.rssKb - at10.rssKb) / at10.rssKb : 0.0,
              atEnd.fds - at10.fds);
  if (atEnd.fds != at10.fds)
    std::printf("descriptors after sheet 10: %s\nafter the last sheet: %s\n", qPrintable(at10.open.join("; ")),
                qPrintable(atEnd.open.join("; ")));
  std::printf("child processes left by the workstation: %d%s%s\n", static_cast<int>(left.size()),
              left.isEmpty() ? "" : ": ", qPrintable(left.join("; ")));
  std::printf("the viewer and the unattended-print program, up until closed: %d process(es)%s%s\n",
              static_cast<int>(stayUp.size()), stayUp.isEmpty() ? "" : ": ", qPrintable(stayUp.join("; ")));
  std::printf("processes still running after the bench closed them: %d\n", afterEnd);
  std::printf("time: %.1f s for %d sheets, %.3f s a sheet; child programs %.3f s a sheet, viewer %.3f s a sheet,"
              " the road's pause before the viewer's keys %.3f s a sheet\n",
              run, filedSeen, run / sheets, child / sheets, viewer / sheets, pause / sheets);
  std::printf("whole run / (child programs + viewer + pause): %.3f (goal: at most 1.2)\n",
              run / (child + viewer + pause));
  std::printf("whole run / (child programs + viewer), the pause counted as overhead: %.3f\n",
              run / (child + viewer));
  std::printf("the list report after the run: %.1f s\n", (clickEndNs - lastSheetNs) / 1e9);
  return filed == sheets && lines == sheets && left.isEmpty() && afterEnd == 0 ? 0 : 1;
}
