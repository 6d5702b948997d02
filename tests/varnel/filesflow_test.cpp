// The file, scheme and parameter procedures on offscreen controls, over a
// station whose drive C: is a temporary folder.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>
#include <QComboBox>
#include <QDir>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/files/connect.h"
#include "varnel/files/curdir.h"
#include "varnel/files/inputbox.h"
#include "varnel/files/lists.h"
#include "varnel/files/naming.h"
#include "varnel/files/params.h"
#include "varnel/files/scanlist.h"
#include "varnel/files/schemes.h"

namespace varnel {
namespace {

using Answer = Prompts::Answer;

// Every control of the file area, the scheme frame and the parameters, on one
// offscreen window (the folder list is left out).
class FilesFormTest : public testing::StationTest {
 protected:
  FilesFormTest() {
    UseStationFolder();
    QDir().mkpath(Host("Old"));
    st_->seams.inputs = &inputs_;
    st_->ScannerSpeed = 160;
    st_->Units = "ENGLISH";
    st_->MachineType = "6741";
    st_->ScanName = "TEMP001";
    auto* layout = new QVBoxLayout(&window_);
    auto add = [&](auto* widget) {
      layout->addWidget(widget);
      return widget;
    };
    f_.window = &window_;
    f_.dlbDrive = add(new DriveListBox);
    f_.FileMasterList = add(new FileListBox);
    f_.lvContentsOf = add(new QTreeWidget);
    f_.lvContentsOf->setColumnCount(3);
    f_.lblTitle[1] = add(new QLabel);
    f_.lstDisplayScanInfo = add(new QListWidget);
    f_.fraSettings = add(new QGroupBox);
    f_.cboSettings = add(new QComboBox);
    f_.cmdSaveAs = add(new QPushButton);
    f_.cmdDelete = add(new QPushButton);
    f_.cboOriginalWidth = add(new QComboBox);
    f_.cboOriginalWidth->addItems({"36.0\"", "24.0\"", "11.0\""});
    f_.cboResolution = add(new QComboBox);
    f_.cboResolution->addItems({"100 DPI", "200 DPI", "300 DPI", "400 DPI"});
    f_.cboLeadingEdge = add(new QComboBox);
    f_.cboLeadingEdge->addItems({"Top      0°", "Right   90°", "Bottom 180°", "Left   270°"});
    f_.cboScannerSpeed = add(new QComboBox);
    f_.chkViewFlag = add(new QCheckBox);
    f_.chkEditFlag = add(new QCheckBox);
    f_.chkMirrorFlag = add(new QCheckBox);
    f_.chkInvertFlag = add(new QCheckBox);
    f_.optLineArt = add(new QRadioButton);
    f_.optPhoto1 = add(new QRadioButton);
    f_.optPhoto2 = add(new QRadioButton);
    f_.sldThreshold = add(new QSlider);
    f_.txtThreshold = add(new QLineEdit);
    f_.cboFormat = add(new QComboBox);
    f_.cboFormat->addItems({"TLC Tarvex", "TIF Tiff G4", "PDF Acrobat"});
    f_.txtFileName = add(new QLineEdit);
    f_.txtDataField = add(new QLineEdit);
    f_.cmdScan = add(new QPushButton("Rescan"));
    ConnectFileControls(*st_, f_);
    f_.cboOriginalWidth->setCurrentIndex(0);
    f_.cboResolution->setCurrentIndex(0);
    f_.cboLeadingEdge->setCurrentIndex(0);
    f_.optLineArt->setChecked(true);
    QString error;
    ChDrive("C:", error);
    ChDir("C:\\Old", error);
  }

  void Leave(QWidget* widget) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(widget, &out);
  }
  void Enter(QWidget* widget) {
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(widget, &in);
  }
  void TypeFileName(const QString& text) {
    f_.txtFileName->setText(text);
    Leave(f_.txtFileName);
  }
  QStringList ContentsOf() const {
    QStringList rows;
    for (int i = 0; i < f_.lvContentsOf->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = f_.lvContentsOf->topLevelItem(i);
      rows << item->text(0) + "|" + item->text(1);
    }
    return rows;
  }

