// The scan road's failure paths end to end: the real main window, offscreen,
// loaded from a Varnel.Ini, driven by its buttons and the status window's
// keys, against the simulated card, juxscan, juxstat and the converters (or a
// stand-in for a converter that fails or is slow). For every fault: what is
// filed, what the database holds, which box appeared, and that auto mode
// stopped after it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <functional>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/simcard.h"
#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/hostfiles.h"
#include "varnel/ui/statusbox.h"
#include "varnel/pipeline/workflow.h"
#include "varnel/ui/frmmain.h"

namespace varnel {
namespace {

using testing::StationTest;

bool Drawn(int x, int y) { return simcard::Stripes(x, y) || x == y; }

const QByteArray kEarlier = "an earlier drawing, kept byte for byte";

class RoadWindowTest : public StationTest {
 protected:
  RoadWindowTest() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path() + "/settings");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path() + "/settings");
    WriteFile("Temp/.keep", "");
    WriteFile("SCANS/.keep", "");
    WriteFile("JOB/.keep", "");
    // A converter that fails as on a full disk, and one that takes its time.
    WriteScript("bin/fullconv",
                "printf '%s\\n' 'file2tlc: C:\\JOB\\$$Scan.tlc: write error: No space left on device' > '" +
                    Host("Temp/Tile.Err").toUtf8() + "'\nexit 1");
    WriteScript("bin/slowconv", "sleep 2\nexec '" + QByteArray::fromStdString(simcard::BinDir()) +
                                    "/file2tlc' \"$@\"");
  }
  ~RoadWindowTest() override {
    if (main_) main_->close();
    for (const QString& mount : mounts_) ::umount2(mount.toUtf8().constData(), MNT_DETACH);
    unsetenv("JUX_DEVICE_DIR");
  }

  static QString Program(const char* name) {
    return WindowsPath(QString::fromStdString(simcard::BinDir() + "/" + name));
  }

  // The station as an operator has it, with a card of its own; the window is
  // loaded with the scan list (none when empty).
  void Open(const QByteArray& list = "C:\\JOB\\A.TLC,first\r\nC:\\JOB\\B.TLC,second\r\n",
            const QString& file2tlc = Program("file2tlc")) {
    if (main_) main_->close();
    status_.reset();
    main_.reset();
    card_.reset();
    card_ = std::make_unique<simcard::SimCard>();
    setenv("JUX_DEVICE_DIR", card_->Dir().c_str(), 1);
    prompts_.shown.clear();
    stacks_ = 0;
    WriteFile("Station/Varnel.Ini",
              "[PROGRAMS]\r\nScanExe=" + Program("juxscan").toUtf8() +
                  "\r\nFile2TlcExe=" + file2tlc.toUtf8() + "\r\nExportExe=" + Program("tlcexport").toUtf8() +
                  "\r\nStatusExe=" + Program("juxstat").toUtf8() +
                  "\r\nHardwareConnect=YES\r\nTempDir=C:\\Temp\r\nMachineType=6769\r\n"
                  "AutoModeViewDelayTime=0\r\nDebug=1\r\n"
                  "[ENGLISHScanWidths]\r\nWidth1=2\r\n"
                  "[OutputTypes]\r\nType1=TLC Compressed raster -L\r\nType2=TIF Group 4 -T\r\n"
                  "[ScanDPI]\r\nDPI1=400\r\n[GENERAL]\r\nDataField=True\r\n");
    WriteFile("job.lst", list);
    // Each case is a new job: the list journal of the case before would ask
    // to resume it.
    QFile::remove(Host("Station/ScanList.Jnl"));
    main_ = std::make_unique<frmMain>(*st_);
    status_ = std::make_unique<StatusBox>(*st_, main_.get());
    status_->onRescanKey = [this] { RescanPrevious(main_->road()); };
    st_->seams.windows = main_.get();
    st_->seams.status = status_.get();
    bool terminate = false;
    ASSERT_TRUE(main_->Form_Load("C:\\Station", list.isEmpty() ? QString() : "C:\\job.lst", terminate));
    ASSERT_TRUE(prompts_.shown.isEmpty()) << prompts_.shown[0].text.toStdString();
    main_->form().txtDataField->setText("REF");
    // The start-up reset of the scanner channel is not waited for by the
    // window; a scan is started here only once it is done.
    for (qint64 task : processes_.tasks)
      for (int i = 0; i < 100 && realProcesses_.WaitForTask(task, 100) == WaitResult::TimedOut; ++i) {
      }
    processes_.started.clear();
    processes_.tasks.clear();
  }
  Form& form() { return main_->form(); }

  // Drawings in the feeder, 800 pixels wide; Start pressed once a scan waits.
  void FeedStack(int count, bool started = true) {
    std::string stack = card_->Scratch("stack" + std::to_string(++stacks_));
    ::mkdir(stack.c_str(), 0700);
    for (int i = 1; i <= count; ++i)
      card_->WritePbm("stack" + std::to_string(stacks_) + "/" + std::to_string(i) + ".pbm", 800,
                     700 - 100 * i, Drawn);
    if (started)
      card_->Feed(stack, {"--start-on-ask", "100"});
    else
      card_->Feed(stack);
  }
  // Runs `action` once, while the window waits for a child whose command line
  // contains `child` (the status window is up then).
  void WhileWaitingFor(const QString& child, std::function<void()> action) {
    auto waiting = [this, child] {
      return st_->MessageBoxUp && !processes_.started.isEmpty() && processes_.started.last().contains(child);
    };
    auto* poll = new QTimer(main_.get());
    QObject::connect(poll, &QTimer::timeout, [this, poll, waiting, action] {
      if (!waiting()) return;
      poll->stop();
      QTimer::singleShot(300, main_.get(), [waiting, action] {
        if (waiting()) action();
      });
    });
    poll->start(20);
  }
  void PressEscInStatusWindow() {
    if (frmMsgDplyBox* box = status_->Form()) QTest::keyClick(box, Qt::Key_Escape);
  }
  int Runs(const char* program) const { return processes_.started.filter(program).size(); }
  // The boxes of the road; the scan-list report's summary, shown when a list
  // run ends whatever ended it, is the report's own concern.
  QStringList Boxes() const {
    QStringList texts;
    for (const auto& box : prompts_.shown)
      if (!box.title.startsWith("Scan list report")) texts << box.title + ": " + box.text;
    return texts;
  }
  bool IsTlc(const QString& relative) const { return ReadFile(relative).startsWith("Virozoro Size "); }
  // The lines of a TLC file (in auto mode the scanner's paper width sets the line).
  QString TlcLines(const QString& relative) const {
    return QString::fromLatin1(ReadFile(relative).left(40)).section(' ', 2, 2).section(',', 1);
  }

  // A small file system on a folder of the station; false where this machine
  // does not allow it (not root).
  bool Mount(const QString& relative, const char* options) {
    QString path = Host(relative);
    if (::mount("tmpfs", path.toUtf8().constData(), "tmpfs", 0, options) != 0) return false;
    mounts_ << path;
    return true;
  }
  bool RemountReadOnly(const QString& relative) {
    return ::mount("tmpfs", Host(relative).toUtf8().constData(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                   "size=1m") == 0;
  }

  std::unique_ptr<simcard::SimCard> card_;
  std::unique_ptr<frmMain> main_;
  std::unique_ptr<StatusBox> status_;
  QStringList mounts_;
  int stacks_ = 0;
};

