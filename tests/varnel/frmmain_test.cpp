// Start and end of the workstation with its first main window, offscreen.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QGroupBox>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QScreen>
#include <QSlider>
#include <QApplication>
#include <QMouseEvent>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/cmdline.h"
#include "varnel/core/hostfiles.h"
#include "varnel/pipeline/listreport.h"
#include "varnel/ui/statusbox.h"
#include "varnel/files/inputbox.h"
#include "varnel/files/lists.h"
#include "varnel/ui/frmabout.h"
#include "varnel/ui/frmmain.h"
#include "varnel/ui/instance.h"
#include "varnel/ui/splash.h"

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
  // The controller's own threshold goes to no scan; the operator's change does.
  EXPECT_FALSE(st_->ThresholdChanged);
  EXPECT_EQ(st_->PendingThresholdArg, "");
  main_.form().sldThreshold->setValue(90);
  EXPECT_EQ(st_->PendingThresholdArg, "/T:90 ");
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

TEST_F(FrmMainTest, AWorkingFolderOnADriveTheStationLacksIsToldAsSuch) {
  bool terminate = false;
  EXPECT_FALSE(Load("[PROGRAMS]\r\nHardwareConnect=YES\r\nStatusExe=C:\\bin\\juxstat\r\n"
                    "TempDir=Q:\\Temp\r\n",
                    terminate));
  EXPECT_TRUE(terminate);
  ASSERT_FALSE(prompts_.shown.isEmpty());
  EXPECT_EQ(prompts_.shown.last().text,
            "The working folder Q:\\Temp\\ (TempDir) is on a drive this station does not have, "
            "Exiting");
  for (const QString& line : processes_.started) EXPECT_FALSE(line.contains("/O:")) << line.toStdString();
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

const QByteArray kPlainIni =
    "[PROGRAMS]\r\nMachineType=6713\r\nTempDir=C:\\Temp\r\n[ScanDPI]\r\nDPI1=200\r\nDPI2=300\r\n"
    "[OutputTypes]\r\nType1=TLC TL\r\nType2=TIFF G4 T4\r\n";

TEST_F(FrmMainTest, OpensWithEveryListFilledDefaultLoadedAndANameProposed) {
  bool terminate = true;
  ASSERT_TRUE(Load(kPlainIni, terminate));
  Form& f = main_.form();
  EXPECT_EQ(f.cboSettings->currentText(), "DEFAULT");
  EXPECT_TRUE(Exists("Station/Settings/Default.Set"));
  EXPECT_EQ(f.txtFileName->text(), "C:\\TEMP001.TLC");
  EXPECT_EQ(st_->ScanName, "TEMP001");
  EXPECT_EQ(st_->ScanExt, "TLC");
  EXPECT_GT(f.cboScannerSpeed->count(), 0);
  EXPECT_GT(f.DirMasterList->ListCount(), 0);  // C:\ holds the Station folder
  EXPECT_EQ(f.sldThreshold->minimum(), 30);
  EXPECT_EQ(f.sldThreshold->maximum(), 115);
  EXPECT_EQ(f.lvContentsOf->headerItem()->text(2), "Modified");
  EXPECT_EQ(main_.focusWidget(), f.txtFileName);
}

TEST_F(FrmMainTest, StartsAndLoadsItsSchemesWithItsProgramFolderUnderNoDrive) {
  // An installed program: its folder lies outside every drive of the station.
  QTemporaryDir installed;
  const QString program = installed.path() + "/Program";
  QDir().mkpath(program);
  QFile ini(program + "/Varnel.Ini");
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write(kPlainIni);
  ini.close();
  bool terminate = true;
  ASSERT_TRUE(main_.Form_Load(WindowsPath(program), "", terminate));
  EXPECT_TRUE(prompts_.shown.isEmpty()) << prompts_.shown.first().text.toStdString();
  Form& f = main_.form();
  EXPECT_EQ(f.cboSettings->currentText(), "DEFAULT");
  EXPECT_TRUE(QFileInfo::exists(program + "/Settings/Default.Set"));
  EXPECT_TRUE(QFileInfo::exists(program + "/Varnel.Log"));
  // A second start finds what the first one made, in whatever case it asks for it.
  f.cboSettings->setCurrentIndex(0);
  EXPECT_TRUE(prompts_.shown.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(program + "/Settings/DEFAULT.Set"));
}

// The window closed while a list run goes on: the report is written and its
// summary shown through the prompts, once; the run's end adds no second one.
TEST_F(FrmMainTest, ClosingDuringAListRunShowsTheListReportOnce) {
  WriteFile("Lists/today.lst", "C:\\JOB\\D1.TLC,one\r\nC:\\JOB\\D2.TLC,two\r\n");
  bool terminate = true;
  ASSERT_TRUE(Load(kPlainIni, terminate));
  ASSERT_TRUE(st_->ScanListMode);
  st_->AutoModeOn = true;  // the run under way
  prompts_.shown.clear();
  main_.show();
  main_.close();
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].title, "Scan list report: C:\\Lists\\today.lst");
  EXPECT_TRUE(prompts_.shown[0].text.startsWith("2 entries: 0 scanned"))
      << prompts_.shown[0].text.toStdString();
  EXPECT_TRUE(Exists("Lists/today.rpt"));
  st_->AutoModeOn = false;
  ListRunEnded(*st_);
  EXPECT_EQ(prompts_.shown.size(), 1);
}