  // The window goes first: its controls never outlive the Form.
  Form f_;
  testing::ScriptedInputs inputs_;
  QWidget window_;
};

TEST_F(FilesFormTest, ChangingTheFolderProposesTemp001ThereAndListsItsFiles) {
  WriteFile("New/empty.tlc", "");
  WriteFile("New/k1.tif", QByteArray(1024, 'x'));
  WriteFile("New/k2.tif", QByteArray(1025, 'x'));
  QDir().mkpath(Host("New/Sub"));
  TypeFileName("C:\\OLD\\PLAN07.TLC");
  EXPECT_EQ(st_->ScanName, "PLAN07");
  // The folder list's change, as the folder browser passes it on.
  UpdateFileFields(*st_, f_, kFieldsFolder, "C:", "\\NEW", "", "");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\NEW\\TEMP001.TLC");
  EXPECT_EQ(st_->ScanFileName, "C:\\NEW\\TEMP001.TLC");
  EXPECT_EQ(st_->ScanName, "TEMP001");
  EXPECT_EQ(st_->ScanFolder, "NEW\\");
  EXPECT_EQ(CurDir(), "C:\\New");
  EXPECT_EQ(f_.lblTitle[1]->text(), "Contents of 'C:\\NEW\\'");
  EXPECT_EQ(ContentsOf(), QStringList({"empty.tlc| 0KB", "k1.tif| 1KB", "k2.tif| 2KB"}));
  EXPECT_EQ(f_.lvContentsOf->topLevelItem(1)->data(0, Qt::UserRole).toString(),
            "C:\\NEW\\k1.tif");
  EXPECT_EQ(f_.LastListedFolder, "C:\\NEW\\");
  EXPECT_TRUE(prompts_.shown.isEmpty());
  EXPECT_EQ(windows_.pointers, QList<int>({11, 0, 11, 0}));
}

TEST_F(FilesFormTest, TypedNamesSelectTheirFormatAndKeepANewFolderForTheScan) {
  QDir().mkpath(Host("Scans"));
  TypeFileName("c:\\scans\\X1.TIF");
  EXPECT_EQ(f_.cboFormat->currentText(), "TIF Tiff G4");
  EXPECT_EQ(st_->ScanName, "X1");
  EXPECT_EQ(st_->ScanFolder, "scans\\");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\scans\\X1.TIF");
  EXPECT_EQ(st_->ScanFileName, f_.txtFileName->text());
  EXPECT_EQ(CurDir(), "C:\\Scans");

  // A folder that does not exist yet: no message, nothing created, and the
  // box still names the folder the scan will create.
  TypeFileName("C:\\NEWDIR\\A5.PDF");
  EXPECT_TRUE(prompts_.shown.isEmpty());
  EXPECT_FALSE(Exists("NEWDIR"));
  EXPECT_EQ(f_.cboFormat->currentText(), "PDF Acrobat");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\NEWDIR\\A5.PDF");
  EXPECT_EQ(st_->ScanFileName, "C:\\NEWDIR\\A5.PDF");

  // An extension no format has: the selected format's extension is shown and scanned.
  TypeFileName("C:\\SCANS\\B2.XYZ");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\SCANS\\B2.PDF");
  EXPECT_EQ(st_->ScanFileName, "C:\\SCANS\\B2.PDF");
  // A drive the station does not have goes on silently too.
  TypeFileName("X:\\A\\B.TLC");
  EXPECT_TRUE(prompts_.shown.isEmpty());
  EXPECT_EQ(st_->ScanName, "B");
}

TEST_F(FilesFormTest, TheFolderListFollowsTypedNamesAndRebuildsAnEmptiedBox) {
  QDir().mkpath(Host("SCANS"));
  f_.DirMasterList = new DirListBox(&window_);
  ASSERT_TRUE(f_.DirMasterList->SetPath("C:\\Old"));
  TypeFileName("C:\\SCANS\\X1.TIF");
  EXPECT_EQ(f_.DirMasterList->Path(), "C:\\SCANS");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\SCANS\\X1.TIF");
  EXPECT_EQ(st_->ScanName, "X1");
  TypeFileName("");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\SCANS\\X1.TIF");
  EXPECT_EQ(st_->ScanFileName, "C:\\SCANS\\X1.TIF");
  EXPECT_TRUE(prompts_.shown.isEmpty());

  // A scheme whose folder has gone: Path Error, and Cancel takes the folder list to the root.
  WriteFile("Station/Settings/DEFAULT.SET",
            "MISSING\r\nTLC Tarvex\r\nc:\r\n36.0\"\r\n200\r\nTop\r\n\r\n0\r\n0\r\n0\r\n0\r\n\r\n0\r\n");
  LoadCfgFiles(*st_, f_);
  prompts_.answers = {Answer::Cancel};
  f_.cboSettings->setCurrentIndex(0);
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].text, "Path not found: C:\\MISSING\\");
  EXPECT_EQ(prompts_.shown[0].title, "Path Error");
  EXPECT_EQ(f_.DirMasterList->Path(), "C:\\");
  EXPECT_FALSE(f_.LoadingScheme);
}

TEST_F(FilesFormTest, FileNameBoxKeysFocusAndNewScanMode) {
  st_->NewScanMode = false;
  f_.txtFileName->setText("C:\\OLD\\TEMP001.TLC");
  EXPECT_FALSE(st_->NewScanMode);  // written by a procedure: no edit
  f_.txtFileName->setFocus();
  Enter(f_.txtFileName);
  EXPECT_EQ(f_.txtFileName->selectedText(), "TEMP001");
  QTest::keyClicks(f_.txtFileName, "A*B?|C:\\<D>.\"E/");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\OLD\\ABC:\\D.E.TLC");
  EXPECT_TRUE(st_->NewScanMode);
  EXPECT_EQ(f_.cmdScan->text(), "Scan");

  st_->NewScanMode = false;
  st_->AutoModeOn = true;
  f_.cmdScan->setText("Rescan");
  QTest::keyClicks(f_.txtFileName, "Z");
  EXPECT_FALSE(st_->NewScanMode);
  EXPECT_EQ(f_.cmdScan->text(), "Rescan");

  f_.txtDataField->setText("Bay 4");
  Enter(f_.txtDataField);
  EXPECT_EQ(f_.txtDataField->selectedText(), "Bay 4");
}

