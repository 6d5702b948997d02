// Routes the events of the main window's file, scheme and parameter controls
// to their handlers. frmMain creates the widgets, fills the Form and calls
// ConnectFileControls once; the folder list and the two drive lists are routed
// by the folder browser.
#pragma once

#include "varnel/core/station.h"
#include "varnel/files/form.h"

namespace varnel {

// Connects every control of the Form that is set (null ones are passed over).
// The Station and the Form must outlive the widgets: a window that holds its
// Form as a member deletes its controls first (a focused control still loses
// its focus while it is destroyed). The connections end with the widgets; the
// key and focus handling belongs to f.window (or to txtFileName without one).
void ConnectFileControls(Station& st, Form& f);

}  // namespace varnel
