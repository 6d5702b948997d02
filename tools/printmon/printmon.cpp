#include "tools/printmon/printmon.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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

QString Host(const QString& path) {
  return QString::fromStdString(hostpath::ToHost(path.trimmed().toStdString()));
}

// The file of that name in the folder, whatever its case ("" when none).
QString FindFile(const QString& folder, const QString& name) {
  const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
  for (const QString& f : files)
    if (f.compare(name, Qt::CaseInsensitive) == 0) return folder + "/" + f;
  return {};
}

// Modification time in nanoseconds (the completion order of jobs).
qint64 ModifiedNs(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return 0;
  return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool WriteWhole(const QString& path, const QByteArray& bytes) {
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
  enum Kind { Tlc, Tiff, Pdf } kind = Tlc;
  int copies = 1;
};

std::optional<Problem> ReadImages(const Job& job, QList<Image>& images) {
  QString requestFile = FindFile(job.folder, job.name + ".JUX");
  if (requestFile.isEmpty()) return Problem{true, "no request file " + job.name + ".JUX"};
  QFile file(requestFile);
  if (!file.open(QIODevice::ReadOnly)) return Problem{true, "the request file cannot be read"};
  QByteArray bytes = file.readAll();
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
    if (image.copies < 1)
      return Problem{true, QString("%1 asks for %2 copies").arg(which).arg(image.copies)};
    // The pointer file names the image; the record's own path is the fallback
    // (a long pointer name does not fit the record).
    QString pointer = FindFile(job.folder, QString::fromLatin1(r.Text(Field::PtrName)).trimmed());
    if (!pointer.isEmpty()) {
      QFile p(pointer);
      if (p.open(QIODevice::ReadOnly)) image.shownPath = QString::fromLatin1(p.readLine()).trimmed();
    }
    if (image.shownPath.isEmpty())
      image.shownPath = QString::fromLatin1(r.Text(Field::ImagePath)).trimmed();
    if (image.shownPath.isEmpty()) return Problem{true, which + " names no image"};
    image.host = Host(image.shownPath);
    QFile in(image.host);
    if (image.host.isEmpty() || !QFileInfo(image.host).isFile())
      return Problem{true, QString("%1: image %2 is missing").arg(which, image.shownPath)};
    if (!in.open(QIODevice::ReadOnly))
      return Problem{true, QString("%1: image %2 cannot be read").arg(which, image.shownPath)};
    QByteArray magic = in.read(8);
    if (magic.startsWith("Virozoro"))
      image.kind = Image::Tlc;
    else if (magic.startsWith(QByteArray("II*\0", 4)) || magic.startsWith(QByteArray("MM\0*", 4)))
      image.kind = Image::Tiff;
    else if (magic.startsWith("%PDF"))
      image.kind = Image::Pdf;
    else
      return Problem{true, QString("%1: image %2 is not a TLC, TIFF or PDF image")
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
  if (image.kind == Image::Tiff) {
    tlc = QString("%1/%2.tlc").arg(staging).arg(i);
    if (auto p = Convert(config.file2tlcExe, {"-Q", msg, "-E", err, "-o", tlc, image.host}, err, what))
      return p;
  }
  return Convert(config.exportExe, {"-E", err, "-Q", msg, "-F", "-o", pdf, tlc}, err, what);
}

// The stem of the job's page names, kept in the job folder so that a job
// printed again after a kill uses the same names.
QString PageStem(const Job& job) {
  QString taken = job.folder + "/" + kTaken;
  QFile file(taken);
  if (file.open(QIODevice::ReadOnly)) {
    QString stem = QString::fromUtf8(file.readLine()).trimmed();
    if (!stem.isEmpty()) return stem;
  }
  QString stem = job.name + "-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmsszzz");
  WriteWhole(taken, stem.toUtf8() + "\n");
  return stem;
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
    if (e.isDir())
      QDir(e.filePath()).removeRecursively();
    else
      QFile::remove(e.filePath());
  }
  if (QString done = FindFile(folder, kDone); !done.isEmpty()) QFile::remove(done);
  if (QString printed = FindFile(folder, kPrinted); !printed.isEmpty()) QFile::remove(printed);
  dir.rmdir(folder);
}

// Moves the job whole into the failed folder, its reason beside its files.
bool MoveToFailed(const Config& config, const Job& job, const QString& reason) {
  WriteWhole(job.folder + "/" + kReason, reason.toUtf8() + "\n");
  QDir().mkpath(config.failedDir);
  QString target = config.failedDir + "/" + job.name;
  for (int n = 2; QFileInfo::exists(target); ++n)
    target = config.failedDir + "/" + job.name + "-" + QString::number(n);
  return std::rename(QFile::encodeName(job.folder).constData(),
                     QFile::encodeName(target).constData()) == 0;
}

// Jobs that could not be moved to the failed folder are not tried again in this run.
QSet<QString>& Stuck() {
  static QSet<QString> stuck;
  return stuck;
}

// The last set-up problem logged per job, so that retries log it once.
QHash<QString, QString>& Pending() {
  static QHash<QString, QString> pending;
  return pending;
}

}  // namespace

void Log(const Config& config, const QString& text) {
  QString line = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss ") + text;
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
  if (c.lpExe.contains('\\') || c.lpExe.contains(':')) c.lpExe = Host(c.lpExe);
  return c;
}

