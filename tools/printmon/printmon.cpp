#include "tools/printmon/printmon.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <cstdio>

#include "juxutil/hostpath.h"
#include "varnel/pipeline/requestrecord.h"

namespace printmon {
namespace {

using printreq::Field;
using printreq::kRecordSize;
using printreq::RequestRecord;

const QString kDone = "Done.Jux";
const QString kTaken = "Taken.Jux";
const QString kPrinted = "Printed.Jux";
const QString kReason = "Reason.txt";
const QString kWork = ".work";  // staging folder inside the output folder

// The most copies of an image a request may ask for: the request-queue
// dialog's own bound.
constexpr int kMaxCopies = 999;
// A request file holds at most a scan list's 1000 images; a pointer file one path.
constexpr qint64 kMaxRequestBytes = qint64(kRecordSize) * 1000;
constexpr qint64 kMaxPointerBytes = 1024;

// A control character (C0, DEL, C1): never part of a path, and never
// written into a log line as it is.
bool IsControl(QChar c) {
  const char16_t u = c.unicode();
  return u < 0x20 || (u >= 0x7F && u < 0xA0);
}

}  // namespace

QString Sanitised(const QString& text) {
  constexpr qsizetype kMaxChars = 2000;
  QString out;
  for (QChar c : text.left(kMaxChars)) {
    if (IsControl(c))
      out += QString("\\x%1").arg(int(c.unicode()), 2, 16, QChar('0'));
    else
      out += c;
  }
  if (text.size() > kMaxChars) out += "...";
  return out;
}

namespace {

QString Host(const QString& path) {
  return QString::fromStdString(hostpath::ToHost(path.trimmed().toStdString()));
}

// The file of that name in the folder, whatever its case ("" when none). A
// link is never read through, so only `links` (for markers whose presence
// alone counts) lets one be found.
QString FindFile(const QString& folder, const QString& name, bool links = false) {
  const QStringList files =
      QDir(folder).entryList(QDir::Files | QDir::Hidden | (links ? QDir::Filters() : QDir::NoSymLinks));
  for (const QString& f : files)
    if (f.compare(name, Qt::CaseInsensitive) == 0) return folder + "/" + f;
  return {};
}

// Whether a resolved host path lies in the folder of one of the station's drives.
bool InsideDrives(const QString& resolved) {
  for (const auto& [letter, folder] : hostpath::CurrentDrives()) {
    const QString root = QFileInfo(QString::fromStdString(folder)).canonicalFilePath();
    if (root.isEmpty()) continue;
    if (root == "/" || resolved == root || resolved.startsWith(root + "/")) return true;
  }
  return false;
}

// A whole PDF ends with "startxref", the offset of its cross-reference, and
// "%%EOF"; a file cut short lacks them, or names an offset it no longer reaches.
bool PdfLooksWhole(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const qint64 size = file.size();
  const qint64 tailSize = std::min<qint64>(size, 2048);
  if (!file.seek(size - tailSize)) return false;
  const QByteArray tail = file.read(tailSize);
  const qsizetype eof = tail.lastIndexOf("%%EOF");
  const qsizetype start = eof < 0 ? -1 : tail.lastIndexOf("startxref", eof);
  if (start < 0) return false;
  bool ok = false;
  const qint64 offset = tail.mid(start + 9, eof - start - 9).trimmed().toLongLong(&ok);
  if (!ok || offset <= 0 || offset >= size || !file.seek(offset)) return false;
  const QByteArray at = file.read(32);
  static const QRegularExpression object("^\\s*\\d+\\s+\\d+\\s+obj");
  return at.startsWith("xref") || object.match(QString::fromLatin1(at)).hasMatch();
}

// Modification time in nanoseconds (the completion order of jobs).
qint64 ModifiedNs(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return 0;
  return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Writes a file whole; a link of that name is replaced, never written through.
bool WriteWhole(const QString& path, const QByteArray& bytes) {
  if (QFileInfo(path).isSymLink()) QFile::remove(path);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(bytes);
  return file.commit();
}

// A failure of the job itself, with its reason, or of the set-up (the job
// stays and is tried again).
struct Problem {
  bool jobFault = true;
  QString text;
};

struct Image {
  QString shownPath;  // as the request names it
  QString host;
  enum Kind { Tlc, Raster, Pdf } kind = Tlc;  // Raster: TIFF, PNG or CALS, through file2tlc
  int copies = 1;
};

// The image kinds by their first bytes.
struct Signature {
  QByteArray bytes;
  Image::Kind kind;
  bool anyCase = false;
};
const Signature kSignatures[] = {
    {"Virozoro", Image::Tlc},
    {QByteArray("II*\0", 4), Image::Raster},
    {QByteArray("MM\0*", 4), Image::Raster},
    {QByteArray("\x89PNG\r\n\x1a\n", 8), Image::Raster},
    {"srcdocid:", Image::Raster, true},  // CALS Type 1: its first header record
    {"%PDF", Image::Pdf},
};

// The first line of a pointer file: the image's path ("" when it holds none).
QString PointerPath(const QString& pointer) {
  QFile p(pointer);
  if (!p.open(QIODevice::ReadOnly)) return {};
  QByteArray bytes = p.read(kMaxPointerBytes);
  const qsizetype end = bytes.indexOf('\n');
  if (end >= 0) bytes.truncate(end);
  return QString::fromLatin1(bytes).trimmed();
}

std::optional<Problem> ReadImages(const Job& job, QList<Image>& images) {
  QString requestFile = FindFile(job.folder, job.name + ".JUX");
  if (requestFile.isEmpty()) return Problem{true, "no request file " + job.name + ".JUX"};
  QFile file(requestFile);
  if (file.size() > kMaxRequestBytes)
    return Problem{true, QString("the request file is too large (%1 bytes)").arg(file.size())};
  if (!file.open(QIODevice::ReadOnly)) return Problem{true, "the request file cannot be read"};
  QByteArray bytes = file.read(kMaxRequestBytes);
  if (bytes.isEmpty()) return Problem{true, "the request file is empty"};
  qsizetype records = bytes.size() / qsizetype(kRecordSize);
  if (bytes.size() % qsizetype(kRecordSize) != 0)
    return Problem{true, QString("record %1 is short: %2 of %3 bytes")
                             .arg(records + 1)
                             .arg(bytes.size() % qsizetype(kRecordSize))
                             .arg(kRecordSize)};
  for (qsizetype i = 0; i < records; ++i) {
    RequestRecord r;
    RequestRecord::FromBytes(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()) +
                                           i * kRecordSize,
                                       kRecordSize),
                             r);
    QString which = QString("record %1").arg(i + 1);
    int count = int(r.Number(Field::FileCount));
    if (count != records)
      return Problem{true, QString("%1 counts %2 images, the request file holds %3")
                               .arg(which)
                               .arg(count)
                               .arg(records)};
    Image image;
    image.copies = int(r.Number(Field::Copies));
    if (image.copies < 1 || image.copies > kMaxCopies)
      return Problem{true, QString("%1 asks for %2 copies (1 to %3)").arg(which).arg(image.copies).arg(kMaxCopies)};
    // The pointer file names the image; the record's own path is the fallback
    // (a long pointer name does not fit the record).
    QString pointer = FindFile(job.folder, QString::fromLatin1(r.Text(Field::PtrName)).trimmed());
    if (!pointer.isEmpty()) image.shownPath = PointerPath(pointer);
    if (image.shownPath.isEmpty())
      image.shownPath = QString::fromLatin1(r.Text(Field::ImagePath)).trimmed();
    if (image.shownPath.isEmpty()) return Problem{true, which + " names no image"};
    if (std::any_of(image.shownPath.begin(), image.shownPath.end(), IsControl))
      return Problem{true, QString("%1: %2 is not an image path").arg(which, image.shownPath)};
    // The image is printed only from within the station's drives, wherever
    // its name (C:\..\.., a host path, a link) leads.
    const QString host = Host(image.shownPath);
    if (host.isEmpty() || !QFileInfo(host).isFile())
      return Problem{true, QString("%1: image %2 is missing").arg(which, image.shownPath)};
    image.host = QFileInfo(host).canonicalFilePath();
    if (!InsideDrives(image.host))
      return Problem{true, QString("%1: image %2 lies outside the station's drives").arg(which, image.shownPath)};
    QFile in(image.host);
    if (!in.open(QIODevice::ReadOnly))
      return Problem{true, QString("%1: image %2 cannot be read").arg(which, image.shownPath)};
    const QByteArray magic = in.read(9);
    const auto* kind = std::find_if(std::begin(kSignatures), std::end(kSignatures),
                                    [&](const Signature& s) {
                                      return s.anyCase ? magic.toLower().startsWith(s.bytes) : magic.startsWith(s.bytes);
                                    });
    if (kind == std::end(kSignatures))
      return Problem{true, QString("%1: image %2 is not a TLC, TIFF, PNG, CALS or PDF image")
                               .arg(which, image.shownPath)};
    image.kind = kind->kind;
    if (image.kind == Image::Pdf && !PdfLooksWhole(image.host))
      return Problem{true, QString("%1: image %2 is a PDF cut short (no cross-reference and end marker)")
                               .arg(which, image.shownPath)};
    images << image;
  }
  return std::nullopt;
}

// Runs a converter. Exit code 1 is a bad input (the job's fault, with the
// converter's own message); anything else that is not 0 is a set-up problem.
std::optional<Problem> Convert(const QString& program, const QStringList& args,
                               const QString& errFile, const QString& what) {
  QProcess process;
  process.setProgram(program);
  process.setArguments(args);
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start();
  if (!process.waitForStarted(-1)) return Problem{false, program + " cannot be started"};
  process.waitForFinished(-1);
  if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) return std::nullopt;
  QString message;
  QFile err(errFile);
  if (err.open(QIODevice::ReadOnly)) message = QString::fromUtf8(err.readLine()).trimmed();
  bool badInput = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 1;
  return Problem{badInput, QString("%1: %2 failed (%3)")
                               .arg(what, QFileInfo(program).fileName(),
                                    message.isEmpty() ? QString("exit %1").arg(process.exitCode())
                                                      : message)};
}

