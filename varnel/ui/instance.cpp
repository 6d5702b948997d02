#include "varnel/ui/instance.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QLocalSocket>
#include <QWidget>

#ifdef _WIN32
#include <windows.h>
#else
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

QString DisplaySession() {
#ifdef _WIN32
  DWORD session = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &session);
  return QString::number(session);
#else
  // The X display without its screen number (":75.0" and ":75" are one
  // display), else the Wayland display, else the platform (offscreen).
  QString display = qEnvironmentVariable("DISPLAY");
  if (!display.isEmpty()) {
    static const QRegularExpression screen(R"(\.\d+$)");
    display.remove(screen);
  } else {
    display = qEnvironmentVariable("WAYLAND_DISPLAY");
  }
  if (display.isEmpty()) display = QGuiApplication::platformName();
  // A socket name keeps to letters, digits and a few signs.
  static const QRegularExpression other("[^A-Za-z0-9._-]");
  return display.replace(other, "_");
#endif
}

SingleInstance::SingleInstance(const QString& name)
    : name_(name + "-" + UserName() + "-" + DisplaySession()) {
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
        // The window comes to the front, then its key handler takes the F5,
        // typed as a whole key (press and release) where the keyboard would
        // deliver it. Raised once more: a window manager may refuse to
        // activate a minimised window.
        window_->activateWindow();
        window_->raise();
        QWidget* target = window_->focusWidget() ? window_->focusWidget() : window_.data();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F5, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &release);
        window_->raise();
        window_->activateWindow();
      }
      socket->write("done\n");
      socket->flush();
    });
  }
}

}  // namespace varnel
