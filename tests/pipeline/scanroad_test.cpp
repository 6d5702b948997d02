// The scan road end to end: the workflow's commands on offscreen controls,
// the simulated card with documents in its feeder, and the real juxscan,
// juxstat, file2tlc and tlcexport.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <cstdlib>
#include <sys/stat.h>
#include <functional>
#include <memory>

#include "tests/pipeline/support/road.h"
#include "tests/support/simcard.h"
#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/qttaskwindows.h"
#include "varnel/files/scanlist.h"
#include "varnel/pipeline/workflow.h"

namespace varnel {
namespace {

using testing::StationTest;

bool Drawn(int x, int y) { return simcard::Stripes(x, y) || x == y; }
bool White(int, int) { return false; }

// The viewer's window as the workstation drives it.
class FakeViewerWindows : public TaskWindows {
 public:
  bool alive = true;
  QList<qint64> activated;
  QStringList keys;
  bool AppActivate(qint64 taskId) override {
    activated << taskId;
    return alive;
  }
  bool SendKeys(const QString& k, bool) override {
    keys << k;
    return true;
  }
};

class ScanRoadTest : public StationTest {
 protected:
  ScanRoadTest() {
    setenv("JUX_DEVICE_DIR", card_.Dir().c_str(), 1);
    UseStationFolder();
    Station& st = *st_;
    testing::UseBuiltPrograms(st);
    st.OutputTypeCodes = {QString(), "-L", "-T"};
    st.ScanFolder = "SCANS\\";
    st.ScanName = "TEMP001";

    road_form_ = std::make_unique<testing::RoadForm>(st);
    Form& f = road_form_->form;
    form_ = &f;
    cboFormat_ = f.cboFormat;
    cboFormat_->addItem("TLC Compressed raster", 1);
    cboFormat_->addItem("TIF Group 4", 2);
    cboResolution_ = f.cboResolution;
    cboResolution_->addItems({"400", "300", "200"});
    cboOriginalWidth_ = f.cboOriginalWidth;
    cboOriginalWidth_->addItems({"2", "800", "8"});  // 2 inches: 800 pixels at 400 dpi
    cboLeadingEdge_ = f.cboLeadingEdge;
    cboLeadingEdge_->addItems({"Top", "Right", "Bottom", "Left"});
    cboScannerSpeed_ = f.cboScannerSpeed;
    cboScannerSpeed_->addItems({"Full", "Half"});
    f.optLineArt->setChecked(true);
    txtDataField_ = f.txtDataField;
    txtDataField_->setVisible(false);
    cmdScan_ = f.cmdScan;
    files_ = &road_form_->naming;
    road_ = &road_form_->road;
    files_->DisplayFileName();
  }
  ~ScanRoadTest() override { unsetenv("JUX_DEVICE_DIR"); }

  // Drawings for the feeder, w × h pixels at 400 dpi.
  std::string Pbm(const char* name, int w, int h, const simcard::Pixels& pixels = Drawn) {
    return card_.WritePbm(name, w, h, pixels);
  }
  // A document in the scanner whose Start is pressed once the scan waits.
  void FeedStarted(const std::string& image) { card_.Feed(image, {"--start-on-ask", "100"}); }
  // A stack of drawings in the feeder, one a scan; Start is pressed `delay`
  // ms after each scan waits.
  struct Sheet {
    int width, height;
    simcard::Pixels pixels;
  };
  void FeedStack(const std::vector<Sheet>& sheets, const char* delay) {
    std::string stack = card_.Scratch("stack");
    ::mkdir(stack.c_str(), 0700);
    for (size_t i = 0; i < sheets.size(); ++i)
      card_.WritePbm("stack/" + std::to_string(i + 1) + ".pbm", sheets[i].width, sheets[i].height,
                     sheets[i].pixels);
    card_.Feed(stack, {"--start-on-ask", delay});
  }

  // Width and height in a TLC file's header.
  QString TlcSize(const QString& relative) {
    QString head = QString::fromLatin1(ReadFile(relative).left(128));
    return head.section(' ', 2, 2);
  }
  // The TLC height alone: in auto mode the scanner's paper width sets the line.
  QString TlcHeight(const QString& relative) { return TlcSize(relative).section(',', 1); }
  uint32_t ImageLength(const QByteArray& tif) {
    const char* p = tif.constData();
    uint32_t ifd = qFromLittleEndian<uint32_t>(p + 4);
    uint16_t count = qFromLittleEndian<uint16_t>(p + ifd);
    for (uint16_t i = 0; i < count; ++i) {
      const char* entry = p + ifd + 2 + 12 * i;
      if (qFromLittleEndian<uint16_t>(entry) == 257) return qFromLittleEndian<uint32_t>(entry + 8);
    }
    return 0;
  }
  QStringList Errors() const {
    QStringList texts;
    for (const auto& box : prompts_.shown) texts << box.text;
    return texts;
  }