TEST_F(FilesFormTest, FolderErrorsAskRetryOrCancelAndCancelRestoresTheLastFields) {
  TypeFileName("C:\\OLD\\PLAN07.TLC");
  // Retry once, then Cancel: the folder list's change to a folder that has gone.
  prompts_.answers = {Answer::Retry, Answer::Cancel};
  UpdateFileFields(*st_, f_, kFieldsFolder, "C:", "\\GONE", "", "");
  ASSERT_EQ(prompts_.shown.size(), 2);
  EXPECT_EQ(prompts_.shown[0].text, "Path not found");
  EXPECT_EQ(prompts_.shown[0].buttons, Prompts::Buttons::RetryCancel);
  EXPECT_FALSE(st_->FieldsUpdating);
  EXPECT_EQ(st_->ScanFileName, "C:\\OLD\\PLAN07.TLC");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\OLD\\PLAN07.TLC");
  EXPECT_EQ(st_->ScanName, "PLAN07");

  // A drive the station does not have, from the drive list.
  setenv("JUX_DRIVES", ("C=" + dir_.path() + ";M=" + Host("nomedium")).toUtf8(), 1);
  f_.dlbDrive->Refresh();
  prompts_.shown.clear();
  prompts_.answers = {Answer::Retry, Answer::Retry, Answer::Cancel};
  UpdateFileFields(*st_, f_, kFieldsDrive, "M:", "", "", "");
  ASSERT_EQ(prompts_.shown.size(), 3);
  EXPECT_EQ(prompts_.shown[2].text, "Device unavailable");
  EXPECT_EQ(st_->ScanFileName, "C:\\OLD\\PLAN07.TLC");
  EXPECT_EQ(CurDir(), "C:\\Old");

  // The current folder removed from outside: a change of format asks about
  // it, and Cancel goes to the nearest folder that is still there.
  QDir().mkpath(Host("Jobs/J7"));
  TypeFileName("C:\\Jobs\\J7\\PLAN08.TLC");
  ASSERT_EQ(CurDir(), "C:\\Jobs\\J7");
  QDir(Host("Jobs")).removeRecursively();
  prompts_.shown.clear();
  prompts_.answers = {Answer::Cancel};
  UpdateFileFields(*st_, f_, kFieldsFormat, "", "", "TIF", "");
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].text, "Path not found");
  EXPECT_EQ(prompts_.shown[0].buttons, Prompts::Buttons::RetryCancel);
  EXPECT_EQ(st_->ScanFileName, "C:\\PLAN08.TLC");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\PLAN08.TLC");
  EXPECT_EQ(CurDir(), "C:\\");

  // The same drive coming back between Retry and Cancel is taken.
  QDir().mkpath(Host("nomedium"));
  prompts_.shown.clear();
  UpdateFileFields(*st_, f_, kFieldsDrive, "M:", "", "", "");
  EXPECT_TRUE(prompts_.shown.isEmpty());
  EXPECT_EQ(st_->ScanFileName, "M:\\TEMP001.TLC");
}

TEST_F(FilesFormTest, CounterNamesAndTheExhaustedScanList) {
  UpdateFileFields(*st_, f_, kFieldsFolder, "C:", "\\OLD", "", "");
  st_->ScanName = "A009";
  EXPECT_TRUE(SetNewName(*st_, f_, DisplayScanInfo));
  EXPECT_EQ(f_.txtFileName->text(), "C:\\OLD\\A010.TLC");
  f_.cboFormat->setCurrentIndex(1);
  // A format change proposes TEMP001 in the current folder (named as the disk has it).
  EXPECT_EQ(f_.txtFileName->text(), "C:\\Old\\TEMP001.TIF");

  st_->ScanListMode = true;
  st_->ScanFileList[1] = "C:\\OLD\\P1.TLC,A";
  st_->ScanFileList[2] = "C:\\OLD\\P2.TLC,B";
  st_->ScanCnt = 2;
  st_->CurScanCnt = 1;
  EXPECT_TRUE(SetNewName(*st_, f_, DisplayScanInfo));
  EXPECT_EQ(st_->CurScanCnt, 2);
  EXPECT_EQ(f_.txtFileName->text(), "C:\\OLD\\P2.TLC");
  EXPECT_FALSE(SetNewName(*st_, f_, DisplayScanInfo));
  EXPECT_EQ(st_->CurScanCnt, 2);
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].text, "Auto Scan Complete: No more files to scan in list!");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\OLD\\P2.TLC");
}