// Renders image i into staging/i.pdf.
std::optional<Problem> Render(const Config& config, const Image& image, int i,
                              const QString& staging) {
  QString pdf = QString("%1/%2.pdf").arg(staging).arg(i);
  QString what = QString("image %1 (%2)").arg(i).arg(image.shownPath);
  if (image.kind == Image::Pdf) {
    if (!QFile::copy(image.host, pdf)) return Problem{false, what + ": cannot be copied"};
    return std::nullopt;
  }
  QString tlc = image.host;
  QString err = QString("%1/%2.err").arg(staging).arg(i);
  QString msg = QString("%1/%2.msg").arg(staging).arg(i);
  if (image.kind == Image::Raster) {
    tlc = QString("%1/%2.tlc").arg(staging).arg(i);
    if (auto p = Convert(config.file2tlcExe, {"-Q", msg, "-E", err, "-o", tlc, image.host}, err, what))
      return p;
  }
  return Convert(config.exportExe, {"-E", err, "-Q", msg, "-F", "-o", pdf, tlc}, err, what);
}

// What the monitor keeps of a job in its folder (Taken.Jux), so that neither
// a retry nor a kill prints anything twice: the stem of the job's page
// names, how many of its images the printer has accepted, and how many tries
// have failed.
struct JobState {
  QString stem;
  int accepted = 0;
  int tries = 0;
};