TEST_F(FrmMainTest, AutoSetPrintAsksThroughTheRequestProgramAndGoesBackOffWithoutIt) {
  bool terminate = true;
  ASSERT_TRUE(Load(kPlainIni, terminate));
  Form& f = main_.form();
  auto before = prompts_.shown.size();
  f.chkAutoSetPrint->click();
  // The request-queue program is not installed here: its path is named and
  // no copies are asked for.
  ASSERT_GT(prompts_.shown.size(), before);
  EXPECT_TRUE(prompts_.shown[before].text.endsWith("Not Found!")) << prompts_.shown[before].text.toStdString();
  EXPECT_FALSE(f.chkAutoSetPrint->isChecked());
  EXPECT_FALSE(st_->AutoSetPrint);
}

TEST_F(FrmMainTest, FirstStartOpensAtTheDefaultsAndAMaximisedCloseStoresOnlyItsState) {
  bool terminate = true;
  ASSERT_TRUE(Load(kPlainIni, terminate));
  // 1000, 1000, 10000 x 7000 twips at 15 twips a pixel, the whole window with
  // its frame; splitter 2000; columns 1400.
  EXPECT_EQ(main_.frameGeometry(), QRect(67, 67, 667, 467));
  EXPECT_EQ(main_.layout().imgSplitter.left, 2000);
  EXPECT_EQ(main_.form().lvContentsOf->columnWidth(1), 93);
  main_.resize(700, 480);
  main_.showMaximized();
  main_.close();
  QSettings store = WindowSettings();
  store.beginGroup("Settings");
  QStringList keys = store.childKeys();
  keys.sort();
  EXPECT_EQ(keys, (QStringList{"MainWindowState", "ViewMode"}));
  EXPECT_EQ(store.value("MainWindowState").toInt(), 2);
}

TEST_F(FrmMainTest, AStoredMaximisedStateOpensMaximisedOverTheStoredNormalSize) {
  {
    QSettings store = WindowSettings();
    WindowState s;
    s.MainWidth = 12000;
    s.MainHeight = 8000;
    s.MainWindowState = 2;
    WriteWindowState(store, s, ShowState::Normal, kViewModeReport);
  }
  bool terminate = true;
  ASSERT_TRUE(Load(kPlainIni, terminate));
  EXPECT_TRUE(main_.isMaximized());
  main_.showNormal();
  QApplication::processEvents();
  EXPECT_EQ(main_.frameGeometry().size(), QSize(800, 533));
}