TEST_F(FilesFormTest, ScanListEntriesAreCheckedShownAndLoadTheirScheme) {
  st_->DebugFlag = true;
  WriteFile("Lists/today.lst",
            "x:\\job12\\dwg0001.xyz,rev a,sheet 1,,,xxd1\r\n\r\nc:\\old\\dwg0002.tif,\r\n");
  WriteFile("Station/Settings/D1.Set",
            "IGNORED\r\nPDF Acrobat\r\nq:\r\n24.0\"\r\n300 dpi\r\nLeft\r\nFast\r\n 1 \r\n 0 \r\n 1 \r\n 2 \r\nD1 data\r\n 1 \r\n");
  LoadScanList(*st_, "C:\\Lists\\today.lst");
  ASSERT_TRUE(st_->ScanListMode);
  EXPECT_EQ(st_->ScanCnt, 2);
  EXPECT_EQ(windows_.splash, QStringList({"Loading Scan List from File..."}));
  EXPECT_EQ(LogMessages(), QStringList({" 1: X:\\JOB12\\DWG0001.XYZ,REV A,SHEET 1,,,XXD1",
                                        " 2: C:\\OLD\\DWG0002.TIF,"}));

  DisplayFileName(*st_, f_, DisplayScanInfo);
  ASSERT_EQ(prompts_.shown.size(), 2);
  EXPECT_EQ(prompts_.shown[0].text, "Invalid Drive: X:, Using C: Drive");
  EXPECT_EQ(prompts_.shown[1].text, "Invalid Format: XYZ, Using TLC Format");
  EXPECT_EQ(st_->ScanFileName, "C:\\JOB12\\DWG0001.TLC");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\JOB12\\DWG0001.TLC");
  EXPECT_EQ(st_->ScanFileList[1], "C:\\JOB12\\DWG0001.TLC,REV A,SHEET 1,,,XXD1");
  EXPECT_TRUE(f_.dlbDrive->Drive().startsWith("c:"));
  EXPECT_EQ(f_.cboFormat->currentText(), "TLC Tarvex");
  EXPECT_TRUE(st_->FreeSpaceText.startsWith("Free Space on Scan Drive:"));

  QStringList panel;
  for (int i = 0; i < f_.lstDisplayScanInfo->count(); ++i) panel << f_.lstDisplayScanInfo->item(i)->text();
  EXPECT_EQ(panel, QStringList({"Scaning Image 1 of 2, " + st_->FreeSpaceText,
                                "C:\\JOB12\\DWG0001.TLC   ", "REV A   ", "SHEET 1   ", "   ", "   ",
                                "XXD1   "}));
  // The entry's scheme: parameters, not folder, drive or format.
  EXPECT_EQ(f_.cboResolution->currentText(), "300 DPI");
  EXPECT_EQ(f_.cboOriginalWidth->currentText(), "24.0\"");
  EXPECT_EQ(f_.cboLeadingEdge->currentIndex(), 3);
  EXPECT_TRUE(f_.optPhoto2->isChecked());
  EXPECT_TRUE(f_.chkViewFlag->isChecked() && f_.chkInvertFlag->isChecked() && f_.chkEditFlag->isChecked());
  EXPECT_TRUE(st_->ViewFlag && st_->InvertFlag && st_->EditFlag && !st_->MirrorFlag);
  EXPECT_EQ(f_.txtDataField->text(), "D1 data");
  EXPECT_EQ(f_.cboSettings->currentText(), "");  // not listed: only the file was there
  EXPECT_EQ(f_.SettingsTag, "");
  QStringList log = LogMessages();
  EXPECT_TRUE(log.contains("Old ScanFileList$(CurScanCnt)X:\\JOB12\\DWG0001.XYZ,REV A,SHEET 1,,,XXD1"));
  EXPECT_TRUE(log.contains("Rem New ScanFileList$(CurScanCnt)C:\\JOB12\\DWG0001.TLC,REV A,SHEET 1,,,XXD1"));
  EXPECT_TRUE(log.contains("Auto Loading Settings: C:\\Station\\Settings\\D1.Set"));

  // The second entry: one trailing comma, no scheme.
  prompts_.shown.clear();
  EXPECT_TRUE(SetNewName(*st_, f_, DisplayScanInfo));
  EXPECT_TRUE(prompts_.shown.isEmpty());
  EXPECT_EQ(f_.txtFileName->text(), "C:\\OLD\\DWG0002.TIF");
  EXPECT_EQ(f_.cboFormat->currentText(), "TIF Tiff G4");
  EXPECT_EQ(f_.lstDisplayScanInfo->item(1)->text(), "C:\\OLD\\DWG0002.TIF   ");
  EXPECT_EQ(f_.lstDisplayScanInfo->item(2)->text(), "   ");
}

TEST_F(FilesFormTest, NamesWithoutAFolderOrWithDotsStayOnTheirDrive) {
  QDir().mkpath(Host("JOB/SUB"));
  QString error;
  ASSERT_TRUE(ChDrive("C:", error) && ChDir("C:\\JOB", error)) << error.toStdString();
  WriteFile("Lists/names.lst",
            "C:DWG0001.TLC,\r\nDWG0002.TLC,\r\nC:\\..\\..\\..\\..\\ESCAPE\\X0001.TLC,\r\n"
            "C:SUB\\..\\..\\X2.TLC,\r\nC:/A/./B/../X3.TLC,\r\n");
  LoadScanList(*st_, "C:\\Lists\\names.lst");
  ASSERT_EQ(st_->ScanCnt, 5);
  QStringList names;
  DisplayFileName(*st_, f_, DisplayScanInfo);
  names << st_->ScanFileName;
  while (st_->CurScanCnt < st_->ScanCnt && SetNewName(*st_, f_, DisplayScanInfo)) names << st_->ScanFileName;
  EXPECT_TRUE(prompts_.shown.isEmpty());
  EXPECT_EQ(names, QStringList({"C:\\JOB\\DWG0001.TLC", "C:\\JOB\\DWG0002.TLC",
                                "C:\\ESCAPE\\X0001.TLC", "C:\\X2.TLC", "C:\\A\\X3.TLC"}));
  EXPECT_EQ(st_->ScanFileList[1], "C:\\JOB\\DWG0001.TLC,");

  // Typed names are read the same way, from the folder the box stands in.
  st_->ScanListMode = false;
  ASSERT_TRUE(ChDir("C:\\JOB\\SUB", error));
  const char* typed[][2] = {
      {"..\\T1.TLC", "C:\\JOB\\T1.TLC"},
      {"C:\\..\\..\\OUT\\T2.TLC", "C:\\OUT\\T2.TLC"},
      {"C:T3.TLC", "C:\\JOB\\T3.TLC"},
  };
  for (const auto& [text, full] : typed) {
    TypeFileName(text);
    EXPECT_EQ(st_->ScanFileName, full) << text;
  }
  EXPECT_TRUE(prompts_.shown.isEmpty());
}