JobState LoadState(const Job& job) {
  JobState state;
  QFile file(FindFile(job.folder, kTaken));
  if (file.open(QIODevice::ReadOnly)) {
    const QList<QByteArray> lines = file.read(4096).split('\n');
    state.stem = QString::fromLatin1(lines.value(0)).trimmed();
    for (const QByteArray& line : lines.mid(1)) {
      if (line.startsWith("Accepted=")) state.accepted = std::max(0, line.mid(9).trimmed().toInt());
      if (line.startsWith("Tries=")) state.tries = std::max(0, line.mid(6).trimmed().toInt());
    }
  }
  // A stem names files in the output folder: one that could lead out of it
  // (a dot, a slash) is not the monitor's and is made anew.
  static const QRegularExpression own("^[A-Za-z0-9][A-Za-z0-9_-]{0,63}$");
  if (!own.match(state.stem).hasMatch())
    state = {job.name.left(16) + "-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmsszzz"), 0, 0};
  return state;
}

void SaveState(const Job& job, const JobState& state) {
  WriteWhole(job.folder + "/" + kTaken, QString("%1\nAccepted=%2\nTries=%3\n")
                                           .arg(state.stem)
                                           .arg(state.accepted)
                                           .arg(state.tries)
                                           .toLatin1());
}

