#include "varnel/pipeline/journal.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/strings.h"
#include "varnel/pipeline/database.h"
#include "varnel/pipeline/workflow.h"

namespace varnel {
namespace {

constexpr const char* kMagic = "Varnel scan-list journal 1";
constexpr int kSettleMs = 300;  // a scan that waits for Start sees a reset within 10 ms
constexpr int kWaitStepMs = 500, kResetWaitMs = 30000;

qint64 NowMs() { return QDateTime::currentMSecsSinceEpoch(); }

qint64 SizeOf(const QString& windowsPath) {
  QFileInfo info(HostPath(windowsPath));
  return info.exists() ? info.size() : 0;
}

QString WithSlash(const QString& folder) { return folder.endsWith('\\') ? folder : folder + "\\"; }

// True when the line stands in the file after `from` bytes, in either of the
// encodings the database has been written in.
bool LineSince(const QString& file, qint64 from, const QString& line) {
  QFile f(HostPath(file));
  if (!f.open(QIODevice::ReadOnly) || !f.seek(from)) return false;
  const QByteArray tail = f.readAll();
  for (const QByteArray& encoded : {line.toLatin1(), line.toUtf8()})
    for (const QByteArray& l : tail.split('\n'))
      if (l.endsWith('\r') ? l.chopped(1) == encoded : l == encoded) return true;
  return false;
}

bool SameList(const QString& a, const QString& b) {
  if (a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0) return true;
  QString ha = HostPath(a.trimmed()), hb = HostPath(b.trimmed());
  return !ha.isEmpty() && ha == hb;
}

bool Journaling(const Station& st) {
  return st.ScanListMode && !st.ScanListFile.isEmpty() && !st.AppDir.isEmpty();
}

QString Line(const QString& key, const QStringList& fields) {
  return key + "=" + fields.join('|') + "\r\n";
}

QString HeaderLines(const ScanJournal& j) {
  return QString(kMagic) + "\r\n" + Line("List", {j.listFile}) +
         Line("Entries", {QString::number(j.entries)});
}
QString PositionLine(int position) { return Line("Position", {QString::number(position)}); }
QString FiledLine(int index, const ScanJournal::Filed& f) {
  return Line("Filed", {QString::number(index), f.file, QString::number(f.filedMs),
                        QString::number(f.size)});
}
QString PendingLine(const ScanJournal::Pending& p) {
  // The data text comes last: it may hold the separator.
  return Line("Pending", {QString::number(p.index), p.file, p.folder, QString::number(p.startedMs),
                          QString::number(p.before.exists), QString::number(p.before.size),
                          QString::number(p.before.modifiedMs), QString::number(p.ascSize),
                          QString::number(p.allSize), p.dataText});
}

// Flushes a written file to the disk.
bool Sync(QFile& file) {
  if (!file.flush()) return false;
#ifdef Q_OS_WIN
  return _commit(file.handle()) == 0;
#else
  return ::fsync(file.handle()) == 0;
#endif
}

// Atomic: a temporary file beside the journal, flushed and synced, renamed over it.
bool WriteJournalBytes(const Station& st, const QByteArray& bytes) {
  // One temporary name, so that a write cut short leaves one stale file at
  // most, and the next write reuses it.
  const QString host = HostPath(JournalFile(st));
  const QString temporary = host + ".tmp";
  QFile file(temporary);
  bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            file.write(bytes) == bytes.size() && Sync(file);
  file.close();
  std::error_code error;
  if (ok) std::filesystem::rename(temporary.toStdString(), host.toStdString(), error);
  if (!ok || error) {
    WriteLog(st, 0, JournalFile(st) + " could not be written");
    QFile::remove(temporary);
    return false;
  }
  return true;
}

// True when the journal on the disk is one of the station's list, as loaded
// now; only its first lines are read.
bool JournalOfList(const Station& st) {
  QFile file(HostPath(JournalFile(st)));
  if (!file.open(QIODevice::ReadOnly)) return false;
  QByteArray head;
  while (!file.atEnd() && head.count("\r\n") < 3) {
    head += file.readLine(4096);
    if (head.size() > 65536) return false;
  }
  std::optional<ScanJournal> j = ParseJournal(head);
  return j && SameList(j->listFile, st.ScanListFile) && j->entries == st.ScanCnt;
}

}  // namespace

FileState StateOf(const QString& windowsPath) {
  QFileInfo info(HostPath(windowsPath));
  if (HostPath(windowsPath).isEmpty() || !info.exists() || info.isDir()) return {};
  return {true, info.size(), info.lastModified().toMSecsSinceEpoch()};
}

QByteArray FormatJournal(const ScanJournal& j) {
  QString text = HeaderLines(j) + PositionLine(j.position);
  for (auto it = j.filed.begin(); it != j.filed.end(); ++it) text += FiledLine(it.key(), *it);
  if (j.pending) text += PendingLine(*j.pending);
  return text.toUtf8();
}

std::optional<ScanJournal> ParseJournal(const QByteArray& bytes) {
  // A last line without its line end is an append cut short.
  QStringList lines =
      QString::fromUtf8(bytes.left(bytes.lastIndexOf("\r\n"))).split("\r\n", Qt::SkipEmptyParts);
  if (lines.isEmpty() || lines[0] != kMagic) return std::nullopt;
  ScanJournal j;
  bool ok = true;
  auto number = [&ok](const QString& text) {
    bool good = false;
    qint64 v = text.toLongLong(&good);
    ok = ok && good;
    return v;
  };
  for (const QString& line : lines.mid(1)) {
    QString key = line.section('=', 0, 0), value = line.section('=', 1);
    if (key == "List") {
      j.listFile = value;
    } else if (key == "Entries") {
      j.entries = static_cast<int>(number(value));
    } else if (key == "Position") {  // also the end of a pass under way
      j.position = static_cast<int>(number(value));
      j.pending.reset();
    } else if (key == "Filed") {
      QStringList f = value.split('|');
      if (f.size() != 4) return std::nullopt;
      j.filed[static_cast<int>(number(f[0]))] = {f[1], number(f[2]), number(f[3])};
    } else if (key == "Pending") {
      QStringList f = value.split('|');
      if (f.size() < 10) return std::nullopt;
      ScanJournal::Pending p;
      p.index = static_cast<int>(number(f[0]));
      p.file = f[1];
      p.folder = f[2];
      p.startedMs = number(f[3]);
      p.before = {number(f[4]) != 0, number(f[5]), number(f[6])};
      p.ascSize = number(f[7]);
      p.allSize = number(f[8]);
      p.dataText = f.mid(9).join('|');
      j.pending = p;
      j.position = p.index;
    } else {
      return std::nullopt;
    }
  }
  if (!ok || j.listFile.isEmpty() || j.entries < 1) return std::nullopt;
  return j;
}

QString JournalFile(const Station& st) { return st.AppDir + kJournalName; }

std::optional<ScanJournal> ReadJournal(const Station& st) {
  QFile file(HostPath(JournalFile(st)));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return ParseJournal(file.readAll());
}

bool WriteJournal(const Station& st, const ScanJournal& journal) {
  return WriteJournalBytes(st, FormatJournal(journal));
}

bool AppendJournal(const Station& st, const QByteArray& records) {
  if (!JournalOfList(st)) {
    ScanJournal fresh;
    fresh.listFile = st.ScanListFile;
    fresh.entries = st.ScanCnt;
    return WriteJournalBytes(st, HeaderLines(fresh).toUtf8() + records);
  }
  QFile file(HostPath(JournalFile(st)));
  bool ok = file.open(QIODevice::WriteOnly | QIODevice::Append) &&
            file.write(records) == records.size() && Sync(file);
  if (!ok) WriteLog(st, 0, JournalFile(st) + " could not be written");
  return ok;
}

void RemoveJournal(const Station& st) {
  DeleteFile(JournalFile(st));
  DeleteFile(JournalFile(st) + ".tmp");
}

bool IsFiled(const ScanJournal& journal, int index) {
  auto it = journal.filed.find(index);
  if (it == journal.filed.end()) return false;
  FileState now = StateOf(it->file);
  return now.exists && now.size == it->size;
}

int FirstUnfiled(const ScanJournal& journal) {
  for (int i = 1; i <= journal.entries; ++i)
    if (!IsFiled(journal, i)) return i;
  return 0;
}

bool SettlePending(Station& st, ScanJournal& journal) {
  if (!journal.pending) return false;
  const ScanJournal::Pending p = *journal.pending;
  journal.pending.reset();
  // Only the road moves a finished image onto the target: a changed target is
  // this pass's image, complete.
  FileState now = StateOf(p.file);
  if (!now.exists || now == p.before) return false;
  journal.filed[p.index] = {p.file, now.modifiedMs, now.size};
  // The database line of the filed sheet, where the pass had not written it.
  if (!p.dataText.trimmed().isEmpty()) {
    const QString line = DatabaseLine(p.dataText, p.file);
    const QString asc = WithSlash(p.folder) + "Database.Asc", all = st.AppDir + "Database.All";
    for (auto [file, from] : {std::pair{asc, p.ascSize}, std::pair{all, p.allSize}}) {
      if (LineSince(file, from, line)) continue;
      if (AppendDatabaseLine(file, line))
        WriteLog(st, 0, "Resume: database line added to " + file + ": " + line);
      else
        ShowError(st, LoadResString(resDatabaseNotWritten).arg(file));
    }
  }
  WriteLog(st, 0, "Resume: entry " + QString::number(p.index) + " was filed as " + p.file);
  return true;
}

std::optional<ScanJournal::Pending> JournalPassStarting(ScanRoad& road, const QString& dataText) {
  Station& st = road.st;
  if (!Journaling(st)) return std::nullopt;
  ScanJournal::Pending p;
  p.index = st.CurScanCnt;
  p.file = st.ScanFileName;
  p.folder = road.files.ParsePath(st.ScanFileName);
  p.dataText = dataText;
  p.startedMs = NowMs();
  p.before = StateOf(p.file);
  p.ascSize = SizeOf(WithSlash(p.folder) + "Database.Asc");
  p.allSize = SizeOf(st.AppDir + "Database.All");
  AppendJournal(st, PendingLine(p).toUtf8());
  return p;
}

void JournalPassEnded(ScanRoad& road, const std::optional<ScanJournal::Pending>& pending) {
  Station& st = road.st;
  if (!Journaling(st)) return;
  QString records;
  if (const auto& p = pending) {
    FileState now = StateOf(p->file);
    if (now.exists && now != p->before)
      records += FiledLine(p->index, {p->file, NowMs(), now.size});
    // Ctrl+R sends the waiting scan to the previous entry's name.
    if (st.ScanFileName != p->file) {
      FileState redone = StateOf(st.ScanFileName);
      if (redone.exists && redone.modifiedMs >= p->startedMs)
        records += FiledLine(st.CurScanCnt, {st.ScanFileName, NowMs(), redone.size});
    }
  }
  AppendJournal(st, (records + PositionLine(st.CurScanCnt)).toUtf8());
}

void JournalListComplete(Station& st) {
  st.ResumeFiled.clear();
  if (!Journaling(st)) return;
  RemoveJournal(st);
  WriteLog(st, 0, "Scan list complete: " + st.ScanListFile);
}

bool SetNextUnfiledName(ScanRoad& road) {
  Station& st = road.st;
  if (!road.files.SetNewName()) return false;
  while (st.ScanListMode && st.ResumeFiled.contains(st.CurScanCnt) && FileExists(st.ScanFileName)) {
    WriteLog(st, 0,
             "Resume: entry " + QString::number(st.CurScanCnt) + " is filed as " + st.ScanFileName +
                 " and is passed over");
    if (!road.files.SetNewName()) return false;
  }
  return true;
}

bool ListEndReached(const Station& st) {
  if (st.CurScanCnt < st.ScanCnt) return false;
  if (st.ScanFileName == st.LastScanFile && !st.NewScanMode) return true;
  return st.ResumeFiled.contains(st.CurScanCnt) && FileExists(st.ScanFileName);
}

void OfferResume(Station& st, const QString& commandLine,
                 const std::function<void(const QString&)>& loadScanList) {
  std::optional<ScanJournal> j = ReadJournal(st);
  if (!j) {
    if (QFile::exists(HostPath(JournalFile(st))))
      WriteLog(st, 0, JournalFile(st) + " is not a journal and was not used");
    return;
  }
  // 1. The same list, or the journal's own when none was named.
  if (commandLine.trimmed().isEmpty())
    loadScanList(j->listFile);
  else if (!SameList(commandLine, j->listFile))
    return;
  if (!st.ScanListMode || st.ScanCnt != j->entries) {
    WriteLog(st, 0, "Resume: the scan list " + j->listFile + " no longer matches its journal");
    return;
  }
  st.ScanListFile = j->listFile;
  // 2. A pass cut short between filing its sheet and its end.
  bool settled = SettlePending(st, *j);
  int resumeAt = FirstUnfiled(*j);
  if (resumeAt == 0) {  // the job had ended but for the journal
    RemoveJournal(st);
    return;
  }
  if (settled) WriteJournal(st, *j);
  // 3. A scan of the ended session may still wait for Start at the scanner:
  // the start-up's channel reset ends it, and this session waits for that
  // reset before it goes on (a second reset at the same time would leave the
  // channel down).
  if (st.StartupResetTask != 0) {
    for (int waited = 0; waited < kResetWaitMs; waited += kWaitStepMs)
      if (st.seams.processes->WaitForTask(st.StartupResetTask, kWaitStepMs) != WaitResult::TimedOut)
        break;
    st.StartupResetTask = 0;
    st.seams.pump->Pause(kSettleMs);
  }
  // 4. One question.
  int filed = 0;
  for (int i = 1; i <= j->entries; ++i) filed += IsFiled(*j, i);
  QString question =
      LoadResString(resResumeList).arg(j->listFile).arg(filed).arg(j->entries).arg(resumeAt);
  st.ResumeFiled.clear();
  if (AskYesNo(st, question)) {
    st.CurScanCnt = resumeAt;
    for (int i = resumeAt + 1; i <= j->entries; ++i)
      if (IsFiled(*j, i)) st.ResumeFiled.insert(i);
    j->position = resumeAt;
    WriteJournal(st, *j);
    WriteLog(st, 0, "Resume: scan list " + j->listFile + " at entry " + QString::number(resumeAt));
  } else {
    RemoveJournal(st);
    WriteLog(st, 0, "Resume declined: scan list " + j->listFile + " starts over");
  }
}

}  // namespace varnel