TEST_F(FilesFormTest, LongScanListsAreCutWithOneMessage) {
  QByteArray lines;
  for (int i = 1; i <= 1002; ++i) lines += "C:\\OLD\\F" + QByteArray::number(i) + ".TLC,\r\n";
  WriteFile("Lists/long.lst", lines);
  LoadScanList(*st_, "C:\\Lists\\long.lst");
  EXPECT_EQ(st_->ScanCnt, 1000);
  EXPECT_EQ(st_->ScanFileList[1000], "C:\\OLD\\F1000.TLC,");
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_TRUE(prompts_.shown[0].text.contains("C:\\Lists\\long.lst"));
  EXPECT_TRUE(prompts_.shown[0].text.contains("from line 1001 on"));

  for (const char* none : {"", "   ", "C:\\Lists\\missing.lst"}) {
    LoadScanList(*st_, none);
    EXPECT_FALSE(st_->ScanListMode) << none;
  }
  WriteFile("Lists/blank.lst", "  \r\n\r\n");
  LoadScanList(*st_, "C:\\Lists\\blank.lst");
  EXPECT_FALSE(st_->ScanListMode);

  // A line too long to be an entry is left out with its number; the rest loads.
  prompts_.shown.clear();
  WriteFile("Lists/wide.lst", "C:\\A.TLC,\r\n" + QByteArray(5000, 'x') + "\r\nC:\\B.TLC,\r\n");
  LoadScanList(*st_, "C:\\Lists\\wide.lst");
  EXPECT_EQ(st_->ScanCnt, 2);
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].text,
            "The scan list C:\\Lists\\wide.lst has lines longer than 1024 characters; they were "
            "left out: line 2");
  // A named pipe is not waited on.
  prompts_.shown.clear();
  ASSERT_EQ(mkfifo(Host("Lists/pipe.lst").toLocal8Bit().constData(), 0600), 0);
  LoadScanList(*st_, "C:\\Lists\\pipe.lst");
  EXPECT_FALSE(st_->ScanListMode);
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].text,
            "The scan list C:\\Lists\\pipe.lst is not a file and was not loaded.");
}

TEST_F(FilesFormTest, TypeAheadCompletesResolutionsAndChecksTypedValues) {
  // Keys go where the focus is, as the operator types them.
  window_.show();
  window_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  f_.cboResolution->setFocus();
  f_.cboResolution->setEditText("");
  QTest::keyClick(QApplication::focusWidget(), '2');
  EXPECT_EQ(f_.cboResolution->currentText(), "200 DPI");
  EXPECT_EQ(f_.cboResolution->lineEdit()->selectedText(), "00 DPI");
  QTest::keyClick(f_.cboResolution, '5');  // overtypes the rest: no entry begins with 25
  EXPECT_EQ(f_.cboResolution->currentText(), "25");
  // With the caret inside the text a digit is typed normally.
  f_.cboResolution->lineEdit()->setCursorPosition(1);
  QTest::keyClick(f_.cboResolution, '0');
  EXPECT_EQ(f_.cboResolution->currentText(), "205");

  st_->MachineType = "6765";
  f_.cboResolution->setEditText("150");
  Leave(f_.cboResolution);
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].title, "Invalid Resolution");
  EXPECT_EQ(f_.cboResolution->currentText(), "200 DPI");
  st_->MachineType = "6741";
  f_.cboResolution->setEditText("300.6");
  Leave(f_.cboResolution);
  EXPECT_EQ(f_.cboResolution->currentText(), "301 DPI");
  EXPECT_EQ(prompts_.shown.size(), 1);
  // The speed list follows the resolution.
  EXPECT_EQ(f_.cboScannerSpeed->itemText(0), "Fast 8.4\"/Sec");

  st_->Units = "METRIC";
  st_->MachineType = "6737";
  f_.cboOriginalWidth->setEditText("1300");
  Leave(f_.cboOriginalWidth);
  ASSERT_EQ(prompts_.shown.size(), 2);
  EXPECT_EQ(prompts_.shown[1].text, "The width value must be from 25.4 mm to 1219.2 mm");
  EXPECT_EQ(f_.cboOriginalWidth->currentText(), "1219.2mm");
  // An entry chosen from the list is taken as it stands.
  f_.cboOriginalWidth->setCurrentIndex(1);
  Leave(f_.cboOriginalWidth);
  EXPECT_EQ(f_.cboOriginalWidth->currentText(), "24.0\"");
  EXPECT_EQ(prompts_.shown.size(), 2);
}

TEST_F(FilesFormTest, SlowScannersHaveOneSpeedAndTheThresholdIsHandedOver) {
  st_->ScannerSpeed = 40;
  SetupScannerSpeeds(*st_, f_);
  ASSERT_EQ(f_.cboScannerSpeed->count(), 1);
  EXPECT_EQ(f_.cboScannerSpeed->itemText(0), "Fast");
  f_.cboScannerSpeed->setItemData(0, 7);  // marks the entry: not rebuilt
  SetupScannerSpeeds(*st_, f_);
  EXPECT_EQ(f_.cboScannerSpeed->itemData(0).toInt(), 7);

  for (const char* hardware : {"NO", "YES"}) {
    SCOPED_TRACE(hardware);
    st_->HardwareConnect = hardware;
    st_->ControllerThreshold = 72;
    st_->ThresholdChanged = false;
    st_->PendingThresholdArg.clear();
    f_.txtThreshold->setText("72");
    EXPECT_EQ(f_.sldThreshold->value(), 72);
    f_.sldThreshold->setValue(80);
    EXPECT_EQ(f_.txtThreshold->text(), "80");
    f_.sldThreshold->setValue(72);  // back to the controller's value: still changed
    EXPECT_TRUE(st_->ThresholdChanged);
    EXPECT_EQ(st_->PendingThresholdArg, QString(hardware) == "YES" ? "/T:72 " : "");
  }
  f_.txtThreshold->clear();
  QTest::keyClicks(f_.txtThreshold, "1a2.0-");
  EXPECT_EQ(f_.txtThreshold->text(), "120");
  EXPECT_EQ(f_.sldThreshold->value(), 72);  // out of range: the slider stays
  Leave(f_.txtThreshold);
  EXPECT_EQ(f_.txtThreshold->text(), "115");
  EXPECT_EQ(f_.sldThreshold->value(), 115);
}

