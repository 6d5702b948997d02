// A real viewer process, started as the workstation starts it and driven
// through the workstation's task-window seam.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include "tests/varnel/support/fakes.h"
#include "tests/viewer/support/drawing_files.h"
#include "varnel/core/qtprocess.h"
#include "varnel/core/qttaskwindows.h"
#include "varnel/core/sendkeys.h"

namespace fs = std::filesystem;
using viewertest::Files;

namespace {

QString Host(const fs::path& p) { return QString::fromStdString(p.string()); }

// Waits for the task to end (a minute at most).
bool Ends(varnel::QtProcessHost& host, qint64 task) {
  for (int i = 0; i < 120; ++i)
    if (host.WaitForTask(task, 500) == varnel::WaitResult::Ended) return true;
  return false;
}

// The title line of the viewer's last answer.
QString Title(const varnel::QtTaskWindows& tasks) { return tasks.LastAnswer().section('\n', 0, 0); }

class ViewerProcessTest : public ::testing::Test {
 protected:
  ViewerProcessTest() {
    varnel::testing::EnsureQtApp();
    qputenv("QT_QPA_PLATFORM", "offscreen");  // for the viewer
    Files();
  }
  qint64 StartViewer(const QString& arguments) {
    return host_.Shell("\"" + QString(JUX_BIN_DIR) + "/tlcview\" " + arguments,
                       varnel::ShellWindow::MaximizedFocus);
  }
  varnel::QtProcessHost host_;
  varnel::QtTaskWindows tasks_;
};

TEST_F(ViewerProcessTest, OpenedOnATlcThenDrivenThroughTheSeam) {
  const qint64 task = StartViewer("\"" + Host(Files()["TLC"]) + "\"");
  ASSERT_NE(task, 0);
  // The task id is the viewer's process id, on whose socket it listens.
  ASSERT_TRUE(tasks_.AppActivate(task));
  EXPECT_EQ(Title(tasks_), "VIEW.TLC - Drawing Viewer");

  // As the workstation shows the next scan: close without waiting, open and wait.
  EXPECT_TRUE(tasks_.SendKeys("%FC{ENTER}", false));
  ASSERT_TRUE(tasks_.SendKeys("%FO{ENTER}" + Host(Files()["TIFF G4"]) + "{ENTER}", true));
  EXPECT_EQ(Title(tasks_), "G4.TIF - Drawing Viewer");
  const QString status = tasks_.LastAnswer().section('\n', 1, 1);
  EXPECT_TRUE(status.startsWith("827 x 1169 pixels    100 dpi    black ")) << status.toStdString();

  // An unreadable file: one message, and the viewer still answers.
  const fs::path bad = Files().dir / "NOT A DRAWING.TLC";
  viewertest::WriteFile(bad, "nothing");
  ASSERT_TRUE(tasks_.SendKeys("%FO{ENTER}" + varnel::SendKeysLiteral(Host(bad)) + "{ENTER}", true));
  EXPECT_TRUE(tasks_.LastAnswer().section('\n', 2).startsWith("Cannot show NOT A DRAWING.TLC: "))
      << tasks_.LastAnswer().toStdString();
  ASSERT_TRUE(tasks_.AppActivate(task));

  ASSERT_TRUE(tasks_.SendKeys("%FC{ENTER}", true));
  EXPECT_EQ(Title(tasks_), "Drawing Viewer");
  // Exit as auto mode's rescan sends it: twice, the second finds no viewer.
  EXPECT_TRUE(tasks_.SendKeys("%FX{ENTER}", true));
  EXPECT_TRUE(Ends(host_, task));
  EXPECT_FALSE(tasks_.SendKeys("%FX{ENTER}", true));
  // Gone: activation fails, so that the workstation starts a new viewer.
  EXPECT_FALSE(tasks_.AppActivate(task));
}

TEST_F(ViewerProcessTest, StartedOnAStationNameWithBlanksUnquoted) {
  // Alt+V passes the working TLC unquoted; drive C: is the test folder.
  const fs::path folder = Files().dir / "MY SCANS";
  fs::create_directories(folder);
  fs::copy_file(Files()["TLC"], folder / "BREVIK.TLC", fs::copy_options::overwrite_existing);
  qputenv("JUX_DRIVES", QByteArray("C=") + Files().dir.c_str());
  const qint64 task = StartViewer("C:\\MY SCANS\\BREVIK.TLC");
  qunsetenv("JUX_DRIVES");
  ASSERT_NE(task, 0);
  ASSERT_TRUE(tasks_.AppActivate(task));
  // Loaded from its command line: asked until it no longer says it loads.
  for (int i = 0; i < 600 && tasks_.LastAnswer().contains("oading"); ++i) {
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_TRUE(tasks_.AppActivate(task));
  }
  EXPECT_EQ(Title(tasks_), "BREVIK.TLC - Drawing Viewer");
  EXPECT_EQ(tasks_.LastAnswer().section('\n', 2), "") << tasks_.LastAnswer().toStdString();
  EXPECT_TRUE(tasks_.SendKeys("%FX{ENTER}", true));
  EXPECT_TRUE(Ends(host_, task));
}

TEST_F(ViewerProcessTest, NoViewerNoActivation) {
  // A task that never had a window, and one whose process is not running.
  EXPECT_FALSE(tasks_.AppActivate(0));
  EXPECT_FALSE(tasks_.AppActivate(999999999));
  EXPECT_FALSE(tasks_.SendKeys("%FX{ENTER}", true));
}

}  // namespace
