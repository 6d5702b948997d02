#include "varnel/pipeline/print.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <chrono>
#include <random>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/runner.h"
#include "varnel/core/strings.h"
#include "varnel/pipeline/printhost.h"
#include "varnel/pipeline/requestrecord.h"

namespace varnel {
namespace {

using printreq::Field;
using printreq::RequestRecord;

constexpr int kDoneCheckMs = 2000;
constexpr int kShowRestored = 9;

// Texts go into the files in the system's single-byte code page.
std::string CodePage(const QString& text) { return text.toLatin1().toStdString(); }

bool WriteBytes(const QString& windowsPath, const QByteArray& bytes) {
  QFile file(HostPath(windowsPath));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  bool ok = file.write(bytes) == bytes.size();
  file.close();
  return ok && file.error() == QFile::NoError;
}

bool IsFolder(const QString& windowsPath) {
  QString host = HostPath(windowsPath);
  return !windowsPath.isEmpty() && !host.isEmpty() && QFileInfo(host).isDir();
}

// The text of a name up to its first dot.
QString UpToFirstDot(const QString& name) {
  qsizetype dot = name.indexOf('.');
  return dot < 0 ? name : name.left(dot);
}

// The request template as the defaults of the table, with the workstation's
// own resource texts.
RequestRecord DefaultTemplate() {
  RequestRecord r = RequestRecord::Defaults();
  r.SetText(Field::SourceTitle, CodePage(LoadResString(resSourceTitle)));
  r.SetText(Field::Comment, CodePage(LoadResString(resPrintComment)));
  r.SetText(Field::Media, CodePage(LoadResString(resPrintMedia)));
  return r;
}

// Closes the status window and gives the pointer back, however PlotFile ends.
struct PlotFileEnd {
  Station& st;
  ~PlotFileEnd() {
    st.seams.status->ShowStatusBox();
    st.seams.windows->SetMousePointer(kDefaultPointer);
  }
};

void ShowCritical(Station& st, const QString& text) {
  WriteLog(st, 0, text);
  st.seams.prompts->MsgBox(text, Prompts::Buttons::Ok, Prompts::Icon::Critical,
                           LoadResString(resAppTitle));
}

// A job folder whose request could not be written completely is removed again:
// without Done.Jux the monitor would never take it, and nothing of it is usable.
void RemoveUnfinishedJob(const QString& JobFolder) {
  QString host = HostPath(JobFolder);
  if (!host.isEmpty()) QDir(host).removeRecursively();
}

}  // namespace

QString StripPath(const QString& path) {
  QString name = path.mid(path.lastIndexOf('\\') + 1);
  qsizetype colon = name.indexOf(':');
  return colon < 0 ? name : name.mid(colon + 1);
}

QString MakeUniqueName(const QString& folder, const RandomPick& random) {
  static const QString kConsonants = "BCDFGHJKLMNPQRSTVWXYZ";
  static const QString kVowels = "AEIOU";
  // Seeded from the clock once per call.
  std::mt19937 generator(static_cast<std::mt19937::result_type>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  RandomPick pick = random ? random : RandomPick([&generator](int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(generator);
  });
  QString base = folder;
  while (base.endsWith(' ')) base.chop(1);
  for (;;) {
    QString name;
    for (int i = 0; i < 8; ++i) {
      const QString& letters = i % 2 == 0 ? kConsonants : kVowels;
      name += letters[pick(static_cast<int>(letters.size()))];
    }
    if (!FileExists(base + "\\" + name)) return name;
  }
}

std::optional<qint64> FindVisibleWindow(Station& st, const QString& title) {
  if (!st.seams.topWindows) return std::nullopt;
  for (const WindowList::TopWindow& w : st.seams.topWindows->FindWindows(title))
    if (w.visible) return w.handle;
  return std::nullopt;
}

bool IsAppRunning(Station& st, const QString& title, bool activate) {
  std::optional<qint64> window = FindVisibleWindow(st, title);
  if (!window) return false;
  if (activate) st.seams.topWindows->ShowAndActivate(*window, kShowRestored);
  return true;
}

bool WritePrintRequest(Station& st, const QString& RequestFile, const QStringList& Files,
                       int16_t Count, int16_t Copies, const QString& JobFolder) {
  // The defaults, unless the request-queue program's settings are loaded.
  RequestRecord record;
  if (!st.TemplateLoaded || !RequestRecord::FromBytes(
                                std::span(reinterpret_cast<const uint8_t*>(
                                              st.RequestTemplate.constData()),
                                          static_cast<std::size_t>(st.RequestTemplate.size())),
                                record))
    record = DefaultTemplate();
  // What is the same for every image of the job.
  record.SetText(Field::JobName, CodePage(StripPath(JobFolder)));
  record.SetNumber(Field::Copies, Copies);
  record.SetNumber(Field::FileCount, Count);
  record.SetText(Field::RequestKind, printreq::kRequestKind);

  // One pointer file and one record per image.
  QFile request(HostPath(RequestFile));
  if (!request.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  bool ok = true;
  QSet<QString> pointerNames;  // upper case: names are compared as Windows does
  for (int i = 1; i <= Count && i < Files.size(); ++i) {
    QString image = Files[i].trimmed();
    // The pointer is named after the image's file name up to its first dot (a
    // dot in a folder name does not count). Two images of one job with the same
    // name get pointer files of their own instead of sharing one.
    QString base = UpToFirstDot(StripPath(image));
    QString name = base + ".PTR";
    for (int n = 2; pointerNames.contains(name.toUpper()); ++n)
      name = base.left(8 - 1 - QString::number(n).size()) + "~" + QString::number(n) + ".PTR";
    pointerNames.insert(name.toUpper());
    QString pointer = JobFolder + "\\" + name;
    ok = WriteBytes(pointer, QByteArray::fromStdString(CodePage(GetShortPath(image))) + "\r\n") && ok;

    record.SetText(Field::PtrName, CodePage(UpToFirstDot(StripPath(GetShortPath(pointer))) + ".PTR"));
    record.SetText(Field::ImagePath, CodePage(image));
    const auto& bytes = record.Bytes();
    ok = request.write(reinterpret_cast<const char*>(bytes.data()), bytes.size()) ==
             qint64(bytes.size()) && ok;
    st.seams.pump->DoEvents();
  }
  request.close();
  return ok && request.error() == QFile::NoError;
}

void PlotFile(Station& st, const QStringList& Files, int16_t Count, int16_t Copies, bool Priority) {
  st.seams.status->ShowStatusBox(LoadResString(resPrintingImage), LoadResString(resPleaseWait));
  st.seams.windows->SetMousePointer(kHourglass);
  PlotFileEnd end{st};  // on every way out

  // The unattended-print program is started, not waited for.
  if (!IsAppRunning(st, kUnattendTitle, false)) {
    QString command = st.UnattendExe + " /S";
    if (st.seams.processes->Shell(command, ShellWindow::MinimizedNoFocus) == 0)
      WriteLog(st, 0, command + " - could not be started");
  }

  // The queue folder must be there.
  QString QueueDir = Priority ? st.PriorityDir : st.RequestDir;
  if (!IsFolder(QueueDir)) {
    ShowCritical(st, LoadResString(resCantFindPrinterPath) + QueueDir);
    return;
  }

  // A job name not taken yet in the queue.
  QString JobName = MakeUniqueName(QueueDir);
  QString queue = QueueDir.endsWith('\\') ? QueueDir.chopped(1) : QueueDir;
  QString JobFolder = queue + "\\" + JobName;
  QString RequestFile = JobFolder + "\\" + JobName + ".JUX";
  if (PathExists(JobFolder)) {
    ShowCritical(st, LoadResString(resJobFolderExists) + "\n\n" + LoadResString(resFolderLabel) +
                         JobFolder);
    return;
  }

  // The job is complete before Done.Jux says so.
  QString done = JobFolder + "\\Done.Jux";
  bool written = MakeDir(JobFolder) &&
                 WritePrintRequest(st, RequestFile, Files, Count, Copies, JobFolder);
  if (written) {
    QDateTime stamp = QFileInfo(HostPath(RequestFile)).lastModified();
    MhTouchFiles(RequestFile, stamp.addDays(-365), 2);
    written = WriteBytes(done, "Done!\r\n");
  }
  if (!written) {
    RemoveUnfinishedJob(JobFolder);
    ShowCritical(st, LoadResString(resRequestNotWritten) + JobFolder);
    return;
  }
  WriteLog(st, 1,
           QString("Print request %1: %2 file(s), %3 copies").arg(JobFolder).arg(Count).arg(Copies));

  // With one processor the monitor gets the machine to itself until it has
  // taken the job.
  if (NumberOfProcessors() <= 1) {
    st.seams.status->ShowStatusBox(LoadResString(resWaitingForPrint), LoadResString(resPleaseWait));
    while (FileExists(done)) {
      if (st.AbortRequested) {
        WriteLog(st, 0, "Print wait ended by ESC, the job stays queued: " + JobFolder);
        break;
      }
      st.seams.pump->Pause(kDoneCheckMs);
    }
  }
}

QString FinishPrintingQuestion(int16_t PrintCopies) {
  if (PrintCopies == 2) return LoadResString(resOneCopyRemaining);
  return LoadResString(resThereAre) + QString::number(PrintCopies - 1) +
         LoadResString(resCopiesRemaining);
}

bool SetAutoSetPrint(Station& st, bool on) {
  st.AutoSetPrint = on;
  QString settings = st.TempDir + "TempScan.JUX";
  if (FileExists(settings)) DeleteFile(settings);
  QString marker = st.PriorityDir + ".JUX";

  if (st.AutoSetPrint) {
    // The operator sets copies and media in the request-queue program.
    bool result = false;
    Execute(st, "/S " + settings, st.RequestExe, result);
    QByteArray bytes;
    bool present = FileExists(settings);
    if (present) {
      QFile file(HostPath(settings));
      if (file.open(QIODevice::ReadOnly)) bytes = file.read(printreq::kRecordSize);
      if (bytes.size() < qsizetype(printreq::kRecordSize)) {
        ShowError(st, LoadResString(resSettingsIncomplete) + settings);
        present = false;
      }
    }
    if (!present) {
      // Cancelled: back to off, which runs as the off state does.
      return SetAutoSetPrint(st, false);
    }
    RequestRecord record;
    RequestRecord::FromBytes(
        std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), printreq::kRecordSize),
        record);
    record.SetNumber(Field::FileCount, 0);
    st.RequestTemplate =
        QByteArray(reinterpret_cast<const char*>(record.Bytes().data()), printreq::kRecordSize);
    st.PrintListCount = 0;
    st.PrintCopies = static_cast<int16_t>(record.Number(Field::Copies));
    st.DeferredPrint = record.Number(Field::SetFlag) == 1;
    WriteBytes(marker, QByteArray());
  } else {
    // The copies held back for the end.
    if (st.DeferredPrint && st.PrintCopies > 1 && st.PrintListCount > 0) {
      Prompts::Answer answer = st.seams.prompts->MsgBox(
          FinishPrintingQuestion(st.PrintCopies), Prompts::Buttons::YesNo,
          Prompts::Icon::Information, LoadResString(resFinishPrinting));
      if (answer == Prompts::Answer::Yes) {
        if (FileExists(marker)) DeleteFile(marker);
        PlotFile(st, st.PrintList, st.PrintListCount, static_cast<int16_t>(st.PrintCopies - 1),
                 false);
      }
    }
    if (FileExists(marker)) DeleteFile(marker);
    // The listed scans are dealt with (printed, or declined): a later off
    // state must not offer them again.
    st.PrintListCount = 0;
  }
  // The next print requests start from the loaded settings while Auto Set Print is on.
  st.TemplateLoaded = st.AutoSetPrint;
  return st.AutoSetPrint;
}

}  // namespace varnel
