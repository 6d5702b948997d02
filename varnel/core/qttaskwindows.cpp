#include "varnel/core/qttaskwindows.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <map>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace varnel {
namespace {

// One request: serial number, operation, text. One answer: serial number and
// the window's state. Both as QDataStream records.
constexpr quint8 kActivate = 'A';
constexpr quint8 kKeys = 'K';
constexpr auto kStreamVersion = QDataStream::Qt_6_0;

}  // namespace

QString TaskWindowSocketName(qint64 taskId) {
  QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::tempPath();
  QString user;
#ifdef Q_OS_UNIX
  user = QString::number(getuid());
#endif
  return folder + "/jux-window-" + user + "-" + QString::number(taskId);
}

// ---------------------------------------------------------------------------
// The program's end.

struct TaskWindowServer::Impl {
  struct Request {
    quint32 serial;
    quint8 op;
    QString text;
  };
  struct Connection {
    QPointer<QLocalSocket> socket;
    std::deque<Request> queue;
    bool busy = false;
  };

  Handlers handlers;
  QLocalServer server;
  std::map<QLocalSocket*, std::shared_ptr<Connection>> connections;

  void Accept() {
    while (QLocalSocket* socket = server.nextPendingConnection()) {
      auto connection = std::make_shared<Connection>();
      connection->socket = socket;
      connections[socket] = connection;
      QObject::connect(socket, &QLocalSocket::readyRead, socket,
                       [this, connection] { Read(connection); });
      QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, socket] {
        connections.erase(socket);
        socket->deleteLater();
      });
    }
  }

  void Read(const std::shared_ptr<Connection>& connection) {
    QDataStream in(connection->socket.data());
    in.setVersion(kStreamVersion);
    for (;;) {
      Request request;
      in.startTransaction();
      in >> request.serial >> request.op >> request.text;
      if (!in.commitTransaction()) break;
      connection->queue.push_back(std::move(request));
    }
    Next(connection);
  }

  void Next(const std::shared_ptr<Connection>& connection) {
    while (!connection->busy && !connection->queue.empty() && connection->socket) {
      Request request = std::move(connection->queue.front());
      connection->queue.pop_front();
      connection->busy = true;
      std::weak_ptr<Connection> weak = connection;
      auto done = [this, weak, serial = request.serial] {
        auto c = weak.lock();
        if (!c) return;  // the caller has gone
        c->busy = false;
        Answer(*c, serial);
        Next(c);
      };
      if (request.op == kActivate) {
        if (handlers.activate) handlers.activate();
        done();
      } else if (request.op == kKeys && handlers.keys) {
        handlers.keys(request.text, done);
      } else {
        done();
      }
    }
  }

  void Answer(Connection& connection, quint32 serial) {
    if (!connection.socket) return;
    QDataStream out(connection.socket.data());
    out.setVersion(kStreamVersion);
    out << serial << (handlers.state ? handlers.state() : QString());
    connection.socket->flush();
  }
};

TaskWindowServer::TaskWindowServer(Handlers handlers) : impl_(std::make_unique<Impl>()) {
  impl_->handlers = std::move(handlers);
  QObject::connect(&impl_->server, &QLocalServer::newConnection, &impl_->server,
                   [this] { impl_->Accept(); });
}

TaskWindowServer::~TaskWindowServer() {
  for (auto& [socket, connection] : impl_->connections) socket->disconnect();
}

bool TaskWindowServer::Listen() {
  const QString name = TaskWindowSocketName(QCoreApplication::applicationPid());
  QLocalServer::removeServer(name);  // left by an ended program that had this id
  impl_->server.setSocketOptions(QLocalServer::UserAccessOption);
  return impl_->server.listen(name);
}

// ---------------------------------------------------------------------------
// The workstation's end.

#ifndef Q_OS_WIN

namespace {

// A viewer just started may not listen yet: while its process runs,
// activation tries again for this long.
constexpr int kStartingMs = 10000;
constexpr int kRetryMs = 50;

bool ProcessRunning(qint64 pid) {
#ifdef Q_OS_UNIX
  if (pid <= 0) return false;
  QFile stat("/proc/" + QString::number(pid) + "/stat");
  if (stat.open(QIODevice::ReadOnly)) {
    // "pid (name) S ...": an ended child not yet collected is a zombie (Z).
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line[close + 2] != 'Z';
  }
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#else
  Q_UNUSED(pid);
  return false;
#endif
}

void PauseMs(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

struct QtTaskWindows::Impl {
  int timeoutMs;
  QPointer<QLocalSocket> socket;  // to the window activated last
  quint32 serial = 0;             // of the last request
  quint32 answered = 0;           // of the last answer
  QString lastAnswer;

  void Drop() {
    if (socket) {
      socket->disconnect();
      socket->abort();
      // At once (no signal of it is under way here): a deferred delete would
      // wait for the outermost event loop, which a long auto-mode run does
      // not return to.
      delete socket.data();
    }
    socket = nullptr;
  }

  bool Connect(qint64 taskId) {
    Drop();
    QDeadlineTimer deadline(kStartingMs);
    for (;;) {
      auto* s = new QLocalSocket;
      s->connectToServer(TaskWindowSocketName(taskId));
      if (s->waitForConnected(1000)) {
        socket = s;
        serial = answered = 0;
        QObject::connect(s, &QLocalSocket::readyRead, s, [this] { ReadAnswers(); });
        return true;
      }
      delete s;
      if (!ProcessRunning(taskId) || deadline.hasExpired()) return false;
      PauseMs(kRetryMs);
    }
  }

  void ReadAnswers() {
    QDataStream in(socket.data());
    in.setVersion(kStreamVersion);
    for (;;) {
      quint32 s = 0;
      QString state;
      in.startTransaction();
      in >> s >> state;
      if (!in.commitTransaction()) break;
      answered = s;
      lastAnswer = state;
    }
  }

  bool Request(quint8 op, const QString& text, bool wait) {
    if (!socket || socket->state() != QLocalSocket::ConnectedState) return false;
    const quint32 mine = ++serial;
    {
      QDataStream out(socket.data());
      out.setVersion(kStreamVersion);
      out << mine << op << text;
    }
    socket->flush();
    if (!wait) return true;
    // Window events go on while the answer is awaited.
    QPointer<QLocalSocket> s = socket;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(s.data(), &QLocalSocket::readyRead, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    QObject::connect(s.data(), &QLocalSocket::disconnected, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    timer.start(timeoutMs);
    while (s && s == socket && answered < mine && timer.isActive() &&
           s->state() == QLocalSocket::ConnectedState) {
      loop.exec();
      if (s && s == socket) ReadAnswers();
    }
    return s && s == socket && answered >= mine;
  }
};

QtTaskWindows::QtTaskWindows(int answerTimeoutMs) : impl_(std::make_unique<Impl>()) {
  impl_->timeoutMs = answerTimeoutMs;
}

QtTaskWindows::~QtTaskWindows() { impl_->Drop(); }

bool QtTaskWindows::AppActivate(qint64 taskId) {
  return impl_->Connect(taskId) && impl_->Request(kActivate, QString(), true);
}

bool QtTaskWindows::SendKeys(const QString& keys, bool wait) {
  return impl_->Request(kKeys, keys, wait);
}

QString QtTaskWindows::LastAnswer() const { return impl_->lastAnswer; }

#endif  // !Q_OS_WIN

}  // namespace varnel