  simcard::SimCard card_;
  std::unique_ptr<testing::RoadForm> road_form_;
  Form* form_ = nullptr;
  QComboBox *cboFormat_, *cboResolution_, *cboOriginalWidth_, *cboLeadingEdge_, *cboScannerSpeed_;
  QLineEdit* txtDataField_;
  QPushButton* cmdScan_;
  FileNaming* files_ = nullptr;
  ScanRoad* road_ = nullptr;
};

TEST_F(ScanRoadTest, AScanIsFiledAsTlcAndTheButtonTurnsToRescan) {
  FeedStarted(Pbm("a.pbm", 800, 600));
  txtDataField_->setVisible(true);
  txtDataField_->setText("DWG-1");
  cmdScan_Click(*road_);
  EXPECT_TRUE(Errors().isEmpty()) << Errors().join('|').toStdString();
  EXPECT_EQ(st_->ScanFileName, "C:\\SCANS\\TEMP001.TLC");
  EXPECT_EQ(TlcSize("SCANS/TEMP001.TLC"), "800,600");
  EXPECT_FALSE(Exists("SCANS/$$Scan.tlc"));
  EXPECT_FALSE(st_->NewScanMode);
  EXPECT_EQ(cmdScan_->text(), "Rescan");
  EXPECT_EQ(st_->LastScanFile, "C:\\SCANS\\TEMP001.TLC");
  EXPECT_EQ(st_->LastTlcFile, "C:\\SCANS\\TEMP001.TLC");
  EXPECT_EQ(ReadFile("SCANS/Database.Asc"), "\"DWG-1\", \"C:\\SCANS\\TEMP001.TLC\"\r\n");
  EXPECT_EQ(ReadFile("Station/Database.All"), ReadFile("SCANS/Database.Asc"));
  EXPECT_TRUE(processes_.started[0].endsWith("/L:800 /S:1000 /P:0 /O:C:\\Temp\\Brevik.TIF"));

  // Scan Next advances the name; the rescan then replaces that file only.
  FeedStarted(Pbm("b.pbm", 800, 400));
  cmdScanNext_Click(*road_);
  EXPECT_EQ(TlcSize("SCANS/TEMP002.TLC"), "800,400");
  FeedStarted(Pbm("c.pbm", 800, 300));
  cmdScan_Click(*road_);
  EXPECT_EQ(TlcSize("SCANS/TEMP002.TLC"), "800,300");
  EXPECT_EQ(TlcSize("SCANS/TEMP001.TLC"), "800,600");
  EXPECT_TRUE(st_->RescanFlag);
}

TEST_F(ScanRoadTest, AScanWithTheProgramFolderUnderNoDrive) {
  // An installed program: its folder (and so Database.All) lies
  // outside every drive, under a name the station spells in its own case.
  QTemporaryDir installed;
  QDir().mkpath(installed.path() + "/Program");
  st_->AppDir = WindowsPath(installed.path() + "/PROGRAM") + "\\";
  txtDataField_->setVisible(true);
  txtDataField_->setText("DWG-1");
  FeedStarted(Pbm("a.pbm", 800, 600));
  cmdScan_Click(*road_);
  EXPECT_TRUE(Errors().isEmpty()) << Errors().join('|').toStdString();
  EXPECT_EQ(TlcSize("SCANS/TEMP001.TLC"), "800,600");
  QFile all(installed.path() + "/Program/Database.All");
  ASSERT_TRUE(all.open(QIODevice::ReadOnly));
  EXPECT_EQ(all.readAll(), ReadFile("SCANS/Database.Asc"));
}

TEST_F(ScanRoadTest, AnotherFormatGoesThroughTheExportConverter) {
  cboFormat_->setCurrentIndex(1);
  files_->DisplayFileName();
  FeedStarted(Pbm("a.pbm", 800, 600));
  cmdScan_Click(*road_);
  EXPECT_EQ(st_->ScanFileName, "C:\\SCANS\\TEMP001.TIF");
  EXPECT_EQ(ReadFile("SCANS/TEMP001.TIF").left(4), QByteArray("II*\0", 4));
  EXPECT_FALSE(Exists("SCANS/$$Scan.out"));
  EXPECT_EQ(st_->LastTlcFile, "C:\\Temp\\Brevik.Tlc");
}

TEST_F(ScanRoadTest, AFailedConversionLeavesAnExistingTargetByteForByte) {
  st_->MiniViewSize = "0,0";  // the TLC converter refuses the option line
  for (int format : {0, 1}) {
    SCOPED_TRACE(format);
    cboFormat_->setCurrentIndex(format);
    files_->DisplayFileName();
    QString target = "SCANS/" + st_->ScanFileName.section('\\', -1);
    WriteFile(target, "an earlier drawing");
    FeedStarted(Pbm("a.pbm", 800, 600));
    HandleScan(*road_, road_->chosen());
    EXPECT_EQ(ReadFile(target), "an earlier drawing");
    EXPECT_FALSE(Exists("SCANS/$$Scan.tlc"));
    EXPECT_FALSE(Exists("SCANS/$$Scan.out"));
    EXPECT_TRUE(st_->LastTlcFile.isEmpty());  // no blank check on the old file
    EXPECT_TRUE(st_->ScanErrorFlag);
    EXPECT_TRUE(st_->NewScanMode);  // Scan stays Scan: the drawing is scanned again
    // One box, naming the target and the converter's own error line.
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_TRUE(Errors()[0].startsWith(st_->ScanFileName + " was not filed: file2tlc: "))
        << Errors()[0].toStdString();
    EXPECT_EQ(prompts_.shown[0].title, "Varnel Error");
    prompts_.shown.clear();
    st_->ScanErrorFlag = false;
  }
}

TEST_F(ScanRoadTest, ShortScanFilesAndBlankPagesEndThePass) {
  // A scan program that leaves only a header.
  WriteScript("bin/scan186", "head -c 186 /dev/zero > '" + Host("Temp/Brevik.TIF").toUtf8() + "'");
  QString realScan = st_->ScanExe;
  st_->ScanExe = "C:\\bin\\scan186";
  HandleScan(*road_, road_->chosen());
  EXPECT_TRUE(st_->ScanErrorFlag);
  EXPECT_TRUE(LogMessages().contains("Zero Length Scan File Created"));
  EXPECT_EQ(Errors(), QStringList{"Zero Length Scan File Created"});
  prompts_.shown.clear();
  EXPECT_TRUE(st_->NewScanMode);  // a failed scan leaves the mode as it was
  EXPECT_FALSE(Exists("SCANS/TEMP001.TLC"));

  st_->ScanExe = realScan;
  st_->ScanErrorFlag = false;
  // A blank page large enough for its TLC file to fall below the size check.
  cboOriginalWidth_->setCurrentIndex(2);
  FeedStarted(Pbm("white.pbm", 3200, 3000, White));
  HandleScan(*road_, road_->chosen());
  EXPECT_EQ(Errors(), QStringList{"Blank Image Scanned!"});
  EXPECT_TRUE(st_->ScanErrorFlag);
  EXPECT_TRUE(Exists("SCANS/TEMP001.TLC"));  // the blank image stays filed
}

TEST_F(ScanRoadTest, EscWhileADrawingIsCountedCallsItNoBlankImage) {
  // A small mark on a large sheet: its TLC file is small enough to have its
  // black counted, by a count that takes a while.
  WriteScript("bin/slowcount",
              "case \"$*\" in *-#*) sleep 2 ;; esac\nexec '" + QByteArray(JUX_BIN_DIR) +
                  "/tlcexport' \"$@\"");
  st_->ExportExe = "C:\\bin\\slowcount";
  cboOriginalWidth_->setCurrentIndex(2);
  auto mark = [](int x, int y) { return x < 200 && y < 200; };
  for (bool esc : {false, true}) {
    SCOPED_TRACE(esc ? "ESC while counting" : "counted");
    st_->ScanErrorFlag = false;
    FeedStarted(Pbm(esc ? "b.pbm" : "a.pbm", 3200, 3000, mark));
    pump_.onDoEvents = [&](int) {
      if (esc && processes_.started.last().contains(" -# ")) st_->AbortRequested = true;
    };
    cmdScanNext_Click(*road_);
    pump_.onDoEvents = nullptr;
    EXPECT_TRUE(Errors().isEmpty()) << Errors().join('|').toStdString();
    EXPECT_FALSE(st_->ScanErrorFlag);
    EXPECT_TRUE(Exists(esc ? "SCANS/TEMP002.TLC" : "SCANS/TEMP001.TLC"));  // filed all the same
  }
  int counts = 0;
  for (const QString& started : processes_.started) counts += started.contains(" -# ");
  EXPECT_EQ(counts, 2);
}

TEST_F(ScanRoadTest, StripAmountsAndSoftwareReduction) {
  st_->StripLeading400DPI = 10;
  st_->StripTrailing400DPI = 5;
  FeedStarted(Pbm("a.pbm", 800, 600));
  HandleScan(*road_, road_->chosen());
  EXPECT_EQ(ImageLength(ReadFile("Temp/Brevik.TIF")), 585u);
  EXPECT_EQ(TlcSize("SCANS/TEMP001.TLC"), "800,585");

  // Half speed at 200 dpi: scanned at 400 dpi, reduced by the converters.
  st_->StripLeading400DPI = st_->StripTrailing400DPI = 0;
  st_->StripLeading200DPI = 4;
  cboResolution_->setCurrentIndex(2);
  cboScannerSpeed_->setCurrentIndex(1);
  processes_.started.clear();
  FeedStarted(Pbm("b.pbm", 800, 600));
  HandleScan(*road_, road_->chosen());
  EXPECT_TRUE(processes_.started[0].endsWith("/L:800 /S:1000 /P:0 /O:C:\\Temp\\Scale.Tif"));
  EXPECT_EQ(TlcSize("SCANS/TEMP001.TLC"), "400,298");
  EXPECT_EQ(QString::fromLatin1(ReadFile("SCANS/TEMP001.TLC").left(128)).section(' ', 4, 4), "200");
  EXPECT_FALSE(Exists("Temp/Scale.Tif"));
  EXPECT_FALSE(Exists("Temp/Scale.Tlc"));
}

TEST_F(ScanRoadTest, StripAmountsThatLeaveNothingFailTheScanAndEditNothing) {
  st_->StripLeading400DPI = 500;
  st_->StripTrailing400DPI = 100;
  WriteFile("SCANS/TEMP001.TLC", "an earlier drawing");
  FeedStarted(Pbm("a.pbm", 800, 600));
  HandleScan(*road_, road_->chosen());
  EXPECT_EQ(Errors(), QStringList{"The strip amounts (500 leading and 100 trailing lines) leave nothing "
                                  "of the 600 lines scanned - the drawing was not filed."});
  EXPECT_TRUE(st_->ScanErrorFlag);
  EXPECT_EQ(ImageLength(ReadFile("Temp/Brevik.TIF")), 600u);  // not wrapped around
  EXPECT_EQ(ReadFile("SCANS/TEMP001.TLC"), "an earlier drawing");
}

TEST_F(ScanRoadTest, AtTheDriveRootTheWorkFileIsNamedWithOneBackslash) {
  st_->ScanFolder.clear();
  files_->DisplayFileName();
  ASSERT_EQ(st_->ScanFileName, "C:\\TEMP001.TLC");
  FeedStarted(Pbm("a.pbm", 800, 600));
  HandleScan(*road_, road_->chosen());
  EXPECT_TRUE(ReadFile("Temp/File2Tlc.Dat").contains(" -o C:\\$$Scan.tlc -r")) << ReadFile("Temp/File2Tlc.Dat").toStdString();
  EXPECT_TRUE(ReadFile("TEMP001.TLC").startsWith("Virozoro Size 800,600"));
  EXPECT_TRUE(Errors().isEmpty());
}

// Whatever a scan program leaves, only a finished scan whose file states an
// image goes on: the exit code names the cause, the header is judged too.
TEST_F(ScanRoadTest, AScanThatWasNotFinishedIsNeverConverted) {
  QString tif = Host("Temp/Brevik.TIF");
  QByteArray copyScan = "cp '" + Host("scan.tif").toUtf8() + "' '" + tif.toUtf8() + "'";
  struct Case {
    const char* body;  // the stand-in for juxscan
    const char* box;
  } cases[] = {
      {"exit 6", "Timeout waiting for scan complete - the drawing was not filed."},
      {"exit 7", "Scanner is too fast for interface card - the drawing was not filed."},
      {"exit 15", "Could not keep up with data - the drawing was not filed."},
      {"exit 95", "The scanner channel was reset by another program - the drawing was not filed."},
      {"exit 99", "Esc Key Depressed - the drawing was not filed."},
      {"exit 42", "The scan program ended with code 42 - the drawing was not filed."},
      {"kill -9 $$", "The scan program was ended before the scan was complete - the drawing was not filed."},
      {"exit 0", "No Scan File Created"},
  };
  // A complete scan of 800 x 600, to be left behind by every stand-in.
  FeedStarted(Pbm("a.pbm", 800, 600));
  HandleScan(*road_, road_->chosen());
  ASSERT_TRUE(Exists("SCANS/TEMP001.TLC"));
  QFile::copy(tif, Host("scan.tif"));
  QFile::remove(Host("SCANS/TEMP001.TLC"));
  st_->ScanExe = "C:\\bin\\scan";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    prompts_.shown.clear();
    st_->ScanErrorFlag = false;
    WriteScript("bin/scan", (QByteArray(c.body) == "exit 0" ? "" : copyScan + "\n") + c.body);
    HandleScan(*road_, road_->chosen());
    EXPECT_EQ(Errors(), QStringList{c.box});
    EXPECT_TRUE(st_->ScanErrorFlag);
    EXPECT_FALSE(Exists("SCANS/TEMP001.TLC"));
    EXPECT_EQ(processes_.started.filter("file2tlc").size(), 1);  // the good scan's only
  }
  // A file whose header states no width or no lines is a failed scan too.
  for (int at : {30, 42}) {
    QByteArray scan = ReadFile("scan.tif");
    scan.replace(at, 4, QByteArray(4, '\0'));
    WriteFile("zero.tif", scan);
    WriteScript("bin/scan", "cp '" + Host("zero.tif").toUtf8() + "' '" + tif.toUtf8() + "'");
    prompts_.shown.clear();
    HandleScan(*road_, road_->chosen());
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_TRUE(Errors()[0].startsWith("The scan file holds no image (")) << Errors()[0].toStdString();
    EXPECT_FALSE(Exists("SCANS/TEMP001.TLC"));
  }
}

TEST_F(ScanRoadTest, RefusesWhatCannotBeScanned) {
  cboOriginalWidth_->setCurrentIndex(1);  // 800 inches
  HandleScan(*road_, road_->chosen());
  ASSERT_EQ(Errors().size(), 1);
  EXPECT_TRUE(Errors()[0].contains("320000"));
  st_->ScanFileName = "Q:\\NOWHERE\\A.TLC";  // a drive the station does not have
  HandleScan(*road_, road_->chosen());
  ASSERT_EQ(Errors().size(), 2);
  EXPECT_TRUE(Errors()[1].contains("Q:\\NOWHERE"));
  // A resolution the scanner cannot do, a format that is not the name's.
  files_->DisplayFileName();
  cboOriginalWidth_->setCurrentIndex(0);
  cboResolution_->setEditable(true);
  cboResolution_->setEditText("99999999999");
  HandleScan(*road_, road_->chosen());
  cboResolution_->setCurrentIndex(0);
  st_->ScanFileName = "C:\\SCANS\\TEMP001.TIF";  // the format list says TLC
  HandleScan(*road_, road_->chosen());
  cboFormat_->clear();  // no output format configured at all
  HandleScan(*road_, road_->chosen());
  EXPECT_EQ(Errors().mid(2),
            (QStringList{"A resolution of 99999999999 DPI cannot be scanned; choose one from 100 to 400 DPI.",
                         "The output format \"TLC Compressed raster\" does not match the file name "
                         "C:\\SCANS\\TEMP001.TIF; nothing was scanned.",
                         "No output format is configured for C:\\SCANS\\TEMP001.TIF; nothing was scanned."}));
  EXPECT_TRUE(st_->ScanErrorFlag);
  EXPECT_TRUE(processes_.started.isEmpty());
}

TEST_F(ScanRoadTest, AutoModeFilesAScanListAndEndsWithTheListMessage) {
  WriteFile("list.txt", "c:\\job\\a.tlc,first,,,,\n\nc:\\job\\b.tlc,second\nc:\\job\\c.tif,third\n");
  LoadScanList(*st_, "C:\\list.txt");
  ASSERT_EQ(st_->ScanCnt, 3);
  files_->DisplayFileName();
  txtDataField_->setVisible(true);
  txtDataField_->setText("JOB");
  // The feeder's stack: three drawings of three lengths.
  FeedStack({{800, 600, Drawn}, {800, 500, Drawn}, {800, 400, Drawn}}, "100");
  cmdAutoMode_Click(*road_);
  // The list's end, then its report.
  ASSERT_EQ(Errors().size(), 2) << Errors().join('|').toStdString();
  EXPECT_EQ(Errors()[0], "Auto Scan Complete: No more files to scan in list!");
  EXPECT_TRUE(Errors()[1].startsWith("3 entries: 3 scanned, 0 of them rescanned, 0 missing"))
      << Errors()[1].toStdString();
  EXPECT_EQ(TlcHeight("JOB/A.TLC"), "600");
  EXPECT_EQ(TlcHeight("JOB/B.TLC"), "500");
  EXPECT_EQ(ReadFile("JOB/C.TIF").left(4), QByteArray("II*\0", 4));
  EXPECT_EQ(ReadFile("JOB/Database.Asc"),
            "\"JOB\", \"C:\\JOB\\A.TLC\"\r\n\"JOB\", \"C:\\JOB\\B.TLC\"\r\n\"JOB\", \"C:\\JOB\\C.TIF\"\r\n");
  EXPECT_FALSE(st_->AutoModeOn);
  EXPECT_EQ(windows_.activated, 1);  // the main window in front again
  for (const QString& line : processes_.started)
    if (line.contains("juxscan")) {
      EXPECT_TRUE(line.contains("/L:0 ")) << line.toStdString();
    }
}

TEST_F(ScanRoadTest, EscWhileTheScanWaitsEndsAutoModeAndFilesNothing) {
  card_.Feed(Pbm("a.pbm", 800, 600));  // nobody presses Start
  // ESC once juxscan has taken the channel and waits for the Start.
  auto scanning = [this] { return !processes_.started.isEmpty() && processes_.started.last().contains("juxscan"); };
  pump_.onDoEvents = [&](int) {
    if (scanning() && !(card_.Value("IntrptStat0") & 0x0004)) st_->AbortRequested = true;
  };
  cmdAutoMode_Click(*road_);
  pump_.onDoEvents = nullptr;
  EXPECT_FALSE(st_->AutoModeOn);
  EXPECT_FALSE(st_->AbortRequested);
  EXPECT_FALSE(Exists("SCANS/TEMP001.TLC"));
  int resets = 0;
  qint64 scan = 0;
  for (int i = 0; i < processes_.started.size(); ++i) {
    resets += processes_.started[i].endsWith(" /F /S");
    if (processes_.started[i].contains("juxscan")) scan = processes_.tasks[i];
  }
  EXPECT_EQ(resets, 1);
  // The reset frees the channel, and the waiting juxscan ends on seeing it.
  ASSERT_NE(scan, 0);
  EXPECT_EQ(realProcesses_.WaitForTask(scan, 20000), WaitResult::Ended);
  EXPECT_TRUE(card_.Value("IntrptStat0") & 0x0004);
}

// Whether a process still runs (a zombie that its parent has not yet
// reaped has ended).
bool Running(qint64 pid) {
  QFile stat(QString("/proc/%1/stat").arg(pid));
  if (pid <= 0 || !stat.open(QIODevice::ReadOnly)) return false;
  QByteArray fields = stat.readAll();
  return fields.mid(fields.lastIndexOf(')') + 2, 1) != "Z";
}

// The window closed at a step of an auto-mode pass: the run ends after that
// pass; a sheet that has come in is filed with its database line, a scan
// still waiting for its sheet is ended without one; the next sheet is never
// scanned, and no program the run waited for is left.
enum class PassStep { SheetAwaited, SheetComingIn, Converting, Viewing };

class CloseDuringAutoModeTest : public ScanRoadTest, public ::testing::WithParamInterface<PassStep> {};

TEST_P(CloseDuringAutoModeTest, EndsTheRunAfterThePassAndLeavesNoChild) {
  const PassStep step = GetParam();
  FakeViewerWindows viewer;
  st_->seams.tasks = &viewer;
  WriteScript("bin/viewer", "true");
  st_->ViewExe = "C:\\bin\\viewer";
  st_->ViewFlag = step == PassStep::Viewing;
  if (step == PassStep::Converting) {
    // A converter that takes a moment, so that the close lands in it.
    WriteScript("bin/slowconv", "sleep 1\nexec '" + QByteArray(JUX_BIN_DIR) + "/file2tlc' \"$@\"");
    st_->File2TlcExe = "C:\\bin\\slowconv";
  }
  if (step == PassStep::SheetComingIn) {  // the scanner at its line rate: a sheet takes seconds
    card_.Set("fast", "0");
    card_.Set("scanner-speed", "0");
  }
  txtDataField_->setVisible(true);
  txtDataField_->setText("JOB");
  // Two sheets; nobody presses Start for a scan that is to wait for its sheet.
  const bool filed = step != PassStep::SheetAwaited;
  FeedStack({{800, 1600, Drawn}, {800, 500, Drawn}}, filed ? "100" : "600000");

  auto last = [this](const char* program) {
    return !processes_.started.isEmpty() && processes_.started.last().contains(program);
  };
  auto now = [&] {
    switch (step) {
      case PassStep::SheetAwaited: return last("juxscan") && !(card_.Value("IntrptStat0") & 0x0004);
      case PassStep::SheetComingIn: return last("juxscan") && QFileInfo(Host("Temp/Brevik.TIF")).size() > 0;
      case PassStep::Converting: return last("slowconv");
      case PassStep::Viewing: return last("viewer");
    }
    return false;
  };
  EXPECT_FALSE(DeferClose(*road_));  // nothing under way: the window may close at once
  bool closed = false;
  pump_.onDoEvents = [&](int) {
    if (!closed && now()) closed = DeferClose(*road_);
  };
  cmdAutoMode_Click(*road_);
  pump_.onDoEvents = nullptr;
  ASSERT_TRUE(closed);
  EXPECT_FALSE(st_->AutoModeOn);
  EXPECT_TRUE(TakeDeferredClose(*road_));
  EXPECT_FALSE(TakeDeferredClose(*road_));  // taken once

  EXPECT_EQ(Exists("SCANS/TEMP001.TLC"), filed);
  EXPECT_EQ(ReadFile("SCANS/Database.Asc"), filed ? "\"JOB\", \"C:\\SCANS\\TEMP001.TLC\"\r\n" : "");
  EXPECT_FALSE(Exists("SCANS/TEMP002.TLC"));
  EXPECT_FALSE(Exists("SCANS/$$Scan.tlc"));
  EXPECT_TRUE(Errors().isEmpty()) << Errors().join('|').toStdString();
  // Every program the pass waited for has ended (the viewer, never waited
  // for, stays open as after any close).
  int scans = 0;
  for (int i = 0; i < processes_.started.size(); ++i) {
    scans += processes_.started[i].contains("juxscan");
    if (!processes_.started[i].startsWith(st_->ViewExe)) {
      EXPECT_FALSE(Running(processes_.tasks[i])) << processes_.started[i].toStdString();
    }
  }
  EXPECT_EQ(scans, 1);
  EXPECT_TRUE(processes_.ended.isEmpty());  // no converter cut short, no scan killed
  // The scanner is free, and the sheets not scanned are still in the feeder.
  EXPECT_TRUE(card_.Value("IntrptStat0") & 0x0004);
  EXPECT_EQ(card_.Value("scanner.documents"), filed ? 1u : 2u);
}

std::string StepName(const ::testing::TestParamInfo<PassStep>& info) {
  static const char* const kNames[] = {"WhileTheScanWaitsForItsSheet", "WhileTheSheetComesIn",
                                       "WhileConverting", "WhileTheViewerShowsIt"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Steps, CloseDuringAutoModeTest,
                         ::testing::Values(PassStep::SheetAwaited, PassStep::SheetComingIn,
                                           PassStep::Converting, PassStep::Viewing),
                         StepName);

TEST_F(ScanRoadTest, CtrlRRedoesThePreviousDrawing) {
  FeedStack({{800, 600, Drawn}, {800, 500, Drawn}, {3312, 3000, White}}, "300");
  // Ctrl+R while the second drawing waits for its Start.
  bool pressed = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!pressed && st_->ScanName == "TEMP002") {
      pressed = true;
      RescanPrevious(*road_);
    }
  });
  poll.start(20);
  cmdAutoMode_Click(*road_);
  EXPECT_TRUE(pressed);
  EXPECT_EQ(TlcHeight("SCANS/TEMP001.TLC"), "500");   // the second drawing, under the first name
  EXPECT_EQ(TlcHeight("SCANS/TEMP002.TLC"), "3000");  // the blank page that ended the run
  EXPECT_FALSE(Exists("SCANS/TEMP003.TLC"));
  EXPECT_EQ(Errors(), QStringList{"Blank Image Scanned!"});
  // Outside auto mode Ctrl+R does nothing.
  RescanPrevious(*road_);
  EXPECT_TRUE(Exists("SCANS/TEMP002.TLC"));
}

