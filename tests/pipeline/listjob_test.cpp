// A scan-list job beyond one run of the window: the journal that lets a job
// killed half-way go on where it stopped, and the report of what the list's
// files and database say.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QThread>
#include <cstring>
#include <memory>

#include "tests/converters/tiffref.h"
#include "tests/pipeline/support/road.h"
#include "tests/support/simcard.h"
#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/hostfiles.h"
#include "varnel/files/scanlist.h"
#include "varnel/pipeline/journal.h"
#include "varnel/pipeline/listreport.h"
#include "varnel/pipeline/workflow.h"

namespace varnel {
namespace {

using testing::StationTest;

class ListJobTest : public StationTest {
 protected:
  ListJobTest() {
    UseStationFolder();
    WriteFile("Temp/.keep", "");
    st_->TempDir = "C:\\Temp\\";
    road_form_ = std::make_unique<testing::RoadForm>(*st_);
    Form& f = road_form_->form;
    f.cboFormat->addItem("TLC Compressed raster", 1);
    files_ = &road_form_->naming;
    road_ = &road_form_->road;
  }

  // A list of n entries C:\JOB\Dn.TLC, loaded as the window loads it.
  void LoadList(int n, const QString& name = "C:\\JOB.LST") {
    QByteArray text;
    for (int i = 1; i <= n; ++i) text += "C:\\JOB\\D" + QByteArray::number(i) + ".TLC,sheet\r\n";
    WriteFile(name.mid(3).replace('\\', '/'), text);
    LoadScanList(*st_, name);
    files_->DisplayFileName();
  }
  // One pass of the road as far as the journal sees it: the sheet filed
  // (written onto the target) or not, and its database line.
  void Pass(bool files) {
    JournalPass pass(*road_, "JOB");
    QThread::msleep(5);  // the filed image is newer than the pass
    if (!files) return;
    WriteFile("JOB/" + st_->ScanFileName.section('\\', -1), "image " + st_->ScanFileName.toUtf8());
    Add2DatabaseLine();
  }
  void Add2DatabaseLine() {
    QByteArray line = "\"JOB\", \"" + st_->ScanFileName.toUtf8() + "\"\r\n";
    WriteFile("JOB/Database.Asc", ReadFile("JOB/Database.Asc") + line);
    WriteFile("Station/Database.All", ReadFile("Station/Database.All") + line);
  }
  int Lines(const QString& relative, const QString& file) {
    int n = 0;
    for (const QByteArray& line : ReadFile(relative).split('\n')) n += line.contains(file.toUtf8());
    return n;
  }
  // The start-up's channel reset: a program that takes its time, then leaves a mark.
  void StartUpReset() {
    WriteScript("bin/juxstat", "sleep 0.4; touch '" + Host("reset.done").toUtf8() + "'");
    QFile::remove(Host("reset.done"));
    st_->StartupResetTask = processes_.Shell("C:\\bin\\juxstat /F /S", ShellWindow::Hide);
  }