std::optional<Job> NextJob(const Config& config) {
  for (bool priority : {true, false}) {
    QString queue = priority ? config.priorityDir : config.requestDir;
    struct Candidate {
      qint64 done;
      QString name;
    };
    QList<Candidate> ready;
    const QStringList folders = QDir(queue).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : folders) {
      QString folder = queue + "/" + name;
      if (Stuck().contains(folder)) continue;
      QString done = FindFile(folder, kDone);
      if (!done.isEmpty()) ready << Candidate{ModifiedNs(done), name};
    }
    if (ready.isEmpty()) continue;
    auto first = std::min_element(ready.begin(), ready.end(), [](const Candidate& a, const Candidate& b) {
      return a.done != b.done ? a.done < b.done : a.name < b.name;
    });
    return Job{queue + "/" + first->name, first->name, priority};
  }
  return std::nullopt;
}

void FinishRemovals(const Config& config) {
  for (const QString& queue : {config.priorityDir, config.requestDir}) {
    const QStringList folders = QDir(queue).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : folders) {
      QString folder = queue + "/" + name;
      if (FindFile(folder, kDone).isEmpty() && !FindFile(folder, kPrinted).isEmpty()) RemoveJob(folder);
    }
  }
}

Outcome ProcessJob(const Config& config, const Job& job) {
  QString queueName = job.priority ? "priority" : "normal";
  // Printed before a kill: only the removal is left.
  if (!FindFile(job.folder, kPrinted).isEmpty()) {
    RemoveJob(job.folder);
    return Outcome::Removed;
  }
  auto fail = [&](const QString& reason) {
    if (MoveToFailed(config, job, reason)) {
      Log(config, QString("%1 (%2) failed: %3; moved to %4").arg(job.name, queueName, reason, config.failedDir));
    } else {
      Stuck().insert(job.folder);
      Log(config, QString("%1 (%2) failed: %3; it cannot be moved to %4 and stays where it is")
                      .arg(job.name, queueName, reason, config.failedDir));
    }
    return Outcome::Failed;
  };
  auto retry = [&](const QString& problem) {
    if (Pending().value(job.folder) != problem)
      Log(config, QString("%1 (%2) not printed yet: %3").arg(job.name, queueName, problem));
    Pending()[job.folder] = problem;
    return Outcome::Retry;
  };

  QList<Image> images;
  if (auto problem = ReadImages(job, images)) return fail(problem->text);

  // Everything is rendered before anything is printed.
  QString stem = PageStem(job);
  QString staging = config.outputDir + "/" + kWork + "/" + stem;
  QDir(staging).removeRecursively();
  if (!QDir().mkpath(staging)) return retry("the output folder " + config.outputDir + " cannot be written");
  for (int i = 0; i < images.size(); ++i) {
    if (auto problem = Render(config, images[i], i + 1, staging)) {
      QDir(staging).removeRecursively();
      return problem->jobFault ? fail(problem->text) : retry(problem->text);
    }
  }

  int pages = 0;
  if (!config.printer.isEmpty()) {
    for (int i = 0; i < images.size(); ++i) {
      QProcess lp;
      lp.setStandardInputFile(QProcess::nullDevice());
      lp.setStandardOutputFile(QProcess::nullDevice());
      lp.start(config.lpExe, {"-d", config.printer, "-n", QString::number(images[i].copies), "-t",
                              QString("%1 image %2").arg(job.name).arg(i + 1),
                              QString("%1/%2.pdf").arg(staging).arg(i + 1)});
      bool ok = lp.waitForStarted(-1) && lp.waitForFinished(-1) &&
                lp.exitStatus() == QProcess::NormalExit && lp.exitCode() == 0;
      if (!ok) {
        QString why = QString::fromLocal8Bit(lp.readAllStandardError()).trimmed();
        return retry(QString("%1 -d %2 failed for image %3%4")
                         .arg(config.lpExe, config.printer)
                         .arg(i + 1)
                         .arg(why.isEmpty() ? QString() : ": " + why));
      }
      pages += images[i].copies;
    }
  } else {
    // One page file per copy, made in the staging folder and then moved into
    // the output folder under names that a second run would use again.
    QStringList made;
    for (int i = 0; i < images.size(); ++i) {
      for (int c = 1; c <= images[i].copies; ++c) {
        QString page = QString("%1-%2-%3.pdf").arg(stem).arg(i + 1, 3, 10, QChar('0')).arg(c, 3, 10, QChar('0'));
        if (!QFile::copy(QString("%1/%2.pdf").arg(staging).arg(i + 1), staging + "/" + page))
          return retry("the output folder " + config.outputDir + " cannot be written");
        made << page;
      }
    }
    for (const QString& page : made) {
      if (std::rename(QFile::encodeName(staging + "/" + page).constData(),
                      QFile::encodeName(config.outputDir + "/" + page).constData()) != 0)
        return retry("the output folder " + config.outputDir + " cannot be written");
    }
    pages = int(made.size());
  }
  QDir(staging).removeRecursively();

  WriteWhole(job.folder + "/" + kPrinted, stem.toUtf8() + "\n");
  Log(config, QString("%1 (%2) printed: %3 image(s), %4 page(s) %5")
                  .arg(job.name, queueName)
                  .arg(images.size())
                  .arg(pages)
                  .arg(config.printer.isEmpty() ? "as " + config.outputDir + "/" + stem + "-*.pdf"
                                                : "on " + config.printer));
  Pending().remove(job.folder);
  RemoveJob(job.folder);
  return Outcome::Printed;
}

int Run(const Config& config, bool once) {
  for (const QString& dir : {config.requestDir, config.priorityDir, config.outputDir})
    QDir().mkpath(dir);
  for (;;) {
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