TEST_F(FrmMainTest, TheDefaultWindowHasNoOverlapsAndEveryCaptionFits) {
  bool terminate = true;
  ASSERT_TRUE(Load(kPlainIni, terminate));
  QApplication::processEvents();
  // Into the test program's own folder (the run changes the current folder).
  QString shots = QCoreApplication::applicationDirPath() + "/screenshots";
  QDir().mkpath(shots);
  EXPECT_TRUE(main_.grab().save(shots + "/frmmain_default.png"));
  QList<QPair<QString, QRect>> placed;
  for (auto [name, widget] : main_.Controls()) {
    if (!widget->isVisibleTo(&main_)) continue;
    QRect r(widget->mapTo(&main_, QPoint(0, 0)), widget->size());
    EXPECT_TRUE(main_.rect().contains(r)) << name.toStdString();
    for (const auto& [other, rect] : placed)
      EXPECT_FALSE(r.intersects(rect)) << name.toStdString() << " overlaps " << other.toStdString();
    placed << qMakePair(name, r);
    // The caption's text, without its access-key marker, fits the control.
    QString caption;
    int room = widget->width();
    if (auto* l = qobject_cast<QLabel*>(widget)) caption = l->text(), room -= 2 * l->frameWidth();
    if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
      caption = b->text();
      room -= qobject_cast<QPushButton*>(b) ? 8 : 20;  // the frame, or the box or circle
    }
    if (auto* g = qobject_cast<QGroupBox*>(widget)) caption = g->title(), room -= 8;
    caption.remove('&');
    EXPECT_LE(widget->fontMetrics().horizontalAdvance(caption), room)
        << name.toStdString() << " '" << caption.toStdString() << "'";
  }
  // The controls inside the parameter frames fit their frames too.
  for (QWidget* frame : {static_cast<QWidget*>(main_.form().fraOptions),
                         static_cast<QWidget*>(main_.form().fraOriginal),
                         static_cast<QWidget*>(main_.form().fraSettings),
                         static_cast<QWidget*>(main_.form().fraThreshold)})
    for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      EXPECT_TRUE(frame->rect().contains(child->geometry())) << frame->objectName().toStdString();
      if (auto* b = qobject_cast<QAbstractButton*>(child)) {
        EXPECT_LE(b->sizeHint().width(), b->width()) << b->text().toStdString();
      }
    }
}

TEST_F(FrmMainTest, TheSplitterIsDraggedWithinItsBounds) {
  bool terminate = true;
  ASSERT_TRUE(Load(kPlainIni, terminate));
  QWidget* handle = main_.form().imgSplitter;
  const std::pair<int, double> drags[] = {{-400, 1500}, {+400, main_.layout().pnlFiles.width - 1500}};
  for (auto [dx, expected] : drags) {
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(2, 10));
    EXPECT_TRUE(main_.form().picSplitter->isVisible());
    QMouseEvent move(QEvent::MouseMove, QPointF(dx, 10), handle->mapToGlobal(QPointF(dx, 10)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(dx, 10));
    EXPECT_FALSE(main_.form().picSplitter->isVisible());
    EXPECT_FALSE(main_.form().SplitterDragging);
    EXPECT_NEAR(main_.layout().imgSplitter.left, expected, 15) << dx;
  }
}

TEST_F(FrmMainTest, ShrinkingBelowTheParameterPanelGrowsTheWindowBack) {
  bool terminate = true;
  ASSERT_TRUE(Load(kPlainIni, terminate));
  main_.resize(667, 200);
  QApplication::processEvents();
  QApplication::processEvents();
  const MainLayout& l = main_.layout();
  double minimum = l.pnlTop.height + l.pnlRight.height + l.pnlBottom.height + l.pnlBottom2.height;
  EXPECT_GE(main_.centralWidget()->height() * 15.0, minimum - 15);
}