  std::unique_ptr<testing::RoadForm> road_form_;
  FileNaming* files_ = nullptr;
  ScanRoad* road_ = nullptr;
};

TEST_F(ListJobTest, TheJournalReadsBackWhatWasWritten) {
  ScanJournal j;
  j.listFile = "C:\\LISTS\\JOB 12.LST";
  j.entries = 12;
  j.position = 3;
  j.filed[1] = {"C:\\JOB\\A.TLC", 1700000000123, 4567};
  j.filed[2] = {"C:\\JOB\\B.TIF", 1700000001123, 1};
  j.pending = ScanJournal::Pending{3, "C:\\JOB\\C.TLC", "C:\\JOB", "a|b, \"c\"", 1700000002000,
                                   FileState{true, 99, 1600000000000}, 120, 3400};
  std::optional<ScanJournal> back = ParseJournal(FormatJournal(j));
  ASSERT_TRUE(back);
  EXPECT_EQ(FormatJournal(*back), FormatJournal(j));
  EXPECT_EQ(back->pending->dataText, "a|b, \"c\"");
  EXPECT_EQ(back->pending->before, (FileState{true, 99, 1600000000000}));

  // Anything else is no journal, and is never taken for one.
  const QByteArray good = FormatJournal(j);
  for (const QByteArray& bad :
       {QByteArray(), QByteArray("List=C:\\A.LST\r\n"), good.left(good.indexOf("Entries")),
        QByteArray(good).replace("Entries=12", "Entries=twelve"),
        QByteArray(good).replace("|4567", ""), QByteArray(good).replace("Position", "Posit1on"),
        QByteArray(good).replace("Entries=12", "Entries=0")}) {
    EXPECT_FALSE(ParseJournal(bad)) << bad.toStdString();
  }

  // Records appended after it: a later one overrides, a Position line ends
  // the pass under way, and a last line cut short by a kill is left out.
  back = ParseJournal(good +
                      "Filed=2|C:\\JOB\\B.TIF|1700000009000|77\r\nPosition=4\r\nFiled=4|C:\\JO");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->filed[2].size, 77);
  EXPECT_EQ(back->filed.keys(), (QList<int>{1, 2}));
  EXPECT_FALSE(back->pending);
  EXPECT_EQ(back->position, 4);
}

TEST_F(ListJobTest, EachPassOfAListIsJournalledAndTheEndOfTheListRemovesIt) {
  // Outside a list nothing is written.
  st_->ScanFileName = "C:\\JOB\\T.TLC";
  Pass(true);
  EXPECT_FALSE(Exists("Station/ScanList.Jnl"));

  LoadList(3);
  Pass(true);   // entry 1 filed
  ASSERT_TRUE(files_->SetNewName());
  Pass(false);  // entry 2: the scan failed
  std::optional<ScanJournal> j = ReadJournal(*st_);
  ASSERT_TRUE(j);
  EXPECT_EQ(j->listFile, "C:\\JOB.LST");
  EXPECT_EQ(j->entries, 3);
  EXPECT_EQ(j->position, 2);
  EXPECT_FALSE(j->pending);
  EXPECT_EQ(j->filed.keys(), QList<int>{1});
  EXPECT_EQ(j->filed[1].file, "C:\\JOB\\D1.TLC");
  EXPECT_EQ(j->filed[1].size, QFileInfo(Host("JOB/D1.TLC")).size());
  EXPECT_TRUE(IsFiled(*j, 1));
  EXPECT_EQ(FirstUnfiled(*j), 2);
  EXPECT_FALSE(Exists("Station/ScanList.Jnl.tmp"));
  // A file changed behind the journal's back is no longer filed.
  WriteFile("JOB/D1.TLC", "something else");
  EXPECT_EQ(FirstUnfiled(*j), 1);

  // While a pass runs, the journal names it.
  {
    JournalPass pass(*road_, "JOB");
    j = ReadJournal(*st_);
    ASSERT_TRUE(j && j->pending);
    EXPECT_EQ(j->pending->index, 2);
    EXPECT_EQ(j->pending->file, "C:\\JOB\\D2.TLC");
    EXPECT_EQ(j->pending->dataText, "JOB");
    EXPECT_EQ(j->pending->folder, "C:\\JOB");
    EXPECT_EQ(j->pending->ascSize, ReadFile("JOB/Database.Asc").size());
  }
  st_->ScanListMode = true;
  st_->CurScanCnt = 3;
  st_->ScanFileName = st_->LastScanFile = "C:\\JOB\\D3.TLC";
  st_->NewScanMode = false;
  st_->ExportExe = "C:\\bin\\none";  // no statistics in this test
  ListRunEnded(*st_);
  EXPECT_FALSE(Exists("Station/ScanList.Jnl"));
  EXPECT_TRUE(Exists("JOB.rpt"));
}

// A kill between filing a sheet and the end of its pass: the sheet counts as
// filed when its target changed in the pass, and a database line it missed
// is added, once, to each file that lacks it.
TEST_F(ListJobTest, APassCutShortIsSettledFromTheDisk) {
  struct Case {
    const char* name;
    bool filed;          // the target was written in the pass
    bool ascLine, allLine;  // the pass wrote its line to Database.Asc / Database.All
    const char* data;
    bool counted;        // settled as filed
    int asc, all;        // lines for the file afterwards
  } cases[] = {
      {"killed before the move", false, false, false, "JOB", false, 0, 0},
      {"killed between the move and the database line", true, false, false, "JOB", true, 1, 1},
      {"killed between the two database files", true, true, false, "JOB", true, 1, 1},
      {"killed after the database line", true, true, true, "JOB", true, 1, 1},
      {"no data field: no line expected", true, false, false, "  ", true, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(Host("JOB")).removeRecursively();
    QFile::remove(Host("Station/Database.All"));
    RemoveJournal(*st_);
    WriteFile("JOB/Database.Asc", "\"OLD\", \"C:\\JOB\\D1.TLC\"\r\n");  // an earlier job's line
    WriteFile("JOB/D1.TLC", "an earlier drawing");
    LoadList(2);
    JournalPassStarting(*road_, c.data);
    QThread::msleep(5);
    if (c.filed) WriteFile("JOB/D1.TLC", "this pass's drawing");
    QByteArray line = "\"JOB\", \"C:\\JOB\\D1.TLC\"\r\n";
    if (c.ascLine) WriteFile("JOB/Database.Asc", ReadFile("JOB/Database.Asc") + line);
    if (c.allLine) WriteFile("Station/Database.All", line);
    // The kill: the journal stays as the pass left it.
    std::optional<ScanJournal> j = ReadJournal(*st_);
    ASSERT_TRUE(j && j->pending);
    EXPECT_EQ(SettlePending(*st_, *j), c.counted);
    EXPECT_FALSE(j->pending);
    EXPECT_EQ(IsFiled(*j, 1), c.counted);
    EXPECT_EQ(Lines("JOB/Database.Asc", "\"JOB\", \"C:\\JOB\\D1.TLC\""), c.asc);
    EXPECT_EQ(Lines("Station/Database.All", "\"JOB\", \"C:\\JOB\\D1.TLC\""), c.all);
    EXPECT_EQ(Lines("JOB/Database.Asc", "OLD"), 1);
  }
}

// Answers like ScriptedPrompts, and notes whether the start-up reset had ended
// when each box came up.
class PromptsAfterReset : public testing::ScriptedPrompts {
 public:
  QString mark;
  QList<bool> resetDone;
  Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) override {
    resetDone << QFileInfo::exists(mark);
    return ScriptedPrompts::MsgBox(text, buttons, icon, title);
  }
};

TEST_F(ListJobTest, StartUpOffersToResumeAtTheFirstEntryNotFiled) {
  PromptsAfterReset prompts;
  prompts.mark = Host("reset.done");
  st_->seams.prompts = &prompts;
  testing::ScriptedPrompts& prompts_ = prompts;  // the boxes this test looks at
  LoadList(4);
  Pass(true);
  ASSERT_TRUE(files_->SetNewName());
  Pass(true);
  ASSERT_TRUE(files_->SetNewName());
  JournalPassStarting(*road_, "JOB");  // killed while entry 3 waited for its sheet
  QStringList loaded;
  auto load = [&](const QString& list) {
    loaded << list;
    LoadScanList(*st_, list);
  };
  struct Case {
    const char* name;
    const char* commandLine;
    Prompts::Answer answer;
    bool asked;
    int32_t current;
    bool journalKept;
  } cases[] = {
      {"another list: not this job", "C:\\OTHER.LST", Prompts::Answer::Yes, false, 1, true},
      {"the same list, named in other letters: No", "  c:\\job.lst ", Prompts::Answer::No, true, 1,
       false},
  };
  const QByteArray journal = ReadFile("Station/ScanList.Jnl");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile("Station/ScanList.Jnl", journal);
    WriteFile("OTHER.LST", "C:\\X\\A.TLC,\r\n");
    load(c.commandLine);
    prompts_.shown.clear();
    prompts_.answers = {c.answer};
    OfferResume(*st_, c.commandLine, load);
    EXPECT_EQ(prompts_.shown.size(), c.asked ? 1 : 0);
    EXPECT_EQ(st_->CurScanCnt, c.current);
    EXPECT_EQ(Exists("Station/ScanList.Jnl"), c.journalKept);
  }

