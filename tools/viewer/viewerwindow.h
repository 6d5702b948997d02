// The viewer's main window: the File menu the workstation's keystrokes work
// through, the View menu, the drawing area and the status line; files load
// on a thread of their own so that the window never waits for a decoder.
#pragma once

#include <QMainWindow>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/viewer/canvas.h"
#include "tools/viewer/drawing.h"
#include "tools/viewer/keys.h"

class QLabel;
class QTimer;

namespace varnel {
class TaskWindowServer;
}

namespace viewer {

// The file named on the command line: all words as one name (a name with
// blanks may come unquoted), without the quotes around it.
QString FileNamedOnCommandLine(const QStringList& words);

class ViewerWindow : public QMainWindow {
 public:
  ViewerWindow();
  ~ViewerWindow() override;

  // Opens a file named the station's way ("C:\SCANS\A.TLC") or by its host
  // path; `done` runs once it is shown or has failed (or another file or
  // Close took its place).
  void OpenFile(const QString& name, std::function<void()> done = {});
  // Lets go of the file; `done` runs once no thread reads it any more.
  void CloseFile(std::function<void()> done = {});
  // Closes the file, runs `done`, then closes the window.
  void ExitViewer(std::function<void()> done = {});
  // Carries out a key string as the keyboard would (see keys.h).
  void CarryOutKeys(const QString& keys, std::function<void()> done);
  // Brings the window to the front.
  void Activate();
  // Lets the workstation reach this window by the process id (see
  // varnel/core/qttaskwindows.h); false when the socket cannot be made.
  bool ListenForTasks();

  // Title, status line and the message shown, one per line: the answer to
  // the workstation and what a test looks at.
  QString StateText() const;
  QString StatusText() const;
  DrawingView* View() const { return view_; }
  bool Loading() const { return busy_; }
  // Told when a load has ended (shown, failed or given up).
  std::function<void()> loadEnded;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Load {
    quint64 id = 0;
    QString shownName;
    std::string hostPath;
    std::shared_ptr<std::atomic<bool>> cancel;
    std::vector<std::function<void()>> done;
  };
  void OpenFromDialog();
  void StartNext();
  void Finished(quint64 id, std::shared_ptr<const Drawing> drawing, const QString& error);
  void RunWhenIdle(std::function<void()> f);
  void StopLoading();
  void ShowPendingPreview();
  void UpdateTitleAndStatus();
  void RunActions(std::shared_ptr<const std::vector<MenuAction>> actions, size_t i,
                  std::function<void()> done);

  DrawingView* view_;
  QLabel* status_;
  std::unique_ptr<varnel::TaskWindowServer> server_;
  std::thread worker_;
  bool busy_ = false;
  quint64 lastId_ = 0;
  std::optional<Load> current_, next_;
  std::vector<std::function<void()>> whenIdle_;
  QString shownName_;                 // the file open, as named; empty when none
  std::optional<DrawingInfo> info_;   // its size and so on, once known
  bool loaded_ = false;
  // Pictures of the load in progress wait here to be shown.
  static constexpr int kPreviewPause = 100;  // ms
  QTimer* previewTimer_;
  QImage pendingPreview_;
  quint64 previewShownFor_ = 0;  // the load whose first picture is shown
};

}  // namespace viewer
