#include "varnel/ui/instance.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLocalSocket>
#include <QWidget>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace varnel {
namespace {

constexpr int kAnswerMs = 5000;

QString UserName() {
#ifdef _WIN32
  return qEnvironmentVariable("USERNAME");
#else
  return QString::number(getuid());
#endif
}

}  // namespace

SingleInstance::SingleInstance(const QString& name) : name_(name + "-" + UserName()) {
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::Answer);
}

bool SingleInstance::HandOver() {
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (socket.waitForConnected(1000)) {
    // F5 for the running workstation; it answers once its key handler ran.
    socket.write("F5\n");
    socket.flush();
    socket.waitForReadyRead(kAnswerMs);
    return true;
  }
  // No answer: a socket left by a run that ended is taken over.
  QLocalServer::removeServer(name_);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.listen(name_);
  return false;
}

void SingleInstance::Answer() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
      if (!socket->canReadLine()) return;
      if (socket->readLine().trimmed() == "F5" && window_) {
        // The window comes to the front, then its key handler takes the F5.
        window_->activateWindow();
        window_->raise();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
        QCoreApplication::sendEvent(window_, &press);
      }
      socket->write("done\n");
      socket->flush();
    });
  }
}

}  // namespace varnel