  // No command line: the journal's list is loaded, the start-up's channel
  // reset is waited for, then the one question; Yes resumes at entry 3.
  WriteFile("Station/ScanList.Jnl", journal);
  st_->ScanListMode = false;
  prompts_.shown.clear();
  loaded.clear();
  StartUpReset();
  OfferResume(*st_, "", load);
  EXPECT_EQ(prompts.resetDone.last(), true);
  EXPECT_EQ(loaded, QStringList{"C:\\JOB.LST"});
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].title, "Varnel Alert");
  EXPECT_EQ(prompts_.shown[0].buttons, Prompts::Buttons::YesNo);
  EXPECT_EQ(prompts_.shown[0].text,
            "The scan list C:\\JOB.LST was left unfinished: 2 of its 4 entries are filed. "
            "Resume at entry 3? (No starts the list over.)");
  EXPECT_EQ(st_->CurScanCnt, 3);
  EXPECT_EQ(ReadJournal(*st_)->position, 3);

  // A job whose every entry is filed has ended: nothing is asked.
  files_->DisplayFileName();
  Pass(true);
  ASSERT_TRUE(files_->SetNewName());
  Pass(true);
  prompts_.shown.clear();
  OfferResume(*st_, "C:\\JOB.LST", load);
  EXPECT_TRUE(prompts_.shown.isEmpty());
  EXPECT_FALSE(Exists("Station/ScanList.Jnl"));
}