class SchemesTest : public FilesFormTest {
 protected:
  QStringList Listed() const {
    QStringList names;
    for (int i = 0; i < f_.cboSettings->count(); ++i) names << f_.cboSettings->itemText(i);
    return names;
  }
};

TEST_F(SchemesTest, FirstStartCreatesDefaultAndALoadSelectsIt) {
  LoadCfgFiles(*st_, f_);
  EXPECT_TRUE(Exists("Station/Settings"));
  EXPECT_TRUE(Listed().isEmpty());
  UpdateFileFields(*st_, f_, kFieldsFolder, "C:", "\\OLD", "", "");
  ASSERT_TRUE(CreateNewSettings(*st_, f_, "C:\\Station\\Settings\\Default.Set"));
  EXPECT_EQ(Listed(), QStringList({"DEFAULT"}));
  EXPECT_EQ(f_.cboSettings->currentIndex(), -1);
  QByteArray written = ReadFile("Station/Settings/Default.Set");
  EXPECT_TRUE(written.startsWith("\r\nTLC Tarvex\r\nc:"));  // no folder list: folder empty
  EXPECT_EQ(written.count("\r\n"), 13);

  f_.cboSettings->setCurrentIndex(0);
  EXPECT_EQ(f_.SettingsTag, "DEFAULT");
  EXPECT_EQ(f_.cboSettings->currentText(), "DEFAULT");
  EXPECT_EQ(f_.SchemeFile, "C:\\Station\\Settings\\DEFAULT.Set");
  EXPECT_EQ(st_->ScanDrive, "C:\\");
  EXPECT_EQ(f_.cboScannerSpeed->itemText(0), "Fast 25.2\"/Sec");  // rebuilt for 100 DPI

  // A scheme-held control change clears the box; the tag stays for Save As.
  f_.cboOriginalWidth->setCurrentIndex(2);
  EXPECT_EQ(f_.cboSettings->currentText(), "");
  EXPECT_EQ(f_.SettingsTag, "DEFAULT");
  f_.txtDataField->setText("edited");  // the data field is no scheme change
  f_.cboSettings->setCurrentIndex(0);
  f_.txtDataField->setText("edited");
  EXPECT_EQ(f_.cboSettings->currentText(), "DEFAULT");
}

TEST_F(SchemesTest, LoadingAppliesEveryLineAndToleratesShortFiles) {
  QDir().mkpath(Host("Jobs/J1"));
  WriteFile("Station/Settings/default.set",  // with a byte-order mark in front
            "\xEF\xBB\xBF" "JOBS\\J1\r\nPDF Acrobat\r\nc: [data]\r\n  11.0\"  \r\n  400 DPI  \r\nBottom\r\nNorm\r\n1\r\n 1 \r\n0\r\n 1 \r\nJob one\r\n");
  WriteFile("Station/Settings/A1.Set", "\r\nTLC\r\nc:\r\n36.0\"\r\n250\r\nNowhere\r\n\r\n0\r\n0\r\n0\r\n0\r\n\r\n0\r\n");
  f_.chkEditFlag->setChecked(true);
  LoadCfgFiles(*st_, f_);
  EXPECT_EQ(Listed(), QStringList({"DEFAULT", "A1"}));
  f_.cboSettings->setCurrentIndex(0);
  EXPECT_TRUE(prompts_.shown.isEmpty());
  EXPECT_EQ(f_.cboFormat->currentText(), "PDF Acrobat");
  EXPECT_EQ(st_->ScanExt, "PDF");
  EXPECT_EQ(st_->ScanFolder, "JOBS\\J1\\");
  EXPECT_EQ(f_.cboOriginalWidth->currentText(), "11.0\"");
  EXPECT_EQ(f_.cboResolution->currentText(), "400 DPI");
  EXPECT_EQ(f_.cboLeadingEdge->currentIndex(), 2);
  EXPECT_TRUE(f_.chkViewFlag->isChecked());
  EXPECT_TRUE(f_.chkMirrorFlag->isChecked());
  EXPECT_FALSE(f_.chkEditFlag->isChecked());  // a 12-line file clears Edit
  EXPECT_TRUE(f_.optPhoto1->isChecked());
  EXPECT_EQ(f_.txtDataField->text(), "Job one");
  EXPECT_EQ(f_.txtFileName->text(), "C:\\JOBS\\J1\\TEMP001.PDF");
  EXPECT_EQ(f_.cboScannerSpeed->itemText(1), "Norm 6.3\"/Sec");
  EXPECT_EQ(f_.cboSettings->currentText(), "DEFAULT");

  // A folder line with dots stays on its drive.
  QDir().mkpath(Host("Out"));
  WriteFile("Station/Settings/A2.Set", "..\\..\\OUT\\.\r\nTLC\r\nc:\r\n36.0\"\r\n");
  LoadCfgFiles(*st_, f_);
  SelectComboItem("A2", f_.cboSettings);
  EXPECT_TRUE(prompts_.shown.isEmpty());
  EXPECT_EQ(st_->ScanFolder, "OUT\\");
  EXPECT_TRUE(f_.txtFileName->text().startsWith("C:\\OUT\\TEMP001."));
  f_.cboSettings->setCurrentIndex(0);

  // A resolution and an edge no entry begins with leave them as they are.
  f_.cboSettings->setCurrentIndex(1);
  EXPECT_EQ(f_.cboResolution->currentText(), "400 DPI");
  EXPECT_EQ(f_.cboLeadingEdge->currentIndex(), 2);
  EXPECT_EQ(f_.SettingsTag, "A1");
  EXPECT_FALSE(f_.LoadingScheme);
}