TEST_F(FrmMainTest, DuringAWaitTheWindowTakesNoKeysAndNoClicksButTheStatusWindowDoes) {
  bool terminate = true;
  ASSERT_TRUE(Load(kPlainIni, terminate));
  Form& f = main_.form();
  StatusBox box(*st_, &main_);
  main_.SetMainEnabled(false);
  box.ShowStatusBox(QString("Insert Document into the Scanner"));  // shown during the wait
  int keys = main_.keysHandled();
  QString name = f.txtFileName->text();
  for (QWidget* target : {static_cast<QWidget*>(&main_), static_cast<QWidget*>(f.txtFileName)}) {
    QTest::keyClick(target, Qt::Key_Escape);
    QTest::keyClick(target, Qt::Key_F5);
    QTest::keyClick(target, Qt::Key_X);
  }
  QTest::mouseClick(f.cmdExit, Qt::LeftButton);
  EXPECT_EQ(main_.keysHandled(), keys);
  EXPECT_EQ(f.txtFileName->text(), name);
  EXPECT_TRUE(main_.isVisible());
  // The status window still takes ESC.
  ASSERT_TRUE(box.Form()->isEnabled());
  QTest::keyClick(box.Form(), Qt::Key_Escape);
  EXPECT_TRUE(st_->AbortRequested);
  box.ShowStatusBox();
  main_.SetMainEnabled(true);
  QTest::keyClick(&main_, Qt::Key_F5);
  EXPECT_EQ(main_.keysHandled(), keys + 1);
}

// Keys as a keyboard delivers them: to the focus widget, a modifier's press
// before the key's, each event gone before the next one is made (so that one
// address may serve both), and no release in between.
void TypeWithoutRelease(QWidget* target, std::initializer_list<std::pair<int, Qt::KeyboardModifiers>> keys) {
  for (auto [key, modifiers] : keys) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
  }
}

TEST_F(FrmMainTest, EveryPressReachesTheKeyHandlerOnceAndARepeatNone) {
  bool terminate = true;
  ASSERT_TRUE(Load(kPlainIni, terminate));
  QApplication::processEvents();
  QWidget* focus = main_.KeyReceiver();
  ASSERT_EQ(focus, main_.form().txtFileName);
  int keys = main_.keysHandled();
  // Alt, then P with Alt held: two presses, each handled once although a
  // press the line edit leaves travels on to its parents.
  TypeWithoutRelease(focus, {{Qt::Key_Alt, Qt::AltModifier}, {Qt::Key_P, Qt::AltModifier}});
  EXPECT_EQ(main_.keysHandled(), keys + 2);
  // F5 twice: the second press counts as much as the first.
  main_.showMinimized();
  TypeWithoutRelease(focus, {{Qt::Key_F5, Qt::NoModifier}});
  EXPECT_FALSE(main_.isMinimized());
  main_.showMinimized();
  TypeWithoutRelease(focus, {{Qt::Key_F5, Qt::NoModifier}});
  EXPECT_FALSE(main_.isMinimized());
  EXPECT_EQ(main_.keysHandled(), keys + 4);
  // A held key's repeats are no new presses.
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(focus, &repeat);
  EXPECT_EQ(main_.keysHandled(), keys + 4);
}

TEST_F(FrmMainTest, TheTitleGreysOutWithTheWindowAndTheStoredFrameComesBackOnScreen) {
  {
    QSettings store = WindowSettings();
    WindowState s;
    s.MainTop = -3000;  // above the screen
    WriteWindowState(store, s, ShowState::Normal, kViewModeReport);
  }
  bool terminate = true;
  ASSERT_TRUE(Load(kPlainIni, terminate));
  EXPECT_EQ(main_.frameGeometry().top(), main_.screen()->availableGeometry().top());
  EXPECT_EQ(main_.frameGeometry().left(), 67);
  QLabel* jux = main_.form().pnlJUX;
  QColor enabled = jux->palette().color(QPalette::Active, QPalette::WindowText);
  EXPECT_EQ(enabled, QColor(0x8b, 0, 0));
  EXPECT_NE(jux->palette().color(QPalette::Disabled, QPalette::WindowText), enabled);
}