TEST_F(ScanRoadTest, TheViewerIsStartedOnceAndThenDrivenByKeys) {
  FakeViewerWindows viewer;
  st_->seams.tasks = &viewer;
  WriteScript("bin/viewer", "true");
  st_->ViewExe = "C:\\bin\\viewer";
  st_->ViewFlag = true;
  auto viewerStarts = [&] {
    int n = 0;
    for (const QString& line : processes_.started) n += line.startsWith("C:\\bin\\viewer ");
    return n;
  };
  FeedStarted(Pbm("a.pbm", 800, 600));
  HandleScan(*road_, road_->chosen());
  EXPECT_EQ(viewerStarts(), 1);
  EXPECT_TRUE(processes_.started.contains("C:\\bin\\viewer \"C:\\SCANS\\TEMP001.TLC\""));
  EXPECT_NE(st_->ViewerTaskId, 0);
  EXPECT_TRUE(viewer.activated.isEmpty());

  // Running: activated and told to open the new file.
  FeedStarted(Pbm("b.pbm", 800, 600));
  cmdScanNext_Click(*road_);
  EXPECT_EQ(viewerStarts(), 1);
  EXPECT_EQ(viewer.keys, QStringList{"%FO{ENTER}C:\\SCANS\\TEMP002.TLC{ENTER}"});
  // A name with key-code characters in it is typed as it stands.
  st_->ScanName = "A~(2)";
  files_->DisplayFileName();
  FeedStarted(Pbm("b2.pbm", 800, 600));
  HandleScan(*road_, road_->chosen());
  EXPECT_EQ(viewer.keys.last(), "%FO{ENTER}C:\\SCANS\\A{~}{(}2{)}.TLC{ENTER}");
  // The working TLC is closed in the viewer before it is shown again.
  cboFormat_->setCurrentIndex(1);
  st_->NewScanMode = true;
  files_->DisplayFileName();
  FeedStarted(Pbm("c.pbm", 800, 600));
  HandleScan(*road_, road_->chosen());
  EXPECT_EQ(viewer.keys.mid(2), (QStringList{"%FC{ENTER}", "%FO{ENTER}C:\\Temp\\Brevik.Tlc{ENTER}"}));
  // Gone: started anew.
  viewer.alive = false;
  FeedStarted(Pbm("d.pbm", 800, 600));
  HandleScan(*road_, road_->chosen());
  EXPECT_EQ(viewerStarts(), 2);
  EXPECT_TRUE(Errors().isEmpty());  // no blank check while viewing
}