// After a resume, the entries filed before it are passed over by the next
// name (auto mode and Scan Next): neither scanned again nor asked about; a
// file gone since is scanned. The end of the list is reached when its last
// entry is passed over.
TEST_F(ListJobTest, AResumedJobPassesOverWhatIsFiled) {
  struct Case {
    const char* name;
    QList<int> filedBefore;  // entries filed when the workstation was killed
    int removedSince;        // a filed entry whose file is gone (0: none)
    QList<int> scanned;      // the entries the resumed run goes to, in order
  } cases[] = {
      {"entries after the resume point", {1, 3, 4}, 0, {2, 5}},
      {"the last entry and the one before", {1, 2, 4, 5}, 0, {3}},
      {"a file removed since", {1, 3, 4}, 4, {2, 4, 5}},
  };
  auto load = [&](const QString& list) { LoadScanList(*st_, list); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(Host("JOB")).removeRecursively();
    RemoveJournal(*st_);
    LoadList(5);
    for (int i = 1; i <= 5; ++i) {
      st_->CurScanCnt = i;
      files_->DisplayFileName();
      Pass(c.filedBefore.contains(i));
    }
    if (c.removedSince) QFile::remove(Host("JOB/D" + QString::number(c.removedSince) + ".TLC"));
    // The next start: Yes to the resume.
    LoadList(5);
    prompts_.shown.clear();
    prompts_.answers = {Prompts::Answer::Yes};
    OfferResume(*st_, "C:\\JOB.LST", load);
    ASSERT_EQ(prompts_.shown.size(), 1);
    files_->DisplayFileName();
    QList<int> scanned;
    for (;;) {
      scanned << st_->CurScanCnt;
      st_->LastScanFile = st_->ScanFileName;  // scanned
      st_->NewScanMode = false;
      if (!SetNextUnfiledName(*road_)) break;
      EXPECT_FALSE(FileExists(st_->ScanFileName)) << st_->ScanFileName.toStdString();
    }
    // The run ended at the end of the list (also when its last entry was
    // passed over), with the one box that says so.
    EXPECT_EQ(scanned, c.scanned);
    EXPECT_EQ(prompts_.shown.size(), 2);
    EXPECT_TRUE(ListEndReached(*st_));
  }
}

// A 1-bit TIFF of w × h pixels for the TLC converter: bands of 8 rows,
// black and white in turn, or a blank sheet.
void WriteTiff(const QString& path, int w, int h, bool drawn) {
  conv::BitImage image(w, h);
  for (int y = 0; drawn && y < h; ++y)
    if ((y / 8) % 2 == 0) std::memset(image.Row(y), 0xFF, image.stride);
  image.ClearPadBits();
  convtest::WriteLibtiffTiff(path.toStdString(), image, COMPRESSION_NONE, PHOTOMETRIC_MINISWHITE, h);
}

