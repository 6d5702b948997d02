// One scan through the card's driver into a scan file.
#pragma once

#include <ostream>

#include "juxscan/scanparms.h"
#include "juxutil/console.h"
#include "juxutil/juxutil.h"

namespace juxscan {

// Exit codes of a scan run. Codes 1 and 3 are returned directly; every other
// code travels in ErrorCode1 of the adapter record and stays there after the
// run.
enum ExitCode : int {
  kOk = 0,
  kNoDevice = 1,
  kBadArgument = 2,  // a command-line value, or the scan file cannot be created or written
  kBusy = 3,
  kNoAnswer = 4,     // controller silent, or a setting not confirmed
  kNotFinished = 6,
  kTooFast = 7,
  kOverrun = 15,
  kChannelReset = 95,
  kEscape = 99,
};

// Performs the scan that `parms` describes on the scanner of `driver`, with
// messages to `out` (one line each) and ESC read from `keys`. The scan file
// name is resolved through the host path mapping. Returns the exit code.
int run(const ScanParms& parms, JuxDriver& driver, std::ostream& out, console::Keyboard& keys);

}  // namespace juxscan
