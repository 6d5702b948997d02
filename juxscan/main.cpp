// juxscan: one scan from the scanner into a TIFF file.
//   juxscan [/T:threshold] [/L:pixels] [/S:scale] [/P:mode] /O:file
#include <iostream>

#include "juxscan/juxscan.h"

int main(int argc, char** argv) {
  juxscan::ScanParms parms = juxscan::GetScanParms(argc, argv);
  return juxscan::run(parms, SystemDriver(), std::cout, console::SystemKeyboard());
}
