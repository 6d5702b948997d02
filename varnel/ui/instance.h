// One workstation per user and display session: the first start listens on a
// local socket named after both; a later start in the same session finds it,
// asks the running one to come to the front in its normal state (the F5
// hand-over) and ends without a window.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QString>

namespace varnel {

// The display session this process shows its windows in: on Windows the
// logon session, elsewhere the X or Wayland display.
QString DisplaySession();

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // name: the program's name; the user's name and the display session are
  // added to it.
  explicit SingleInstance(const QString& name);
  // True when another instance runs: it has been handed the F5 and has
  // processed it (or did not answer within a few seconds); this one must end.
  // False: this is the first instance and now listens.
  bool HandOver();
  // The window that receives the F5 of a later start.
  void SetWindow(QWidget* window) { window_ = window; }
  QString serverName() const { return name_; }

 private:
  void Answer();
  QString name_;
  QLocalServer server_;
  QPointer<QWidget> window_;
};

}  // namespace varnel
