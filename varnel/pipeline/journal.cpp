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

ScanJournal JournalOrNew(const Station& st) {
  std::optional<ScanJournal> j = ReadJournal(st);
  if (j && SameList(j->listFile, st.ScanListFile) && j->entries == st.ScanCnt) return *j;
  ScanJournal fresh;
  fresh.listFile = st.ScanListFile;
  fresh.entries = st.ScanCnt;
  return fresh;
}

}  // namespace

FileState StateOf(const QString& windowsPath) {
  QFileInfo info(HostPath(windowsPath));
  if (HostPath(windowsPath).isEmpty() || !info.exists() || info.isDir()) return {};
  return {true, info.size(), info.lastModified().toMSecsSinceEpoch()};
}

QByteArray FormatJournal(const ScanJournal& j) {
  QStringList lines{kMagic, "List=" + j.listFile, "Entries=" + QString::number(j.entries),
                    "Position=" + QString::number(j.position)};
  for (auto it = j.filed.begin(); it != j.filed.end(); ++it)
    lines << "Filed=" + QStringList{QString::number(it.key()), it->file,
                                    QString::number(it->filedMs), QString::number(it->size)}
                            .join('|');
  if (const auto& p = j.pending)
    // The data text comes last: it may hold the separator.
    lines << "Pending=" + QStringList{QString::number(p->index), p->file, p->folder,
                                      QString::number(p->startedMs),
                                      QString::number(p->before.exists),
                                      QString::number(p->before.size),
                                      QString::number(p->before.modifiedMs),
                                      QString::number(p->ascSize), QString::number(p->allSize),
                                      p->dataText}
                              .join('|');
  return (lines.join("\r\n") + "\r\n").toUtf8();
}

std::optional<ScanJournal> ParseJournal(const QByteArray& bytes) {
  QStringList lines = QString::fromUtf8(bytes).split("\r\n", Qt::SkipEmptyParts);
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
    } else if (key == "Position") {
      j.position = static_cast<int>(number(value));
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
  // One temporary name, so that a write cut short leaves one stale file at
  // most, and the next write reuses it.
  const QString host = HostPath(JournalFile(st));
  const QString temporary = host + ".tmp";
  QFile file(temporary);
  QByteArray bytes = FormatJournal(journal);
  bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            file.write(bytes) == bytes.size() && file.flush();
#ifdef Q_OS_WIN
  ok = ok && _commit(file.handle()) == 0;
#else
  ok = ok && ::fsync(file.handle()) == 0;
#endif
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

void JournalPassStarting(ScanRoad& road, const QString& dataText) {
  Station& st = road.st;
  if (!Journaling(st)) return;
  ScanJournal j = JournalOrNew(st);
  ScanJournal::Pending p;
  p.index = st.CurScanCnt;
  p.file = st.ScanFileName;
  p.folder = road.files.ParsePath(st.ScanFileName);
  p.dataText = dataText;
  p.startedMs = NowMs();
  p.before = StateOf(p.file);
  p.ascSize = SizeOf(WithSlash(p.folder) + "Database.Asc");
  p.allSize = SizeOf(st.AppDir + "Database.All");
  j.position = st.CurScanCnt;
  j.pending = p;
  WriteJournal(st, j);
}

void JournalPassEnded(ScanRoad& road) {
  Station& st = road.st;
  if (!Journaling(st)) return;
  ScanJournal j = JournalOrNew(st);
  if (j.pending) {
    const ScanJournal::Pending p = *j.pending;
    j.pending.reset();
    FileState now = StateOf(p.file);
    if (now.exists && now != p.before) j.filed[p.index] = {p.file, NowMs(), now.size};
    // Ctrl+R sends the waiting scan to the previous entry's name.
    if (st.ScanFileName != p.file) {
      FileState redone = StateOf(st.ScanFileName);
      if (redone.exists && redone.modifiedMs >= p.startedMs)
        j.filed[st.CurScanCnt] = {st.ScanFileName, NowMs(), redone.size};
    }
  }
  j.position = st.CurScanCnt;
  WriteJournal(st, j);
}

void JournalListComplete(Station& st) {
  if (!Journaling(st)) return;
  RemoveJournal(st);
  WriteLog(st, 0, "Scan list complete: " + st.ScanListFile);
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
  QString question = LoadResString(resResumeList)
                         .arg(j->listFile)
                         .arg(filed)
                         .arg(j->entries)
                         .arg(resumeAt);
  if (AskYesNo(st, question)) {
    st.CurScanCnt = resumeAt;
    j->position = resumeAt;
    WriteJournal(st, *j);
    WriteLog(st, 0, "Resume: scan list " + j->listFile + " at entry " + QString::number(resumeAt));
  } else {
    RemoveJournal(st);
    WriteLog(st, 0, "Resume declined: scan list " + j->listFile + " starts over");
  }
}

}  // namespace varnel
