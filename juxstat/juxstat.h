// Mode changes, controller settings, channel reset and the status file.
#pragma once

#include <ostream>

#include "juxstat/printparms.h"
#include "juxutil/juxutil.h"

namespace juxstat {

// Exit codes: ErrorCode0 of the record at the end of the run.
enum ExitCode : int {
  kOk = 0,  // also: no device, a density or ANSI/metric setting not confirmed, no status file
  kBusy = 3,
  kNoAnswer = 4,
  kBypass = 26,
};

// Carries out what `parms` asks for on the devices of `driver`, with
// messages to `out` (one line each). The status file name is resolved
// through the host path mapping. Returns the exit code.
int run(const PrintParms& parms, JuxDriver& driver, std::ostream& out);

}  // namespace juxstat
