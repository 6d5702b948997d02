// The request-queue program: a small dialog in which the operator sets the
// print settings for Auto Set Print; on OK it writes them as one request
// record (the settings file TempScan.JUX), on Cancel nothing.
//
//   reqqueue /S settingsfile [/C:copies] [/D:0|1] [/M:media] [/T:title] [/N:comment] [/Q]
//
// /C, /D, /M, /T and /N preset the dialog; /Q writes the preset settings
// without showing it (set-up scripts). The settings file is Windows-style
// (mapped through JUX_DRIVES) or a host path.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <optional>

#include "varnel/pipeline/requestrecord.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace reqqueue {

struct Settings {
  int copies = 1;
  bool deferred = true;  // one copy of each scan at once, the rest at the end
  QString media = "Bond";
  QString title = "JUX TARVEX";
  QString comment = "Printed From Scanner";
};

struct Options {
  QString settingsFile;  // host path
  Settings settings;
  bool quiet = false;
};

// Parses the command line (without the program name); an error text when it is wrong.
std::optional<QString> ParseOptions(const QStringList& args, Options& options);

// The record: the table's defaults with the dialog's fields set.
printreq::RequestRecord RecordFor(const Settings& settings);
// Writes the record whole (never a part of it) to the host path.
bool WriteSettings(const QString& hostPath, const Settings& settings);

class RequestQueueDialog : public QDialog {
  Q_OBJECT
 public:
  explicit RequestQueueDialog(const Settings& preset, QWidget* parent = nullptr);
  Settings Chosen() const;

  QSpinBox* spnCopies;
  QCheckBox* chkDeferred;
  QComboBox* cboMedia;
  QLineEdit* txtTitle;
  QLineEdit* txtComment;
};

// Shows the dialog (or, with quiet, takes the presets) and writes the file on
// OK. Returns 0 when written, 1 when cancelled or the file could not be written.
int RunRequestQueue(const Options& options);

}  // namespace reqqueue