// Removes the job folder: its files, then Done.Jux, then the monitor's own
// Printed.Jux and the folder.
void RemoveJob(const QString& folder) {
  QDir dir(folder);
  const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
  for (const QFileInfo& e : entries) {
    if (e.fileName().compare(kDone, Qt::CaseInsensitive) == 0 ||
        e.fileName().compare(kPrinted, Qt::CaseInsensitive) == 0)
      continue;
    if (e.isDir() && !e.isSymLink())  // a link goes, never what it points to
      QDir(e.filePath()).removeRecursively();
    else
      QFile::remove(e.filePath());
  }
  if (QString done = FindFile(folder, kDone, true); !done.isEmpty()) QFile::remove(done);
  if (QString printed = FindFile(folder, kPrinted, true); !printed.isEmpty()) QFile::remove(printed);
  dir.rmdir(folder);
}

// Moves a queue entry into the failed folder under its own name (a number
// added when the name is taken there); a link moves as the link.
bool MoveIntoFailed(const Config& config, const QString& path, const QString& name) {
  QDir().mkpath(config.failedDir);
  QString target = config.failedDir + "/" + name;
  for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
    target = config.failedDir + "/" + name + "-" + QString::number(n);
  return std::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) == 0;
}

// Moves the job whole into the failed folder, its reason beside its files.
bool MoveToFailed(const Config& config, const Job& job, const QString& reason) {
  WriteWhole(job.folder + "/" + kReason, Sanitised(reason).toUtf8() + "\n");
  return MoveIntoFailed(config, job.folder, job.name);
}

// Jobs that could not be moved to the failed folder are not tried again in this run.
QSet<QString>& Stuck() {
  static QSet<QString> stuck;
  return stuck;
}

// A queue's entries: job folders, and what is not one. A link is never a
// job (printing it would act on whatever it points to); a name that begins
// with a dot is never one of the workstation's (eight capital letters) and
// may belong to other software, so it is left alone.
enum class EntryKind { Job, Link, Hidden };

struct QueueEntry {
  QString path, name;
  EntryKind kind;
};

QList<QueueEntry> QueueEntries(const QString& queue) {
  QList<QueueEntry> entries;
  const QFileInfoList infos = QDir(queue).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
  for (const QFileInfo& info : infos) {
    const EntryKind kind = info.isSymLink()                ? EntryKind::Link
                           : info.fileName().startsWith('.') ? EntryKind::Hidden
                                                             : EntryKind::Job;
    entries << QueueEntry{info.filePath(), info.fileName(), kind};
  }
  return entries;
}

// Entries already logged in this run, so that each is logged once.
QSet<QString>& Told() {
  static QSet<QString> told;
  return told;
}

}  // namespace

void Log(const Config& config, const QString& text) {
  QString line = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss ") + Sanitised(text);
  std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
  std::fflush(stdout);
  if (config.logFile.isEmpty()) return;
  QFile file(config.logFile);
  if (file.open(QIODevice::WriteOnly | QIODevice::Append)) file.write(line.toUtf8() + "\n");
}

Config LoadConfig(const QString& iniHostPath, const QString& programDir) {
  // [PrintMon] keys, case-insensitive; the first of a key counts.
  QHash<QString, QString> values;
  QFile file(iniHostPath);
  if (file.open(QIODevice::ReadOnly)) {
    bool inSection = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
      QString line = QString::fromUtf8(raw).trimmed();
      if (line.startsWith('[')) {
        inSection = line.compare("[PrintMon]", Qt::CaseInsensitive) == 0;
      } else if (inSection && !line.startsWith(';')) {
        qsizetype eq = line.indexOf('=');
        QString key = line.left(eq).trimmed().toLower();
        if (eq > 0 && !values.contains(key)) values[key] = line.mid(eq + 1).trimmed();
      }
    }
  }
  auto value = [&values](const char* key, const QString& fallback) {
    QString v = values.value(QString(key).toLower());
    return v.isEmpty() ? fallback : v;
  };
  Config c;
  c.requestDir = Host(value("RequestDir", "C:\\Dudozev1\\Request"));
  c.priorityDir = Host(value("PriorityDir", "C:\\Dudozev1\\PRequest"));
  c.outputDir = Host(value("OutputDir", "C:\\Dudozev1\\Printed"));
  c.failedDir = Host(value("FailedDir", "C:\\Dudozev1\\failed"));
  c.printer = value("Printer", "");
  c.lpExe = value("LpExe", "lp");
  c.file2tlcExe = Host(value("File2TlcExe", programDir + "/file2tlc"));
  c.exportExe = Host(value("ExportExe", programDir + "/tlcexport"));
  c.logFile = Host(value("LogFile", "C:\\Dudozev1\\PrintMon.Log"));
  c.pollMs = std::max(10, value("PollMs", "1000").toInt());
  c.maxTries = std::clamp(value("MaxTries", QString::number(kDefaultMaxTries)).toInt(), 1, 100);
  if (c.lpExe.contains('\\') || c.lpExe.contains(':')) c.lpExe = Host(c.lpExe);
  return c;
}

