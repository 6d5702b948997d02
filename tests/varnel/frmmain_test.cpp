// Start and end of the workstation with its first main window, offscreen.
#include <gtest/gtest.h>

#include <QFile>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/cmdline.h"
#include "varnel/core/hostfiles.h"
#include "varnel/pipeline/statusbox.h"
#include "varnel/ui/controls.h"
#include "varnel/ui/frmmain.h"

namespace varnel {
namespace {

using testing::StationTest;

class FrmMainTest : public StationTest {
 protected:
  FrmMainTest() : settings_(UseTemporarySettings(dir_.path())), main_(*st_) {
    st_->seams.windows = &main_;
    WriteFile("bin/juxstat", "stand-in");
    // Plays juxstat: a status file with speed code 0x10 and threshold 100 when asked.
    processes_.play = [this](const QString& commandLine) -> qint64 {
      for (const QString& arg : SplitCommandLine(commandLine))
        if (arg.startsWith("/O:") && answers_) {
          QFile file(HostPath(arg.mid(3)));
          QByteArray status(424, '\0');
          status[13] = 0x10;
          status[57] = 100;
          if (file.open(QIODevice::WriteOnly)) file.write(status);
        }
      return 1;
    };
  }
  bool Load(const QByteArray& ini, bool& terminate) {
    WriteFile("Station/Varnel.Ini", ini);
    return main_.Form_Load("C:\\Station", "C:\\Lists\\today.lst", terminate);
  }
  // The per-user settings go into the test's folder.
  static bool UseTemporarySettings(const QString& folder) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder + "/settings");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder + "/settings");
    return true;
  }
  bool settings_;
  frmMain main_;
  bool answers_ = true;
};

TEST_F(FrmMainTest, StartsWithoutHardwareAndCleansUpAtTheEnd) {
  for (const char* debug : {"0", "1"}) {
    WriteFile("Temp/Brevik.TIF", "tif");
    WriteFile("Temp/Brevik.Tlc", "tlc");
    bool terminate = true;
    ASSERT_TRUE(Load(QByteArray("[PROGRAMS]\r\nMachineType= 6713\r\nTempDir=C:\\Temp\r\nDebug=") +
                         debug + "\r\n[ScanDPI]\r\nDPI1=100\r\n[OutputTypes]\r\nType1=TLC TL\r\n",
                     terminate));
    EXPECT_FALSE(terminate);
    EXPECT_TRUE(main_.isVisible());
    EXPECT_EQ(main_.windowTitle(), "JUX Tarvex");
    EXPECT_EQ(main_.form().pnlAppTitle->text(), "6713Scanner");
    EXPECT_EQ(main_.form().lblVersion->text(), "Version 1.0.0");
    EXPECT_EQ(main_.form().txtThreshold->text(), "72");
    EXPECT_EQ(main_.form().cboLeadingEdge->count(), 4);
    EXPECT_EQ(main_.form().cboResolution->itemText(0), "100");
    EXPECT_EQ(main_.form().cboFormat->itemData(0).toInt(), 1);
    EXPECT_EQ(main_.form().cmdExit->text(), "E&xit");
    EXPECT_TRUE(processes_.started.isEmpty());

    main_.Form_Terminate();
    EXPECT_TRUE(LogMessages().last().startsWith("Program Terminated: "));
    EXPECT_EQ(LogMessages().contains("Command Line Specified: C:\\Lists\\today.lst"),
              QByteArray(debug) == "1");
    // The test runs in a folder under no drive of the station: it starts at C:\.
    EXPECT_EQ(LogMessages().contains("Start Drive: C:\\"), QByteArray(debug) == "1");
    EXPECT_EQ(Exists("Temp/Brevik.TIF"), QByteArray(debug) == "1") << debug;
    EXPECT_EQ(Exists("Temp/Brevik.Tlc"), QByteArray(debug) == "1") << debug;
    main_.form().cboLeadingEdge->clear();
    main_.form().cboResolution->clear();
    main_.form().cboFormat->clear();
  }
}

TEST_F(FrmMainTest, ResetsTheScannerChannelThenReadsTheThreshold) {
  bool terminate = true;
  ASSERT_TRUE(Load("[PROGRAMS]\r\nHardwareConnect=YES\r\nStatusExe=C:\\bin\\juxstat\r\n"
                   "TempDir=C:\\Temp\r\n",
                   terminate));
  EXPECT_EQ(processes_.started,
            (QStringList{"C:\\bin\\juxstat /F /S", "\"C:\\bin\\juxstat\" /S /O:C:\\Temp\\JuxStat.Dat"}));
  EXPECT_EQ(main_.form().txtThreshold->text(), "100");
  EXPECT_EQ(st_->ScannerSpeed, 80);
}

TEST_F(FrmMainTest, AScannerThatDoesNotAnswerEndsTheProgram) {
  answers_ = false;
  bool terminate = false;
  EXPECT_FALSE(Load("[PROGRAMS]\r\nHardwareConnect=YES\r\nStatusExe=C:\\bin\\juxstat\r\n", terminate));
  EXPECT_TRUE(terminate);
  ASSERT_EQ(prompts_.shown.size(), 2);
  EXPECT_EQ(prompts_.shown[1].text, "Not Communicating with Scanner, Exiting");
  EXPECT_EQ(prompts_.shown[1].title, "JUX Tarvex");
  EXPECT_FALSE(main_.isVisible());
}

TEST_F(FrmMainTest, AMissingConfigurationEndsTheProgramAtOnce) {
  bool terminate = true;
  EXPECT_FALSE(main_.Form_Load("C:\\Station", "", terminate));
  EXPECT_FALSE(terminate);
  EXPECT_FALSE(Exists("Station/Varnel.Log"));
}

TEST_F(FrmMainTest, DisablingTheMainWindowKeepsTheStatusWindowUsable) {
  StatusBox box(*st_, &main_);
  main_.show();
  box.ShowStatusBox(QString("Scanning"));
  main_.SetMainEnabled(false);
  EXPECT_FALSE(main_.isEnabled());
  EXPECT_TRUE(box.Form()->isEnabled());  // ESC still reaches it
  main_.SetMainEnabled(true);
  EXPECT_TRUE(main_.form().cmdExit->isEnabled());
  box.ShowStatusBox();
}

TEST(SelectListItemTest, SelectsByLeadingTextAndRaisesTheListHandler) {
  testing::EnsureQtApp();
  QComboBox list;
  int changes = 0;
  QObject::connect(&list, &QComboBox::currentIndexChanged, [&] { ++changes; });
  SelectListItem("x", &list);  // empty list: nothing happens
  EXPECT_EQ(list.currentIndex(), -1);
  list.addItems({"Architect", "DEFAULT"});
  changes = 0;
  SelectListItem("default", &list);
  EXPECT_EQ(list.currentIndex(), 1);
  SelectListItem("none", &list);
  EXPECT_EQ(list.currentIndex(), 1);
  EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace varnel
