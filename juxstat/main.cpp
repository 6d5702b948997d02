// juxstat: copy/scan mode, print density, ANSI/metric series, forced reset and
// the status file.
//   juxstat [/C] [/S] [/F] [/D:density] [/A:0|1] [/O:file]
#include <iostream>

#include "juxstat/juxstat.h"

int main(int argc, char** argv) {
  juxstat::PrintParms parms = juxstat::GetPrintParms(argc, argv);
  return juxstat::run(parms, SystemDriver(), std::cout);
}
