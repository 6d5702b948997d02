#include "varnel/files/inputbox.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "varnel/core/strings.h"
#include "varnel/files/texts.h"

namespace varnel {

int KeyAsciiOf(const QKeyEvent* event) {
  if (!event->text().isEmpty()) return event->text()[0].unicode();
  if ((event->modifiers() & Qt::ControlModifier) && event->key() >= Qt::Key_A &&
      event->key() <= Qt::Key_Z)
    return event->key() - Qt::Key_A + 1;
  return 0;
}

frmInputBox::frmInputBox(QWidget* parent) : QDialog(parent) {
  setObjectName("frmInputBox");
  lblName = new QLabel;
  txtName = new QLineEdit;
  cmdOK = new QPushButton;
  cmdCancel = new QPushButton;
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblName);
  layout->addWidget(txtName);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdCancel);
  layout->addLayout(buttons);
  // A fixed size: the dialog cannot be made larger or smaller.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Form_Load: the defaults.
  setWindowTitle(LoadResString(resInputBoxCaption));
  lblName->setText(LoadResString(resInputName));
  cmdOK->setText(LoadResString(resInputOk));
  cmdCancel->setText(LoadResString(resInputCancel));
  cmdOK->setDefault(true);

  txtName->installEventFilter(this);
  // However the text came in (typed, pasted by any means, dropped, set), what
  // stays is the name the key filter would have let through.
  connect(txtName, &QLineEdit::textChanged, this, [this](const QString& text) {
    const QString kept = FilterName(text);
    if (kept == text) return;
    const int cursor = FilterName(text.left(txtName->cursorPosition())).size();
    txtName->setText(kept);
    txtName->setCursorPosition(cursor);
  });
  connect(cmdOK, &QPushButton::clicked, this, &frmInputBox::cmdOK_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &frmInputBox::cmdCancel_Click);
  // Closing the dialog any other way (ESC, the window's close box) is a Cancel.
  connect(this, &QDialog::rejected, txtName, &QLineEdit::clear);
}

void frmInputBox::cmdOK_Click() { accept(); }

void frmInputBox::cmdCancel_Click() {
  txtName->clear();
  reject();
}

bool frmInputBox::KeyAccepted(int keyAscii) {
  return keyAscii == 32 || keyAscii == 8 || keyAscii == '-' || keyAscii == '_' ||
         (keyAscii >= '0' && keyAscii <= '9') || (keyAscii >= 'A' && keyAscii <= 'Z') ||
         (keyAscii >= 'a' && keyAscii <= 'z');
}

QString frmInputBox::FilterName(const QString& text) {
  QString kept;
  for (QChar c : text)
    if (c.unicode() != 8 && KeyAccepted(c.unicode())) kept += c;
  return kept;
}

bool NameAccepted(const QString& name) {
  return !name.trimmed().isEmpty() && frmInputBox::FilterName(name) == name;
}

bool frmInputBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtName && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    int ascii = KeyAsciiOf(key);
    // Enter, ESC and Tab work the dialog; they type nothing. The other control
    // keys (Ctrl+A selects all, the clipboard keys) keep their edit meaning:
    // whatever they put in passes the text filter.
    if (ascii == 0 || ascii == 13 || ascii == 27 || ascii == 9) return false;
    if (ascii < 32 && ascii != 8) return false;
    return !KeyAccepted(ascii);
  }
  if (watched == txtName && event->type() == QEvent::FocusIn) {
    static_cast<QObject*>(txtName)->event(event);  // the box's own focus handling first
    txtName->selectAll();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

QString QtInputDialogs::InputBox(const QString& caption, const QString& prompt,
                                 const QString& proposed,
                                 const std::function<QPoint(const QSize&)>& place) {
  frmInputBox dialog(parent_);
  if (!caption.isEmpty()) dialog.setWindowTitle(caption);
  if (!prompt.isEmpty()) dialog.lblName->setText(prompt);
  dialog.txtName->setText(proposed);
  dialog.adjustSize();
  if (place) {
    // Kept on the screen it opens on.
    QPoint at = place(dialog.frameGeometry().size());
    QScreen* screen = QGuiApplication::screenAt(at);
    if (!screen && parent_) screen = parent_->screen();
    if (screen) {
      QRect room = screen->availableGeometry();
      QSize size = dialog.frameGeometry().size();
      at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - size.width())));
      at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - size.height())));
    }
    dialog.move(at);
  }
  dialog.exec();
  return dialog.txtName->text();
}

}  // namespace varnel
