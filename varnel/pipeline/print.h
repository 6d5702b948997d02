// Print requests: a job of one or more images queued into the folder that the
// print monitor watches.
#pragma once

#include <QStringList>
#include <cstdint>

#include "varnel/core/station.h"

namespace varnel {

// Queues one job: Files[1] to Files[Count] (index 0 is not used), Copies copies
// of each, into PriorityDir when Priority is set, else into RequestDir.
void PlotFile(Station& st, const QStringList& Files, int16_t Count, int16_t Copies, bool Priority);

}  // namespace varnel