TEST_F(ScanRoadTest, BadImagesLeaveNumberedCopiesOfTheRawScan) {
  // A converter that writes something that is not TLC under the -o name.
  WriteScript("bin/badconv",
              "set -- $(cat '" + Host("Temp/File2Tlc.Dat").toUtf8() + "')\n"
              "out=$(printf '%s' \"$6\" | sed 's|^C:|" + Host("").chopped(1).toUtf8() + "|; s|\\\\|/|g')\n"
              "head -c 300 /dev/zero | tr '\\0' x > \"$out\"");
  st_->File2TlcExe = "C:\\bin\\badconv";
  for (const char* name : {"a.pbm", "b.pbm"}) {
    FeedStarted(Pbm(name, 800, 600));
    cmdScanNext_Click(*road_);
  }
  EXPECT_EQ(Errors(), (QStringList{"Bad Scanned Image", "Bad Scanned Image"}));
  EXPECT_EQ(st_->BadImageCount, 2);
  EXPECT_TRUE(st_->ScanErrorFlag);  // an error box: auto mode would stop
  EXPECT_EQ(ReadFile("2.Tif"), ReadFile("Temp/Brevik.TIF"));
  EXPECT_TRUE(Exists("1.Tif"));
  // What is not a TLC is not filed under a TLC name.
  EXPECT_FALSE(Exists("SCANS/TEMP001.TLC"));
  EXPECT_FALSE(Exists("SCANS/$$Scan.tlc"));
}

