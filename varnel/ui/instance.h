// One workstation per user: the first start listens on a per-user local
// socket; a later start finds it, asks the running one to come to the front in
// its normal state (the F5 hand-over) and ends without a window.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QString>

namespace varnel {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // name: the program's name; the user's name is added to it.
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
