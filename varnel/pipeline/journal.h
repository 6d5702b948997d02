// The journal of a scan-list job: which list is being scanned, where the job
// stands and which entries are filed, kept in the program folder beside
// Database.All so that a job killed half-way (a crash, a power cut, the window
// closed) can be resumed at the first entry not filed, without scanning or
// asking about anything filed already.
//
// A new journal is written whole, through a temporary file that is flushed to
// the disk and then renamed over it. A pass of the scan road then appends one
// record before it (the entry under way, with what its target file and the
// database files looked like then) and one after it (the entry filed, when the
// pass changed its target, and the position), each flushed to the disk before
// the pass goes on, so that the cost of a pass does not grow with the job. A
// later record overrides an earlier one, and a record cut short by a kill (no
// line end) is not read. A kill between the two records is settled at the next
// start from what is on the disk.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <functional>
#include <optional>

#include "varnel/core/station.h"

namespace varnel {

struct ScanRoad;

// The journal's file name in the program folder.
inline constexpr const char* kJournalName = "ScanList.Jnl";

// A file as a pass found it: present or not, and its length and time stamp
// (milliseconds since the epoch) when present.
struct FileState {
  bool exists = false;
  qint64 size = 0;
  qint64 modifiedMs = 0;
  bool operator==(const FileState&) const = default;
};
FileState StateOf(const QString& windowsPath);

struct ScanJournal {
  struct Filed {
    QString file;        // the full name it was filed under
    qint64 filedMs = 0;  // when the pass ended
    qint64 size = 0;
  };
  // The pass under way when the journal was written last.
  struct Pending {
    int index = 0;
    QString file, folder;  // the target and its folder (where Database.Asc is)
    QString dataText;      // the data field as the pass began ("" when hidden)
    qint64 startedMs = 0;
    FileState before;                 // the target before the pass
    qint64 ascSize = 0, allSize = 0;  // Database.Asc and Database.All before the pass
  };
  QString listFile;  // the scan list, as named on the command line
  int entries = 0;
  int position = 1;  // the entry current when last written
  QMap<int, Filed> filed;
  std::optional<Pending> pending;
};

// The journal as text lines, and back. Nothing for text that is not a journal.
// Lines are read in order: a Pending line names the pass under way, a later
// Position line ends it; a last line without its line end was cut short and
// is left out.
QByteArray FormatJournal(const ScanJournal& journal);
std::optional<ScanJournal> ParseJournal(const QByteArray& bytes);

QString JournalFile(const Station& st);
std::optional<ScanJournal> ReadJournal(const Station& st);
// Atomic: a temporary file beside it, flushed and synced, renamed over it.
bool WriteJournal(const Station& st, const ScanJournal& journal);
// Appends records (whole lines) to the journal of the station's list, flushed
// and synced; a missing journal, or one of another list, is replaced by a new
// one (written as WriteJournal does) that holds them.
bool AppendJournal(const Station& st, const QByteArray& records);
void RemoveJournal(const Station& st);

// True when the journal's entry is on the disk as it was filed.
bool IsFiled(const ScanJournal& journal, int index);
// The first entry not filed; 0 when every entry is.
int FirstUnfiled(const ScanJournal& journal);

// A pass killed between filing its sheet and the end of the pass: when its
// target changed since the pass began, the pass filed it, and the entry is
// recorded as filed; a database line the pass had not written yet is added
// (to Database.Asc and Database.All, each only when it is not there since
// the pass began). Returns true when the pending pass had filed its sheet.
bool SettlePending(Station& st, ScanJournal& journal);

// The road's hooks; each does nothing outside scan-list mode.
// Before HandleScan's pass: the entry under way, and the data field's text
// that its database line will carry (empty while the field is hidden); the
// entry is also returned.
std::optional<ScanJournal::Pending> JournalPassStarting(ScanRoad& road, const QString& dataText);
// After it: the entry filed when its target changed in the pass begun with
// `pending`, and the position.
void JournalPassEnded(ScanRoad& road, const std::optional<ScanJournal::Pending>& pending);
// The end of the list was reached: the job is done and the journal goes.
void JournalListComplete(Station& st);

// The next name of the road (SetNewName), passing over the entries that a
// resumed job had filed while their files are there: they are neither
// scanned again nor asked about. False when the list is exhausted.
bool SetNextUnfiledName(ScanRoad& road);
// True when the list run has reached its end: its last entry was scanned
// last, or was filed before the resume and passed over.
bool ListEndReached(const Station& st);

// One pass of HandleScan, journalled from its beginning to its end whichever
// way the pass ends.
class JournalPass {
 public:
  JournalPass(ScanRoad& road, const QString& dataText)
      : road_(road), pending_(JournalPassStarting(road, dataText)) {}
  ~JournalPass() { JournalPassEnded(road_, pending_); }
  JournalPass(const JournalPass&) = delete;
  JournalPass& operator=(const JournalPass&) = delete;

 private:
  ScanRoad& road_;
  std::optional<ScanJournal::Pending> pending_;
};

// Start-up, after the scan list of the command line was loaded: with a
// journal of the same list (or of any list when the command line is empty,
// which then loads that list), a pass cut short is settled, the start-up's
// channel reset (StartupResetTask) is waited for (a scan of the ended session
// that still waits for Start must end before this session scans), and the operator is
// asked once whether to resume at the first entry not filed. Yes moves the
// list there; No starts the list over and drops the journal. loadScanList
// loads a list file as the command line's list is loaded.
void OfferResume(Station& st, const QString& commandLine,
                 const std::function<void(const QString&)>& loadScanList);

}  // namespace varnel