std::optional<Job> NextJob(const Config& config) {
  for (bool priority : {true, false}) {
    QString queue = priority ? config.priorityDir : config.requestDir;
    struct Candidate {
      qint64 done;
      QueueEntry entry;
    };
    QList<Candidate> ready;
    for (const QueueEntry& e : QueueEntries(queue)) {
      if (e.kind != EntryKind::Job || Stuck().contains(e.path)) continue;
      QString done = FindFile(e.path, kDone, true);
      if (!done.isEmpty()) ready << Candidate{ModifiedNs(done), e};
    }
    if (ready.isEmpty()) continue;
    auto first = std::min_element(ready.begin(), ready.end(), [](const Candidate& a, const Candidate& b) {
      return a.done != b.done ? a.done < b.done : a.entry.name < b.entry.name;
    });
    return Job{first->entry.path, first->entry.name, priority};
  }
  return std::nullopt;
}

void SweepQueues(const Config& config) {
  for (const QString& queue : {config.priorityDir, config.requestDir}) {
    const QString queueName = queue == config.priorityDir ? "priority" : "normal";
    for (const QueueEntry& e : QueueEntries(queue)) {
      if (e.kind == EntryKind::Job || Told().contains(e.path)) continue;
      if (e.kind == EntryKind::Hidden) {
        Told().insert(e.path);
        Log(config, QString("%1 (%2) ignored: a name that begins with a dot is no job of the workstation's")
                        .arg(e.name, queueName));
        continue;
      }
      const QString target = QFileInfo(e.path).symLinkTarget();
      if (MoveIntoFailed(config, e.path, e.name)) {
        Log(config, QString("%1 (%2) refused: the job folder is a link (to %3); the link alone is moved to %4")
                        .arg(e.name, queueName, target, config.failedDir));
      } else {
        Told().insert(e.path);
        Log(config, QString("%1 (%2) refused: the job folder is a link (to %3); it cannot be moved to %4 and "
                            "stays where it is, untouched")
                        .arg(e.name, queueName, target, config.failedDir));
      }
    }
  }
}

void FinishRemovals(const Config& config) {
  for (const QString& queue : {config.priorityDir, config.requestDir}) {
    for (const QueueEntry& e : QueueEntries(queue)) {
      if (e.kind != EntryKind::Job) continue;
      if (FindFile(e.path, kDone, true).isEmpty() && !FindFile(e.path, kPrinted, true).isEmpty()) RemoveJob(e.path);
    }
  }
}

