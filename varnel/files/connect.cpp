#include "varnel/files/connect.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "varnel/files/inputbox.h"
#include "varnel/files/naming.h"
#include "varnel/files/params.h"
#include "varnel/files/schemes.h"

namespace varnel {
namespace {

// Key press and focus events of the text boxes and editable lists, in the
// form the handlers take them: a character code that the handler may change
// or discard (0), got focus and lost focus.
class FileControlEvents : public QObject {
 public:
  FileControlEvents(Station& st, Form& f, QObject* owner) : QObject(owner), st_(st), f_(f) {}

  void Watch(QWidget* widget) {
    if (widget) widget->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
        return KeyPress(watched, static_cast<QKeyEvent*>(event));
      case QEvent::FocusIn:
        return GotFocus(watched, event);
      case QEvent::FocusOut: {
        // Another window taking the focus (a message box, another program) or
        // a list's own drop-down is no leaving of the control.
        Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
          LostFocus(watched);
        return false;
      }
      default:
        return false;
    }
  }

 private:
  bool KeyPress(QObject* watched, QKeyEvent* event) {
    int keyAscii = KeyAsciiOf(event);
    if (keyAscii == 0) return false;  // no character: the control's own keys
    int original = keyAscii;
    QComboBox* combo = nullptr;
    if (watched == f_.txtFileName) {
      txtFileName_KeyPress(keyAscii);
    } else if (watched == f_.txtThreshold) {
      txtThreshold_KeyPress(keyAscii);
    } else if (watched == f_.cboOriginalWidth || watched == f_.cboResolution) {
      combo = static_cast<QComboBox*>(watched);
      Combo_KeyPress(combo, keyAscii);
    }
    if (keyAscii == original) return false;
    if (keyAscii == 9 && combo) {
      // Enter moves on like Tab.
      QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
      QCoreApplication::sendEvent(combo, &tab);
    }
    return true;
  }

  bool GotFocus(QObject* watched, QEvent* event) {
    if (watched != f_.txtFileName && watched != f_.txtDataField) return false;
    // The box's own focus handling (which may select all) comes first.
    static_cast<QObject*>(watched)->event(event);
    if (watched == f_.txtFileName) txtFileName_GotFocus(f_);
    if (watched == f_.txtDataField) txtDataField_GotFocus(f_);
    return true;
  }

  void LostFocus(QObject* watched) {
    // A control being destroyed loses its focus too; by then it is no longer
    // of its own class, and nothing is done for it.
    if (!qobject_cast<QLineEdit*>(watched) && !qobject_cast<QComboBox*>(watched)) return;
    if (watched == f_.txtFileName) txtFileName_LostFocus(st_, f_);
    if (watched == f_.cboOriginalWidth) cboOriginalWidth_LostFocus(st_, f_);
    if (watched == f_.cboResolution) cboResolution_LostFocus(st_, f_);
    if (watched == f_.txtThreshold) txtThreshold_LostFocus(f_);
  }

  Station& st_;
  Form& f_;
};

// An editable list completes typed text itself, and nothing else.
void PrepareEditableList(QComboBox* combo) {
  if (!combo) return;
  combo->setEditable(true);
  combo->setCompleter(nullptr);
  combo->setInsertPolicy(QComboBox::NoInsert);
}

}  // namespace

void ConnectFileControls(Station& st, Form& f) {
  Station* s = &st;
  Form* w = &f;
  QObject* owner = f.window ? static_cast<QObject*>(f.window) : static_cast<QObject*>(f.txtFileName);
  auto* events = new FileControlEvents(st, f, owner);

  // Scan file naming.
  if (f.txtFileName) {
    events->Watch(f.txtFileName);
    QObject::connect(f.txtFileName, &QLineEdit::textEdited, f.txtFileName,
                     [s, w] { txtFileName_Change(*s, *w); });
  }
  events->Watch(f.txtDataField);

  // Setting schemes.
  if (f.cboSettings)
    QObject::connect(f.cboSettings, &QComboBox::currentIndexChanged, f.cboSettings,
                     [s, w] { cboSettings_Click(*s, *w); });
  if (f.cmdSaveAs)
    QObject::connect(f.cmdSaveAs, &QPushButton::clicked, f.cmdSaveAs,
                     [s, w] { cmdSaveAs_Click(*s, *w); });
  if (f.cmdDelete)
    QObject::connect(f.cmdDelete, &QPushButton::clicked, f.cmdDelete,
                     [s, w] { cmdDelete_Click(*s, *w); });

  // Scan parameters.
  if (f.cboFormat)
    QObject::connect(f.cboFormat, &QComboBox::currentIndexChanged, f.cboFormat,
                     [s, w] { cboFormat_Click(*s, *w); });
  if (f.cboLeadingEdge)
    QObject::connect(f.cboLeadingEdge, &QComboBox::currentIndexChanged, f.cboLeadingEdge,
                     [s, w] { cboLeadingEdge_Click(*s, *w); });
  if (f.cboOriginalWidth) {
    PrepareEditableList(f.cboOriginalWidth);
    events->Watch(f.cboOriginalWidth);
    QObject::connect(f.cboOriginalWidth, &QComboBox::currentIndexChanged, f.cboOriginalWidth,
                     [s, w] { cboOriginalWidth_Change(*s, *w); });
    QObject::connect(f.cboOriginalWidth, &QComboBox::editTextChanged, f.cboOriginalWidth,
                     [s, w] { cboOriginalWidth_Change(*s, *w); });
  }
  if (f.cboResolution) {
    PrepareEditableList(f.cboResolution);
    events->Watch(f.cboResolution);
    QObject::connect(f.cboResolution, &QComboBox::currentIndexChanged, f.cboResolution,
                     [s, w] { cboResolution_Change(*s, *w); });
    QObject::connect(f.cboResolution, &QComboBox::editTextChanged, f.cboResolution,
                     [s, w] { cboResolution_Change(*s, *w); });
  }
  for (QRadioButton* option : {f.optLineArt, f.optPhoto1, f.optPhoto2})
    if (option)
      QObject::connect(option, &QRadioButton::toggled, option, [s, w](bool on) {
        if (on) opt_Click(*s, *w);
      });
  const std::pair<QCheckBox*, void (*)(Station&, Form&)> kChecks[] = {
      {f.chkViewFlag, chkViewFlag_Click},
      {f.chkEditFlag, chkEditFlag_Click},
      {f.chkMirrorFlag, chkMirrorFlag_Click},
      {f.chkInvertFlag, chkInvertFlag_Click}};
  for (auto [box, handler] : kChecks)
    if (box)
      QObject::connect(box, &QCheckBox::toggled, box, [s, w, handler] { handler(*s, *w); });

  // Threshold.
  if (f.sldThreshold) {
    f.sldThreshold->setRange(kMinThreshold, kMaxThreshold);
    QObject::connect(f.sldThreshold, &QSlider::valueChanged, f.sldThreshold, [s, w] {
      sldThreshold_Scroll(*w);
      sldThreshold_Change(*s, *w);
    });
  }
  if (f.txtThreshold) {
    events->Watch(f.txtThreshold);
    QObject::connect(f.txtThreshold, &QLineEdit::textChanged, f.txtThreshold,
                     [w] { txtThreshold_Change(*w); });
  }
}

}  // namespace varnel