TEST_F(SchemesTest, DriveAndFolderErrorsOfALoad) {
  setenv("JUX_DRIVES", ("C=" + dir_.path() + ";M=" + Host("nomedium")).toUtf8(), 1);
  f_.dlbDrive->Refresh();
  WriteFile("Station/Settings/DEFAULT.SET", "\r\nTLC\r\nm:\r\n36.0\"\r\n200\r\nTop\r\n\r\n0\r\n0\r\n0\r\n0\r\n\r\n0\r\n");
  LoadCfgFiles(*st_, f_);
  st_->ScanName = "KEEP01";
  f_.txtFileName->setText("C:\\OLD\\KEEP01.TLC");
  prompts_.answers = {Answer::Retry, Answer::Cancel};
  f_.cboSettings->setCurrentIndex(0);
  ASSERT_EQ(prompts_.shown.size(), 2);
  EXPECT_EQ(prompts_.shown[0].text, "Device unavailable: M:\\");
  EXPECT_EQ(prompts_.shown[0].title, "Drive Error");
  EXPECT_EQ(prompts_.shown[0].buttons, Prompts::Buttons::RetryCancel);
  EXPECT_FALSE(f_.LoadingScheme);
  EXPECT_EQ(f_.txtFileName->text(), "C:\\OLD\\KEEP01.TLC");  // the name is not rebuilt
  EXPECT_EQ(f_.cboResolution->currentText(), "200 DPI");     // the rest is applied
}

TEST_F(SchemesTest, SaveAsAndDelete) {
  LoadCfgFiles(*st_, f_);
  CreateNewSettings(*st_, f_, "C:\\Station\\Settings\\Default.Set");
  f_.cboSettings->setCurrentIndex(0);
  f_.cboResolution->setCurrentIndex(2);
  inputs_.answers = {"Plan 2"};
  f_.cmdSaveAs->click();
  ASSERT_EQ(inputs_.asked.size(), 1);
  EXPECT_EQ(inputs_.asked[0].caption, "Save Settings");
  EXPECT_EQ(inputs_.asked[0].prompt, "Setting Name:");
  EXPECT_EQ(inputs_.asked[0].proposed, "DEFAULT");
  EXPECT_TRUE(inputs_.asked[0].placed);
  EXPECT_EQ(inputs_.asked[0].at, f_.fraSettings->mapToGlobal(QPoint(0, 0)));
  EXPECT_EQ(Listed(), QStringList({"DEFAULT", "Plan 2"}));
  EXPECT_EQ(f_.cboSettings->currentText(), "Plan 2");
  EXPECT_EQ(f_.SettingsTag, "Plan 2");
  EXPECT_TRUE(ReadFile("Station/Settings/Plan 2.Set").contains("\r\n300 DPI\r\n"));

  // Cancel: nothing written. Lower-case default replaces DEFAULT.
  inputs_.answers = {""};
  f_.cmdSaveAs->click();
  EXPECT_EQ(Listed(), QStringList({"DEFAULT", "Plan 2"}));
  inputs_.answers = {"default"};
  f_.cmdSaveAs->click();
  EXPECT_EQ(Listed(), QStringList({"DEFAULT", "Plan 2"}));
  EXPECT_TRUE(ReadFile("Station/Settings/Default.Set").contains("\r\n300 DPI\r\n"));

  // A name that would lead out of the Settings folder is refused before any write.
  auto everyFile = [this] {
    QStringList files;
    QDirIterator it(Host(""), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
    files.sort();
    return files;
  };
  const QStringList before = everyFile();
  for (const char* name : {"../../evil", "..\\evil", "Plan.Set", "C:x", " "}) {
    prompts_.shown.clear();
    inputs_.answers = {name};
    f_.cmdSaveAs->click();
    ASSERT_EQ(prompts_.shown.size(), 1) << name;
    EXPECT_EQ(prompts_.shown[0].text, QString("The name can not be used: '") + name + "'");
  }
  EXPECT_EQ(Listed(), QStringList({"DEFAULT", "Plan 2"}));
  EXPECT_EQ(everyFile(), before);
  prompts_.shown.clear();

  // DEFAULT cannot be deleted.
  f_.cboSettings->setCurrentIndex(0);
  f_.cmdDelete->click();
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].text,
            "You can not delete the DEFAULT setting.\rIf you want to change the DEFAULT vaules,\r"
            "use Save As to replace the settings.");
  EXPECT_EQ(prompts_.shown[0].title, "Can not Delete Settings");
  EXPECT_EQ(prompts_.shown[0].icon, Prompts::Icon::Exclamation);

  // No on the question keeps the scheme; Yes deletes it and loads the first one.
  f_.cboSettings->setCurrentIndex(1);
  prompts_.answers = {Answer::No};
  f_.cmdDelete->click();
  EXPECT_EQ(prompts_.shown.last().text, "Are you sure you want to remove the setting: PLAN 2?");
  EXPECT_EQ(prompts_.shown.last().title, "Delete Setting");
  EXPECT_TRUE(Exists("Station/Settings/Plan 2.Set"));
  prompts_.answers = {Answer::Yes};
  f_.cmdDelete->click();
  EXPECT_FALSE(Exists("Station/Settings/Plan 2.Set"));
  EXPECT_EQ(Listed(), QStringList({"DEFAULT"}));
  EXPECT_EQ(f_.cboSettings->currentText(), "DEFAULT");

  // Nothing selected: Delete does nothing.
  f_.cboSettings->setCurrentIndex(-1);
  qsizetype boxes = prompts_.shown.size();
  f_.cmdDelete->click();
  EXPECT_EQ(prompts_.shown.size(), boxes);
}