TEST_F(ScanRoadTest, KeyboardCommands) {
  using Qt::Key;
  // Page keys move through the scan list within its ends.
  WriteFile("list.txt", "c:\\job\\a.tlc,1\nc:\\job\\b.tlc,2\n");
  LoadScanList(*st_, "C:\\list.txt");
  files_->DisplayFileName();
  st_->NewScanMode = false;
  struct Step {
    int key;
    int32_t current;
    const char* file;
  } steps[] = {{Qt::Key_PageDown, 1, "C:\\JOB\\A.TLC"}, {Qt::Key_PageUp, 2, "C:\\JOB\\B.TLC"},
               {Qt::Key_PageUp, 2, "C:\\JOB\\B.TLC"}, {Qt::Key_PageDown, 1, "C:\\JOB\\A.TLC"}};
  for (const Step& s : steps) {
    Form_KeyDown(*road_, s.key, Qt::NoModifier);
    EXPECT_EQ(st_->CurScanCnt, s.current);
    EXPECT_EQ(st_->ScanFileName, s.file);
  }
  EXPECT_TRUE(st_->NewScanMode);  // a move makes the next scan a new one
  EXPECT_EQ(cmdScan_->text(), "Scan");

  // Alt+R prepares the rescan of the last scan without scanning.
  st_->LastScanFile = "C:\\JOB\\OLD.TLC";
  st_->LastScanName = "OLD";
  st_->LastScanFolder = "JOB\\";
  st_->LastScanDrive = "C:\\";
  st_->LastScanFormat = "TIF";
  st_->ScanListMode = false;
  WriteFile("JOB/OLD.TLC", "old");
  EXPECT_EQ(Form_KeyDown(*road_, Qt::Key_R, Qt::AltModifier), KeyCommand::Done);
  EXPECT_EQ(ReadFile("JOB/OLD.TLC"), "old");  // kept until a rescan replaces it
  EXPECT_EQ(st_->ScanFileName, "C:\\JOB\\OLD.TIF");
  EXPECT_EQ(cboFormat_->currentIndex(), 1);
  EXPECT_EQ(Form_KeyDown(*road_, Qt::Key_R, Qt::NoModifier), KeyCommand::None);

  // Alt+V and Alt+P need a scan; ESC closes the window, or asks for the
  // abort while the status window is up; F5 is the window's.
  st_->NewScanMode = true;
  EXPECT_EQ(Form_KeyDown(*road_, Qt::Key_V, Qt::AltModifier), KeyCommand::None);
  EXPECT_EQ(Form_KeyDown(*road_, Qt::Key_P, Qt::AltModifier), KeyCommand::None);
  EXPECT_EQ(Form_KeyDown(*road_, Qt::Key_F5, Qt::NoModifier), KeyCommand::RestoreWindow);
  EXPECT_EQ(Form_KeyDown(*road_, Qt::Key_Escape, Qt::NoModifier), KeyCommand::CloseWindow);
  EXPECT_FALSE(st_->AbortRequested);
  st_->MessageBoxUp = true;
  EXPECT_EQ(Form_KeyDown(*road_, Qt::Key_Escape, Qt::NoModifier), KeyCommand::Done);
  EXPECT_TRUE(st_->AbortRequested);
  // The scan commands are ignored meanwhile.
  cmdScan_Click(*road_);
  cmdScanNext_Click(*road_);
  cmdAutoMode_Click(*road_);
  EXPECT_TRUE(processes_.started.isEmpty());

  // Typing a name makes the next scan a new one, but not in auto mode.
  st_->NewScanMode = false;
  st_->AutoModeOn = true;
  txtFileName_Edited(*road_);
  EXPECT_FALSE(st_->NewScanMode);
  st_->AutoModeOn = false;
  txtFileName_Edited(*road_);
  EXPECT_TRUE(st_->NewScanMode);
}

