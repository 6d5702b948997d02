// The viewer's window offscreen: a drawing shown fitted, zoomed, a file that
// cannot be read, keys carried out as the menu would, and a screenshot.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include "tests/converters/testdata.h"
#include "tests/varnel/support/fakes.h"
#include "tools/converters/g4.h"
#include "tools/converters/tiffio.h"
#include "tools/converters/tlc.h"
#include "tests/viewer/support/drawing_files.h"
#include "tools/viewer/viewerwindow.h"

namespace fs = std::filesystem;
using viewertest::Files;

namespace {

class ViewerWindowTest : public ::testing::Test {
 protected:
  ViewerWindowTest() {
    varnel::testing::EnsureQtApp();
    window_ = std::make_unique<viewer::ViewerWindow>();
    window_->resize(900, 700);
    window_->show();
  }

  // Runs the event loop until `ready` holds (a minute at most, so that a
  // fault ends the test instead of hanging it).
  bool RunUntil(const std::function<bool()>& ready) {
    QEventLoop loop;
    QTimer poll, limit;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (ready()) loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(5);
    limit.start(60000);
    if (!ready()) loop.exec();
    return ready();
  }

  // Carries out a key string; true once the window has answered it.
  bool Keys(const QString& keys) {
    bool done = false;
    window_->CarryOutKeys(keys, [&done] { done = true; });
    return RunUntil([&] { return done; });
  }

  QString Title() const { return window_->windowTitle(); }

  std::unique_ptr<viewer::ViewerWindow> window_;
};

TEST_F(ViewerWindowTest, OpensFittedWithTitleAndStatus) {
  bool done = false;
  window_->OpenFile(QString::fromStdString(Files()["TLC"].string()), [&done] { done = true; });
  // The file's name is in the title at once, before it has loaded.
  EXPECT_EQ(Title(), "VIEW.TLC - Drawing Viewer");
  ASSERT_TRUE(RunUntil([&] { return done; }));
  EXPECT_FALSE(window_->Loading());
  const QString status = window_->StatusText();
  EXPECT_TRUE(status.startsWith("827 x 1169 pixels    100 dpi    black ")) << status.toStdString();
  EXPECT_TRUE(window_->View()->Fitted());
  const double fit = window_->View()->Scale();
  EXPECT_LT(fit, 1.0);
  EXPECT_TRUE(status.endsWith(QString("zoom %1%").arg(std::lround(fit * 100))));
  // Zoom in, 1:1, back to fit; zooming out stops at fit.
  window_->View()->ZoomIn();
  EXPECT_DOUBLE_EQ(window_->View()->Scale(), fit * 1.25);
  EXPECT_FALSE(window_->View()->Fitted());
  window_->View()->ActualSize();
  EXPECT_DOUBLE_EQ(window_->View()->Scale(), 1.0);
  window_->View()->ZoomOut();
  window_->View()->ZoomOut();
  window_->View()->ZoomOut();
  window_->View()->ZoomOut();
  EXPECT_DOUBLE_EQ(window_->View()->Scale(), fit);
  EXPECT_TRUE(window_->View()->Fitted());
}

TEST_F(ViewerWindowTest, UnreadableFileGivesOneMessageAndTheViewerGoesOn) {
  const fs::path bad = Files().dir / "BROKEN.TLC";
  viewertest::WriteFile(bad, "Virozoro but not much more");
  ASSERT_TRUE(Keys("%FO{ENTER}" + QString::fromStdString(bad.string()) + "{ENTER}"));
  EXPECT_TRUE(window_->View()->Message().startsWith("Cannot show BROKEN.TLC: "))
      << window_->View()->Message().toStdString();
  EXPECT_EQ(window_->StatusText(), "");
  EXPECT_TRUE(window_->isVisible());
  // No such drive: the same kind of message.
  ASSERT_TRUE(Keys("%FOQ:\\SCANS\\A.TLC{ENTER}"));
  EXPECT_EQ(window_->View()->Message(), "Cannot show Q:\\SCANS\\A.TLC: no such drive on this station");
  // And the next file opens.
  ASSERT_TRUE(Keys("%FO{ENTER}" + QString::fromStdString(Files()["PDF"].string()) + "{ENTER}"));
  EXPECT_EQ(window_->View()->Message(), "");
  EXPECT_EQ(Title(), "DRAWING.PDF - Drawing Viewer");
  EXPECT_TRUE(window_->StatusText().startsWith("827 x 1169 pixels"));
}

TEST_F(ViewerWindowTest, KeysOpenCloseAndExitAsTheMenuDoes) {
  const QString tlc = QString::fromStdString(Files()["TLC"].string());
  const QString png = QString::fromStdString(Files()["PNG"].string());
  // The workstation's order: close without waiting, then open and wait.
  window_->CarryOutKeys("%FC{ENTER}", {});
  ASSERT_TRUE(Keys("%FO{ENTER}" + tlc + "{ENTER}"));
  EXPECT_EQ(Title(), "VIEW.TLC - Drawing Viewer");
  // A second open before the first has loaded: the last one is shown.
  bool first = false;
  window_->CarryOutKeys("%FO{ENTER}" + tlc + "{ENTER}", [&first] { first = true; });
  ASSERT_TRUE(Keys("%FO{ENTER}" + png + "{ENTER}"));
  EXPECT_TRUE(first);
  EXPECT_EQ(Title(), "DRAWING.PNG - Drawing Viewer");
  EXPECT_TRUE(window_->StatusText().startsWith("827 x 1169 pixels"));
  // Unknown keys change nothing.
  ASSERT_TRUE(Keys("%EX{ENTER}"));
  EXPECT_EQ(Title(), "DRAWING.PNG - Drawing Viewer");
  ASSERT_TRUE(Keys("%FC{ENTER}"));
  EXPECT_EQ(Title(), "Drawing Viewer");
  EXPECT_EQ(window_->StatusText(), "");
  ASSERT_TRUE(Keys("%FX{ENTER}"));
  EXPECT_TRUE(RunUntil([&] { return !window_->isVisible(); }));
}

TEST_F(ViewerWindowTest, ScreenshotOfADrawing) {
  bool done = false;
  window_->OpenFile(QString::fromStdString(Files()["TLC"].string()), [&done] { done = true; });
  ASSERT_TRUE(RunUntil([&] { return done; }));
  const QImage fitted = window_->grab().toImage();
  window_->View()->ActualSize();
  const QImage actual = window_->grab().toImage();
  // Written next to the test programs, to be looked at.
  const fs::path out = fs::path(JUX_BIN_DIR).parent_path() / "viewer-screenshots";
  fs::create_directories(out);
  ASSERT_TRUE(fitted.save(QString::fromStdString((out / "fitted.png").string())));
  ASSERT_TRUE(actual.save(QString::fromStdString((out / "actual-size.png").string())));
  // The drawing is there: the window has dark pixels on the white sheet.
  auto darkShare = [](const QImage& img) {
    int64_t dark = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) dark += qGray(img.pixel(x, y)) < 64;
    return double(dark) / (double(img.width()) * img.height());
  };
  EXPECT_GT(darkShare(fitted), 0.002);
  EXPECT_GT(darkShare(actual), 0.002);
}

