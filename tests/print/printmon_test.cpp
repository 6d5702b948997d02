// The print monitor as a program: complete, incomplete and malformed jobs,
// the order of the queues, the printer, and kills at any point.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <QCoreApplication>
#include <QDir>
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
  };
  QString MakeJob(const JobSpec& job) {
    QString folder = job.queue + "/" + job.name;
    QDir().mkpath(H(folder));
    QList<printreq::RequestRecord> records;
    for (const QString& image : job.images) {
      printreq::RequestRecord r = printreq::RequestRecord::Defaults();
      QString base = image.section('\\', -1).section('.', 0, 0);
      Write(folder + "/" + base + ".PTR", image.toLatin1() + "\r\n");
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
       "record 1: image C:\\SCANS\\BAD.TLC is not a TLC, TIFF or PDF image"},
      {{.name = "BROKEN", .images = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\BROKEN.TLC"}},
       "image 2 (C:\\SCANS\\BROKEN.TLC): tlcexport failed"},
      {{.name = "NOCOPIES", .images = {"C:\\SCANS\\A.TLC"}, .copies = 0}, "record 1 asks for 0 copies"},
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
  EXPECT_TRUE(lines[0].contains("not printed yet")) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].contains("does not exist")) << lines[0].toStdString();
  EXPECT_FALSE(QFileInfo::exists(H("failed")));
}

}  // namespace
