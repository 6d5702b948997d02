// The scan workflow: one pass from the scanner to a filed, converted, checked,
// viewed, printed and recorded image (HandleScan), the operator's commands
// that start it, and auto scan mode. The main window routes its events to the
// plain functions below; they work on the Station, the window's controls and
// the file-naming procedures.
#pragma once

#include <Qt>

#include "varnel/core/station.h"
#include "varnel/files/form.h"
#include "varnel/pipeline/naming.h"

namespace varnel {

// What every command of the scan road works on. Nothing is owned; all three
// outlive the call.
struct ScanRoad {
  Station& st;
  Form& form;
  FileNaming& files;
};

// The line length in pixels for a width in inches at a resolution (the
// machine's resolution floor applies), rounded; may exceed the 16-bit range.
int32_t LineLength(const Station& st, float widthInches, int16_t dpi);

// One pass. A drawing is either filed under its name, complete, or the pass
// ends with one error box naming the cause (none after the operator's ESC)
// and ScanErrorFlag set; an existing file of the name is replaced only by a
// complete new one, in one rename, and only a filed drawing is recorded.
void HandleScan(ScanRoad& road);

// The Scan / Rescan button, the Scan Next button and the main window's keys.
void cmdScan_Click(ScanRoad& road);
void cmdScanNext_Click(ScanRoad& road);
// True when the key was one of the window's commands.
bool Form_KeyDown(ScanRoad& road, int key, Qt::KeyboardModifiers shift);
// Typing in the file name box: outside auto mode a changed name is a new scan.
void txtFileName_Edited(ScanRoad& road);

// Restores the last scan's name, folder, format and drive (the Rescan button
// and Alt+R). The last scan's file stays until a rescan replaces it.
void PrepareRescan(ScanRoad& road);

// Auto scan mode: scans until a scan fails, the list ends or ESC.
void cmdAutoMode_Click(ScanRoad& road);
// Ctrl+R in the status window during auto mode: the waiting scan goes to the
// previous drawing's name (with a scan list, the previous entry).
void RescanPrevious(ScanRoad& road);

}  // namespace varnel
