#include "varnel/files/schemes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <cstdlib>

#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/numbers.h"
#include "varnel/files/curdir.h"
#include "varnel/files/inputbox.h"
#include "varnel/files/lists.h"
#include "varnel/files/naming.h"
#include "varnel/files/params.h"
#include "varnel/files/texts.h"

namespace varnel {
namespace {

// A number line: the value with a blank before and after it.
QString NumberLine(int value) { return SignedText(value) + " "; }

QByteArray FileBytes(const QString& text) {
  for (QChar c : text)
    if (c.unicode() > 0xFF) return text.toUtf8();
  return text.toLatin1();
}

QString TextOfBytes(const QByteArray& bytes) {
  QString text = QString::fromUtf8(bytes);
  return text.toUtf8() == bytes ? text : QString::fromLatin1(bytes);
}

int NumberOf(const QString& line) { return RoundToLong(Val(line)).value_or(0); }

// The program folder followed by "\Settings\", as saving and deleting name it.
QString SaveFolder(const Station& st) {
  QString program = st.AppDir;
  if (program.endsWith('\\')) program.chop(1);
  return program + "\\Settings\\";
}

void ShowOk(Station& st, const QString& text, Prompts::Icon icon = Prompts::Icon::None,
            const QString& title = QString()) {
  st.seams.prompts->MsgBox(text, Prompts::Buttons::Ok, icon,
                           title.isEmpty() ? LoadResString(resAppTitle) : title);
}

// The reason a file step failed, in the operator's words.
QString Reason(const QFileDevice& file, bool writing = false) {
  switch (file.error()) {
    case QFileDevice::OpenError: {
      const QFileInfo info(file.fileName());
      if (info.exists()) return LoadResString(resAccessDenied);
      if (!info.dir().exists()) return PathNotFoundText();
      // A new file the folder would not take: the folder is what refused.
      if (writing)
        return QFileInfo(info.absolutePath()).isWritable() ? file.errorString()
                                                           : LoadResString(resAccessDenied);
      return LoadResString(resFileNotFoundText);
    }
    case QFileDevice::PermissionsError:
      return LoadResString(resAccessDenied);
    default:
      return file.errorString();
  }
}

void ShowSchemeError(Station& st, int id, const QString& file, const QString& reason) {
  ShowError(st, LoadResString(id).arg(file, reason));
}

// The error number the platform gives a drive or folder failure's description.
int ErrorNumber(const QString& description) {
  if (description == DeviceUnavailableText()) return 68;
  if (description == PathNotFoundText()) return 76;
  return 75;
}

int ImageMode(const Form& f) {
  if (f.optLineArt && f.optLineArt->isChecked()) return 0;
  if (f.optPhoto1 && f.optPhoto1->isChecked()) return 1;
  if (f.optPhoto2 && f.optPhoto2->isChecked()) return 2;
  return -1;
}

void SetCheck(QCheckBox* box, int value) {
  if (box) box->setChecked(std::abs(value) == 1);
}

enum class DriveStep { Done, Cancelled, Failed };

// Sets a drive or folder list under the load's error handling: Retry repeats
// the step, Cancel runs the given restore, any other error only tells.
DriveStep RunDriveStep(Station& st, const std::function<bool(QString&)>& action,
                       const QString& where, const std::function<void()>& restore) {
  for (;;) {
    QString error;
    if (action(error)) return DriveStep::Done;
    int number = ErrorNumber(error);
    if (number == 68 || number == 76) {
      Prompts::Answer answer = st.seams.prompts->MsgBox(
          error + ": " + where, Prompts::Buttons::RetryCancel, Prompts::Icon::Critical,
          LoadResString(number == 68 ? resDriveErrorTitle : resPathErrorTitle));
      if (answer == Prompts::Answer::Retry) continue;
      restore();
      return DriveStep::Cancelled;
    }
    ShowOk(st, LoadResString(resUnexpectedDriveError) + QString::number(number) + " " + error,
           Prompts::Icon::Critical, LoadResString(resDriveErrorTitle));
    return DriveStep::Failed;
  }
}

// Loads the scheme of that name into the controls.
void LoadSettingsNamed(Station& st, Form& f, const QString& name) {
  // While a scheme loads, the changes it makes to the controls keep it selected.
  f.LoadingScheme = true;
  f.SchemeFile = st.AppDir + "Settings\\" + name.trimmed() + ".Set";
  QFile file(HostPath(f.SchemeFile));
  if (!file.open(QIODevice::ReadOnly)) {
    ShowSchemeError(st, resSchemeOpenFailed, f.SchemeFile, Reason(file));
    f.LoadingScheme = false;
    return;
  }
  SchemeValues v = ParseSchemeFile(file.readAll());
  file.close();

  // With a scan list the entries name folder, drive and format.
  QString folder, driveLine;
  if (!st.ScanListMode) {
    // A folder from the drive's root whose ".." never climbs above the root.
    folder = v.folder.isEmpty() ? QString() : FolderFromRoot(v.drive.left(2), '\\' + v.folder).mid(1);
    SetComboText(f.cboFormat, v.format);
    driveLine = v.drive;
  }
  // Lines 4 to 13, each control raising its own handlers.
  SetComboText(f.cboOriginalWidth, v.width.trimmed());
  if (QString part = SchemeSelectPart(v.resolution); !part.isEmpty())
    SelectComboItem(part, f.cboResolution);
  if (QString part = SchemeSelectPart(v.leadingEdge); !part.isEmpty())
    SelectComboItem(part, f.cboLeadingEdge);
  SetCheck(f.chkViewFlag, v.view);
  SetCheck(f.chkMirrorFlag, v.mirror);
  SetCheck(f.chkInvertFlag, v.invert);
  int mode = v.mode.value_or(0);
  QRadioButton* options[] = {f.optLineArt, f.optPhoto1, f.optPhoto2};
  for (int i = 0; i < 3; ++i)
    if (options[i] && i == mode) options[i]->setChecked(true);
  for (int i = 0; i < 3; ++i)
    if (options[i] && i != mode) options[i]->setChecked(false);
  if (f.txtDataField) f.txtDataField->setText(v.dataField);
  SetCheck(f.chkEditFlag, v.edit.value_or(0));

  // The scheme's drive and folder.
  if (!st.ScanListMode) {
    st.ScanExt = f.cboFormat ? f.cboFormat->currentText().left(3) : QString();
    st.ScanDrive = driveLine.left(2).toUpper() + "\\";
    DriveStep drive = DriveStep::Done;
    if (f.dlbDrive)
      drive = RunDriveStep(
          st,
          [&](QString& error) {
            bool ok = f.dlbDrive->SetDrive(st.ScanDrive);
            error = f.dlbDrive->error();
            return ok;
          },
          st.ScanDrive,
          [&] {
            if (f.DirMasterList) f.dlbDrive->SetDrive(f.DirMasterList->Path().left(2));
          });
    if (drive != DriveStep::Done) {
      f.LoadingScheme = false;
      return;
    }
    const QString lastFolder = st.ScanFolder;
    st.ScanFolder = folder;
    DriveStep path = DriveStep::Done;
    if (f.DirMasterList)
      path = RunDriveStep(
          st,
          [&](QString& error) {
            bool ok = f.DirMasterList->SetPath(st.ScanDrive + folder);
            error = f.DirMasterList->error();
            return ok;
          },
          st.ScanDrive + folder,
          [&] { f.DirMasterList->SetPath(CurDir().left(3)); });
    if (path != DriveStep::Done) {
      // The scans do not go to the folder that could not be entered.
      if (st.ScanFolder == folder) st.ScanFolder = lastFolder;
      f.LoadingScheme = false;
      return;
    }
    // Outside scan-list mode there is no entry to show.
    DisplayFileName(st, f, nullptr);
  }
  // The scanner speeds follow the loaded resolution.
  SetupScannerSpeeds(st, f);
  f.LoadingScheme = false;
}

}  // namespace

QByteArray SchemeFileText(const SchemeValues& v) {
  QStringList lines = {v.folder,     v.format,     v.drive,     v.width,
                       v.resolution, v.leadingEdge, v.speed,    NumberLine(v.view),
                       NumberLine(v.mirror), NumberLine(v.invert),
                       // No option set: an empty line keeps the later lines in place.
                       v.mode ? NumberLine(*v.mode) : QString(), v.dataField,
                       NumberLine(v.edit.value_or(0))};
  QByteArray bytes;
  for (const QString& line : lines) bytes += FileBytes(line) + "\r\n";
  return bytes;
}

SchemeValues ParseSchemeFile(const QByteArray& bytes) {
  // A byte-order mark an editor put in front is not part of the first line.
  QString text = TextOfBytes(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
  text.replace("\r\n", "\n").replace('\r', '\n');
  QStringList lines = text.split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();  // after the last line end
  auto line = [&](int number) { return number <= lines.size() ? lines[number - 1] : QString(); };
  SchemeValues v;
  v.folder = line(1);
  v.format = line(2);
  v.drive = line(3);
  v.width = line(4);
  v.resolution = line(5);
  v.leadingEdge = line(6);
  v.speed = line(7);
  v.view = NumberOf(line(8));
  v.mirror = NumberOf(line(9));
  v.invert = NumberOf(line(10));
  v.mode = NumberOf(line(11));
  v.dataField = line(12);
  if (lines.size() >= 13) v.edit = NumberOf(line(13));
  return v;
}

QString SchemeSelectPart(const QString& line) {
  QString trimmed = line.trimmed();
  qsizetype blank = trimmed.indexOf(' ');
  return blank >= 0 ? trimmed.left(blank) : trimmed;
}

QStringList SchemeNames(const QStringList& fileNames) {
  QStringList names;
  bool hasDefault = false;
  for (const QString& file : fileNames) {
    if (file.toUpper() == "DEFAULT.SET") {
      hasDefault = true;
    } else if (names.size() < kMaxSchemes) {
      names << file.left(file.indexOf('.'));
    }
  }
  if (hasDefault) names.prepend(QStringLiteral("DEFAULT"));
  return names;
}

QString SettingsFolder(const Station& st) { return st.AppDir + "Settings\\"; }

void LoadCfgFiles(Station& st, Form& f) {
  if (!f.cboSettings) return;
  // Filling the list selects nothing and loads nothing.
  QSignalBlocker quiet(f.cboSettings);
  f.cboSettings->clear();
  // The settings folder, made when it is missing.
  QString folder = SettingsFolder(st);
  if (!PathExists(folder)) CheckDir(folder);
  if (!PathExists(folder)) {
    ShowOk(st, LoadResString(resNoSettingsFolder));
    return;
  }
  // In name order, as the station's file system lists them.
  QStringList files = QDir(HostPath(folder))
                          .entryList({QStringLiteral("*.set")}, QDir::Files,
                                     QDir::Name | QDir::IgnoreCase);
  QStringList names = SchemeNames(files);
  f.cboSettings->addItems(names);
  f.cboSettings->setCurrentIndex(-1);
  if (st.DebugFlag) {
    WriteLog(st, 1, "Number of Setting Files: " + QString::number(names.size()));
    for (const QString& name : names) WriteLog(st, 1, name);
  }
}

void LoadSettings(Station& st, Form& f) {
  if (f.cboSettings) LoadSettingsNamed(st, f, f.cboSettings->currentText());
}

bool CreateNewSettings(Station& st, Form& f, const QString& PathSet) {
  WriteLog(st, 1, "Creating Setting File: " + PathSet);
  // The scheme takes what the controls show now.
  SchemeValues v;
  if (f.DirMasterList) v.folder = f.DirMasterList->Path().mid(3);
  if (f.cboFormat) v.format = f.cboFormat->currentText();
  if (f.dlbDrive) v.drive = f.dlbDrive->Drive();
  if (f.cboOriginalWidth) v.width = f.cboOriginalWidth->currentText();
  if (f.cboResolution) v.resolution = f.cboResolution->currentText();
  if (f.cboLeadingEdge) v.leadingEdge = f.cboLeadingEdge->currentText();
  if (f.cboScannerSpeed) v.speed = f.cboScannerSpeed->currentText();
  auto state = [](QCheckBox* box) { return box && box->isChecked() ? 1 : 0; };
  v.view = state(f.chkViewFlag);
  v.mirror = state(f.chkMirrorFlag);
  v.invert = state(f.chkInvertFlag);
  if (int mode = ImageMode(f); mode >= 0) v.mode = mode;
  if (f.txtDataField) v.dataField = f.txtDataField->text();
  v.edit = state(f.chkEditFlag);
  // Written whole under another name first: a failed write leaves the old scheme.
  QString host = HostPath(PathSet);
  QSaveFile file(host.isEmpty() ? PathSet : host);
  if (host.isEmpty() || !file.open(QIODevice::WriteOnly) ||
      file.write(SchemeFileText(v)) < 0 || !file.commit()) {
    ShowSchemeError(st, resSchemeWriteFailed, PathSet,
                    host.isEmpty() ? DeviceUnavailableText() : Reason(file, true));
    return false;
  }
  // The new scheme joins the list.
  LoadCfgFiles(st, f);
  return true;
}

void SettingsChanged(Station& /*st*/, Form& f) {
  if (!f.LoadingScheme && f.cboSettings) f.cboSettings->setCurrentIndex(-1);
}

void cboSettings_Click(Station& st, Form& f) {
  if (!f.cboSettings || f.cboSettings->currentText().isEmpty()) return;
  LoadSettings(st, f);
  f.SettingsTag = f.cboSettings->currentText();
}

void cmdSaveAs_Click(Station& st, Form& f) {
  if (!st.seams.inputs) return;
  // Over the Settings frame.
  std::function<QPoint(const QSize&)> place;
  if (f.fraSettings) {
    QWidget* frame = f.fraSettings;
    place = [frame](const QSize&) { return frame->mapToGlobal(QPoint(0, 0)); };
  }
  QString name = st.seams.inputs->InputBox(LoadResString(resSaveSettings),
                                           LoadResString(resSettingName), f.SettingsTag, place);
  // The new scheme is selected, which loads it and sets the tag.
  if (name.isEmpty()) return;
  // However the name was given, the scheme file lands in the Settings folder.
  if (!NameAccepted(name)) {
    ShowOk(st, LoadResString(resNameNotUsable) + " '" + name + "'", Prompts::Icon::Exclamation,
           LoadResString(resSaveSettings));
    return;
  }
  if (CreateNewSettings(st, f, SaveFolder(st) + name + ".Set")) SelectComboItem(name, f.cboSettings);
}

void cmdDelete_Click(Station& st, Form& f) {
  if (!f.cboSettings) return;
  QString name = f.cboSettings->currentText().trimmed().toUpper();
  if (name.isEmpty()) return;
  // The default scheme stays.
  if (name == "DEFAULT") {
    ShowOk(st,
           LoadResString(resNoDeleteDefault1) + "\r" + LoadResString(resNoDeleteDefault2) + "\r" +
               LoadResString(resNoDeleteDefault3),
           Prompts::Icon::Exclamation, LoadResString(resNoDeleteTitle));
    return;
  }
  Prompts::Answer answer = st.seams.prompts->MsgBox(
      LoadResString(resConfirmDelete) + name + LoadResString(resQuestionMark),
      Prompts::Buttons::YesNo, Prompts::Icon::Exclamation, LoadResString(resDeleteTitle));
  if (answer != Prompts::Answer::Yes) return;
  QString path = SaveFolder(st) + name + ".Set";
  QString host = HostPath(path);
  QFile file(host);
  if (host.isEmpty() || !QFileInfo::exists(host) || !file.remove()) {
    ShowSchemeError(st, resSchemeDeleteFailed, path,
                    host.isEmpty() || !QFileInfo::exists(host) ? LoadResString(resFileNotFoundText)
                                                              : Reason(file));
    return;
  }
  LoadCfgFiles(st, f);
  f.cboSettings->setCurrentIndex(0);
}

QString EntrySchemeName(const QString& field6) {
  QString name = field6;
  while (name.endsWith(' ')) name.chop(1);
  return name.right(2).trimmed();
}

void LoadEntryScheme(Station& st, Form& f, const QString& field6) {
  if (field6.isEmpty()) return;
  QString name = EntrySchemeName(field6);
  f.SchemeFile = SettingsFolder(st) + name + ".Set";
  WriteLog(st, 0, "Auto Loading Settings: " + f.SchemeFile);
  if (!FileExists(f.SchemeFile)) return;
  // The box shows the entry's scheme; the tag (Save As' proposal) stays.
  if (f.cboSettings) {
    QSignalBlocker quiet(f.cboSettings);
    int index = f.cboSettings->findText(name, Qt::MatchFixedString);
    f.cboSettings->setCurrentIndex(index);
  }
  LoadSettingsNamed(st, f, name);
}

}  // namespace varnel