Outcome ProcessJob(const Config& config, const Job& job) {
  QString queueName = job.priority ? "priority" : "normal";
  // Printed before a kill: only the removal is left.
  if (!FindFile(job.folder, kPrinted, true).isEmpty()) {
    RemoveJob(job.folder);
    return Outcome::Removed;
  }
  JobState state = LoadState(job);
  const bool printer = !config.printer.isEmpty();
  // What the printer took in earlier tries is named where the job ends up.
  auto printedNote = [&] {
    return printer && state.accepted > 0 ? QString("; images 1 to %1 were printed").arg(state.accepted) : QString();
  };
  auto fail = [&](QString reason) {
    reason += printedNote();
    if (MoveToFailed(config, job, reason)) {
      Log(config, QString("%1 (%2) failed: %3; moved to %4").arg(job.name, queueName, reason, config.failedDir));
    } else {
      Stuck().insert(job.folder);
      Log(config, QString("%1 (%2) failed: %3; it cannot be moved to %4 and stays where it is")
                      .arg(job.name, queueName, reason, config.failedDir));
    }
    return Outcome::Failed;
  };

  QList<Image> images;
  if (auto problem = ReadImages(job, images)) return fail(problem->text);

  // The images the printer has taken are never sent again.
  const int first = printer ? std::min<int>(state.accepted, int(images.size())) : 0;
  if (state.tries > 0)
    Log(config, QString("%1 (%2) try %3 of %4%5")
                    .arg(job.name, queueName)
                    .arg(state.tries + 1)
                    .arg(config.maxTries)
                    .arg(printer ? QString(", from image %1").arg(first + 1) : QString()));
  SaveState(job, state);
  // A failed try: tried again at the next poll, until the last try moves the
  // job to the failed folder, saying what the printer has taken already.
  auto tryFailed = [&](const QString& problem) {
    ++state.tries;
    if (state.tries >= config.maxTries)
      return fail(QString("not printed in %1 tries: %2").arg(state.tries).arg(problem));
    SaveState(job, state);
    Log(config, QString("%1 (%2) try %3 of %4 not printed: %5%6")
                    .arg(job.name, queueName)
                    .arg(state.tries)
                    .arg(config.maxTries)
                    .arg(problem, printedNote()));
    return Outcome::Retry;
  };

  // Everything still to print is rendered before anything is printed.
  QString staging = config.outputDir + "/" + kWork + "/" + state.stem;
  QDir(staging).removeRecursively();
  if (!QDir().mkpath(staging)) return tryFailed("the output folder " + config.outputDir + " cannot be written");
  for (int i = first; i < images.size(); ++i) {
    if (auto problem = Render(config, images[i], i + 1, staging)) {
      QDir(staging).removeRecursively();
      return problem->jobFault ? fail(problem->text) : tryFailed(problem->text);
    }
  }

  int pages = 0;
  if (printer) {
    for (int i = first; i < images.size(); ++i) {
      QProcess lp;
      lp.setStandardInputFile(QProcess::nullDevice());
      lp.setStandardOutputFile(QProcess::nullDevice());
      lp.start(config.lpExe, {"-d", config.printer, "-n", QString::number(images[i].copies), "-t",
                              QString("%1 image %2").arg(job.name).arg(i + 1),
                              QString("%1/%2.pdf").arg(staging).arg(i + 1)});
      bool ok = lp.waitForStarted(-1) && lp.waitForFinished(-1) &&
                lp.exitStatus() == QProcess::NormalExit && lp.exitCode() == 0;
      if (!ok) {
        QString why = QString::fromLocal8Bit(lp.readAllStandardError().left(500)).trimmed();
        QDir(staging).removeRecursively();
        return tryFailed(QString("%1 -d %2 failed for image %3%4")
                             .arg(config.lpExe, config.printer)
                             .arg(i + 1)
                             .arg(why.isEmpty() ? QString() : ": " + why));
      }
      state.accepted = i + 1;
      SaveState(job, state);
      pages += images[i].copies;
    }
  } else {
    // One page file per copy, made in the staging folder and then moved into
    // the output folder under names that a second run would use again.
    QStringList made;
    for (int i = 0; i < images.size(); ++i) {
      for (int c = 1; c <= images[i].copies; ++c) {
        QString page = QString("%1-%2-%3.pdf").arg(state.stem).arg(i + 1, 3, 10, QChar('0')).arg(c, 3, 10, QChar('0'));
        if (!QFile::copy(QString("%1/%2.pdf").arg(staging).arg(i + 1), staging + "/" + page))
          return tryFailed("the output folder " + config.outputDir + " cannot be written");
        made << page;
      }
    }
    for (const QString& page : made) {
      if (std::rename(QFile::encodeName(staging + "/" + page).constData(),
                      QFile::encodeName(config.outputDir + "/" + page).constData()) != 0)
        return tryFailed("the output folder " + config.outputDir + " cannot be written");
    }
    pages = int(made.size());
  }
  QDir(staging).removeRecursively();

  WriteWhole(job.folder + "/" + kPrinted, state.stem.toUtf8() + "\n");
  Log(config, QString("%1 (%2) printed: %3 image(s), %4 page(s) %5%6")
                  .arg(job.name, queueName)
                  .arg(images.size())
                  .arg(pages)
                  .arg(printer ? "on " + config.printer : "as " + config.outputDir + "/" + state.stem + "-*.pdf")
                  .arg(printer && first > 0 ? QString(" (images 1 to %1 in an earlier try)").arg(first) : QString()));
  RemoveJob(job.folder);
  return Outcome::Printed;
}

int Run(const Config& config, bool once) {
  for (const QString& dir : {config.requestDir, config.priorityDir, config.outputDir})
    QDir().mkpath(dir);
  for (;;) {
    SweepQueues(config);
    FinishRemovals(config);
    std::optional<Job> job = NextJob(config);
    if (!job) {
      if (once) return 0;
      QThread::msleep(config.pollMs);
      continue;
    }
    if (ProcessJob(config, *job) == Outcome::Retry) {
      if (once) return 1;
      QThread::msleep(config.pollMs);
    }
  }
}

}  // namespace printmon
