// The input dialog: asks for one name (a new folder, a new setting scheme).
// Its answer is the text of txtName once it has been hidden; Cancel empties it.
#pragma once

#include <QDialog>

#include "varnel/core/seams.h"

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varnel {

class frmInputBox : public QDialog {
  Q_OBJECT
 public:
  // Loads the dialog with its defaults: caption "Input Box", prompt "Name:".
  explicit frmInputBox(QWidget* parent = nullptr);

  void cmdOK_Click();
  void cmdCancel_Click();
  // Keys txtName accepts: space, Backspace, "-", digits, letters and "_".
  static bool KeyAccepted(int keyAscii);
  // The text with every character the key filter discards taken out.
  static QString FilterName(const QString& text);

  QLabel* lblName;
  QLineEdit* txtName;
  QPushButton* cmdOK;
  QPushButton* cmdCancel;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// The input dialog shown modally over a window (which must outlive this object).
class QtInputDialogs : public InputDialogs {
 public:
  explicit QtInputDialogs(QWidget* parent) : parent_(parent) {}
  QString InputBox(const QString& caption, const QString& prompt, const QString& proposed,
                   const std::function<QPoint(const QSize&)>& place = {}) override;

 private:
  QWidget* parent_;
};

// True when a name given through the input dialog is one the dialog lets
// through as a whole (letters, digits, blanks, "-" and "_"; not only blanks),
// so it names a file or folder in the folder it is joined to and nowhere else.
bool NameAccepted(const QString& name);

// The character code a key press types, as the station's key handlers see it
// (Ctrl+letter gives 1-26); 0 for a key that types no character.
int KeyAsciiOf(const QKeyEvent* event);

}  // namespace varnel
