#include "tools/reqqueue/reqqueue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSaveFile>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstdio>

#include "juxutil/hostpath.h"

namespace reqqueue {

using printreq::Field;

namespace {

// The options after which a value follows the colon, and the bare ones.
const QStringList kValueOptions = {"/C:", "/D:", "/M:", "/T:", "/N:"};
const QStringList kBareOptions = {"/S", "/Q"};

bool IsOption(const QString& arg) {
  for (const QString& o : kBareOptions)
    if (arg.compare(o, Qt::CaseInsensitive) == 0) return true;
  return kValueOptions.contains(arg.left(3).toUpper());
}

}  // namespace

std::optional<QString> ParseOptions(const QStringList& args, Options& options) {
  QStringList file;
  bool inFile = false;
  for (const QString& arg : args) {
    auto value = [&arg] { return arg.mid(3); };
    if (arg.compare("/S", Qt::CaseInsensitive) == 0) {
      inFile = true;
      continue;
    }
    // The file's first part may be a host path (/home/op/x.jux); a path with
    // blanks arrives in parts, and the later parts never begin with '/'.
    if (inFile && !IsOption(arg) && (file.isEmpty() || !arg.startsWith('/'))) {
      file << arg;
      continue;
    }
    inFile = false;
    QString key = arg.left(3).toUpper();
    if (key == "/C:") {
      bool ok = false;
      options.settings.copies = value().toInt(&ok);
      if (!ok || options.settings.copies < 1 || options.settings.copies > 999)
        return "copies must be a number from 1 to 999: " + arg;
    } else if (key == "/D:") {
      options.settings.deferred = value() != "0";
    } else if (key == "/M:") {
      options.settings.media = value();
    } else if (key == "/T:") {
      options.settings.title = value();
    } else if (key == "/N:") {
      options.settings.comment = value();
    } else if (arg.compare("/Q", Qt::CaseInsensitive) == 0) {
      options.quiet = true;
    } else {
      return "unknown option " + arg;
    }
  }
  if (file.isEmpty()) return QString("no settings file after /S");
  options.settingsFile = QString::fromStdString(hostpath::ToHost(file.join(' ').toStdString()));
  if (options.settingsFile.isEmpty()) return "the settings file is on no drive of this station: " + file.join(' ');
  return std::nullopt;
}

printreq::RequestRecord RecordFor(const Settings& s) {
  printreq::RequestRecord r = printreq::RequestRecord::Defaults();
  r.SetNumber(Field::Copies, s.copies);
  r.SetNumber(Field::SetFlag, s.deferred ? 1 : 0);
  r.SetText(Field::Media, s.media.toLatin1().toStdString());
  r.SetText(Field::SourceTitle, s.title.toLatin1().toStdString());
  r.SetText(Field::Comment, s.comment.toLatin1().toStdString());
  return r;
}

bool WriteSettings(const QString& hostPath, const Settings& settings) {
  printreq::RequestRecord r = RecordFor(settings);
  QSaveFile file(hostPath);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(reinterpret_cast<const char*>(r.Bytes().data()), qint64(r.Bytes().size()));
  return file.commit();
}

RequestQueueDialog::RequestQueueDialog(const Settings& preset, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Print Settings");
  spnCopies = new QSpinBox;
  spnCopies->setRange(1, 999);
  spnCopies->setValue(preset.copies);
  chkDeferred = new QCheckBox("One copy of each scan at once, the others at the end");
  chkDeferred->setChecked(preset.deferred);
  cboMedia = new QComboBox;
  cboMedia->setEditable(true);
  cboMedia->addItems({"Bond", "Vellum", "Film"});
  cboMedia->setCurrentText(preset.media);
  cboMedia->lineEdit()->setMaxLength(int(printreq::Spec(Field::Media).size));
  txtTitle = new QLineEdit(preset.title);
  txtTitle->setMaxLength(int(printreq::Spec(Field::SourceTitle).size));
  txtComment = new QLineEdit(preset.comment);
  txtComment->setMaxLength(int(printreq::Spec(Field::Comment).size));

  auto* form = new QFormLayout;
  form->addRow("&Copies:", spnCopies);
  form->addRow("", chkDeferred);
  form->addRow("&Media:", cboMedia);
  form->addRow("&Title:", txtTitle);
  form->addRow("C&omment:", txtComment);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

Settings RequestQueueDialog::Chosen() const {
  return {spnCopies->value(), chkDeferred->isChecked(), cboMedia->currentText().trimmed(),
          txtTitle->text(), txtComment->text()};
}

int RunRequestQueue(const Options& options) {
  Settings settings = options.settings;
  if (!options.quiet) {
    RequestQueueDialog dialog(settings);
    if (dialog.exec() != QDialog::Accepted) return 1;
    settings = dialog.Chosen();
  }
  if (!WriteSettings(options.settingsFile, settings)) {
    std::fprintf(stderr, "reqqueue: %s cannot be written\n",
                 options.settingsFile.toLocal8Bit().constData());
    return 1;
  }
  return 0;
}

}  // namespace reqqueue
