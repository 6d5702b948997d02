// The scan workflow: one pass from the scanner to a filed, converted, checked,
// viewed, printed and recorded image (HandleScan), the operator's commands
// that start it, and auto scan mode. The main window routes its events to the
// plain functions below; they work on the Station, the operator's choices
// (a ScanRequest), the few controls they set and the file-naming procedures.
#pragma once

#include <QString>
#include <Qt>
#include <functional>
#include <optional>

#include "varnel/core/scan2file.h"
#include "varnel/core/station.h"
#include "varnel/pipeline/naming.h"

namespace varnel {

// What the operator chose on the window for one scan, as plain values: the
// window reads its controls into it before every pass.
struct ScanRequest {
  QString format;         // the output format's entry ("TLC Compressed raster"); empty: none
  int formatType = 0;     // that entry's index into the station's OutputTypeCodes
  QString resolution;     // the resolution as chosen or typed ("400")
  QString originalWidth;  // the original's width as chosen or typed, in the station's units
  int16_t leadingEdge = 0;  // 0 top, 1 right, 2 bottom, 3 left
  QString scannerSpeed;   // the speed's entry, as the log names it
  int speedIndex = 0;     // 0: full speed
  ImageModeButtons imageMode;
  std::optional<QString> dataField;  // the data field's text while the field is shown
};

// What every command of the scan road works on. Nothing is owned; all of it
// outlives the call. files is the window's side of the road; chosen reads the
// operator's choices from the window.
struct ScanRoad {
  Station& st;
  FileNaming& files;
  std::function<ScanRequest()> chosen;
};

// What the window does after a key of Form_KeyDown.
enum class KeyCommand {
  None,           // not one of the window's keys
  Done,           // the road has carried it out
  CloseWindow,    // ESC with nothing under way
  RestoreWindow,  // F5: the window back to its normal state
};

// The line length in pixels for a width in inches at a resolution (the
// machine's resolution floor applies), rounded; may exceed the 16-bit range.
int32_t LineLength(const Station& st, float widthInches, int16_t dpi);

// One pass with the operator's choices. A drawing is either filed under its
// name, complete, or the pass ends with one error box naming the cause (none
// after the operator's ESC) and ScanErrorFlag set; an existing file of the
// name is replaced only by a complete new one, in one rename, and only a
// filed drawing is recorded.
void HandleScan(ScanRoad& road, const ScanRequest& request);

// The Scan / Rescan button, the Scan Next button and the main window's keys.
void cmdScan_Click(ScanRoad& road);
void cmdScanNext_Click(ScanRoad& road);
// The window's keys: what the road does itself, and what it leaves to the window.
KeyCommand Form_KeyDown(ScanRoad& road, int key, Qt::KeyboardModifiers shift);
// Typing in the file name box: outside auto mode a changed name is a new scan.
void txtFileName_Edited(ScanRoad& road);

// Restores the last scan's name, folder, format and drive (the Rescan button
// and Alt+R). The last scan's file stays until a rescan replaces it.
void PrepareRescan(ScanRoad& road);

// Auto scan mode: scans until a scan fails, the list ends, ESC or a close of
// the window.
void cmdAutoMode_Click(ScanRoad& road);
// Ctrl+R in the status window during auto mode: the waiting scan goes to the
// previous drawing's name (with a scan list, the previous entry).
void RescanPrevious(ScanRoad& road);

// The main window is asked to close. False when it may close now. During a
// scan command (Scan, Scan Next, auto mode) it stays until the command has
// returned (true), and the command stops the way ESC stops it, save that a
// scanned sheet is not given up: a scan still waiting for its sheet is ended
// (the channel reset), while a sheet that has begun to come in is converted,
// checked, shown, filed and recorded as in any pass. Auto mode then ends.
bool DeferClose(ScanRoad& road);
// After a scan command has returned: true when the window is to close now
// (it was asked to during the command); the request is then taken.
bool TakeDeferredClose(ScanRoad& road);

}  // namespace varnel
