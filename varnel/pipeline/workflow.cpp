#include "varnel/pipeline/workflow.h"

#include <QFile>
#include <QFileInfo>
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
#include "varnel/pipeline/journal.h"
#include "varnel/pipeline/listreport.h"
#include "varnel/pipeline/print.h"
#include "varnel/pipeline/tlcstats.h"

namespace varnel {
namespace {

// The resolutions the scanner can scale to (juxscan's scale 250 to 1000).
constexpr int32_t kLowestDpi = 100, kHighestDpi = 400;

QString Flag(bool value) { return value ? "True" : "False"; }

// Waits while window events run (the viewer steps).
void Wait(Station& st, double seconds) {
  int ms = static_cast<int>(std::lround(std::clamp(seconds, 0.0, 86400.0) * 1000.0));
  if (ms > 0) st.seams.pump->Pause(ms);
}

// Counts the error boxes of one pass: any of them ends auto mode, and a pass
// that has shown one adds no second box for the same fault. Installed over the
// station's prompts for the pass and taken off at its end.
class PassBoxes : public Prompts {
 public:
  explicit PassBoxes(Station& st) : st_(st), inner_(st.seams.prompts) { st_.seams.prompts = this; }
  ~PassBoxes() override {
    st_.seams.prompts = inner_;
    if (errors > 0) st_.ScanErrorFlag = true;
  }
  PassBoxes(const PassBoxes&) = delete;
  PassBoxes& operator=(const PassBoxes&) = delete;
  Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) override {
    if (icon == Icon::Critical) ++errors;
    return inner_->MsgBox(text, buttons, icon, title);
  }
  int errors = 0;

 private:
  Station& st_;
  Prompts* inner_;
};

// A scan command under way, from its start to its return: a close of the
// window waits for it.
class ScanCommand {
 public:
  explicit ScanCommand(Station& st) : st_(st) { ++st_.ScanCommandsRunning; }
  ~ScanCommand() { --st_.ScanCommandsRunning; }
  ScanCommand(const ScanCommand&) = delete;
  ScanCommand& operator=(const ScanCommand&) = delete;

