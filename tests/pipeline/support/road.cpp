#include "tests/pipeline/support/road.h"

#include "tests/support/simcard.h"
#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/ui/controls.h"

namespace varnel::testing {

void UseBuiltPrograms(Station& st) {
  auto program = [](const char* name) {
    return WindowsPath(QString::fromStdString(simcard::BinDir() + "/" + name));
  };
  st.ScanExe = program("juxscan");
  st.StatusExe = program("juxstat");
  st.File2TlcExe = program("file2tlc");
  st.ExportExe = program("tlcexport");
  st.HardwareConnect = "YES";
  st.TempDir = "C:\\Temp\\";
  CheckDir(st.TempDir);
  st.MiniViewSize = "1000,700";
  st.MachineType = "6769";
  st.Units = "ENGLISH";
  st.AutoModeViewDelayTime = 0;
}

RoadForm::RoadForm(Station& st)
    : naming(st, form), road{st, naming, [this] { return ReadScanRequest(form); }} {
  window.setFont(WindowFont());
  CreateMainControls(&window, form, layout);
  SetCaptions(form);
}

}  // namespace varnel::testing
