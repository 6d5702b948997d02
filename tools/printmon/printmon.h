// The print monitor: takes the jobs that the workstation leaves in its request
// folders and prints them.
//
//   printmon [/S] [/1] [/I:inifile]
//
// /S runs it as the unattended-print program (minimised, without focus; its
// main window title is kTitle). /1 prints the jobs that are there and ends.
// /I names the configuration (default PrintMon.Ini in the program's folder),
// section [PrintMon]: RequestDir, PriorityDir, OutputDir, FailedDir, Printer,
// LpExe, File2TlcExe, ExportExe, LogFile, PollMs, MaxTries. Paths are Windows-style
// (mapped through JUX_DRIVES) or host paths.
//
// A job is a folder of a queue folder holding Done.Jux. Priority jobs go
// first, then the others, each in the order its Done.Jux was written. Every
// image of a job is rendered to PDF (TLC through tlcexport -F; TIFF, PNG and
// CALS through file2tlc first; PDF as it is) before anything is printed; then
// each image goes to the printer with lp -n COPIES, or, without a printer,
// each copy is one PDF page file in OutputDir. Then the job folder is
// removed, Done.Jux last. A malformed job (also: an image outside the
// station's drives, more than 999 copies, a PDF cut short) is moved whole
// into FailedDir with Reason.txt.
//
// Taken.Jux in the job folder keeps the job's page names, the images the
// printer has accepted and the failed tries: a retry starts at the first image
// not yet accepted and is logged; after MaxTries (default 5) failed tries the
// job goes to FailedDir, its reason saying which images were printed. Killed
// at any point, the monitor loses nothing and prints nothing twice, but for an
// image accepted by lp in the moment before the kill; Printed.Jux says a job
// only has to be removed.
//
// Nothing outside the queues is touched: a job folder that is a link is not
// followed (the link alone is moved to FailedDir), a folder whose name begins
// with a dot is left alone (both logged once), files in a job folder are
// never read or written through links, and every log line is one line.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace printmon {

inline const QString kTitle = QStringLiteral("Tarvex Unattended Print");
// Failed tries of a job (the printer refuses it, a converter cannot run, the
// output folder cannot be written) before it is moved to the failed folder.
inline constexpr int kDefaultMaxTries = 5;

struct Config {
  // Host paths.
  QString requestDir, priorityDir, outputDir, failedDir, logFile;
  QString printer;  // CUPS destination; empty: PDF pages into outputDir
  QString lpExe, file2tlcExe, exportExe;
  int pollMs = 1000;
  int maxTries = kDefaultMaxTries;  // failed tries of a job before it goes to the failed folder
};

// Reads the configuration; a missing file gives the defaults.
Config LoadConfig(const QString& iniHostPath, const QString& programDir);

struct Job {
  QString folder;  // host path
  QString name;
  bool priority = false;
};

// The next job to print, if any.
std::optional<Job> NextJob(const Config& config);

enum class Outcome {
  Printed,  // printed and removed
  Removed,  // had been printed before a kill: only removed
  Failed,   // malformed: moved into the failed folder
  Retry,    // the printer or a converter is not usable: left in place
};

// One job, start to end. Writes one log line for it.
Outcome ProcessJob(const Config& config, const Job& job);

// Removes the rest of jobs whose removal was cut short.
void FinishRemovals(const Config& config);

// Deals with what in the queues is no job: a link is moved (as the link) to
// the failed folder, a folder whose name begins with a dot is left alone;
// each gets one log line.
void SweepQueues(const Config& config);

// A text as one log line: control characters written as \xNN, cut at 2000
// characters.
QString Sanitised(const QString& text);

// The monitor's loop; with once, returns when no job is left (1 when a job had
// to be left for later, else 0).
int Run(const Config& config, bool once);

// Appends a line (date, time, text) to the log file and standard output.
void Log(const Config& config, const QString& text);

}  // namespace printmon
