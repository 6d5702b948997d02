#include "varnel/pipeline/workflow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <cmath>
#include <limits>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/numbers.h"
#include "varnel/core/runner.h"
#include "varnel/core/scan2file.h"
#include "varnel/core/sendkeys.h"
#include "varnel/core/strings.h"
#include "varnel/pipeline/convert.h"
#include "varnel/pipeline/database.h"
#include "varnel/pipeline/print.h"
#include "varnel/pipeline/tlcstats.h"

namespace varnel {
namespace {

QString Flag(bool value) { return value ? "True" : "False"; }
QString Text(const QComboBox* box) { return box ? box->currentText() : QString(); }
bool Checked(const QRadioButton* button) { return button && button->isChecked(); }

void SetScanCaption(Form& form, int id) {
  if (form.cmdScan) form.cmdScan->setText(LoadResString(id));
}

// Waits while window events run (the viewer steps).
void Wait(Station& st, double seconds) {
  int ms = static_cast<int>(std::lround(std::clamp(seconds, 0.0, 86400.0) * 1000.0));
  if (ms > 0) st.seams.pump->Pause(ms);
}

// Replaces the target by a finished work file; nothing happens without one.
// True when the target now holds the work file.
bool MoveIntoPlace(const QString& workFile, const QString& target) {
  if (!FileExists(workFile)) return false;
  if (FileExists(target)) DeleteFile(target);
  return QFile::rename(HostPath(workFile), HostPath(target));
}

// The target folder as the work files are named in it.
QString WorkFolder(const QString& folder) {
  QString shortPath = GetShortPath(folder);
  return shortPath.isEmpty() ? folder : shortPath;
}

void ConvertForView(Station& st, bool view, int statusText) {
  st.seams.status->ShowStatusBox(LoadResString(statusText), LoadResString(resPleaseWait));
  st.LastTlcFile = st.TempDir + "Brevik.Tlc";
  File2Tlc(st, st.ScanTifFile, st.LastTlcFile, st.ScanDpi, st.ScanRotate, st.InvertFlag,
           st.MirrorFlag, view);
  st.seams.status->ShowStatusBox();
}

// Step 14: the image in the viewer, started once and then driven by keys.
void ShowInViewer(Station& st) {
  if (st.LastTlcFile.isEmpty()) ConvertForView(st, st.ViewFlag, resConvertingRaster);
  TaskWindows* tasks = st.seams.tasks;
  bool activated = st.ViewerTaskId != 0 && tasks && tasks->AppActivate(st.ViewerTaskId);
  if (!activated) {
    bool result = false;
    Execute(st, "\"" + st.LastTlcFile + "\"", st.ViewExe, 0, result);
    st.LastResult = result;
    return;
  }
  Wait(st, 0.1);
  // The working TLC is closed first, so that the converter can write it again.
  if (st.LastTlcFile.toUpper().contains("BREVIK.TLC")) tasks->SendKeys("%FC{ENTER}", false);
  // The path is typed as it stands: "~", "(" or "%" in a name are no key codes.
  tasks->SendKeys("%FO{ENTER}" + SendKeysLiteral(st.LastTlcFile) + "{ENTER}", true);
  Wait(st, st.AutoModeViewDelayTime);
}

// Step 15: a bad or blank image.
void CheckImage(ScanRoad& road) {
  Station& st = road.st;
  int32_t sizeX = 0, sizeY = 0, fileSize = 0;
  int16_t dpi = 0;
  float percCoverage = 0, percFileSize = 0;
  GetTlcStats(st, st.LastTlcFile, sizeX, sizeY, dpi, fileSize, percCoverage, percFileSize);
  if (fileSize < 0) {
    int16_t& count = road.form.BadImageCount;
    if (count < std::numeric_limits<int16_t>::max()) ++count;
    QString copy = "C:\\" + QString::number(count) + ".Tif";
    DeleteFile(copy);
    QFile::copy(HostPath(st.ScanTifFile), HostPath(copy));
    ShowError(st, LoadResString(resBadImage));
  } else if (percCoverage == 0) {
    ShowError(st, LoadResString(resBlankImage));
    st.ScanErrorFlag = true;
  }
}

// Step 18.
void QueuePrint(Station& st) {
  QStringList files{QString(), st.ScanFileName};
  if (st.DeferredPrint) {
    if (!(st.RescanFlag && st.PrintListCount >= 1)) {
      ++st.PrintListCount;
      while (st.PrintList.size() <= st.PrintListCount) st.PrintList << QString();
    }
    st.PrintList[st.PrintListCount] = st.ScanFileName;
    PlotFile(st, files, 1, 1, true);
  } else {
    PlotFile(st, files, 1, st.PrintCopies, true);
  }
}

}  // namespace

int32_t LineLength(const Station& st, float widthInches, int16_t dpi) {
  bool lowFloor = st.MachineType == "6741" || st.MachineType == "6747";
  float pixels = widthInches * MaxInt(lowFloor ? 100 : 200, dpi);
  return RoundToLong(pixels).value_or(std::numeric_limits<int32_t>::max());
}

void HandleScan(ScanRoad& road) {
  Station& st = road.st;
  Form& form = road.form;
  // 1. The target folder must be there before anything is scanned.
  st.AbortRequested = false;
  QString folder = road.files.ParsePath(st.ScanFileName);
  WriteLog(st, 1, "Folder Name: " + folder);
  if (!CheckDir(folder)) {
    ShowError(st, LoadResString(resFolderNotCreated).arg(folder));
    return;
  }
  st.LastTlcFile.clear();
  // 2., 3.
  st.ScanRotate = form.cboLeadingEdge ? static_cast<int16_t>(form.cboLeadingEdge->currentIndex()) : 0;
  int typeIndex = form.cboFormat ? form.cboFormat->currentData().toInt() : 0;
  QString outputType = st.OutputTypeCodes.value(typeIndex);
  // 4.
  st.ScanDpi = static_cast<int16_t>(RoundToLong(Val(Text(form.cboResolution))).value_or(0));
  // 5.
  float width = static_cast<float>(Val(Text(form.cboOriginalWidth).trimmed()));
  if (st.Units == "METRIC") width = static_cast<float>(width / 25.4);
  // 6.
  int32_t pixels = LineLength(st, width, st.ScanDpi);
  WriteLog(st, 1, "ScanSize:" + QString::number(width));
  WriteLog(st, 1, "   Wdth:" + QString::number(pixels));
  // 7.
  st.ScanTifFile = st.TempDir + "Brevik.TIF";
  if (FileExists(st.ScanTifFile)) DeleteFile(st.ScanTifFile);
  // 8.
  WriteLog(st, 0, "Scanner Speed: " + Text(form.cboScannerSpeed));
  // 9.
  int16_t scanType = 1;
  int speedIndex = form.cboScannerSpeed ? form.cboScannerSpeed->currentIndex() : 0;
  if (!(speedIndex == 0 || st.ScanDpi == 400)) {
    scanType = 2;
    pixels = RoundToLong(width * 400.0f).value_or(std::numeric_limits<int32_t>::max());
  }
  if (st.AutoModeOn) pixels = 0;
  if (pixels > std::numeric_limits<int16_t>::max() || pixels < 0) {
    ShowError(st, LoadResString(resLineTooLong).arg(pixels));
    return;
  }
  // 10.
  ImageModeButtons buttons{Checked(form.optLineArt), Checked(form.optPhoto1), Checked(form.optPhoto2)};
  bool scanned = Scan2File(st, st.ScanTifFile, st.ScanDpi, static_cast<int16_t>(pixels), scanType, buttons);
  st.LastResult = scanned;
  if (!scanned) return;
  // 11.
  if (!FileExists(st.ScanTifFile)) {
    WriteLog(st, 0, "No Scan File Created");
    st.ScanErrorFlag = true;
    return;
  }
  if (QFileInfo(HostPath(st.ScanTifFile)).size() <= 186) {
    WriteLog(st, 0, "Zero Length Scan File Created");
    st.ScanErrorFlag = true;
    return;
  }
  // 12. Conversion through a work file in the target folder, so that a failed
  // conversion leaves a file of the target's name untouched.
  StatusDisplay& status = *st.seams.status;
  if (Text(form.cboFormat).left(3) != "TLC") {
    WriteLog(st, 1, "Converting to a file format other than Tlc");
    status.ShowStatusBox(LoadResString(resConvertingRaster), LoadResString(resPleaseWait));
    // The previous scan's TLC must not be exported under this scan's name.
    DeleteFile(st.TempDir + "Brevik.Tlc");
    File2Tlc(st, st.ScanTifFile, st.TempDir + "Brevik.Tlc", st.ScanDpi, st.ScanRotate,
             st.InvertFlag, st.MirrorFlag, st.ViewFlag);
    QString outFile = WorkFolder(folder) + "\\$$Scan.out";
    if (FileExists(st.TempDir + "Brevik.Tlc"))
      Tlc2Rast(st, st.TempDir + "Brevik.Tlc", outFile, outputType, st.ViewFlag);
    MoveIntoPlace(outFile, st.ScanFileName);
    status.ShowStatusBox();
    st.LastTlcFile = GetShortPath(st.TempDir + "Brevik.Tlc");
  } else {
    status.ShowStatusBox(LoadResString(resConvertingRaster), LoadResString(resPleaseWait));
    QString tlcFile = WorkFolder(folder) + "\\$$Scan.tlc";
    File2Tlc(st, st.ScanTifFile, tlcFile, st.ScanDpi, st.ScanRotate, st.InvertFlag, st.MirrorFlag,
             st.ViewFlag);
    bool filed = MoveIntoPlace(tlcFile, st.ScanFileName);
    status.ShowStatusBox();
    // Only a conversion that filed an image names it: an older file of the
    // name is not this scan's image.
    st.LastTlcFile = filed ? st.ScanFileName : QString();
  }
  // 13.
  if (st.NewScanMode) {
    st.NewScanMode = false;
    SetScanCaption(form, resRescan);
  }
  // 14., 15.
  if (st.ViewFlag)
    ShowInViewer(st);
  else if (!st.LastTlcFile.isEmpty())
    CheckImage(road);
  // 16.
  if (st.EditFlag) {
    bool result = false;
    Execute(st, st.ScanFileName, st.EditExe, 0, result);
    st.LastResult = result;
  }
  // 17.
  st.seams.pump->DoEvents();
  // 18.
  if (st.AutoSetPrint) QueuePrint(st);
  // 19.
  road.files.DisplayFileName();
  // 20.
  if (st.DebugFlag) {
    WriteLog(st, 1, "FilePath:      " + st.ScanFileName);
    WriteLog(st, 1, "DPI:          " + QString::number(st.ScanDpi));
    WriteLog(st, 1, "Rotate:       " + QString::number(st.ScanRotate));
    WriteLog(st, 1, "View:         " + Flag(st.ViewFlag));
    WriteLog(st, 1, "Edit:         " + Flag(st.EditFlag));
    WriteLog(st, 1, "Print:        " + Flag(st.AutoSetPrint));
    WriteLog(st, 1, "Mirror:       " + Flag(st.MirrorFlag));
    WriteLog(st, 1, "Invert:       " + Flag(st.InvertFlag));
  }
  // 21.
  if (form.txtDataField && !form.txtDataField->isHidden())
    Add2Database(st, form.txtDataField->text(), st.ScanFileName, folder);
  // 22.
  st.LastScanFolder = st.ScanFolder;
  st.LastScanName = st.ScanName;
  st.LastScanFormat = Text(form.cboFormat);
  st.LastScanDrive = st.ScanFileName.left(3);
  st.LastScanFile = st.ScanFileName;
}

void PrepareRescan(ScanRoad& road) {
  Station& st = road.st;
  if (!st.LastScanFile.isEmpty() && FileExists(st.LastScanFile)) DeleteFile(st.LastScanFile);
  st.ScanName = st.LastScanName;
  st.ScanFolder = st.LastScanFolder;
  if (QComboBox* format = road.form.cboFormat) {
    QStringList entries;
    for (int i = 0; i < format->count(); ++i) entries << format->itemText(i);
    int at = st.LastScanFormat.isEmpty() ? -1 : FindListItem(st.LastScanFormat, entries);
    if (at >= 0) format->setCurrentIndex(at);
  }
  road.files.ChangeFolder(st.LastScanDrive, st.LastScanFolder);  // errors ignored
  road.files.DisplayFileName();
}

void cmdScan_Click(ScanRoad& road) {
  Station& st = road.st;
  if (st.MessageBoxUp) return;
  if (st.NewScanMode) {
    st.RescanFlag = false;
    if (FileExists(st.ScanFileName)) {
      if (!AskYesNo(st, LoadResString(resScanFileExists))) return;
      DeleteFile(st.ScanFileName);
    }
  } else {
    st.RescanFlag = true;
    PrepareRescan(road);
  }
  if (road.form.cmdScanNext) road.form.cmdScanNext->setFocus();
  HandleScan(road);
  road.files.LoadList(road.files.FolderListPath());
}

void cmdScanNext_Click(ScanRoad& road) {
  Station& st = road.st;
  if (st.MessageBoxUp) return;
  st.RescanFlag = false;
  if (st.ScanFileName == st.LastScanFile && !st.NewScanMode) {
    if (!road.files.SetNewName()) return;
  }
  if (FileExists(st.ScanFileName) && !AskYesNo(st, LoadResString(resScanFileExists))) return;
  HandleScan(road);
  road.files.LoadList(road.files.FolderListPath());
}

bool Form_KeyDown(ScanRoad& road, int key, Qt::KeyboardModifiers shift) {
  Station& st = road.st;
  Form& form = road.form;
  bool alt = shift & Qt::AltModifier;
  auto listMoved = [&] {
    road.files.DisplayScanInfo();
    road.files.DisplayFileName();
    st.NewScanMode = true;
    SetScanCaption(form, 2229);  // "Scan"
  };
  switch (key) {
    case Qt::Key_F5:
      if (form.window) form.window->setWindowState(Qt::WindowNoState);
      return true;
    case Qt::Key_Escape:
      if (st.MessageBoxUp)
        st.AbortRequested = true;
      else if (form.window)
        form.window->close();
      return true;
    case Qt::Key_V:
      if (!alt || st.NewScanMode) return false;
      if (st.LastTlcFile.isEmpty()) ConvertForView(st, true, resConvertingView);
      {
        bool result = false;
        Execute(st, st.LastTlcFile, st.ViewExe, 0, result);
      }
      return true;
    case Qt::Key_P:
      if (!alt || st.NewScanMode) return false;
      PlotFile(st, QStringList{QString(), st.LastTlcFile}, 1, 1, true);
      return true;
    case Qt::Key_PageUp:
      if (st.ScanListMode && st.CurScanCnt < st.ScanCnt) {
        ++st.CurScanCnt;
        listMoved();
      }
      return true;
    case Qt::Key_PageDown:
      if (st.ScanListMode && st.CurScanCnt > 1) {
        --st.CurScanCnt;
        listMoved();
      }
      return true;
    case Qt::Key_R:
      if (!alt) return false;
      PrepareRescan(road);
      return true;
    default:
      return false;
  }
}

void txtFileName_Edited(ScanRoad& road) {
  if (road.st.NewScanMode || road.st.AutoModeOn) return;
  road.st.NewScanMode = true;
  SetScanCaption(road.form, 2229);
}

void cmdAutoMode_Click(ScanRoad& road) {
  Station& st = road.st;
  // 1., 2.
  if (st.AutoModeOn || st.MessageBoxUp) return;
  st.AutoModeOn = true;
  st.ScanErrorFlag = false;
  // 3.
  QString rememberedTlc = st.LastTlcFile;
  while (!st.ScanErrorFlag) {
    if (st.ScanFileName == st.LastScanFile && !st.NewScanMode) {
      if (!road.files.SetNewName()) {
        st.ScanErrorFlag = true;
        continue;
      }
    }
    rememberedTlc = st.LastTlcFile;
    HandleScan(road);
    if (st.AbortRequested) {
      st.ScanErrorFlag = true;
      st.AbortRequested = false;
    }
  }
  // 4. The file fields from the folder list.
  QString path = road.files.FolderListPath();
  road.files.UpdateFileFields(2, path.left(2).toUpper(), path.mid(2), QString(), st.ScanFileName);
  // 5., 6., 7.
  st.LastTlcFile = rememberedTlc;
  if (road.form.window) road.form.window->activateWindow();
  st.AutoModeOn = false;
}

void RescanPrevious(ScanRoad& road) {
  Station& st = road.st;
  if (!st.AutoModeOn || st.NewScanMode) return;
  // 1., 2. The viewer lets go of the previous image.
  st.RescanFlag = true;
  TaskWindows* tasks = st.seams.tasks;
  if (st.ViewerTaskId != 0 && tasks && tasks->AppActivate(st.ViewerTaskId)) {
    Wait(st, 0.2);
    tasks->SendKeys("%FX{ENTER}", true);
    tasks->SendKeys("%FX{ENTER}", true);
  }
  // 3., 4.
  if (!st.LastScanFile.isEmpty() && FileExists(st.LastScanFile)) DeleteFile(st.LastScanFile);
  st.ScanName = st.LastScanName;
  st.ScanFolder = st.LastScanFolder;
  road.files.DisplayFileName();
}

}  // namespace varnel
