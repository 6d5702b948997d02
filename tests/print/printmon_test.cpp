// The print monitor as a program: complete, incomplete and malformed jobs,
// the order of the queues, the printer, and kills at any point.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>

#include "tests/print/print_support.h"
#include "tools/printmon/printmon.h"
#include "varnel/pipeline/print.h"
#include "varnel/pipeline/requestrecord.h"

namespace {

using printreq::Field;

void EnsureApp() {
  static int argc = 1;
  static char name[] = "printmon_test";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

class PrintMonTest : public ::testing::Test {
 protected:
  PrintMonTest() {
    EnsureApp();
    if (const char* old = std::getenv("JUX_DRIVES")) savedDrives_ = old;
    setenv("JUX_DRIVES", ("C=" + dir_.path()).toUtf8().constData(), 1);
    for (const char* d : {"Request", "PRequest", "SCANS"}) QDir().mkpath(H(d));
    EXPECT_TRUE(printtest::WriteTlc(H("SCANS/A.TLC")));
    printtest::WriteScanTiff(H("SCANS/B.TIF"), 300, 200);
    WriteIni("");
  }
  ~PrintMonTest() override {
    savedDrives_.empty() ? unsetenv("JUX_DRIVES") : setenv("JUX_DRIVES", savedDrives_.c_str(), 1);
  }

  QString H(const QString& relative) const { return dir_.path() + "/" + relative; }
  void Write(const QString& relative, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(H(relative)).path());
    QFile f(H(relative));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QByteArray Read(const QString& relative) {
    QFile f(H(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  void Script(const QString& relative, const QByteArray& body) {
    Write(relative, "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(H(relative), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  void WriteIni(const QByteArray& extra) {
    // The first of a key counts: the test's own lines go first.
    Write("PrintMon.Ini", "[PrintMon]\n" + extra + "RequestDir=C:\\Request\nPriorityDir=C:\\PRequest\n"
                          "OutputDir=C:\\Printed\nFailedDir=C:\\failed\nLogFile=C:\\PrintMon.Log\n"
                          "PollMs=20\nFile2TlcExe=" JUX_BIN_DIR "/file2tlc\nExportExe=" JUX_BIN_DIR
                          "/tlcexport\n");
  }

  // A job as the workstation writes it; tweak may spoil it before Done.Jux.
  struct JobSpec {
    QString queue = "Request";
    QString name;
    QStringList images;  // Windows-style
    int copies = 1;
    bool done = true;
    std::function<void(QList<printreq::RequestRecord>&)> spoilRecords = nullptr;
    int cutBytes = 0;
    QByteArray spoilPointers = {};  // when set, every pointer file holds these bytes
  };
  QString MakeJob(const JobSpec& job) {
    QString folder = job.queue + "/" + job.name;
    QDir().mkpath(H(folder));
    QList<printreq::RequestRecord> records;
    for (const QString& image : job.images) {
      printreq::RequestRecord r = printreq::RequestRecord::Defaults();
      QString base = image.section('\\', -1).section('.', 0, 0);
      Write(folder + "/" + base + ".PTR", job.spoilPointers.isEmpty() ? image.toLatin1() + "\r\n" : job.spoilPointers);
      r.SetText(Field::JobName, job.name.toStdString());
      r.SetText(Field::PtrName, (base + ".PTR").toStdString());
      r.SetText(Field::ImagePath, image.toStdString());
      r.SetNumber(Field::FileCount, double(job.images.size()));
      r.SetNumber(Field::Copies, job.copies);
      records << r;
    }
    if (job.spoilRecords) job.spoilRecords(records);
    QByteArray bytes;
    for (const auto& r : records) bytes.append(reinterpret_cast<const char*>(r.Bytes().data()), 330);
    bytes.chop(job.cutBytes);
    if (!records.isEmpty()) Write(folder + "/" + job.name + ".JUX", bytes);
    if (job.done) Write(folder + "/Done.Jux", "Done!\r\n");
    return folder;
  }
  void SetDoneTime(const QString& folder, int secondsAgo) {
    struct utimbuf t;
    t.actime = t.modtime = time(nullptr) - secondsAgo;
    utime(QFile::encodeName(H(folder + "/Done.Jux")).constData(), &t);
  }

  int RunOnce() {
    QProcess p;
    p.start(JUX_BIN_DIR "/printmon", {"/1", "/I:C:\\PrintMon.Ini"});
    EXPECT_TRUE(p.waitForFinished(120000));
    output_ = p.readAllStandardOutput();
    return p.exitCode();
  }
  // Log lines without date and time.
  QStringList Log() {
    QStringList lines;
    for (const QString& l : QString::fromUtf8(Read("PrintMon.Log")).split('\n', Qt::SkipEmptyParts))
      lines << l.mid(20);
    return lines;
  }
  QStringList LogOf(const QString& job) { return Log().filter(QRegularExpression("^" + job + " ")); }
  QStringList Pages() { return printtest::PdfPages(H("Printed")); }
  // The drawing A.TLC exported by tlcexport with a type code.
  void Export(const QString& code, const QString& relative) {
    ASSERT_EQ(QProcess::execute(JUX_BIN_DIR "/tlcexport", {"-E", H("x.err"), "-Q", H("x.msg"), code, "-o",
                                                           H(relative), H("SCANS/A.TLC")}),
              0);
  }
  // Every file under a folder with its bytes, links as their targets.
  QMap<QString, QByteArray> Tree(const QString& folder) {
    QMap<QString, QByteArray> tree;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      QFileInfo e(it.next());
      QFile f(e.filePath());
      tree[e.filePath()] = e.isSymLink() ? e.symLinkTarget().toUtf8()
                           : e.isDir()   ? QByteArray("<dir>")
                           : f.open(QIODevice::ReadOnly) ? f.readAll()
                                                         : QByteArray("<unreadable>");
    }
    return tree;
  }
  QStringList FilesOf(const QString& folder) {
    return QDir(H(folder)).entryList(QDir::Files, QDir::Name);
  }

  QTemporaryDir dir_;
  std::string savedDrives_;
  QByteArray output_;
};

TEST_F(PrintMonTest, TitleIsTheOneTheWorkstationLooksFor) {
  EXPECT_EQ(printmon::kTitle, varnel::kUnattendTitle);
}

TEST_F(PrintMonTest, PrintsACompleteJobAsOnePdfPagePerCopy) {
  QString job = MakeJob({.name = "BAKOTIRU", .images = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\B.TIF"}, .copies = 3});
  ASSERT_EQ(RunOnce(), 0) << output_.toStdString();
  QStringList pages = Pages();
  ASSERT_EQ(pages.size(), 6);
  for (const QString& page : pages) {
    EXPECT_TRUE(page.startsWith("BAKOTIRU-")) << page.toStdString();
    EXPECT_EQ(printtest::PageCount(H("Printed/" + page)), 1) << page.toStdString();
  }
  EXPECT_TRUE(pages[0].endsWith("-001-001.pdf"));
  EXPECT_TRUE(pages[5].endsWith("-002-003.pdf"));
  EXPECT_FALSE(QFileInfo::exists(H(job)));
  QStringList lines = LogOf("BAKOTIRU");
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines[0].startsWith("BAKOTIRU (normal) printed: 2 image(s), 6 page(s)")) << lines[0].toStdString();
  EXPECT_TRUE(QDir(H("Printed/.work")).isEmpty());
}

TEST_F(PrintMonTest, LeavesAJobWithoutDoneJuxAlone) {
  QString job = MakeJob({.name = "KEPALINU", .images = {"C:\\SCANS\\A.TLC"}, .done = false});
  QStringList before = FilesOf(job);
  ASSERT_EQ(RunOnce(), 0);
  EXPECT_EQ(FilesOf(job), before);
  EXPECT_TRUE(Pages().isEmpty());
  EXPECT_TRUE(LogOf("KEPALINU").isEmpty());
}

TEST_F(PrintMonTest, MovesMalformedJobsWholeIntoFailedWithTheirReason) {
  Write("SCANS/BAD.TLC", "hello, no image here");
  // A TLC file cut short.
  Write("SCANS/BROKEN.TLC", "Virozoro Size 100,100 Density 400 Data 500" + QByteArray(84, ' ') + "\r\nxxxxx");
  Export("-F", "SCANS/WHOLE.PDF");
  Write("SCANS/CUT.PDF", Read("SCANS/WHOLE.PDF").chopped(40));
  struct Case {
    JobSpec job;
    const char* reason;
  } cases[] = {
      {{.name = "SHORTREC", .images = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\B.TIF"}, .cutBytes = 10},
       "record 2 is short: 320 of 330 bytes"},
      {{.name = "COUNTBAD", .images = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\B.TIF"},
        .spoilRecords = [](auto& r) { r[0].SetNumber(Field::FileCount, 3); }},
       "record 1 counts 3 images, the request file holds 2"},
      {{.name = "IMGGONE", .images = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\GONE.TLC"}},
       "record 2: image C:\\SCANS\\GONE.TLC is missing"},
      {{.name = "NOTIMAGE", .images = {"C:\\SCANS\\BAD.TLC"}},
       "record 1: image C:\\SCANS\\BAD.TLC is not a TLC, TIFF, PNG, CALS or PDF image"},
      {{.name = "BROKEN", .images = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\BROKEN.TLC"}},
       "image 2 (C:\\SCANS\\BROKEN.TLC): tlcexport failed"},
      {{.name = "NOCOPIES", .images = {"C:\\SCANS\\A.TLC"}, .copies = 0}, "record 1 asks for 0 copies (1 to 999)"},
      {{.name = "MANYCOPY", .images = {"C:\\SCANS\\A.TLC"}, .copies = 32767},
       "record 1 asks for 32767 copies (1 to 999)"},
      {{.name = "CUTPDF", .images = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\CUT.PDF"}},
       "record 2: image C:\\SCANS\\CUT.PDF is a PDF cut short"},
      // A pointer file of binary bytes: refused, and the log keeps one line.
      {{.name = "BINPTR", .images = {"C:\\SCANS\\A.TLC"},
        .spoilPointers = QByteArray("\x01\x02", 2) + "C:\\SCANS\\A.TLC\x1b[2J\rXX" + QByteArray("\0\x7f\x85", 3)},
       "record 1: \\x01\\x02C:\\SCANS\\A.TLC\\x1b[2J\\x0dXX"},
      {{.name = "NOREQ", .images = {}}, "no request file NOREQ.JUX"},
  };
  QHash<QString, QStringList> before;
  for (Case& c : cases) before[c.job.name] = FilesOf(MakeJob(c.job));
  QString good = MakeJob({.name = "GOODJOB", .images = {"C:\\SCANS\\A.TLC"}});
  ASSERT_EQ(RunOnce(), 0) << output_.toStdString();

  for (const Case& c : cases) {
    const QString& name = c.job.name;
    EXPECT_FALSE(QFileInfo::exists(H("Request/" + name))) << name.toStdString();
    QStringList after = FilesOf("failed/" + name);
    after.removeAll("Reason.txt");
    after.removeAll("Taken.Jux");
    EXPECT_EQ(after, before[name]) << name.toStdString();  // moved whole
    QString reason = QString::fromUtf8(Read("failed/" + name + "/Reason.txt"));
    EXPECT_TRUE(reason.startsWith(c.reason)) << name.toStdString() << ": " << reason.toStdString();
    QStringList lines = LogOf(name);
    ASSERT_EQ(lines.size(), 1) << name.toStdString();
    EXPECT_TRUE(lines[0].startsWith(name + " (normal) failed: " + c.reason)) << lines[0].toStdString();
  }
  // Every log line is one of a job's (or the start's): nothing garbled it.
  for (const QString& line : Log()) {
    const QString name = line.section(' ', 0, 0);
    EXPECT_TRUE(name == "printmon" || name == "GOODJOB" ||
                std::any_of(std::begin(cases), std::end(cases), [&](const Case& c) { return c.job.name == name; }))
        << line.toStdString();
  }
  // Nothing of a failed job was printed; the good one was.
  QStringList pages = Pages();
  ASSERT_EQ(pages.size(), 1);
  EXPECT_TRUE(pages[0].startsWith("GOODJOB-"));
  EXPECT_FALSE(QFileInfo::exists(H(good)));
}

TEST_F(PrintMonTest, PriorityJobsFirstThenInTheOrderTheyWereCompleted) {
  struct Case {
    const char *queue, *name;
    int secondsAgo;
  } cases[] = {{"Request", "NORMALAA", 100}, {"Request", "NORMALBB", 200}, {"PRequest", "PRIORIAA", 10},
               {"PRequest", "PRIORIBB", 50}, {"Request", "NORMALCC", 300}};
  for (const Case& c : cases) {
    SetDoneTime(MakeJob({.queue = c.queue, .name = c.name, .images = {"C:\\SCANS\\A.TLC"}}), c.secondsAgo);
  }
  ASSERT_EQ(RunOnce(), 0);
  QStringList order;
  for (const QString& line : Log().filter(" printed: ")) order << line.section(' ', 0, 0);
  EXPECT_EQ(order, (QStringList{"PRIORIBB", "PRIORIAA", "NORMALCC", "NORMALBB", "NORMALAA"}));
  EXPECT_TRUE(Log().filter("PRIORIBB (priority)").size() == 1);
}

// What a kill can leave behind, and what the next run makes of it.
TEST_F(PrintMonTest, PicksUpWhereAKillLeftOff) {
  struct Case {
    const char* name;
    std::function<void(const QString& folder)> leave;
    int pages;        // of this job in the output afterwards
    bool printedLog;  // a "printed" line in this run
  } cases[] = {
      // Printed, killed before the removal: only removed.
      {"PRINTDON", [this](const QString& f) { Write(f + "/Printed.Jux", "PRINTDON-1\n"); }, 0, false},
      // Removal cut short after Done.Jux: the rest goes.
      {"REMOVING",
       [this](const QString& f) {
         Write(f + "/Printed.Jux", "REMOVING-1\n");
         QFile::remove(H(f + "/Done.Jux"));
         QFile::remove(H(f + "/REMOVING.JUX"));
       },
       0, false},
      // Killed while its pages were made: made again under the same names.
      {"HALFDONE",
       [this](const QString& f) {
         Write(f + "/Taken.Jux", "HALFDONE-stem\n");
         Write("Printed/HALFDONE-stem-001-001.pdf", "%PDF half");
         Write("Printed/.work/HALFDONE-stem/1.pdf", "junk");
       },
       2, true},
  };
  for (const Case& c : cases) {
    QString folder = MakeJob({.name = c.name, .images = {"C:\\SCANS\\A.TLC"}, .copies = 2});
    c.leave(folder);
  }
  ASSERT_EQ(RunOnce(), 0) << output_.toStdString();
  for (const Case& c : cases) {
    EXPECT_FALSE(QFileInfo::exists(H(QString("Request/") + c.name))) << c.name;
    EXPECT_EQ(Pages().filter(QRegularExpression(QString("^") + c.name)).size(), c.pages) << c.name;
    EXPECT_EQ(LogOf(c.name).filter(" printed: ").size(), c.printedLog ? 1 : 0) << c.name;
  }
  for (const QString& page : Pages()) EXPECT_EQ(printtest::PageCount(H("Printed/" + page)), 1);
  EXPECT_FALSE(QFileInfo::exists(H("failed")));
}

TEST_F(PrintMonTest, KilledWhilePrintingPrintsTheJobExactlyOnceMore) {
  // The export converter stops on its first image until the test says go.
  Script("bin/slowexport", "echo $$ > '" + H("started").toUtf8() + "'\nwhile [ ! -f '" + H("go").toUtf8() +
                               "' ]; do sleep 0.05; done\nexec " JUX_BIN_DIR "/tlcexport \"$@\"");
  WriteIni("ExportExe=" + H("bin/slowexport").toUtf8() + "\n");
  QString job = MakeJob({.name = "KILLEDJB", .images = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\B.TIF"}, .copies = 2});

  QProcess monitor;
  monitor.start(JUX_BIN_DIR "/printmon", {"/I:C:\\PrintMon.Ini"});
  ASSERT_TRUE(monitor.waitForStarted());
  QElapsedTimer timer;
  timer.start();
  while (!QFileInfo::exists(H("started")) && timer.elapsed() < 60000) QThread::msleep(20);
  ASSERT_TRUE(QFileInfo::exists(H("started")));
  QThread::msleep(50);
  monitor.kill();  // SIGKILL in the middle of the job
  monitor.waitForFinished();
  ::kill(pid_t(Read("started").trimmed().toLongLong()), SIGKILL);
  EXPECT_TRUE(QFileInfo::exists(H(job + "/Done.Jux")));  // not lost

  Write("go", "");
  ASSERT_EQ(RunOnce(), 0) << output_.toStdString();
  EXPECT_EQ(Pages().size(), 4);
  EXPECT_EQ(LogOf("KILLEDJB").filter(" printed: ").size(), 1);
  EXPECT_FALSE(QFileInfo::exists(H(job)));
  ASSERT_EQ(RunOnce(), 0);  // and not again
  EXPECT_EQ(Pages().size(), 4);
}

TEST_F(PrintMonTest, PrintsThroughLpWhenAPrinterIsConfigured) {
  Script("bin/lp", "echo \"$*\" >> '" + H("lp.log").toUtf8() + "'");
  WriteIni("Printer=Plotter1\nLpExe=" + H("bin/lp").toUtf8() + "\n");
  QString job = MakeJob({.name = "LPJOBAAA", .images = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\B.TIF"}, .copies = 3});
  ASSERT_EQ(RunOnce(), 0) << output_.toStdString();
  QStringList calls = QString::fromUtf8(Read("lp.log")).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(calls.size(), 2);
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(calls[i].startsWith(QString("-d Plotter1 -n 3 -t LPJOBAAA image %1 ").arg(i + 1)))
        << calls[i].toStdString();
  EXPECT_TRUE(Pages().isEmpty());
  EXPECT_FALSE(QFileInfo::exists(H(job)));
  EXPECT_EQ(LogOf("LPJOBAAA").size(), 1);
}

TEST_F(PrintMonTest, APrinterThatFailsKeepsTheJob) {
  Script("bin/lp", "echo 'lp: The printer or class does not exist.' >&2\nexit 1");
  WriteIni("Printer=Nowhere\nLpExe=" + H("bin/lp").toUtf8() + "\n");
  QString job = MakeJob({.name = "LPFAILED", .images = {"C:\\SCANS\\A.TLC"}});
  QStringList before = FilesOf(job);
  EXPECT_EQ(RunOnce(), 1);
  QStringList kept = FilesOf(job);
  kept.removeAll("Taken.Jux");
  EXPECT_EQ(kept, before);
  QStringList lines = LogOf("LPFAILED");
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines[0].contains("try 1 of 5 not printed")) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].contains("does not exist")) << lines[0].toStdString();
  EXPECT_FALSE(QFileInfo::exists(H("failed")));
}

// A printer that refuses image 2 of a job: each copy of each image is printed
// exactly once, every retry starts at the first image not yet taken and is
// logged, and a job that keeps failing goes to the failed folder, saying
// which of its images were printed.
TEST_F(PrintMonTest, RetriesStartAtTheFirstImageNotYetPrinted) {
  struct Case {
    const char* name;
    int refusals;  // of image 2, before the printer takes it
    int maxTries;
    std::vector<int> exitCodes;  // of the runs, in turn
    std::vector<int> printed;    // accepted lp calls per image
    bool failed;
  } cases[] = {
      {"REFUSTWO", 2, 5, {1, 1, 0}, {1, 1, 1}, false},
      {"ALWAYSNO", 1000, 3, {1, 1, 0}, {1, 0, 0}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Script("bin/lp", "echo \"$*\" >> '" + H("lp.log").toUtf8() + "'\n"
                     "case \"$*\" in *\"image 2 \"*) n=$(cat '" + H("count").toUtf8() + "' 2>/dev/null || echo 0)\n"
                     "  n=$((n + 1)); echo $n > '" + H("count").toUtf8() + "'\n"
                     "  if [ $n -le " + QByteArray::number(c.refusals) + " ]; then echo 'lp: refused' >&2; exit 1; fi;;\n"
                     "esac\n"
                     "echo \"$*\" >> '" + H("accepted.log").toUtf8() + "'");
    WriteIni("Printer=Plotter1\nLpExe=" + H("bin/lp").toUtf8() + "\nMaxTries=" + QByteArray::number(c.maxTries) + "\n");
    QString job = MakeJob({.name = c.name, .images = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\B.TIF", "C:\\SCANS\\A.TLC"},
                           .copies = 2});
    for (int code : c.exitCodes) EXPECT_EQ(RunOnce(), code) << output_.toStdString();

    const QStringList accepted = QString::fromUtf8(Read("accepted.log")).split('\n', Qt::SkipEmptyParts);
    for (int i = 0; i < 3; ++i) {
      const QStringList calls = accepted.filter(QString(" image %1 ").arg(i + 1));
      EXPECT_EQ(calls.size(), c.printed[i]) << "image " << i + 1;
      for (const QString& call : calls) EXPECT_TRUE(call.startsWith("-d Plotter1 -n 2 ")) << call.toStdString();
    }
    const QStringList lines = LogOf(c.name);
    const QStringList retries = lines.filter(QRegularExpression(" try \\d of \\d, from image 2$"));
    EXPECT_EQ(retries.size(), 2) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.filter(" not printed: ").size(), 2);
    if (c.failed) {
      EXPECT_TRUE(QFileInfo::exists(H("failed/") + c.name));
      const QString reason = QString::fromUtf8(Read(QString("failed/") + c.name + "/Reason.txt"));
      EXPECT_TRUE(reason.startsWith("not printed in 3 tries: ")) << reason.toStdString();
      EXPECT_TRUE(reason.contains("failed for image 2: lp: refused; images 1 to 1 were printed")) << reason.toStdString();
      EXPECT_TRUE(lines.last().contains("failed: not printed in 3 tries")) << lines.last().toStdString();
    } else {
      EXPECT_TRUE(lines.last().contains("printed: 3 image(s), 4 page(s) on Plotter1 (images 1 to 1 in an earlier try)"))
          << lines.last().toStdString();
      EXPECT_FALSE(QFileInfo::exists(H(job)));
    }
    for (const char* f : {"lp.log", "accepted.log", "count"}) QFile::remove(H(f));
  }
}

// The monitor never acts outside its queues and the station's drives.
TEST_F(PrintMonTest, NeverActsOutsideItsQueues) {
  // A job folder that is a link to a folder elsewhere, a job in a folder whose
  // name begins with a dot, and images that lead out of the drives.
  QTemporaryDir outside;
  const QString away = outside.path() + "/LINKEDJB";
  QString made = MakeJob({.name = "LINKEDJB", .images = {"C:\\SCANS\\A.TLC"}});
  ASSERT_TRUE(QDir().rename(H(made), away));
  { QFile keep(away + "/unrelated.txt"); ASSERT_TRUE(keep.open(QIODevice::WriteOnly)); keep.write("keep me"); }
  ASSERT_TRUE(QFile::link(away, H("Request/LINKEDJB")));

  const QString dotJob = MakeJob({.name = ".HIDDENJ", .images = {"C:\\SCANS\\A.TLC"}});
  const auto dotBefore = Tree(H(dotJob));

  QFile::copy(H("SCANS/A.TLC"), outside.path() + "/OUT.TLC");
  ASSERT_TRUE(QFile::link(outside.path() + "/OUT.TLC", H("SCANS/LINK.TLC")));
  const QString up = "C:\\..\\" + QFileInfo(outside.path()).fileName() + "\\OUT.TLC";
  struct Case {
    const char* name;
    QString image;
    const char* reason;  // a pattern
  } cases[] = {
      {"HOSTPATH", outside.path() + "/OUT.TLC", "lies outside the station's drives"},
      {"DOTSDOTS", up, "(lies outside the station's drives|is missing)"},
      {"LINKAWAY", "C:\\SCANS\\LINK.TLC", "lies outside the station's drives"},
  };
  for (const Case& c : cases) MakeJob({.name = c.name, .images = {c.image}});

  const auto awayBefore = Tree(outside.path());
  ASSERT_EQ(RunOnce(), 0) << output_.toStdString();
  EXPECT_EQ(Tree(outside.path()), awayBefore);  // byte for byte, the unrelated file too
  EXPECT_TRUE(QFileInfo(H("failed/LINKEDJB")).isSymLink());
  EXPECT_FALSE(QFileInfo(H("Request/LINKEDJB")).exists());
  QStringList lines = LogOf("LINKEDJB");
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines[0].startsWith("LINKEDJB (normal) refused: the job folder is a link")) << lines[0].toStdString();

  EXPECT_EQ(Tree(H(dotJob)), dotBefore);
  lines = LogOf(".HIDDENJ");
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines[0].contains("ignored: a name that begins with a dot")) << lines[0].toStdString();

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString reason = QString::fromUtf8(Read(QString("failed/") + c.name + "/Reason.txt"));
    EXPECT_TRUE(reason.contains(QRegularExpression(c.reason))) << reason.toStdString();
  }
  EXPECT_TRUE(Pages().isEmpty());
}

// Every format the station files is printed: TLC, the scan TIFF, Group 4 and
// PackBits TIFF, PNG, CALS and PDF, one page per image and copy.
TEST_F(PrintMonTest, PrintsEveryFormatTheStationFiles) {
  const struct {
    const char* code;
    const char* file;
  } exports[] = {{"-T", "SCANS/G4.TIF"}, {"-B", "SCANS/PB.TIF"}, {"-N", "SCANS/D.PNG"},
                 {"-C", "SCANS/D.CAL"},  {"-F", "SCANS/D.PDF"}};
  QStringList images = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\B.TIF"};
  for (const auto& e : exports) {
    Export(e.code, e.file);
    images << "C:\\" + QString(e.file).replace('/', '\\');
  }
  QString job = MakeJob({.name = "ALLKINDS", .images = images, .copies = 2});
  ASSERT_EQ(RunOnce(), 0) << output_.toStdString();
  QStringList pages = Pages();
  ASSERT_EQ(pages.size(), 2 * images.size()) << Log().join('\n').toStdString();
  for (const QString& page : pages) EXPECT_EQ(printtest::PageCount(H("Printed/" + page)), 1) << page.toStdString();
  EXPECT_FALSE(QFileInfo::exists(H(job)));
}

TEST(PrintMonLog, ALineStaysOneLine) {
  EXPECT_EQ(printmon::Sanitised(QString::fromLatin1("a\nb\r\x1b[0m\x7f\x85\xe9")), QString::fromLatin1("a\\x0ab\\x0d\\x1b[0m\\x7f\\x85\xe9"));
  EXPECT_EQ(printmon::Sanitised(QString(3000, 'x')).size(), 2003);
}

}  // namespace