TEST_F(FrmMainTest, TheAboutAndInputDialogsCannotBeResized) {
  frmAbout about(*st_, &main_);
  frmInputBox input(&main_);
  for (QDialog* dialog : {static_cast<QDialog*>(&about), static_cast<QDialog*>(&input)}) {
    dialog->show();
    QApplication::processEvents();
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << dialog->objectName().toStdString();
    EXPECT_EQ(dialog->size(), dialog->minimumSize()) << dialog->objectName().toStdString();
    dialog->hide();
  }
}

TEST_F(FrmMainTest, TheAboutDialogShowsTheTitleAndVersionAndSaysWhenSystemInfoIsMissing) {
  frmAbout about(*st_, &main_);
  EXPECT_EQ(about.windowTitle(), "About JUX Tarvex");
  EXPECT_EQ(about.lblTitle->text(), "JUX Tarvex");
  EXPECT_EQ(about.lblVersion->text(), "Version 1.0.0");
  EXPECT_EQ(about.cmdSysInfo->text(), "&System Info...");
  QString value = "stale";
  EXPECT_FALSE(GetKeyValue(RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO",
                           "PATH", value));
  EXPECT_EQ(value, "");
  about.cmdSysInfo->click();
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].text, "System Information Is Unavailable At This Time");
  EXPECT_EQ(prompts_.shown[0].buttons, Prompts::Buttons::Ok);
}

TEST_F(FrmMainTest, ASecondStartRestoresTheRunningWorkstationAndEndsWithoutAWindow) {
  // Both processes find the socket in the test's own temporary folder.
  QByteArray savedTmp = qgetenv("TMPDIR");
  QDir().mkpath(Host("tmp"));
  qputenv("TMPDIR", Host("tmp").toUtf8());
  SingleInstance first("varnel");
  ASSERT_FALSE(first.HandOver());
  first.SetWindow(&main_);
  main_.showMinimized();
  ASSERT_TRUE(main_.isMinimized());

  QProcess second;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  second.setProcessEnvironment(env);
  second.start(JUX_BIN_DIR "/varnel", {});
  ASSERT_TRUE(second.waitForStarted());
  // The first instance answers from its event loop while the second waits.
  for (int round = 0; round < 3000 && !second.waitForFinished(10); ++round)
    QApplication::processEvents();
  if (second.state() != QProcess::NotRunning) second.kill();
  qputenv("TMPDIR", savedTmp);
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_FALSE(main_.isMinimized());
  EXPECT_TRUE(main_.isVisible());
  EXPECT_EQ(main_.keysHandled(), 1);  // the F5 went through the window's key handler
}

TEST(SingleInstanceTest, OneWorkstationPerDisplayNotPerUser) {
  testing::EnsureQtApp();
  QByteArray saved = qgetenv("DISPLAY");
  auto session = [](const char* display) {
    qputenv("DISPLAY", display);
    return DisplaySession();
  };
  EXPECT_EQ(session(":75"), session(":75.0"));
  EXPECT_NE(session(":75"), session(":76"));
  EXPECT_NE(session("otherhost:75"), session(":75"));
  EXPECT_NE(SingleInstance("varnel").serverName().indexOf(session(":75")), -1);
  qputenv("DISPLAY", saved);
}

TEST(SplashTest, AKeyOrAClickRemovesItAtOnce) {
  testing::EnsureQtApp();
  for (bool key : {true, false}) {
    QPointer<frmSplash> splash = new frmSplash;
    splash->show();
    EXPECT_EQ(splash->pnlAppTitle->text(), "Tarvex 98");
    EXPECT_EQ(splash->lblPlatform->text(), "Windows NT");
    EXPECT_EQ(splash->lblVersion->text(), "Version 1.0.0");
    EXPECT_EQ(splash->lblStatus->text(), "Loading Application...");
    QRect screen = splash->screen()->geometry();
    EXPECT_LE(std::abs(splash->geometry().center().x() - screen.center().x()), 1);
    if (key)
      QTest::keyClick(splash, Qt::Key_Space);
    else
      QTest::mouseClick(splash->fraMain, Qt::LeftButton, {}, QPoint(3, 3));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(splash.isNull()) << key;
  }
}

}  // namespace
}  // namespace varnel