// Auto mode over a two-entry list with a fault on the first drawing: one box
// that names the cause, nothing filed, nothing recorded, and the run ends.
TEST_F(RoadWindowTest, AutoModeStopsAtTheFirstFaultWithOneBoxNamingIt) {
  struct Case {
    const char* name;
    std::function<bool()> arrange;  // false: not possible here, skipped
    const char* box;                               // the one box; "" for none (ESC)
  } cases[] = {
      {"overrun",
       [this] {
         card_->Fault("data-overrun", true);
         return true;
       },
       "Varnel Error: Could not keep up with data - the drawing was not filed."},
      {"busy channel",
       [this] {
         card_->Fault("busy-channel", true);
         return true;
       },
       "Varnel Error: Controller busy - the drawing was not filed."},
      {"reset by another program while the scan waits for Start",
       [this] {
         FeedStack(2, false);
         WhileWaitingFor("juxscan", [this] { card_->Run("juxstat", {"/F", "/S"}); });
         return true;
       },
       "Varnel Error: The scanner channel was reset by another program - the drawing was not filed."},
      {"juxscan killed while it waits for Start",
       [this] {
         FeedStack(2, false);
         WhileWaitingFor("juxscan", [this] { ::kill(static_cast<pid_t>(processes_.tasks.last()), SIGKILL); });
         return true;
       },
       "Varnel Error: The scan program was ended before the scan was complete - the drawing was not filed."},
      {"converter fails like a full disk, a stale work file in the folder",
       [this] {
         st_->File2TlcExe = "C:\\bin\\fullconv";
         WriteFile("JOB/$$Scan.tlc", "Virozoro Size 800,600 Density 400: a leftover of another pass");
         return true;
       },
       "Varnel Error: C:\\JOB\\A.TLC was not filed: file2tlc: C:\\JOB\\$$Scan.tlc: write error: No space left on device"},
      {"ESC while converting",
       [this] {
         st_->File2TlcExe = "C:\\bin\\slowconv";
         WhileWaitingFor("slowconv", [this] { PressEscInStatusWindow(); });
         return true;
       },
       ""},
      {"read-only target folder",
       [this] {
         if (geteuid() != 0) return ::chmod(Host("JOB").toUtf8().constData(), 0555) == 0;
         return Mount("JOB", "size=1m") && RemountReadOnly("JOB");
       },
       "Varnel Error: C:\\JOB\\A.TLC was not filed: file2tlc: C:\\JOB\\$$Scan.tlc: cannot write: "},
      {"full target disk",
       [this] {
         if (!Mount("JOB", "size=8k")) return false;
         WriteFile("JOB/filler", QByteArray(6000, 'f'));
         return true;
       },
       "Varnel Error: C:\\JOB\\A.TLC was not filed: file2tlc: C:\\JOB\\$$Scan.tlc: write error: No space left on device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open();
    if (!c.arrange()) {
      std::printf("  [ skipped ] %s: not possible on this machine\n", c.name);
      continue;
    }
    if (stacks_ == 0) FeedStack(2);
    form().cmdAutoMode->click();
    EXPECT_FALSE(st_->AutoModeOn);
    EXPECT_EQ(Runs("juxscan"), 1);  // the run ended with the first drawing
    QStringList boxes = Boxes();
    if (QString(c.box).isEmpty()) {
      EXPECT_TRUE(boxes.isEmpty()) << boxes.join('|').toStdString();
    } else {
      ASSERT_EQ(boxes.size(), 1) << boxes.join('|').toStdString();
      EXPECT_TRUE(boxes[0].startsWith(c.box)) << boxes[0].toStdString();
    }
    EXPECT_FALSE(Exists("JOB/A.TLC"));
    EXPECT_FALSE(Exists("JOB/B.TLC"));
    EXPECT_FALSE(Exists("JOB/$$Scan.tlc"));
    EXPECT_FALSE(Exists("JOB/Database.Asc"));
    EXPECT_FALSE(Exists("Station/Database.All"));
    EXPECT_EQ(st_->CurScanCnt, 1);  // Auto Mode again starts with the same drawing
    EXPECT_TRUE(st_->NewScanMode);
    EXPECT_EQ(form().cmdScan->text(), "Scan");

    // A converter ended by ESC writes nothing afterwards.
    if (QString(c.name) == "ESC while converting") {
      EXPECT_EQ(processes_.ended.size(), 1);
      QThread::msleep(2500);
      EXPECT_FALSE(Exists("JOB/$$Scan.tlc"));
    }
    // The folders as they were, for the next case.
    while (!mounts_.isEmpty()) ::umount2(mounts_.takeLast().toUtf8().constData(), MNT_DETACH);
    ::chmod(Host("JOB").toUtf8().constData(), 0755);
    QFile::remove(Host("Station/Database.All"));
    processes_.ended.clear();
  }
}

// Every command, for an existing target: a scan that succeeds replaces it, and
// one that is ended by ESC or whose conversion fails leaves it byte for byte.
TEST_F(RoadWindowTest, AnExistingTargetSurvivesEveryFailureOfEveryCommand) {
  enum class Outcome { Success, Esc, FailedConversion };
  const struct {
    const char* name;
    std::function<void()> press;
  } commands[] = {
      {"Scan (replace: Yes)", [this] { form().cmdScan->click(); }},
      {"Rescan",
       [this] {
         Station& st = *st_;
         st.NewScanMode = false;
         st.LastScanFile = "C:\\JOB\\A.TLC";
         st.LastScanName = "A";
         st.LastScanFolder = "JOB\\";
         st.LastScanDrive = "C:\\";
         st.LastScanFormat = form().cboFormat->currentText();
         form().cmdScan->click();
       }},
      {"Scan Next (replace: Yes)", [this] { form().cmdScanNext->click(); }},
      {"Auto Mode (replace: Yes)", [this] { form().cmdAutoMode->click(); }},
  };
  for (const auto& command : commands)
    for (Outcome outcome : {Outcome::Success, Outcome::Esc, Outcome::FailedConversion}) {
      SCOPED_TRACE(std::string(command.name) + " / " + std::to_string(int(outcome)));
      Open("C:\\JOB\\A.TLC,only\r\n");
      WriteFile("JOB/A.TLC", kEarlier);
      if (outcome == Outcome::Esc) {
        FeedStack(1, false);
        WhileWaitingFor("juxscan", [this] { PressEscInStatusWindow(); });
      } else {
        FeedStack(1);
      }
      if (outcome == Outcome::FailedConversion) st_->File2TlcExe = "C:\\bin\\fullconv";
      command.press();
      EXPECT_FALSE(st_->AutoModeOn);
      QStringList errors = Boxes().filter("Varnel Error: ");
      if (outcome == Outcome::Success) {
        EXPECT_TRUE(IsTlc("JOB/A.TLC"));
        EXPECT_EQ(ReadFile("JOB/Database.Asc"), "\"REF\", \"C:\\JOB\\A.TLC\"\r\n");
        EXPECT_TRUE(errors.isEmpty()) << errors.join('|').toStdString();
      } else {
        EXPECT_EQ(ReadFile("JOB/A.TLC"), kEarlier);
        EXPECT_FALSE(Exists("JOB/Database.Asc"));
        EXPECT_EQ(errors.size(), outcome == Outcome::Esc ? 0 : 1) << errors.join('|').toStdString();
      }
      EXPECT_FALSE(Exists("JOB/$$Scan.tlc"));
      QFile::remove(Host("JOB/Database.Asc"));
      QFile::remove(Host("Station/Database.All"));
    }
}

// Ctrl+R in auto mode with a scan list redoes the previous entry: its file is
// replaced by the redo, and the run goes on with the entry after it.
TEST_F(RoadWindowTest, CtrlRWithAScanListRedoesThePreviousEntry) {
  Open("C:\\JOB\\A.TLC,1\r\nC:\\JOB\\B.TLC,2\r\nC:\\JOB\\C.TLC,3\r\n");
  FeedStack(4);  // 600, 500, 400 and 300 lines
  bool pressed = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (pressed || st_->CurScanCnt != 2 || !st_->MessageBoxUp || !status_->Form() ||
        !processes_.started.last().contains("juxscan"))
      return;  // while the second drawing's scan waits for its Start
    pressed = true;
    QTest::keyClick(status_->Form(), Qt::Key_R, Qt::ControlModifier);
  });
  poll.start(20);
  form().cmdAutoMode->click();
  EXPECT_TRUE(pressed);
  EXPECT_EQ(TlcLines("JOB/A.TLC"), "500");  // the redo
  EXPECT_EQ(TlcLines("JOB/B.TLC"), "400");
  EXPECT_EQ(TlcLines("JOB/C.TLC"), "300");
  EXPECT_EQ(Boxes(), QStringList{"JUX Tarvex: Auto Scan Complete: No more files to scan in list!"});
  // A line for each scan of a filed file, the redo included.
  EXPECT_EQ(ReadFile("JOB/Database.Asc"),
            "\"REF\", \"C:\\JOB\\A.TLC\"\r\n\"REF\", \"C:\\JOB\\A.TLC\"\r\n"
            "\"REF\", \"C:\\JOB\\B.TLC\"\r\n\"REF\", \"C:\\JOB\\C.TLC\"\r\n");
}

