#include "varnel/ui/qtprompts.h"

#include <QMessageBox>
#include <QPushButton>

namespace varnel {

Prompts::Answer QtPrompts::MsgBox(const QString& text, Buttons buttons, Icon icon,
                                  const QString& title) {
  return MsgBoxDefault(text, buttons, icon, title, Answer::Ok);
}

Prompts::Answer QtPrompts::MsgBoxDefault(const QString& text, Buttons buttons, Icon icon,
                                         const QString& title, Answer defaultButton) {
  static const QMessageBox::StandardButtons kButtons[] = {
      QMessageBox::Ok, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Yes | QMessageBox::No,
      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
      QMessageBox::Retry | QMessageBox::Cancel};
  static const QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Critical,
                                             QMessageBox::Question, QMessageBox::Warning,
                                             QMessageBox::Information};
  if (beforeBox_) beforeBox_();
  QMessageBox box(kIcons[static_cast<int>(icon)], title, text,
                  kButtons[static_cast<int>(buttons)], parent_);
  static const QMessageBox::StandardButton kAnswers[] = {
      QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::No, QMessageBox::Retry};
  if (QAbstractButton* button = box.button(kAnswers[static_cast<int>(defaultButton)]))
    box.setDefaultButton(qobject_cast<QPushButton*>(button));
  switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Retry: return Answer::Retry;
    case QMessageBox::Ok: return Answer::Ok;
    default: return Answer::Cancel;
  }
}

}  // namespace varnel