// One to one the window shows level 0's very pixels (up to the rounding of
// the place to a whole pixel); zoomed out to a level made only for the part
// shown, it shows the drawing's grey.
TEST(ViewerCanvas, PaintsLevelZeroExactlyAndMadeLevelsWhenZoomedOut) {
  varnel::testing::EnsureQtApp();
  const conv::BitImage image = convtest::NoisyDrawing(2 * viewer::kLoadedLevelSide + 905, 333, 3);
  // Read from rows of pixels (level 0 kept) and from a Group 4 stream (the
  // part shown decoded again).
  conv::g4::Encoder encoder(image.width, image.height);
  for (uint32_t y = 0; y < image.height; ++y) encoder.AddRow(image.Row(y));
  const std::span<const uint8_t> g4 = encoder.Finish();
  const struct {
    std::string name;
    std::vector<uint8_t> bytes;
  } files[] = {{"CANVAS.TIF", conv::TiffPackBits(image, 200)},
               {"CANVAS.TLC", conv::BuildTlc(image.width, image.height, 200, g4, 0, 0, {})}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const fs::path p = Files().dir / f.name;
    convtest::WriteBytes(p.string(), f.bytes);
    auto drawing =
        std::make_shared<const viewer::Drawing>(viewer::LoadDrawing(p.string(), f.name));
    fs::remove(p);
    ASSERT_TRUE(drawing->levels[1].isNull());
    viewer::DrawingView view;
    view.resize(643, 301);
    view.SetDrawing(drawing);
    view.ActualSize();
    const QImage shot = view.grab().toImage();
    // The window's middle shows the drawing's middle.
    bool same = false;
    for (int dy = -1; dy <= 1 && !same; ++dy)
      for (int dx = -1; dx <= 1 && !same; ++dx) {
        same = true;
        const int ox = static_cast<int>(image.width) / 2 - 643 / 2 + dx;
        const int oy = static_cast<int>(image.height) / 2 - 301 / 2 + dy;
        for (int y = 0; y < 301 && same; ++y)
          for (int x = 0; x < 643 && same; ++x) {
            const int sx = ox + x, sy = oy + y;
            if (sy < 0 || sy >= static_cast<int>(image.height)) continue;  // around the page
            same = (qGray(shot.pixel(x, y)) < 128) == image.Pixel(sx, sy);
          }
      }
    EXPECT_TRUE(same);
    view.ZoomOut();
    view.ZoomOut();  // 64 %: level 1, made for the part shown
    EXPECT_EQ(viewer::LevelFor(view.Scale(), static_cast<int>(drawing->levels.size())), 1);
    const QImage zoomed = view.grab().toImage();
    int grey = 0;
    for (int y = 0; y < zoomed.height(); ++y)
      for (int x = 0; x < zoomed.width(); ++x) grey += qGray(zoomed.pixel(x, y)) < 200;
    EXPECT_GT(grey, 100);
  }
}

}  // namespace
