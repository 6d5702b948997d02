#include "varnel/pipeline/print.h"

#include "varnel/core/helpers.h"

namespace varnel {

// The job hand-over to the print monitor is not written yet: the request is
// only logged, so that a scan that asks for copies says what it did not queue.
void PlotFile(Station& st, const QStringList& Files, int16_t Count, int16_t Copies, bool Priority) {
  QString first = Count >= 1 && Files.size() > 1 ? Files[1] : QString();
  WriteLog(st, 0,
           QString("Print request not queued (no print hand-over yet): %1 file(s) from %2, %3 "
                   "copies, %4")
               .arg(Count)
               .arg(first)
               .arg(Copies)
               .arg(Priority ? "priority" : "normal"));
}

}  // namespace varnel
