// Print requests: a job of one or more images queued into the folder that the
// print monitor watches, the Auto Set Print check box with its deferred
// copies, and the check for the unattended-print program's window.
//
// A job is the folder QueueDir\JobName holding one pointer file per image, the
// request file JobName.JUX (one 330-byte record per image, requestrecord.h)
// and, written last, Done.Jux. From the moment Done.Jux exists the print
// monitor owns the folder.
#pragma once

#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

#include "varnel/core/station.h"

namespace varnel {

// Main window title of the unattended-print program (the print monitor
// started with /S); PlotFile starts UnattendExe when no such window is up.
inline const QString kUnattendTitle = QStringLiteral("Tarvex Unattended Print");

// Queues one job: Files[1] to Files[Count] (index 0 is not used), Copies copies
// of each, into PriorityDir when Priority is set, else into RequestDir. Shows
// the status window while it works and closes it on every way out. On a host
// with one processor it waits, with window events running, until the monitor
// has taken the job (Done.Jux gone); ESC in the status window ends that wait,
// the job stays queued.
void PlotFile(Station& st, const QStringList& Files, int16_t Count, int16_t Copies, bool Priority);

// Writes the pointer files into JobFolder and the records into RequestFile,
// from the request template (the defaults unless TemplateLoaded). False when a
// file could not be written; what was written is then incomplete.
bool WritePrintRequest(Station& st, const QString& RequestFile, const QStringList& Files,
                       int16_t Count, int16_t Copies, const QString& JobFolder);

// A random number from 0 to n - 1.
using RandomPick = std::function<int(int n)>;
// Eight capital letters, consonant and vowel in turn, beginning with a
// consonant, that name no file in the folder (folders are not looked at).
// Without a generator, one seeded from the clock is used.
QString MakeUniqueName(const QString& folder, const RandomPick& random = {});

// The bare file or folder name: the text after the last backslash, and of that
// the text after its first colon.
QString StripPath(const QString& path);

// The first visible top-level window with exactly this title.
std::optional<qint64> FindVisibleWindow(Station& st, const QString& title);
// True when such a window exists; with activate it is restored and activated.
bool IsAppRunning(Station& st, const QString& title, bool activate);

// The question asked when Auto Set Print goes off with deferred copies left.
QString FinishPrintingQuestion(int16_t PrintCopies);

// Auto Set Print switched on or off. On: the operator sets copies and media in
// the request-queue program; when that is cancelled (or leaves no complete
// settings), Auto Set Print is switched off again at once. Off: the copies
// held back for the end are offered. Returns whether it is on now.
bool SetAutoSetPrint(Station& st, bool on);

}  // namespace varnel