TEST_F(SchemesTest, SchemesThatCannotBeReadOrWrittenAreReported) {
  LoadCfgFiles(*st_, f_);
  CreateNewSettings(*st_, f_, "C:\\Station\\Settings\\Default.Set");
  // Listed, but gone before it is chosen.
  WriteFile("Station/Settings/Gone.Set", "");
  LoadCfgFiles(*st_, f_);
  QFile::remove(Host("Station/Settings/Gone.Set"));
  f_.cboResolution->setCurrentIndex(3);
  SelectComboItem("Gone", f_.cboSettings);
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_TRUE(prompts_.shown[0].text.contains("C:\\Station\\Settings\\Gone.Set"));
  EXPECT_EQ(prompts_.shown[0].title, "Varnel Error");
  EXPECT_EQ(f_.cboResolution->currentText(), "400 DPI");
  EXPECT_FALSE(f_.LoadingScheme);

  // A scheme on a drive the station does not have.
  EXPECT_FALSE(CreateNewSettings(*st_, f_, "Q:\\Settings\\X.Set"));
  EXPECT_EQ(prompts_.shown.size(), 2);
  EXPECT_EQ(Listed(), QStringList({"DEFAULT", "Gone"}));

  // A read-only Settings folder: the message tells why (the superuser writes anyway).
  if (geteuid() == 0) return;
  QFile::setPermissions(Host("Station/Settings"), QFile::ReadOwner | QFile::ExeOwner);
  EXPECT_FALSE(CreateNewSettings(*st_, f_, "C:\\Station\\Settings\\New.Set"));
  QFile::setPermissions(Host("Station/Settings"),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  ASSERT_EQ(prompts_.shown.size(), 3);
  EXPECT_EQ(prompts_.shown[2].text,
            "The setting file C:\\Station\\Settings\\New.Set could not be written: Access denied");
}

TEST(InputBox, DefaultsKeyFilterAndCancel) {
  testing::EnsureQtApp();
  frmInputBox box;
  EXPECT_EQ(box.windowTitle(), "Input Box");
  EXPECT_EQ(box.lblName->text(), "Name:");
  EXPECT_EQ(box.cmdOK->text(), "&OK");
  EXPECT_EQ(box.cmdCancel->text(), "&Cancel");
  QTest::keyClicks(box.txtName, "Plan 2.Set");
  EXPECT_EQ(box.txtName->text(), "Plan 2Set");
  box.txtName->clear();
  QTest::keyClicks(box.txtName, "a-b_C 9/\\:*?.\"<>|");
  EXPECT_EQ(box.txtName->text(), "a-b_C 9");
  QTest::keyClick(box.txtName, Qt::Key_Backspace);
  EXPECT_EQ(box.txtName->text(), "a-b_C ");
  box.cmdCancel_Click();
  EXPECT_EQ(box.txtName->text(), "");
  EXPECT_EQ(box.result(), QDialog::Rejected);
  box.txtName->setText("kept");
  box.cmdOK_Click();
  EXPECT_EQ(box.txtName->text(), "kept");
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(InputBox, APastedOrDroppedNameIsFilteredAsAWhole) {
  testing::EnsureQtApp();
  frmInputBox box;
  box.show();
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QString bad = "..\\ESC2/x.y:\t*";
  struct Way {
    const char* name;
    std::function<void()> paste;
  } ways[] = {
      {"Ctrl+V", [&] { QTest::keyClick(box.txtName, Qt::Key_V, Qt::ControlModifier); }},
      {"Shift+Insert", [&] { QTest::keyClick(box.txtName, Qt::Key_Insert, Qt::ShiftModifier); }},
      {"context menu",
       [&] {
         std::unique_ptr<QMenu> menu(box.txtName->createStandardContextMenu());
         QAction* paste = nullptr;
         for (QAction* action : menu->actions())
           if (action->text().remove('&').startsWith("Paste")) paste = action;
         ASSERT_NE(paste, nullptr);
         paste->trigger();
       }},
      {"drop",
       [&] {
         QMimeData mime;
         mime.setText(bad);
         const QPoint at = box.txtName->rect().center();
         QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
         QApplication::sendEvent(box.txtName, &enter);
         QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
         QApplication::sendEvent(box.txtName, &drop);
       }},
      {"set", [&] { box.txtName->setText(box.txtName->text() + bad); }},
  };
  for (const Way& way : ways) {
    box.txtName->setText("Job ");
    box.txtName->end(false);
    clipboard->setText(bad);
    way.paste();
    EXPECT_EQ(box.txtName->text(), "Job ESC2xy") << way.name;
  }
  if (clipboard->supportsSelection()) {  // middle click pastes the selection
    box.txtName->setText("Job ");
    clipboard->setText(bad, QClipboard::Selection);
    QTest::mouseClick(box.txtName, Qt::MiddleButton, Qt::NoModifier, QPoint(60, 5));
    EXPECT_EQ(box.txtName->text(), "Job ESC2xy");
  }
  // Characters taken out before the cursor move it back with them.
  box.txtName->setText("AB");
  box.txtName->setCursorPosition(1);
  clipboard->setText("./x");
  QTest::keyClick(box.txtName, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(box.txtName->text(), "AxB");
  EXPECT_EQ(box.txtName->cursorPosition(), 2);
  // Ctrl+A selects the whole name.
  box.txtName->setText("Plan 7");
  box.txtName->deselect();
  QTest::keyClick(box.txtName, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(box.txtName->selectedText(), "Plan 7");

  EXPECT_TRUE(NameAccepted("New Folder 2_b-c"));
  for (const char* name : {"", "  ", "..", "a.b", "a\\b", "a/b", "C:a", "\t"})
    EXPECT_FALSE(NameAccepted(name)) << name;
}

}  // namespace
}  // namespace varnel