TEST(LineLengthTest, TheMachinesResolutionFloor) {
  Station st{Seams{}};
  struct Case {
    const char* machine;
    float width;
    int16_t dpi;
    int32_t pixels;
  } cases[] = {{"6769", 36, 150, 7200}, {"6741", 36, 150, 5400}, {"6747", 36, 50, 3600},
               {"6769", 36, 400, 14400}, {"6769", 33.1f, 400, 13240}, {"6769", 100, 400, 40000}};
  for (const Case& c : cases) {
    st.MachineType = c.machine;
    EXPECT_EQ(LineLength(st, c.width, c.dpi), c.pixels) << c.machine << " " << c.dpi;
  }
}

// With View Image on, the first scan starts the viewer and the next one is
// shown in that same viewer, driven through its keystrokes.
TEST_F(ScanRoadTest, TheViewerShowsEachScanInTurn) {
  QtTaskWindows tasks;
  st_->seams.tasks = &tasks;
  st_->ViewExe = WindowsPath(QString::fromStdString(simcard::BinDir() + "/tlcview"));
  st_->ViewFlag = true;
  struct Closer {  // no viewer is left running, whatever fails
    QtTaskWindows& tasks;
    qint64& id;
    ~Closer() {
      if (id && tasks.AppActivate(id)) tasks.SendKeys("%FX{ENTER}", true);
    }
  } closer{tasks, st_->ViewerTaskId};

  FeedStarted(Pbm("a.pbm", 800, 600));
  cmdScan_Click(*road_);
  const qint64 viewer = st_->ViewerTaskId;
  ASSERT_NE(viewer, 0);
  ASSERT_TRUE(tasks.AppActivate(viewer));
  EXPECT_EQ(tasks.LastAnswer().section('\n', 0, 0), "TEMP001.TLC - Drawing Viewer");

  FeedStarted(Pbm("b.pbm", 800, 400));
  cmdScanNext_Click(*road_);
  EXPECT_EQ(st_->ViewerTaskId, viewer);
  // The workflow waited for the viewer's answer to its Open keys.
  EXPECT_EQ(tasks.LastAnswer().section('\n', 0, 0), "TEMP002.TLC - Drawing Viewer");
  EXPECT_TRUE(tasks.LastAnswer().section('\n', 1, 1).startsWith("800 x 400 pixels    400 dpi"))
      << tasks.LastAnswer().toStdString();
  EXPECT_EQ(processes_.started.filter("tlcview").size(), 1);

  ASSERT_TRUE(tasks.SendKeys("%FX{ENTER}", true));
  bool ended = false;
  for (int i = 0; i < 120 && !ended; ++i)
    ended = st_->seams.processes->WaitForTask(viewer, 500) == WaitResult::Ended;
  EXPECT_TRUE(ended);
  EXPECT_FALSE(tasks.AppActivate(viewer));
  st_->ViewerTaskId = 0;
}

}  // namespace
}  // namespace varnel
