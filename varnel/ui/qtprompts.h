// Message boxes of the workstation, shown with QMessageBox.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "varnel/core/seams.h"

namespace varnel {

class QtPrompts : public Prompts {
 public:
  // parent: the window the boxes are modal to; may be null or go away.
  explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  // Runs before every box is shown (start-up hides its splash there, which
  // would otherwise stay on top of the box).
  void SetBeforeBox(std::function<void()> beforeBox) { beforeBox_ = std::move(beforeBox); }
  Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) override;
  Answer MsgBoxDefault(const QString& text, Buttons buttons, Icon icon, const QString& title,
                       Answer defaultButton) override;

 private:
  QPointer<QWidget> parent_;
  std::function<void()> beforeBox_;
};

}  // namespace varnel