 private:
  Station& st_;
};

// Ends a pass that filed nothing. The operator's ESC ends it quietly; any
// other cause is named in one error box, and auto mode stops.
void FailPass(Station& st, const PassBoxes& boxes, const QString& message) {
  if (st.AbortRequested) return;
  if (boxes.errors == 0) ShowError(st, message);
  st.ScanErrorFlag = true;
}

// The extension of a file name ("C:\A.B\X.TIF" gives "TIF"; none gives "").
QString Extension(const QString& path) {
  qsizetype dot = path.lastIndexOf('.');
  return dot > path.lastIndexOf('\\') ? path.mid(dot + 1) : QString();
}

// Whether a file's first bytes are of the format its extension names. An
// extension the station has no signature for is taken as it is.
bool BytesMatchExtension(const QString& file, const QString& extension) {
  static const struct {
    const char* ext;
    QByteArray magic;
  } kSignatures[] = {{"TLC", "Virozoro"},           {"TIF", QByteArray("II*\0", 4)},
                     {"TIF", QByteArray("MM\0*", 4)}, {"PDF", "%PDF"},
                     {"PNG", "\x89PNG"},             {"CAL", "srcdocid:"}};
  QFile in(HostPath(file));
  QByteArray head = in.open(QIODevice::ReadOnly) ? in.read(16) : QByteArray();
  bool known = false;
  for (const auto& sig : kSignatures) {
    if (extension.compare(QLatin1String(sig.ext), Qt::CaseInsensitive) != 0) continue;
    known = true;
    if (head.startsWith(sig.magic)) return true;
  }
  return !known;
}

// The last line a converter wrote into its error file (named by -E), or a
// line that says it left none.
QString ConverterError(const QString& errorFile, const QString& exePath) {
  QFile in(HostPath(errorFile));
  QString last;
  if (in.open(QIODevice::ReadOnly))
    for (const QByteArray& line : in.readAll().split('\n'))
      if (!line.trimmed().isEmpty()) last = QString::fromLocal8Bit(line.trimmed());
  return last.isEmpty() ? LoadResString(resConverterSilent).arg(exePath) : last;
}

// The target folder as the work files are named in it, without a trailing
// backslash (at the drive root too: "C:", so that "C:" + "\$$Scan.tlc").
QString WorkFolder(const QString& folder) {
  QString shortPath = GetShortPath(folder);
  QString path = shortPath.isEmpty() ? folder : shortPath;
  while (path.endsWith('\\')) path.chop(1);
  return path;
}

// Before a scan: the chosen output format must be the one the file name
// says, so that the filed bytes always match the name.
QString FormatProblem(const Station& st, const ScanRequest& request) {
  const QString& format = request.format;
  if (format.isEmpty()) return LoadResString(resNoFormat).arg(st.ScanFileName);
  if (format.left(3).compare(Extension(st.ScanFileName), Qt::CaseInsensitive) == 0) return {};
  return LoadResString(resFormatMismatch).arg(format, st.ScanFileName);
}

void ConvertForView(Station& st, bool view, int statusText) {
  st.seams.status->ShowStatusBox(LoadResString(statusText), LoadResString(resPleaseWait));
  st.LastTlcFile = st.TempDir + "Brevik.Tlc";
  File2Tlc(st, st.ScanTifFile, st.LastTlcFile, st.ScanDpi, st.ScanRotate, st.InvertFlag,
           st.MirrorFlag, view);
  st.seams.status->ShowStatusBox();
}

// The image in the viewer, started once and then driven by keys.
void ShowInViewer(Station& st) {
  if (st.LastTlcFile.isEmpty()) ConvertForView(st, st.ViewFlag, resConvertingRaster);
  TaskWindows* tasks = st.seams.tasks;
  bool activated = st.ViewerTaskId != 0 && tasks && tasks->AppActivate(st.ViewerTaskId);
  if (!activated) {
    bool result = false;
    Execute(st, "\"" + st.LastTlcFile + "\"", st.ViewExe, result);
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

// A bad image: the raw scan is kept as C:\1.Tif, C:\2.Tif, ... for a look
// at what the converter could not make sense of.
void ReportBadImage(ScanRoad& road) {
  Station& st = road.st;
  int16_t& count = st.BadImageCount;
  if (count < std::numeric_limits<int16_t>::max()) ++count;
  QString copy = "C:\\" + QString::number(count) + ".Tif";
  DeleteFile(copy);
  QFile::copy(HostPath(st.ScanTifFile), HostPath(copy));
  ShowError(st, LoadResString(resBadImage));
}

// A bad or blank image.
void CheckImage(ScanRoad& road) {
  Station& st = road.st;
  int32_t sizeX = 0, sizeY = 0, fileSize = 0;
  int16_t dpi = 0;
  float percCoverage = 0, percFileSize = 0;
  GetTlcStats(st, st.LastTlcFile, sizeX, sizeY, dpi, fileSize, percCoverage, percFileSize);
  // ESC while the drawing was counted leaves it uncounted, which is no
  // blank image.
  if (fileSize < 0) {
    ReportBadImage(road);
  } else if (percCoverage == 0 && !st.AbortRequested) {
    ShowError(st, LoadResString(resBlankImage));
    st.ScanErrorFlag = true;
  }
}

// A print request for the filed drawing: with Deferred Print the drawing
// joins the print list and one copy is queued, else all copies are.
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

// The scan converted through a work file in the target folder, which
// then replaces the target in one rename. True when the target now holds this
// scan's image; otherwise the pass has ended (quietly after ESC, else with one
// box) and the target is as it was.
bool ConvertAndFile(ScanRoad& road, const ScanRequest& request, const PassBoxes& boxes,
                    const QString& folder) {
  Station& st = road.st;
  StatusDisplay& status = *st.seams.status;
  const bool tlc = request.format.left(3) == "TLC";
  QString outputType = st.OutputTypeCodes.value(request.formatType);
  const QString brevikTlc = st.TempDir + "Brevik.Tlc";
  const QString workFile = WorkFolder(folder) + (tlc ? "\\$$Scan.tlc" : "\\$$Scan.out");
  // Only what this pass's converters write can be filed: the work files of an
  // earlier pass go first, and so do their error lines.
  QStringList stale{workFile};
  if (!tlc) stale << brevikTlc;
  for (const QString& file : stale)
    if (!DeleteFile(file)) {
      FailPass(st, boxes, LoadResString(resNotFiled).arg(LoadResString(resWorkFileStuck).arg(file)));
      return false;
    }
  DeleteFile(st.TempDir + "Tile.Err");
  DeleteFile(st.TempDir + "TlcPr.Err");
  if (!tlc) WriteLog(st, 1, "Converting to a file format other than Tlc");
  status.ShowStatusBox(LoadResString(resConvertingRaster), LoadResString(resPleaseWait));
  QString errorFile = st.TempDir + "Tile.Err", converter = st.File2TlcExe;
  File2Tlc(st, st.ScanTifFile, tlc ? workFile : brevikTlc, st.ScanDpi, st.ScanRotate,
           st.InvertFlag, st.MirrorFlag, st.ViewFlag);
  if (!tlc && !st.AbortRequested && FileExists(brevikTlc)) {
    errorFile = st.TempDir + "TlcPr.Err";
    converter = st.ExportExe;
    Tlc2Rast(st, brevikTlc, workFile, outputType, st.ViewFlag);
  }
  status.ShowStatusBox();
  // ESC while converting: the converter has been ended; nothing is filed.
  if (st.AbortRequested) {
    DeleteFile(workFile);
    return false;
  }
  QString problem;
  if (tlc && FileExists(workFile) && !BytesMatchExtension(workFile, "TLC")) {
    // What the TLC converter wrote is no TLC: a bad image, which is not filed.
    DeleteFile(workFile);
    ReportBadImage(road);
    st.ScanErrorFlag = true;
    return false;
  }
  if (!FileExists(workFile))
    problem = ConverterError(errorFile, converter);
  else if (!BytesMatchExtension(workFile, Extension(st.ScanFileName)))
    problem = LoadResString(resWrongFormatWritten).arg(Extension(st.ScanFileName));
  else if (!ReplaceFile(workFile, st.ScanFileName))
    problem = LoadResString(resCannotReplace).arg(st.ScanFileName);
  if (!problem.isEmpty()) {
    DeleteFile(workFile);
    FailPass(st, boxes, LoadResString(resConversionFailed).arg(st.ScanFileName, problem));
    return false;
  }
  st.LastTlcFile = tlc ? st.ScanFileName : GetShortPath(brevikTlc);
  return true;
}

}  // namespace

int32_t LineLength(const Station& st, float widthInches, int16_t dpi) {
  bool lowFloor = st.MachineType == "6741" || st.MachineType == "6747";
  float pixels = widthInches * MaxInt(lowFloor ? 100 : 200, dpi);
  return RoundToLong(pixels).value_or(std::numeric_limits<int32_t>::max());
}

void HandleScan(ScanRoad& road, const ScanRequest& request) {
  Station& st = road.st;
  const QString target = st.ScanFileName;
  // A scan-list job survives a kill during the pass.
  JournalPass journal(road, request.dataField.value_or(QString()));
  PassBoxes boxes(st);
  // The target folder must be there before anything is scanned.
  st.AbortRequested = false;
  QString folder = road.files.ParsePath(st.ScanFileName);
  WriteLog(st, 1, "Folder Name: " + folder);
  if (!CheckDir(folder)) {
    ShowError(st, LoadResString(resFolderNotCreated).arg(folder));
    return;
  }
  st.LastTlcFile.clear();
  // The format must be the one the name says.
  st.ScanRotate = request.leadingEdge;
  if (QString wrong = FormatProblem(st, request); !wrong.isEmpty()) {
    ShowError(st, wrong);
    return;
  }
  // Only a resolution the scanner can do is sent.
  std::optional<int32_t> dpi = RoundToLong(Val(request.resolution));
  if (!dpi || *dpi < kLowestDpi || *dpi > kHighestDpi) {
    ShowError(st, LoadResString(resBadResolution).arg(request.resolution.trimmed()).arg(kLowestDpi));
    return;
  }
  st.ScanDpi = static_cast<int16_t>(*dpi);
  // The original's width in inches.
  float width = static_cast<float>(Val(request.originalWidth.trimmed()));
  if (st.Units == "METRIC") width = static_cast<float>(width / 25.4);
  // The scan line in pixels at that resolution.
  int32_t pixels = LineLength(st, width, st.ScanDpi);
  WriteLog(st, 1, "ScanSize:" + QString::number(width));
  WriteLog(st, 1, "   Wdth:" + QString::number(pixels));
  // No scan file of an earlier pass can be taken for this one.
  st.ScanTifFile = st.TempDir + "Brevik.TIF";
  if (FileExists(st.ScanTifFile)) DeleteFile(st.ScanTifFile);
  WriteLog(st, 0, "Scanner Speed: " + request.scannerSpeed);
  // Below 400 dpi at half speed the scan is taken at 400 dpi and reduced
  // afterwards; in auto mode the scanner's paper width sets the line.
  int16_t scanType = 1;
  if (!(request.speedIndex == 0 || st.ScanDpi == 400)) {
    scanType = 2;
    pixels = RoundToLong(width * 400.0f).value_or(std::numeric_limits<int32_t>::max());
  }
  if (st.AutoModeOn) pixels = 0;
  if (pixels > std::numeric_limits<int16_t>::max() || pixels < 0) {
    ShowError(st, LoadResString(resLineTooLong).arg(pixels));
    return;
  }
  // A scan that juxscan did not finish ends the pass.
  QString problem;
  bool scanned = Scan2File(st, st.ScanTifFile, st.ScanDpi, static_cast<int16_t>(pixels), scanType,
                           request.imageMode, &problem);
  st.LastResult = scanned;
  if (!scanned) {
    FailPass(st, boxes, problem.isEmpty() ? LoadResString(resNoScanFile)
                                          : LoadResString(resNotFiled).arg(problem));
    return;
  }
  // The scan file itself: missing, only a header, or a header that states
  // no image is a failed scan.
  if (!FileExists(st.ScanTifFile)) {
    FailPass(st, boxes, LoadResString(resNoScanFile));
    return;
  }
  if (QFileInfo(HostPath(st.ScanTifFile)).size() <= 186) {
    FailPass(st, boxes, LoadResString(resZeroLengthScan));
    return;
  }
  std::optional<ScanSize> size = ReadScanSize(st.ScanTifFile);
  if (!size || size->width == 0 || size->lines == 0) {
    FailPass(st, boxes, LoadResString(resScanHoldsNoImage)
                            .arg(size ? size->width : 0)
                            .arg(size ? size->lines : 0));
    return;
  }
  // Ctrl+R during the scan may have turned the target to the previous
  // drawing: its folder, and its format as the window now shows it, are the
  // ones the scan is filed under.
  const ScanRequest filed = st.ScanFileName != target && road.chosen ? road.chosen() : request;
  folder = road.files.ParsePath(st.ScanFileName);
  if (!CheckDir(folder)) {
    FailPass(st, boxes, LoadResString(resFolderNotCreated).arg(folder));
    return;
  }
  if (QString wrong = FormatProblem(st, filed); !wrong.isEmpty()) {
    FailPass(st, boxes, wrong);
    return;
  }
  // A conversion that files nothing leaves the mode and the caption as
  // they were, so that Rescan repeats the drawing.
  if (!ConvertAndFile(road, filed, boxes, folder)) return;
  // Filed: Scan becomes Rescan for this drawing.
  if (st.NewScanMode) {
    st.NewScanMode = false;
    road.files.SetScanCaption(resRescan);
  }
  // Shown in the viewer, or else checked for a bad or blank image.
  if (st.ViewFlag)
    ShowInViewer(st);
  else if (!st.LastTlcFile.isEmpty())
    CheckImage(road);
  // Opened in the editor when the operator asked for it.
  if (st.EditFlag) {
    bool result = false;
    Execute(st, st.ScanFileName, st.EditExe, result);
    st.LastResult = result;
  }
  // Window events that came in meanwhile run before the print request.
  st.seams.pump->DoEvents();
  // With Auto Set Print on, the drawing is queued for printing.
  if (st.AutoSetPrint) QueuePrint(st);
  // The file name box shows the current name again.
  road.files.DisplayFileName();
  // The pass's settings in the log when debugging.
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
  // Only a filed drawing is recorded.
  if (filed.dataField && FileExists(st.ScanFileName))
    Add2Database(st, *filed.dataField, st.ScanFileName, folder);
  // What Rescan and Ctrl+R go back to.
  st.LastScanFolder = st.ScanFolder;
  st.LastScanName = st.ScanName;
  st.LastScanFormat = filed.format;
  st.LastScanDrive = st.ScanFileName.left(3);
  st.LastScanFile = st.ScanFileName;
}

void PrepareRescan(ScanRoad& road) {
  Station& st = road.st;
  // The last scan's file stays until the rescan replaces it: a rescan that
  // fails or is ended by ESC leaves it as it was.
  st.ScanName = st.LastScanName;
  st.ScanFolder = st.LastScanFolder;
  if (!st.LastScanFormat.isEmpty()) road.files.SelectFormat(st.LastScanFormat);
  road.files.ChangeFolder(st.LastScanDrive, st.LastScanFolder);  // errors ignored
  road.files.DisplayFileName();
}

void cmdScan_Click(ScanRoad& road) {
  Station& st = road.st;
  if (st.MessageBoxUp) return;
  ScanCommand command(st);
  if (st.NewScanMode) {
    st.RescanFlag = false;
    // Yes keeps the file until the new scan replaces it.
    if (FileExists(st.ScanFileName) && !AskYesNo(st, LoadResString(resScanFileExists))) return;
  } else {
    st.RescanFlag = true;
    PrepareRescan(road);
  }
  road.files.FocusScanNext();
  HandleScan(road, road.chosen());
  road.files.LoadList(road.files.FolderListPath());
}

void cmdScanNext_Click(ScanRoad& road) {
  Station& st = road.st;
  if (st.MessageBoxUp) return;
  ScanCommand command(st);
  st.RescanFlag = false;
  if (st.ScanFileName == st.LastScanFile && !st.NewScanMode) {
    if (!SetNextUnfiledName(road)) {
      ListRunEnded(st);
      return;
    }
  }
  if (FileExists(st.ScanFileName) && !AskYesNo(st, LoadResString(resScanFileExists))) return;
  HandleScan(road, road.chosen());
  road.files.LoadList(road.files.FolderListPath());
}

KeyCommand Form_KeyDown(ScanRoad& road, int key, Qt::KeyboardModifiers shift) {
  Station& st = road.st;
  bool alt = shift & Qt::AltModifier;
  auto listMoved = [&] {
    road.files.DisplayScanInfo();
    road.files.DisplayFileName();
    st.NewScanMode = true;
    road.files.SetScanCaption(2229);  // "Scan"
  };
  switch (key) {
    case Qt::Key_F5:
      return KeyCommand::RestoreWindow;
    case Qt::Key_Escape:
      if (!st.MessageBoxUp) return KeyCommand::CloseWindow;
      st.AbortRequested = true;
      return KeyCommand::Done;
    case Qt::Key_V:
      if (!alt || st.NewScanMode) return KeyCommand::None;
      if (st.LastTlcFile.isEmpty()) ConvertForView(st, true, resConvertingView);
      {
        bool result = false;
        Execute(st, st.LastTlcFile, st.ViewExe, result);
      }
      return KeyCommand::Done;
    case Qt::Key_P:
      if (!alt || st.NewScanMode) return KeyCommand::None;
      PlotFile(st, QStringList{QString(), st.LastTlcFile}, 1, 1, true);
      return KeyCommand::Done;
    case Qt::Key_PageUp:
      if (st.ScanListMode && st.CurScanCnt < st.ScanCnt) {
        ++st.CurScanCnt;
        listMoved();
      }
      return KeyCommand::Done;
    case Qt::Key_PageDown:
      if (st.ScanListMode && st.CurScanCnt > 1) {
        --st.CurScanCnt;
        listMoved();
      }
      return KeyCommand::Done;
    case Qt::Key_R:
      if (!alt) return KeyCommand::None;
      PrepareRescan(road);
      return KeyCommand::Done;
    default:
      return KeyCommand::None;
  }
}

void txtFileName_Edited(ScanRoad& road) {
  if (road.st.NewScanMode || road.st.AutoModeOn) return;
  road.st.NewScanMode = true;
  road.files.SetScanCaption(2229);
}

void cmdAutoMode_Click(ScanRoad& road) {
  Station& st = road.st;
  // Not twice, and not while a box or the status window is up.
  if (st.AutoModeOn || st.MessageBoxUp) return;
  ScanCommand command(st);
  st.AutoModeOn = true;
  st.ScanErrorFlag = false;
  // Pass after pass, until one fails, the list ends, ESC or a close.
  QString rememberedTlc = st.LastTlcFile;
  while (!st.ScanErrorFlag) {
    if (st.ScanFileName == st.LastScanFile && !st.NewScanMode) {
      if (!SetNextUnfiledName(road)) {
        st.ScanErrorFlag = true;
        continue;
      }
    }
    // The next drawing is a new one, and an existing file of its name is
    // replaced only when the operator says so; No ends the run there.
    st.RescanFlag = false;
    if (FileExists(st.ScanFileName) && !AskYesNo(st, LoadResString(resScanFileExists))) {
      st.ScanErrorFlag = true;
      continue;
    }
    rememberedTlc = st.LastTlcFile;
    HandleScan(road, road.chosen());
    if (st.AbortRequested || st.CloseRequested) {
      st.ScanErrorFlag = true;
      st.AbortRequested = false;
    }
  }
  // The file fields from the folder list.
  QString path = road.files.FolderListPath();
  road.files.UpdateFileFields(2, path.left(2).toUpper(), path.mid(2), QString(), st.ScanFileName);
  // The working TLC is the one from before the last pass again; the window
  // comes to the front and the run ends.
  st.LastTlcFile = rememberedTlc;
  if (st.seams.windows) st.seams.windows->ActivateMain();
  st.AutoModeOn = false;
  ListRunEnded(st);
}

void RescanPrevious(ScanRoad& road) {
  Station& st = road.st;
  if (!st.AutoModeOn || st.NewScanMode) return;
  // The viewer lets go of the previous image.
  st.RescanFlag = true;
  TaskWindows* tasks = st.seams.tasks;
  if (st.ViewerTaskId != 0 && tasks && tasks->AppActivate(st.ViewerTaskId)) {
    Wait(st, 0.2);
    tasks->SendKeys("%FX{ENTER}", true);
    tasks->SendKeys("%FX{ENTER}", true);
  }
  // The previous drawing's file stays until the redo replaces it. With
  // a scan list the redo goes to the previous entry (once, however often the
  // key is pressed), and the run then goes on with the entry after it.
  if (st.ScanListMode && st.ScanFileName != st.LastScanFile && st.CurScanCnt > 1) --st.CurScanCnt;
  st.ScanName = st.LastScanName;
  st.ScanFolder = st.LastScanFolder;
  road.files.DisplayFileName();
}

bool DeferClose(ScanRoad& road) {
  Station& st = road.st;
  if (st.ScanCommandsRunning == 0) return false;
  if (!st.CloseRequested) WriteLog(st, 0, "Close asked for during a scan command: it stops first");
  st.CloseRequested = true;
  // Only a scan that waits for its sheet is given up: a sheet coming in has
  // written to its scan file.
  if (!st.ScanningInto.isEmpty() && StateOf(st.ScanningInto).size == 0) st.AbortRequested = true;
  return true;
}

bool TakeDeferredClose(ScanRoad& road) {
  Station& st = road.st;
  if (!st.CloseRequested || st.ScanCommandsRunning > 0) return false;
  st.CloseRequested = false;
  return true;
}

}  // namespace varnel
