#include "tools/viewer/viewerwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <cmath>
#include <new>

#include "tools/converters/cmdline.h"
#include "tools/viewer/texts.h"
#include "varnel/core/qttaskwindows.h"

namespace viewer {
namespace {

QString Text(const char* text) { return QString::fromUtf8(text); }

// The last component of a name given the Windows way or the host's.
QString FilePart(const QString& name) {
  const qsizetype cut = std::max(name.lastIndexOf('\\'), name.lastIndexOf('/'));
  return name.mid(cut + 1);
}

void RunAll(std::vector<std::function<void()>>& callbacks) {
  auto list = std::move(callbacks);
  callbacks.clear();
  for (auto& f : list)
    if (f) f();
}

}  // namespace

QString FileNamedOnCommandLine(const QStringList& words) {
  QString name = words.join(' ').trimmed();
  if (name.startsWith('"')) name.remove(0, 1);
  if (name.endsWith('"')) name.chop(1);
  return name.trimmed();
}

ViewerWindow::ViewerWindow() : view_(new DrawingView(this)), status_(new QLabel(this)) {
  setCentralWidget(view_);
  statusBar()->addWidget(status_, 1);

  QMenu* file = menuBar()->addMenu(Text(texts::kFileMenu));
  file->addAction(Text(texts::kOpen), QKeySequence::Open, this, [this] { OpenFromDialog(); });
  file->addAction(Text(texts::kClose), QKeySequence::Close, this, [this] { CloseFile(); });
  file->addSeparator();
  file->addAction(Text(texts::kExit), this, [this] { close(); });

  QMenu* zoom = menuBar()->addMenu(Text(texts::kViewMenu));
  QAction* in = zoom->addAction(Text(texts::kZoomIn), view_, &DrawingView::ZoomIn);
  in->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal),
                    QKeySequence(QKeySequence::ZoomIn)});
  QAction* out = zoom->addAction(Text(texts::kZoomOut), view_, &DrawingView::ZoomOut);
  out->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence(QKeySequence::ZoomOut)});
  QAction* fit = zoom->addAction(Text(texts::kFit), view_, &DrawingView::Fit);
  fit->setShortcuts({QKeySequence(Qt::Key_F), QKeySequence(Qt::Key_Asterisk)});
  QAction* one = zoom->addAction(Text(texts::kActualSize), view_, &DrawingView::ActualSize);
  one->setShortcut(QKeySequence(Qt::Key_1));

  previewTimer_ = new QTimer(this);
  previewTimer_->setSingleShot(true);
  previewTimer_->setInterval(kPreviewPause);
  connect(previewTimer_, &QTimer::timeout, this, [this] { ShowPendingPreview(); });
  view_->scaleChanged = [this] { UpdateTitleAndStatus(); };
  view_->SetMessage(Text(texts::kNothingOpen));
  resize(1100, 850);
  UpdateTitleAndStatus();
}

ViewerWindow::~ViewerWindow() {
  server_.reset();
  StopLoading();
}

bool ViewerWindow::ListenForTasks() {
  varnel::TaskWindowServer::Handlers handlers;
  handlers.activate = [this] { Activate(); };
  handlers.keys = [this](const QString& keys, std::function<void()> done) {
    CarryOutKeys(keys, std::move(done));
  };
  handlers.state = [this] { return StateText(); };
  server_ = std::make_unique<varnel::TaskWindowServer>(std::move(handlers));
  return server_->Listen();
}

void ViewerWindow::Activate() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void ViewerWindow::OpenFromDialog() {
  const QString name =
      QFileDialog::getOpenFileName(this, Text(texts::kOpenTitle), QString(), Text(texts::kOpenFilter));
  if (!name.isEmpty()) OpenFile(name);
}

void ViewerWindow::OpenFile(const QString& givenName, std::function<void()> done) {
  const QString name = givenName.trimmed();
  if (current_) current_->cancel->store(true);
  if (next_) RunAll(next_->done);  // never started: another file takes its place
  next_.reset();
  shownName_ = FilePart(name);
  info_.reset();
  loaded_ = false;
  std::string host;
  try {
    host = conv::HostPath(name.toStdString());
  } catch (const conv::ConvertError& e) {
    view_->SetMessage(Text(texts::kCannotShow).arg(QString::fromStdString(e.what())));
    UpdateTitleAndStatus();
    RunWhenIdle(std::move(done));
    return;
  }
  Load load;
  load.id = ++lastId_;
  load.shownName = shownName_;
  load.hostPath = host;
  load.cancel = std::make_shared<std::atomic<bool>>(false);
  if (done) load.done.push_back(std::move(done));
  next_ = std::move(load);
  view_->SetMessage(Text(texts::kLoading).arg(shownName_));
  UpdateTitleAndStatus();
  StartNext();
}