// In auto mode an existing list target gets the replace question; No ends the
// run there, with the list position kept.
TEST_F(RoadWindowTest, AutoModeAsksBeforeReplacingAListTarget) {
  Open();
  WriteFile("JOB/B.TLC", kEarlier);
  FeedStack(2);
  prompts_.answers = {Prompts::Answer::No};
  form().cmdAutoMode->click();
  EXPECT_TRUE(IsTlc("JOB/A.TLC"));
  EXPECT_EQ(ReadFile("JOB/B.TLC"), kEarlier);
  EXPECT_EQ(Boxes(), QStringList{"Varnel Alert: Scan File Exists, do you want to replace?"});
  EXPECT_EQ(st_->CurScanCnt, 2);
  EXPECT_EQ(Runs("juxscan"), 1);
  EXPECT_FALSE(st_->AutoModeOn);
}

// A damaged configuration: whatever start-up makes of it, Auto Mode ends
// after one box that names the cause instead of showing it again and again.
TEST_F(RoadWindowTest, ADamagedConfigurationEndsAutoModeAfterOneBox) {
  QByteArray random;
  for (int i = 0; i < 4096; ++i) random += char((i * 7919 + 13) % 251);
  QByteArray good = "[PROGRAMS]\r\nScanExe=" + Program("juxscan").toUtf8() + "\r\nTempDir=C:\\Temp\r\n"
                    "[OutputTypes]\r\nType1=TLC Compressed raster -L\r\n[ScanDPI]\r\nDPI1=400\r\n";
  QByteArray utf16;
  for (char c : good) utf16 += QByteArray(1, c) + '\0';
  QByteArray nul = good;
  nul.replace("ScanExe=", QByteArray("ScanExe=C:\\") + '\0' + QByteArray("bin\\juxscan\r\nX="));
  const struct {
    const char* name;
    QByteArray ini;
  } cases[] = {{"random bytes", random},
               {"UTF-16", "\xff\xfe" + utf16},
               {"NUL bytes", nul},
               {"a 4 MB line", "[PROGRAMS]\r\nScanExe=C:\\" + QByteArray(4 << 20, 'x') + "\r\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile("Station/Varnel.Ini", c.ini);
    main_ = std::make_unique<frmMain>(*st_);
    status_ = std::make_unique<StatusBox>(*st_, main_.get());
    st_->seams.windows = main_.get();
    st_->seams.status = status_.get();
    prompts_.shown.clear();
    bool terminate = false;
    ASSERT_TRUE(main_->Form_Load("C:\\Station", QString(), terminate));
    int atStart = prompts_.shown.size();
    EXPECT_LE(atStart, 1);  // at most the one box of the start-up check
    form().cmdAutoMode->click();
    EXPECT_FALSE(st_->AutoModeOn);
    EXPECT_EQ(prompts_.shown.size(), atStart + 1) << Boxes().join('|').toStdString();
    EXPECT_TRUE(Boxes().last().startsWith("Varnel Error: ")) << Boxes().last().toStdString();
    main_->close();
  }
}

// A forced reset by another program while a scan waits: that drawing is not
// filed, and the next scan of the same session works.
TEST_F(RoadWindowTest, AfterAForcedResetTheNextScanWorks) {
  Open("");
  FeedStack(1, false);
  WhileWaitingFor("juxscan", [this] { card_->Run("juxstat", {"/F", "/S"}); });
  form().cmdScan->click();
  EXPECT_EQ(Boxes(), QStringList{"Varnel Error: The scanner channel was reset by another program - "
                                 "the drawing was not filed."});
  EXPECT_FALSE(Exists("TEMP001.TLC"));
  EXPECT_TRUE(st_->NewScanMode);
  prompts_.shown.clear();
  // The drawing is still in the scanner; this time Start is pressed.
  WhileWaitingFor("juxscan", [this] { card_->PressStart(); });
  form().cmdScan->click();
  EXPECT_TRUE(Boxes().isEmpty()) << Boxes().join('|').toStdString();
  EXPECT_TRUE(IsTlc(st_->ScanFileName.mid(3)));
}

}  // namespace
}  // namespace varnel