// Ten entries: 1 scanned, 2 rescanned once, 3 a blank sheet, 4 a bad image,
// 5 scanned, 6 ESC (nothing filed), 7 and 8 scanned, 9 and 10 never reached;
// and a drawing in the folder that the list does not name.
TEST_F(ListJobTest, TheReportTellsEveryEntryFromTheDiskAndTheDatabase) {
  auto program = [](const char* name) {
    return WindowsPath(QString::fromStdString(simcard::BinDir() + "/" + name));
  };
  st_->File2TlcExe = program("file2tlc");
  st_->ExportExe = program("tlcexport");
  LoadList(10);
  QDir().mkpath(Host("JOB"));
  WriteTiff(Host("drawn.tif"), 640, 480, true);
  WriteTiff(Host("blank.tif"), 640, 480, false);
  auto tlc = [&](const char* tif, const QString& out) {
    simcard::RunResult r = simcard::Run(
        simcard::BinDir() + "/file2tlc",
        {"-Q", Host("f2t.out").toStdString(), "-E", Host("f2t.err").toStdString(), "-D", "300",
         "-o", Host(out).toStdString(), Host(tif).toStdString()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  };
  struct Sheet {
    int entry;
    const char* tif;  // nullptr: a converter's garbage
    int lines;
  } sheets[] = {{1, "drawn.tif", 1}, {2, "drawn.tif", 2}, {3, "blank.tif", 1}, {4, nullptr, 1},
                {5, "drawn.tif", 1}, {7, "drawn.tif", 1}, {8, "drawn.tif", 1}};
  for (const Sheet& s : sheets) {
    QString name = "JOB/D" + QString::number(s.entry) + ".TLC";
    if (s.tif)
      tlc(s.tif, name);
    else
      WriteFile(name, QByteArray(300, 'x'));
    for (int i = 0; i < s.lines; ++i)
      WriteFile("JOB/Database.Asc", ReadFile("JOB/Database.Asc") + "\"JOB\", \"C:\\JOB\\D" +
                                        QByteArray::number(s.entry) + ".TLC\"\r\n");
  }
  tlc("drawn.tif", "JOB/EXTRA.TLC");
  WriteFile("JOB/$$Scan.tlc", "a work file");

  WriteListReport(*st_, true);
  // Size, resolution, black share and time of a file as the report gives them.
  auto facts = [&](const char* file, const char* dpiAndShare) {
    QFileInfo info(Host(file));
    return QString::number(info.size()) + "," + dpiAndShare + "," +
           info.lastModified().toString("yyyy-MM-dd hh:mm:ss");
  };
  QStringList csv = QString::fromLatin1(ReadFile("JOB.csv")).split("\r\n", Qt::SkipEmptyParts);
  const QStringList expected{
      "Entry,Status,File,Size,Resolution,Black share,Time",
      "1,scanned,C:\\JOB\\D1.TLC," + facts("JOB/D1.TLC", "300,50.00%"),
      "2,rescanned 1 times,C:\\JOB\\D2.TLC," + facts("JOB/D2.TLC", "300,50.00%"),
      "3,scanned; blank image,C:\\JOB\\D3.TLC," + facts("JOB/D3.TLC", "300,0.00%"),
      "4,scanned; bad image,C:\\JOB\\D4.TLC," + facts("JOB/D4.TLC", ","),
      "5,scanned,C:\\JOB\\D5.TLC," + facts("JOB/D5.TLC", "300,50.00%"),
      "6,missing,C:\\JOB\\D6.TLC,,,,",
      "7,scanned,C:\\JOB\\D7.TLC," + facts("JOB/D7.TLC", "300,50.00%"),
      "8,scanned,C:\\JOB\\D8.TLC," + facts("JOB/D8.TLC", "300,50.00%"),
      "9,missing,C:\\JOB\\D9.TLC,,,,",
      "10,missing,C:\\JOB\\D10.TLC,,,,",
      ",not in the list,C:\\JOB\\EXTRA.TLC," + facts("JOB/EXTRA.TLC", "300,50.00%")};
  ASSERT_EQ(csv.size(), expected.size()) << csv.join('\n').toStdString();
  for (int i = 0; i < csv.size(); ++i) EXPECT_EQ(csv[i], expected[i]);

  // The text report has the same rows, and the summary is shown without a question.
  QStringList rpt = QString::fromLatin1(ReadFile("JOB.rpt")).split("\r\n");
  EXPECT_EQ(rpt[0], "Scan list report: C:\\JOB.LST");
  EXPECT_TRUE(rpt[5].simplified().startsWith("2 rescanned 1 times C:\\JOB\\D2.TLC")) << rpt[5].toStdString();
  EXPECT_EQ(rpt[9].simplified(), "6 missing C:\\JOB\\D6.TLC");
  EXPECT_EQ(rpt.size(), 4 + 11 + 3);  // heading, rows, summary
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].buttons, Prompts::Buttons::Ok);
  EXPECT_EQ(prompts_.shown[0].text,
            "10 entries: 7 scanned, 1 of them rescanned, 3 missing, 1 blank, 1 bad image; 1 files "
            "in the target folders that the list does not name.\nReport: C:\\JOB.rpt");

  // A second report takes the statistics of unchanged files from the first.
  processes_.started.clear();
  WriteListReport(*st_, false);
  EXPECT_EQ(QString::fromLatin1(ReadFile("JOB.csv")).split("\r\n", Qt::SkipEmptyParts), csv);
  EXPECT_TRUE(processes_.started.isEmpty()) << processes_.started.join('\n').toStdString();
}

TEST(ListReportTest, ReportFilesAndStatusTexts) {
  EXPECT_EQ(ReportFile("C:\\LISTS\\JOB12.LST", "rpt"), "C:\\LISTS\\JOB12.rpt");
  EXPECT_EQ(ReportFile(" C:\\LISTS.V2\\JOB12 ", "csv"), "C:\\LISTS.V2\\JOB12.csv");
  ReportRow row;
  row.entry = 4;
  row.exists = true;
  row.databaseLines = 3;
  row.bad = true;
  EXPECT_EQ(RowStatus(row), "rescanned 2 times; bad image");
  row.exists = false;
  EXPECT_EQ(RowStatus(row), "missing");
}

}  // namespace
}  // namespace varnel