void ViewerWindow::StartNext() {
  if (busy_ || !next_) return;
  if (worker_.joinable()) worker_.join();
  current_ = std::move(next_);
  next_.reset();
  busy_ = true;
  const quint64 id = current_->id;
  const std::string host = current_->hostPath;
  const std::string shown = current_->shownName.toStdString();
  auto cancel = current_->cancel;
  // Everything the thread reports goes to the window's thread.
  auto post = [this](std::function<void()> f) {
    QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
  };
  worker_ = std::thread([this, id, host, shown, cancel, post] {
    LoadProgress progress;
    progress.cancelled = [cancel] { return cancel->load(); };
    progress.previewAfterMs = kPreviewPause;
    progress.started = [this, id, post](const DrawingInfo& info) {
      post([this, id, info] {
        if (!current_ || current_->id != id || current_->cancel->load()) return;
        info_ = info;
        UpdateTitleAndStatus();
      });
    };
    progress.preview = [this, id, post](const QImage& picture) {
      post([this, id, picture] {
        if (!current_ || current_->id != id || current_->cancel->load() || !info_) return;
        // The first picture at once, later ones at most every kPreviewPause:
        // a window repainted for every step of a quick load would cost more
        // than the load.
        pendingPreview_ = picture;
        if (previewShownFor_ != id) {
          previewShownFor_ = id;
          ShowPendingPreview();
        } else if (!previewTimer_->isActive()) {
          previewTimer_->start();
        }
      });
    };
    std::shared_ptr<const Drawing> drawing;
    QString error;
    try {
      drawing = std::make_shared<const Drawing>(LoadDrawing(host, shown, progress));
    } catch (const LoadCancelled&) {
    } catch (const conv::ConvertError& e) {
      error = QString::fromStdString(e.what());
    } catch (const std::bad_alloc&) {
      error = QString::fromStdString(shown + ": not enough memory to show the image");
    } catch (const std::exception& e) {
      error = QString::fromStdString(shown + ": " + e.what());
    }
    post([this, id, drawing, error] { Finished(id, drawing, error); });
  });
}

void ViewerWindow::ShowPendingPreview() {
  if (!current_ || current_->cancel->load() || !info_ || pendingPreview_.isNull()) return;
  view_->SetPreview(pendingPreview_, QSize(info_->width, info_->height));
  pendingPreview_ = QImage();
  UpdateTitleAndStatus();
}

void ViewerWindow::Finished(quint64 id, std::shared_ptr<const Drawing> drawing,
                            const QString& error) {
  if (worker_.joinable()) worker_.join();
  previewTimer_->stop();
  pendingPreview_ = QImage();
  busy_ = false;
  std::vector<std::function<void()>> done;
  if (current_ && current_->id == id) {
    if (!current_->cancel->load()) {
      if (drawing) {
        info_ = drawing->info;
        loaded_ = true;
        view_->SetDrawing(std::move(drawing));
      } else {
        info_.reset();
        view_->SetMessage(Text(texts::kCannotShow).arg(error));
      }
      UpdateTitleAndStatus();
    }
    done = std::move(current_->done);
    current_.reset();
  }
  RunAll(done);
  StartNext();
  if (!busy_) RunAll(whenIdle_);
  if (loadEnded) loadEnded();
}

void ViewerWindow::RunWhenIdle(std::function<void()> f) {
  if (!f) return;
  if (busy_ || next_)
    whenIdle_.push_back(std::move(f));
  else
    f();
}

void ViewerWindow::CloseFile(std::function<void()> done) {
  if (current_) current_->cancel->store(true);
  if (next_) RunAll(next_->done);
  next_.reset();
  shownName_.clear();
  info_.reset();
  loaded_ = false;
  view_->SetDrawing(nullptr);
  view_->SetMessage(Text(texts::kNothingOpen));
  UpdateTitleAndStatus();
  RunWhenIdle(std::move(done));
}

void ViewerWindow::ExitViewer(std::function<void()> done) {
  CloseFile([this, done] {
    if (done) done();
    QTimer::singleShot(0, this, [this] { close(); });
  });
}

void ViewerWindow::StopLoading() {
  if (current_) current_->cancel->store(true);
  if (worker_.joinable()) worker_.join();
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
  StopLoading();
  event->accept();
}

void ViewerWindow::CarryOutKeys(const QString& keys, std::function<void()> done) {
  auto actions = std::make_shared<const std::vector<MenuAction>>(MenuActionsFor(keys));
  RunActions(actions, 0, std::move(done));
}

void ViewerWindow::RunActions(std::shared_ptr<const std::vector<MenuAction>> actions, size_t i,
                              std::function<void()> done) {
  if (i == actions->size()) {
    if (done) done();
    return;
  }
  auto next = [this, actions, i, done] { RunActions(actions, i + 1, done); };
  const MenuAction& a = (*actions)[i];
  switch (a.kind) {
    case MenuAction::Open: return OpenFile(a.path, next);
    case MenuAction::Close: return CloseFile(next);
    case MenuAction::Exit: return ExitViewer(done);
  }
}

QString ViewerWindow::StatusText() const {
  if (!info_) return {};
  QStringList parts;
  parts << Text(texts::kPixels).arg(info_->width).arg(info_->height);
  parts << (info_->dpi ? Text(texts::kDpi).arg(info_->dpi) : Text(texts::kNoDpi));
  if (info_->blackShare) parts << Text(texts::kBlack).arg(*info_->blackShare, 0, 'f', 2);
  if (!loaded_) parts << Text(texts::kStillLoading);
  parts << Text(texts::kZoom).arg(std::lround(view_->Scale() * 100));
  return parts.join("    ");
}

void ViewerWindow::UpdateTitleAndStatus() {
  setWindowTitle(shownName_.isEmpty() ? Text(texts::kAppTitle)
                                      : shownName_ + " - " + Text(texts::kAppTitle));
  status_->setText(StatusText());
}

QString ViewerWindow::StateText() const {
  return windowTitle() + "\n" + StatusText() + "\n" + view_->Message();
}

}  // namespace viewer
