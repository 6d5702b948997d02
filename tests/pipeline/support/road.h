// The scan road as the road tests and the pass benchmark run it: the station
// wired to the built programs, and the main window's own controls (made by
// the window's code on a window of their own) with the real file naming.
#pragma once

#include <QWidget>

#include "varnel/core/station.h"
#include "varnel/files/form.h"
#include "varnel/pipeline/workflow.h"
#include "varnel/ui/filesnaming.h"
#include "varnel/ui/layout.h"

namespace varnel::testing {

// The station's programs are the built juxscan, juxstat, file2tlc and
// tlcexport; the card is connected; work files go to C:\Temp\ (created); a
// 6769 machine in inches, with the converters' viewing size.
void UseBuiltPrograms(Station& st);

// The main window's controls, offscreen, for the road's commands. Nothing is
// connected: a test calls the commands itself. The lists are empty.
struct RoadForm {
  explicit RoadForm(Station& st);
  QWidget window;
  Form form;
  MainLayout layout;
  FilesNaming naming;
  ScanRoad road;
};

}  // namespace varnel::testing
