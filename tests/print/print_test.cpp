// Print requests of the workstation: the job files byte for byte, the job
// name, the wait for the print monitor, Auto Set Print with its deferred
// copies, and the check for the unattended-print program.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <functional>
#include <thread>

#include "tests/print/print_support.h"
#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/files/form.h"
#include "varnel/pipeline/print.h"
#include "varnel/pipeline/printhost.h"
#include "varnel/ui/controls.h"

namespace varnel {
namespace {

using printtest::ExpectedRecord;
using testing::StationTest;

// Records every status window call; an empty first line is a close.
class RecordingStatus : public StatusDisplay {
 public:
  QStringList lines;  // line 1 of each call, "" for a close
  void ShowStatusBox(const std::optional<QString>& line1, const std::optional<QString>&,
                     const std::optional<QString>&) override {
    lines << line1.value_or("");
  }
};

class FakeWindows : public WindowList {
 public:
  QList<TopWindow> windows;
  QStringList asked;
  QList<qint64> activated;
  QList<TopWindow> FindWindows(const QString& title) override {
    asked << title;
    return windows;
  }
  void ShowAndActivate(qint64 handle, int showState) override {
    if (showState == 9) activated << handle;
  }
};

// Pauses without waiting; on a given pause the "monitor" takes every job of
// a queue folder (its Done.Jux goes).
class MonitorPump : public testing::RecordingPump {
 public:
  int takeAfter = -1;
  QString queueHost;
  // Set on a call between the job's records while a Done.Jux already stands in
  // a job folder of queueHost.
  bool doneWhileWriting = false;
  void DoEvents() override {
    RecordingPump::DoEvents();
    if (queueHost.isEmpty()) return;
    for (const QString& job : QDir(queueHost).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
      doneWhileWriting = doneWhileWriting || QFileInfo::exists(queueHost + "/" + job + "/Done.Jux");
  }
  void Pause(int ms) override {
    RecordingPump::Pause(ms);
    if (int(pauses.size()) != takeAfter) return;
    for (const QString& job : QDir(queueHost).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
      QFile::remove(queueHost + "/" + job + "/Done.Jux");
  }
};

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    had_ = std::getenv(name) != nullptr;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { had_ ? setenv(name_, saved_.c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::string saved_;
  bool had_ = false;
};

class PrintTest : public StationTest {
 protected:
  PrintTest() : env_("NUMBER_OF_PROCESSORS", "2") {
    UseStationFolder();
    st_->RequestDir = "C:\\Dudozev1\\Request";
    st_->PriorityDir = "C:\\Dudozev1\\PRequest";
    st_->TempDir = "C:\\Temp\\";
    for (const char* d : {"Dudozev1/Request", "Dudozev1/PRequest", "Temp", "SCANS"}) QDir().mkpath(Host(d));
    WriteScript("bin/unattend", "echo \"$*\" >> '" + Host("unattend.log").toUtf8() + "'");
    st_->UnattendExe = "C:\\bin\\unattend";
    st_->seams.status = &status_;
    st_->seams.topWindows = &windowList_;
    st_->seams.pump = &pump_;
    box_.setChecked(false);
    form_.chkAutoSetPrint = &box_;
  }

  // The job folders of a queue (host paths relative to the temporary folder).
  QStringList Jobs(const QString& queue) {
    return QDir(Host("Dudozev1/" + queue)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  }
  QStringList Files(std::initializer_list<const char*> names) {
    QStringList files{QString()};
    for (const char* n : names) files << n;
    return files;
  }
  QList<QByteArray> Records(const QString& relativeRequestFile) {
    QByteArray bytes = ReadFile(relativeRequestFile);
    QList<QByteArray> records;
    for (qsizetype at = 0; at < bytes.size(); at += 330) records << bytes.mid(at, 330);
    return records;
  }

  ScopedEnv env_;
  RecordingStatus status_;
  FakeWindows windowList_;
  MonitorPump pump_;
  QCheckBox box_;
  Form form_;
};

TEST_F(PrintTest, ThreeImagesGiveThreePointerFilesAndThreeRecords) {
  QDir().mkpath(Host("Job"));
  for (const char* f : {"SCANS/A.TLC", "SCANS/DRAWING.A.TIF", "SCANS/PLAN.TLC"}) WriteFile(f, "x");
  ASSERT_TRUE(WritePrintRequest(*st_, "C:\\Job\\BAKOTIRU.JUX",
                                Files({"C:\\SCANS\\A.TLC", "  C:\\SCANS\\DRAWING.A.TIF ", "C:\\SCANS\\PLAN.TLC"}),
                                3, 2, "C:\\Job"));
  EXPECT_EQ(ReadFile("Job/BAKOTIRU.JUX").size(), 990);
  EXPECT_EQ(QDir(Host("Job")).entryList({"*.PTR"}, QDir::Files),
            (QStringList{"A.PTR", "DRAWING.PTR", "PLAN.PTR"}));
  // The pointer holds the image's short path: DRAWING.A.TIF is no 8.3 name.
  QByteArray shortPath = GetShortPath("C:\\SCANS\\DRAWING.A.TIF").toLatin1();
  EXPECT_FALSE(shortPath.contains("DRAWING.A"));
  EXPECT_EQ(ReadFile("Job/DRAWING.PTR"), shortPath + "\r\n");

  QList<QByteArray> records = Records("Job/BAKOTIRU.JUX");
  const char* ptrs[] = {"A.PTR", "DRAWING.PTR", "PLAN.PTR"};
  const char* paths[] = {"C:\\SCANS\\A.TLC", "C:\\SCANS\\DRAWING.A.TIF", "C:\\SCANS\\PLAN.TLC"};
  for (int i = 0; i < 3; ++i) {
    ExpectedRecord want{"Job", ptrs[i], paths[i]};
    want.fileCount = 3;
    want.copies = 2;
    EXPECT_EQ(records[i].toHex(' '), want.Bytes().toHex(' ')) << "record " << i + 1;
  }
}

TEST_F(PrintTest, PointerFileNames) {
  struct Case {
    QStringList images;
    QStringList pointers;  // in record order, as named in the records
  } cases[] = {
      {{"C:\\SCANS\\DRAWING.A.TIF"}, {"DRAWING.PTR"}},
      {{"C:\\MY.SCANS\\PLAN.TLC"}, {"PLAN.PTR"}},  // a dot in a folder does not count
      {{"C:\\SCANS\\PLAN"}, {"PLAN.PTR"}},         // no dot: the whole name
      // Two images of one name keep a pointer each.
      {{"C:\\SCANS\\PLAN.TLC", "C:\\MY.SCANS\\PLAN.TLC", "C:\\SCANS\\PLAN.TIF"},
       {"PLAN.PTR", "PLAN~2.PTR", "PLAN~3.PTR"}},
      {{"C:\\SCANS\\LONGNAME1.TLC", "C:\\OTHER\\LONGNAME1.TLC"}, {"LONGNAME1.PTR", "LONGNA~2.PTR"}},
  };
  for (const Case& c : cases) {
    QDir(Host("Job")).removeRecursively();
    QDir().mkpath(Host("Job"));
    QStringList files{QString()};
    files << c.images;
    ASSERT_TRUE(WritePrintRequest(*st_, "C:\\Job\\JOB.JUX", files, int16_t(c.images.size()), 1, "C:\\Job"));
    QList<QByteArray> records = Records("Job/JOB.JUX");
    ASSERT_EQ(records.size(), c.images.size());
    for (int i = 0; i < c.images.size(); ++i) {
      QByteArray ptr = records[i].mid(8, 12).trimmed();
      // The record names the pointer file by its short (8.3) name.
      QByteArray shortName = StripPath(GetShortPath("C:\\Job\\" + c.pointers[i])).toLatin1();
      EXPECT_LE(shortName.size(), 12);
      EXPECT_EQ(ptr, shortName) << c.images[i].toStdString();
      // Each pointer file holds its own image (the image does not exist: empty short path).
      EXPECT_TRUE(Exists("Job/" + c.pointers[i])) << c.pointers[i].toStdString();
    }
  }
}

TEST_F(PrintTest, LoadedSettingsTravelThroughUnchanged) {
  // A settings record with every byte set, as another request-queue program may write it.
  QByteArray settings(330, '\0');
  for (int i = 0; i < 330; ++i) settings[i] = char(0x20 + i % 90);
  st_->RequestTemplate = settings;
  st_->TemplateLoaded = true;
  QDir().mkpath(Host("Job"));
  WriteFile("SCANS/A.TLC", "x");
  ASSERT_TRUE(WritePrintRequest(*st_, "C:\\Job\\KIMOSARU.JUX", Files({"C:\\SCANS\\A.TLC"}), 1, 4, "C:\\Job"));
  QByteArray record = ReadFile("Job/KIMOSARU.JUX");
  ASSERT_EQ(record.size(), 330);
  QByteArray want = settings;
  ExpectedRecord set{"Job", "A.PTR", "C:\\SCANS\\A.TLC"};
  QByteArray setBytes = set.Bytes();
  for (auto [offset, size] : {std::pair{0, 20 + 128}, {244, 1}})
    want.replace(offset, size, setBytes.mid(offset, size));
  want.replace(282, 4, QByteArray("\x01\x00\x04\x00", 4));  // FileCount 1, Copies 4
  EXPECT_EQ(record.toHex(' '), want.toHex(' '));
}

TEST_F(PrintTest, StripPath) {
  struct Case {
    const char *path, *name;
  } cases[] = {{"C:\\SCANS\\A.TIF", "A.TIF"}, {"C:A.TIF", "A.TIF"},  {"A.TIF", "A.TIF"},
               {"C:\\SCANS\\", ""},        {"\\\\SRV\\SHARE\\X.TLC", "X.TLC"},
               {"C:\\Q\\D:E:F", "E:F"},      {"", ""}};
  for (const Case& c : cases) EXPECT_EQ(StripPath(c.path), c.name) << c.path;
}

TEST_F(PrintTest, MakeUniqueNameAlternatesAndAvoidsExistingFiles) {
  QRegularExpression pattern("^([BCDFGHJKLMNPQRSTVWXYZ][AEIOU]){4}$");
  QSet<QString> seen;
  for (int i = 0; i < 200; ++i) {
    QString name = MakeUniqueName(st_->RequestDir);
    EXPECT_TRUE(pattern.match(name).hasMatch()) << name.toStdString();
    seen.insert(name);
  }
  EXPECT_GT(seen.size(), 190);  // random, not one name over and over

  // Scripted letters: the first name (BABABABA) is taken by a file, the second
  // (CECECECE) by a folder, which the test does not see.
  int calls = 0;
  RandomPick script = [&calls](int) { return calls++ < 8 ? 0 : 1; };
  WriteFile("Dudozev1/Request/BABABABA", "");
  QDir().mkpath(Host("Dudozev1/Request/CECECECE"));
  EXPECT_EQ(MakeUniqueName("C:\\Dudozev1\\Request  ", script), "CECECECE");
  // Every letter is reachable: the generator is asked for 21 consonants and 5 vowels.
  QList<int> asked;
  MakeUniqueName(st_->RequestDir, [&asked](int n) { asked << n; return n - 1; });
  EXPECT_EQ(asked, (QList<int>{21, 5, 21, 5, 21, 5, 21, 5}));
}

TEST_F(PrintTest, QueuesACompleteJobWithDoneJuxLast) {
  WriteFile("SCANS/A.TLC", "x");
  pump_.queueHost = Host("Dudozev1/PRequest");
  PlotFile(*st_, Files({"C:\\SCANS\\A.TLC"}), 1, 3, true);
  QStringList jobs = Jobs("PRequest");
  ASSERT_EQ(jobs.size(), 1);
  QString job = "Dudozev1/PRequest/" + jobs[0];
  QStringList files = QDir(Host(job)).entryList(QDir::Files);
  files.sort();
  QStringList names{"A.PTR", "Done.Jux", jobs[0] + ".JUX"};
  names.sort();
  EXPECT_EQ(files, names);
  // The pump runs after the image's pointer file and record are written:
  // Done.Jux was not there yet, and it is not older than the pointer file.
  EXPECT_EQ(pump_.doEvents, 1);
  EXPECT_FALSE(pump_.doneWhileWriting);
  EXPECT_GE(QFileInfo(Host(job + "/Done.Jux")).lastModified(),
            QFileInfo(Host(job + "/A.PTR")).lastModified());
  EXPECT_EQ(ReadFile(job + "/Done.Jux"), "Done!\r\n");
  ExpectedRecord want{jobs[0].toLatin1(), "A.PTR", "C:\\SCANS\\A.TLC"};
  want.copies = 3;
  EXPECT_EQ(ReadFile(job + "/" + jobs[0] + ".JUX").toHex(' '), want.Bytes().toHex(' '));
  // The request file's time stamp is set back a year.
  QDateTime stamp = QFileInfo(Host(job + "/" + jobs[0] + ".JUX")).lastModified();
  EXPECT_NEAR(stamp.daysTo(QDateTime::currentDateTime()), 365, 1);
  EXPECT_GE(QFileInfo(Host(job + "/Done.Jux")).lastModified(), stamp.addDays(365).addSecs(-5));
  EXPECT_TRUE(Jobs("Request").isEmpty());
  EXPECT_EQ(status_.lines, (QStringList{"Printing scanned in image", ""}));
  EXPECT_EQ(windows_.pointers.last(), 0);
}

TEST_F(PrintTest, StartsTheUnattendedProgramOnlyWithoutItsVisibleWindow) {
  struct Case {
    QList<WindowList::TopWindow> windows;
    bool started;
  } cases[] = {{{}, true}, {{{7, false}}, true}, {{{7, false}, {8, true}}, false}};
  for (const Case& c : cases) {
    windowList_.windows = c.windows;
    processes_.started.clear();
    PlotFile(*st_, Files({"C:\\SCANS\\A.TLC"}), 1, 1, false);
    EXPECT_EQ(processes_.started, c.started ? QStringList{"C:\\bin\\unattend /S"} : QStringList{});
    EXPECT_EQ(windowList_.asked.last(), kUnattendTitle);
  }
  EXPECT_TRUE(windowList_.activated.isEmpty());  // looked for, not activated
  EXPECT_EQ(Jobs("Request").size(), 3);
  // With the activate flag the first visible one is restored and activated.
  EXPECT_TRUE(IsAppRunning(*st_, kUnattendTitle, true));
  EXPECT_EQ(windowList_.activated, QList<qint64>{8});
}

TEST_F(PrintTest, AMissingQueueFolderIsReportedAndNothingIsWritten) {
  for (bool priority : {true, false}) {
    QDir(Host("Dudozev1")).removeRecursively();
    QDir().mkpath(Host("Dudozev1"));
    prompts_.shown.clear();
    status_.lines.clear();
    PlotFile(*st_, Files({"C:\\SCANS\\A.TLC"}), 1, 1, priority);
    ASSERT_EQ(prompts_.shown.size(), 1);
    EXPECT_EQ(prompts_.shown[0].text, QString("Error: Cant Find Printer Path : ") +
                                          (priority ? st_->PriorityDir : st_->RequestDir));
    EXPECT_EQ(prompts_.shown[0].icon, Prompts::Icon::Critical);
    EXPECT_TRUE(QDir(Host("Dudozev1")).isEmpty());
    EXPECT_EQ(status_.lines.last(), "");  // closed
    EXPECT_EQ(windows_.pointers.last(), 0);
  }
}

TEST_F(PrintTest, OneProcessorWaitsUntilTheMonitorTookTheJob) {
  struct Case {
    const char* processors;
    bool waits;
  } cases[] = {{"1", true}, {"2", false}, {"0", true}, {"", true}, {"x", true}, {" 4", false}};
  pump_.queueHost = Host("Dudozev1/PRequest");
  for (const Case& c : cases) {
    ScopedEnv env("NUMBER_OF_PROCESSORS", c.processors);
    QDir(Host("Dudozev1/PRequest")).removeRecursively();
    QDir().mkpath(Host("Dudozev1/PRequest"));
    pump_.pauses.clear();
    status_.lines.clear();
    pump_.takeAfter = 2;
    PlotFile(*st_, Files({"C:\\SCANS\\A.TLC"}), 1, 1, true);
    QStringList jobs = Jobs("PRequest");
    ASSERT_EQ(jobs.size(), 1) << c.processors;
    bool doneLeft = Exists("Dudozev1/PRequest/" + jobs[0] + "/Done.Jux");
    if (c.waits) {
      EXPECT_EQ(pump_.pauses, (QList<int>{2000, 2000})) << c.processors;
      EXPECT_FALSE(doneLeft);
      EXPECT_EQ(status_.lines, (QStringList{"Printing scanned in image",
                                            "Waiting for scanned image to finish printing.", ""}));
    } else {
      EXPECT_TRUE(pump_.pauses.isEmpty()) << c.processors;
      EXPECT_TRUE(doneLeft);
      EXPECT_EQ(status_.lines, (QStringList{"Printing scanned in image", ""}));
    }
  }
}

TEST_F(PrintTest, EscEndsTheWaitAndTheJobStaysQueued) {
  ScopedEnv env("NUMBER_OF_PROCESSORS", "1");
  st_->AbortRequested = true;
  PlotFile(*st_, Files({"C:\\SCANS\\A.TLC"}), 1, 1, true);
  ASSERT_EQ(Jobs("PRequest").size(), 1);
  EXPECT_TRUE(Exists("Dudozev1/PRequest/" + Jobs("PRequest")[0] + "/Done.Jux"));
  EXPECT_EQ(status_.lines.last(), "");
}

TEST_F(PrintTest, WithoutTheVariableTheProcessorCountDecides) {
  ScopedEnv env("NUMBER_OF_PROCESSORS", nullptr);
  EXPECT_EQ(NumberOfProcessors(), double(std::max(1u, std::thread::hardware_concurrency())));
  ScopedEnv set("NUMBER_OF_PROCESSORS", "1");
  EXPECT_EQ(NumberOfProcessors(), 1.0);
}

TEST_F(PrintTest, TouchSetsTheTimeStamp) {
  WriteFile("stamp.txt", "x");
  QDateTime when = QDateTime::fromString("2025-12-08T10:11:12.345", Qt::ISODateWithMs);
  ASSERT_TRUE(MhTouchFiles("C:\\stamp.txt", when, 2));
  EXPECT_EQ(QFileInfo(Host("stamp.txt")).lastModified(), when);
  EXPECT_FALSE(MhTouchFiles("C:\\missing.txt", when, 2));
}

// Auto Set Print: the request-queue program is a script that writes what the test says.
class AutoSetPrintTest : public PrintTest {
 protected:
  AutoSetPrintTest() {
    st_->RequestExe = "C:\\bin\\reqqueue";
    SetCopies(3, true);
  }
  // The request-queue program answers OK with these settings (through the real one).
  void SetCopies(int copies, bool deferred) {
    WriteScript("bin/reqqueue", QString("exec '%1/reqqueue' \"$@\" /Q /C:%2 /D:%3 /M:Film")
                                    .arg(JUX_BIN_DIR).arg(copies).arg(deferred ? 1 : 0).toUtf8());
  }
  void Cancel() { WriteScript("bin/reqqueue", "exit 0"); }
  void Click(bool on) {
    box_.setChecked(on);
    chkAutoSetPrint_Click(*st_, form_);
  }
  // What step 18 of a scan does with Auto Set Print on.
  void Scan(const QString& file) {
    QStringList list{QString(), file};
    if (st_->DeferredPrint) {
      ++st_->PrintListCount;
      while (st_->PrintList.size() <= st_->PrintListCount) st_->PrintList << QString();
      st_->PrintList[st_->PrintListCount] = file;
      PlotFile(*st_, list, 1, 1, true);
    } else {
      PlotFile(*st_, list, 1, st_->PrintCopies, true);
    }
  }
  bool Marker() { return Exists("Dudozev1/PRequest.JUX"); }
};

TEST_F(AutoSetPrintTest, FinishPrintingQuestions) {
  struct Case {
    int copies;
    const char* question;
  } cases[] = {
      {2, "There is 1 copy of each scanned file remaining to print.  Do you want it printed?"},
      {3, "There are 2 copies of each scanned file remaining to print.  Do you want them printed?"},
      {5, "There are 4 copies of each scanned file remaining to print.  Do you want them printed?"},
  };
  for (const Case& c : cases) {
    SetCopies(c.copies, true);
    Click(true);
    Scan("C:\\SCANS\\A.TLC");
    prompts_.shown.clear();
    prompts_.answers = {Prompts::Answer::No};
    Click(false);
    ASSERT_EQ(prompts_.shown.size(), 1) << c.copies;
    EXPECT_EQ(prompts_.shown[0].text, c.question);
    EXPECT_EQ(prompts_.shown[0].title, "Finish Printing");
    EXPECT_EQ(prompts_.shown[0].icon, Prompts::Icon::Information);
    EXPECT_EQ(prompts_.shown[0].buttons, Prompts::Buttons::YesNo);
    EXPECT_TRUE(Jobs("Request").isEmpty());  // No: nothing more queued
    EXPECT_FALSE(Marker());
  }
}

TEST_F(AutoSetPrintTest, NoQuestionWithoutDeferredCopies) {
  struct Case {
    int copies;
    bool deferred;
    int scans;
  } cases[] = {{1, true, 2}, {3, false, 2}, {3, true, 0}};
  for (const Case& c : cases) {
    SetCopies(c.copies, c.deferred);
    Click(true);
    for (int i = 0; i < c.scans; ++i) Scan("C:\\SCANS\\A.TLC");
    prompts_.shown.clear();
    Click(false);
    EXPECT_TRUE(prompts_.shown.isEmpty()) << c.copies << c.deferred << c.scans;
    EXPECT_FALSE(Marker());
    EXPECT_FALSE(st_->TemplateLoaded);
  }
}

TEST_F(AutoSetPrintTest, CancelledSettingsSwitchTheBoxBackOff) {
  Cancel();
  WriteFile("Temp/TempScan.JUX", QByteArray(330, 'x'));  // left from before: deleted first
  Click(true);
  EXPECT_FALSE(box_.isChecked());
  EXPECT_FALSE(st_->AutoSetPrint);
  EXPECT_FALSE(st_->TemplateLoaded);
  EXPECT_FALSE(Marker());
  EXPECT_FALSE(Exists("Temp/TempScan.JUX"));
  // A settings file too short for a record counts as no settings, with a message.
  WriteScript("bin/reqqueue", "printf 'short' > '" + Host("Temp/TempScan.JUX").toUtf8() + "'");
  prompts_.shown.clear();
  Click(true);
  EXPECT_FALSE(box_.isChecked());
  EXPECT_FALSE(st_->TemplateLoaded);
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_TRUE(prompts_.shown[0].text.startsWith("The print settings are incomplete"));
}

TEST_F(AutoSetPrintTest, SwitchingOffOnUnloadAsksOnce) {
  SetCopies(2, true);
  Click(true);
  Scan("C:\\SCANS\\A.TLC");
  prompts_.answers = {Prompts::Answer::Yes};
  SwitchAutoSetPrintOff(*st_, form_);
  EXPECT_FALSE(box_.isChecked());
  EXPECT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(Jobs("Request").size(), 1);
  SwitchAutoSetPrintOff(*st_, form_);  // already off: nothing
  Click(true);                          // on again, cancelled: the old list is not offered again
  Cancel();
  Click(true);
  EXPECT_EQ(prompts_.shown.size(), 1);
}

// Two scans with 3 copies deferred: each printed once at once through the
// priority queue, the other two copies of both together at the end.
TEST_F(AutoSetPrintTest, DeferredPrintingEndToEnd) {
  ASSERT_TRUE(printtest::WriteTlc(Host("SCANS/FIRST.TLC")));
  ASSERT_TRUE(printtest::WriteTlc(Host("SCANS/SECOND.TLC"), 300, 200));
  Click(true);
  ASSERT_TRUE(box_.isChecked());
  EXPECT_TRUE(st_->TemplateLoaded);
  EXPECT_TRUE(st_->DeferredPrint);
  EXPECT_EQ(st_->PrintCopies, 3);
  EXPECT_TRUE(Marker());
  EXPECT_EQ(ReadFile("Dudozev1/PRequest.JUX"), "");
  EXPECT_TRUE(processes_.started.contains("\"C:\\bin\\reqqueue\" /S C:\\Temp\\TempScan.JUX"));

  Scan("C:\\SCANS\\FIRST.TLC");
  Scan("C:\\SCANS\\SECOND.TLC");
  QStringList priority = Jobs("PRequest");
  ASSERT_EQ(priority.size(), 2);
  QStringList printedOnce;
  for (const QString& job : priority) {
    QList<QByteArray> records = Records("Dudozev1/PRequest/" + job + "/" + job + ".JUX");
    ASSERT_EQ(records.size(), 1);
    ExpectedRecord want{job.toLatin1(), "", ""};
    want.media = "Film";
    QByteArray image = records[0].mid(20, 128).trimmed();
    want.ptrName = QFileInfo(QString(image).replace('\\', '/')).baseName().toLatin1() + ".PTR";
    want.imagePath = image;
    EXPECT_EQ(records[0].toHex(' '), want.Bytes().toHex(' '));
    printedOnce << image;
  }
  printedOnce.sort();
  EXPECT_EQ(printedOnce, (QStringList{"C:\\SCANS\\FIRST.TLC", "C:\\SCANS\\SECOND.TLC"}));

  prompts_.answers = {Prompts::Answer::Yes};
  Click(false);
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].text,
            "There are 2 copies of each scanned file remaining to print.  Do you want them printed?");
  EXPECT_FALSE(Marker());
  QStringList normal = Jobs("Request");
  ASSERT_EQ(normal.size(), 1);
  QList<QByteArray> records = Records("Dudozev1/Request/" + normal[0] + "/" + normal[0] + ".JUX");
  ASSERT_EQ(records.size(), 2);
  const char* names[] = {"FIRST", "SECOND"};
  for (int i = 0; i < 2; ++i) {
    ExpectedRecord want{normal[0].toLatin1(), QByteArray(names[i]) + ".PTR",
                        QByteArray("C:\\SCANS\\") + names[i] + ".TLC"};
    want.media = "Film";
    want.fileCount = 2;
    want.copies = 2;
    EXPECT_EQ(records[i].toHex(' '), want.Bytes().toHex(' ')) << "in scan order, record " << i + 1;
  }

  // A request after Auto Set Print went off uses the defaults again.
  PlotFile(*st_, Files({"C:\\SCANS\\FIRST.TLC"}), 1, 1, false);
  ASSERT_EQ(Jobs("Request").size(), 2);

  // The print monitor prints them: 1 + 1 + 2 x 2 + 1 pages.
  WriteFile("PrintMon.Ini", QString("[PrintMon]\nRequestDir=C:\\Dudozev1\\Request\n"
                                    "PriorityDir=C:\\Dudozev1\\PRequest\nOutputDir=C:\\Printed\n"
                                    "FailedDir=C:\\failed\nLogFile=C:\\PrintMon.Log\n")
                                .toUtf8());
  QProcess monitor;
  monitor.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
  monitor.start(JUX_BIN_DIR "/printmon", {"/1", "/I:C:\\PrintMon.Ini"});
  ASSERT_TRUE(monitor.waitForFinished(120000));
  EXPECT_EQ(monitor.exitCode(), 0) << monitor.readAllStandardOutput().toStdString();
  QStringList pages = printtest::PdfPages(Host("Printed"));
  EXPECT_EQ(pages.size(), 7);
  for (const QString& page : pages) EXPECT_EQ(printtest::PageCount(Host("Printed/" + page)), 1);
  EXPECT_TRUE(Jobs("Request").isEmpty());
  EXPECT_TRUE(Jobs("PRequest").isEmpty());
}

TEST_F(PrintTest, ARunningProcessOfTheProgramIsItsWindow) {
  // A copy of sleep stands in for the unattended-print program.
  QDir().mkpath(Host("bin"));
  ASSERT_TRUE(QFile::copy("/bin/sleep", Host("bin/Unattend")));
  QFile::setPermissions(Host("bin/Unattend"), QFile::ReadOwner | QFile::ExeOwner);
  st_->UnattendExe = "C:\\bin\\Unattend";
  ProcessWindowList host([this](const QString& title) {
    return title == kUnattendTitle ? st_->UnattendExe : QString();
  });
  st_->seams.topWindows = &host;
  EXPECT_FALSE(IsAppRunning(*st_, kUnattendTitle, false));

  QProcess program;
  program.start(Host("bin/Unattend"), {"30"});
  ASSERT_TRUE(program.waitForStarted());
  // A child just started may not have taken its program's image yet.
  auto eventually = [](const std::function<bool()>& seen) {
    for (int i = 0; i < 300 && !seen(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return seen();
  };
  ASSERT_TRUE(eventually([&] { return FindVisibleWindow(*st_, kUnattendTitle).has_value(); }));
  EXPECT_EQ(FindVisibleWindow(*st_, kUnattendTitle), std::optional<qint64>(program.processId()));
  EXPECT_TRUE(IsAppRunning(*st_, kUnattendTitle, true));
  EXPECT_FALSE(IsAppRunning(*st_, "Another Title", false));
  // A shell script counts as its program too.
  WriteScript("bin/unattend.sh", "while :; do sleep 1; done");
  EXPECT_TRUE(ProcessesOf(Host("bin/unattend.sh")).isEmpty());
  QProcess script;
  script.start(Host("bin/unattend.sh"));
  ASSERT_TRUE(script.waitForStarted());
  ASSERT_TRUE(eventually([&] { return !ProcessesOf(Host("bin/unattend.sh")).isEmpty(); }));
  EXPECT_EQ(ProcessesOf(Host("bin/unattend.sh")), QList<qint64>{script.processId()});
  program.kill();
  program.waitForFinished();
  script.kill();
  script.waitForFinished();
  EXPECT_TRUE(ProcessesOf(Host("bin/unattend.sh")).isEmpty());
  EXPECT_FALSE(IsAppRunning(*st_, kUnattendTitle, false));
}

}  // namespace
}  // namespace varnel
