// Workstation-wide state: the configuration read once at start-up (each value
// named like its key in Varnel.Ini) and the flags the procedures share. One
// Station lives for the whole run; procedures receive it by reference.
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "varnel/core/seams.h"

namespace varnel {

struct Station {
  explicit Station(const Seams& s) : seams(s) {}
  Seams seams;

  // Files of the program folder (Windows-style names).
  QString AppDir;   // the program's folder followed by "\"
  QString IniFile;  // AppDir + "Varnel.Ini"
  QString LogFile;  // AppDir + "Varnel.Log"; empty until the configuration is read

  // [PROGRAMS]
  QString ScanExe, File2TlcExe, ExportExe, ViewExe, EditExe, StatusExe, RequestExe, UnattendExe;
  QString MiniViewSize;
  float AutoModeViewDelayTime = 2;
  int32_t StripLeading100DPI = 0, StripTrailing100DPI = 0;
  int32_t StripLeading200DPI = 0, StripTrailing200DPI = 0;
  int32_t StripLeading300DPI = 0, StripTrailing300DPI = 0;
  int32_t StripLeading400DPI = 0, StripTrailing400DPI = 0;
  bool DebugFlag = false;
  int16_t LogLevel = 0;
  QString MachineType;            // normalised
  QString ConfiguredMachineType;  // as read
  QString HardwareConnect;        // the hardware is driven only when exactly "YES"
  QString Units;                  // upper case
  QString TempDir;                // always ending in "\"
  bool ToyotaFlag = false;
  // [PRINTERS]
  QString RequestDir, PriorityDir;
  // Two-character output type codes; element N belongs to entry "TypeN", element 0 stays empty.
  QStringList OutputTypeCodes{QString()};
  int16_t MinScanDpi = 200;

  // Shared flags.
  bool AbortRequested = false;  // ESC: the child-program wait stops
  // The main window was asked to close while a scan command ran: the command
  // stops after its pass, and the window closes once it has returned.
  bool CloseRequested = false;
  int ScanCommandsRunning = 0;  // scan commands under way (one inside another's wait counts twice)
  QString ScanningInto;         // while a scan is begun and run: the file juxscan writes
  bool MessageBoxUp = false;    // the status window is up
  qint64 ViewerTaskId = 0;
  qint64 StayingViewerTaskId = 0;
  bool LastResult = false;
  // Exit code of the last child waited for to its end (ProcessHost::kKilledExit
  // when it was killed); nothing when its wait was given up or the host cannot tell.
  std::optional<int> LastExitCode;
  int16_t ScannerSpeed = 0;  // mm/s: 40, 80, 120 or 160
  qint64 StartupResetTask = 0;  // the start-up's channel reset, 0 when none was started

  // Scan file naming: the current target of the next scan.
  QString ScanDrive;      // "C:\"
  QString ScanFolder;     // relative to the drive root, trailing "\", empty for the root
  QString ScanName;       // base name, e.g. TEMP001
  QString ScanExt;        // first three characters of the output format entry, e.g. TLC
  QString ScanFileName;   // drive, colon, "\", ScanFolder, ScanName, ".", ScanExt
  QString FreeSpaceText;  // shown with a scan list only
  bool NewScanMode = true;
  bool FieldsUpdating = false;  // UpdateFileFields is running

  // Scan list: entries 1 to ScanCnt of ScanFileList; index 0 holds nothing.
  QStringList ScanFileList = QStringList(1001);
  int32_t ScanCnt = 0;
  int32_t CurScanCnt = 0;
  bool ScanListMode = false;
  QString ScanListFile;  // the list file as named, once a list is loaded
  // The entries a resumed scan-list job had filed before: Scan Next and auto
  // mode pass over them instead of scanning them again.
  QSet<int32_t> ResumeFiled;
  // The main window has been closed: a list run that goes on to its end
  // shows no more summary (the close showed it).
  bool WindowClosed = false;

  // Image options (check boxes) and the threshold hand-over to the next scan.
  bool ViewFlag = false, EditFlag = false, MirrorFlag = false, InvertFlag = false;
  bool AutoSetPrint = false;
  int16_t ControllerThreshold = 0;
  bool ThresholdChanged = false;
  QString PendingThresholdArg;  // "/T:<value> " for the next scan only

  // Scan workflow and auto mode.
  QString ScanTifFile;  // TempDir + "Brevik.TIF"
  QString LastTlcFile;  // empty until a conversion succeeded
  int16_t ScanDpi = 0;
  int16_t ScanRotate = 0;
  bool RescanFlag = false;
  bool AutoModeOn = false;
  bool ScanErrorFlag = false;
  int16_t BadImageCount = 0;  // numbers the diagnostic copies of bad images (C:\1.Tif, ...)
  QString LastScanFile, LastScanName, LastScanFolder, LastScanFormat, LastScanDrive;

  // Print requests: copies deferred until Auto Set Print is switched off.
  QStringList PrintList = QStringList(1);  // entries 1 to PrintListCount
  int16_t PrintListCount = 0;
  int16_t PrintCopies = 1;
  bool DeferredPrint = false;
  // The request record kept for the whole run: the settings of the request-queue
  // program while TemplateLoaded, else refilled with the defaults per request.
  QByteArray RequestTemplate;
  bool TemplateLoaded = false;
};

}  // namespace varnel
