// The viewer on the largest drawing the station scans (36 x 48 inches at
// 400 dpi, 14400 x 19200 pixels), each time against a reference measured in
// the same run:
//   load      LoadDrawing (full image, grey levels, black count) against the
//             converters' own decoding pass over the same Group 4 data;
//   paint     one paint of the window at fit, 25 %, 50 % and 1:1 against
//             drawing a picture of the window's size unscaled;
//   stall     the longest time the window's event loop was kept from running
//             while the drawing opened in the window (view picture first,
//             full image loaded on its thread), against the time to open.
// Two more forms give whole processes to time against each other (see
// bench/converters/run-bench):
//   viewer_bench open FILE [N]  start, open FILE in the window, paint it
//                             fitted, N times (default once), end
//   viewer_bench start        start, show the window without a drawing, end
//   viewer_bench floor FILE   the floor of that: the converters' own decoding
//                             and the fitted grey picture from the change lists,
//                             no window (FILE a TLC or a Group 4 TIFF)
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/converters/testdata.h"
#include "tools/converters/cmdline.h"
#include "tools/converters/g4verify.h"
#include "tools/converters/tiffio.h"
#include "tools/converters/tlc.h"
#include "tools/viewer/viewerwindow.h"

namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The window's work on opening a drawing, as the operator sees it, `times`
// times over in one window: the station keeps its viewer running and sends
// it each drawing, so the opens after the first are the viewer's work on a
// drawing without its start.
int OpenAndPaint(QApplication& app, const QString& file, int times) {
  viewer::ViewerWindow window;
  window.resize(1600, 1000);
  window.show();
  for (int i = 0; i < times; ++i) {
    bool done = false;
    window.OpenFile(file, [&] { done = true; });
    while (!done) app.processEvents(QEventLoop::WaitForMoreEvents);
    window.repaint();  // painted on the screen, as the operator sees it
    if (window.StateText().contains("Cannot")) return 1;
  }
  return 0;
}

// The start alone: Qt, the window shown and painted once, no drawing (the
// part of "open" that no drawing makes shorter).
int StartOnly(QApplication& app) {
  viewer::ViewerWindow window;
  window.resize(1600, 1000);
  window.show();
  app.processEvents();
  window.repaint();
  return 0;
}

// What no viewer can do without: decoding, and the grey picture of the
// fitted view (the level the viewer builds while loading).
int Floor(const std::string& path) {
  const conv::FileBytes bytes = conv::ReadWholeFile(path, path);
  QImage grey;
  std::optional<viewer::GreyLevelBuilder> builder;
  auto start = [&](uint32_t width, uint32_t height) {
    int k = 1;
    while (std::max(width, height) >> k > viewer::kLoadedLevelSide) ++k;
    grey = QImage((width + (1 << k) - 1) >> k, (height + (1 << k) - 1) >> k,
                  QImage::Format_Grayscale8);
    builder.emplace(grey, k, width);
  };
  if (bytes.bytes().size() > 8 && std::memcmp(bytes.bytes().data(), "Virozoro", 8) == 0) {
    const conv::Tlc tlc = conv::ParseTlc(bytes.bytes(), path);
    start(tlc.header.width, tlc.header.height);
    conv::g4::Decoder decoder(tlc.g4.data(), tlc.g4.size(), tlc.header.width, tlc.header.height,
                              path);
    for (uint32_t y = 0; y < tlc.header.height; ++y) builder->AddChanges(decoder.NextLine());
  } else {
    conv::ReadBitonalTiffChanges(
        bytes.bytes(), path, [&](const conv::TiffInfo& info) { start(info.width, info.height); },
        [&](std::span<const uint32_t> changes) { builder->AddChanges(changes); });
  }
  builder->Finish();
  std::printf("%d x %d\n", grey.width(), grey.height());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (argc == 3 && std::string(argv[1]) == "floor") return Floor(argv[2]);
  QApplication app(argc, argv);
  if ((argc == 3 || argc == 4) && std::string(argv[1]) == "open")
    return OpenAndPaint(app, argv[2], argc == 4 ? std::max(1, std::atoi(argv[3])) : 1);
  if (argc == 2 && std::string(argv[1]) == "start") return StartOnly(app);
  const fs::path dir = fs::temp_directory_path() / ("viewer-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::printf("making a 14400 x 19200 drawing ...\n");
  const conv::BitImage image = convtest::Drawing(14400, 19200, 5);
  const fs::path scan = dir / "SCAN.TIF", tlc = dir / "BIG.TLC";
  convtest::WriteBytes(scan.string(), convtest::ScanFileBytes(image));
  const std::string cmd = std::string(JUX_BIN_DIR) + "/file2tlc -Q " + (dir / "q").string() +
                          " -E " + (dir / "e").string() + " -M 1000,1000 -o " + tlc.string() +
                          " " + scan.string();
  if (std::system(cmd.c_str()) != 0) return 1;

  // load
  const conv::FileBytes bytes = conv::ReadWholeFile(tlc.string(), "BIG.TLC");
  const conv::Tlc parsed = conv::ParseTlc(bytes.bytes(), "BIG.TLC");
  const double decode = Seconds([&] {
    conv::VerifyG4(parsed.g4.data(), parsed.g4.size(), 14400, 19200, "BIG.TLC");
  });
  std::shared_ptr<const viewer::Drawing> drawing;
  const double load = Seconds([&] {
    drawing = std::make_shared<const viewer::Drawing>(viewer::LoadDrawing(tlc.string(), "BIG.TLC"));
  });
  std::printf("load   %.2f s, the converters' own decoding %.2f s: ratio %.2f (%zu levels)\n", load,
              decode, load / decode, drawing->levels.size());

  // paint
  viewer::DrawingView view;
  view.resize(1600, 1000);
  view.SetDrawing(drawing);
  QImage target(view.size(), QImage::Format_ARGB32_Premultiplied);
  QImage screen(view.size(), QImage::Format_RGB32);
  screen.fill(Qt::white);
  constexpr int kPaints = 10;
  const double reference = Seconds([&] {
                             for (int i = 0; i < kPaints; ++i) {
                               QPainter p(&target);
                               p.drawImage(0, 0, screen);
                             }
                           }) / kPaints;
  const struct {
    const char* name;
    std::function<void()> place;
  } places[] = {{"fit", [&] { view.Fit(); }},
                {"25%", [&] { view.Fit(); view.ActualSize(); view.ZoomOut(); /* 80 % */
                              for (int i = 0; i < 5; ++i) view.ZoomOut(); }},
                {"50%", [&] { view.ActualSize(); view.ZoomOut(); view.ZoomOut(); view.ZoomOut(); }},
                {"1:1", [&] { view.ActualSize(); }}};
  for (const auto& pl : places) {
    pl.place();
    const double t = Seconds([&] {
                       for (int i = 0; i < kPaints; ++i) view.render(&target);
                     }) / kPaints;
    std::printf("paint  %-4s (zoom %5.1f%%) %6.1f ms, window-size picture %5.2f ms: ratio %.1f\n",
                pl.name, view.Scale() * 100, t * 1000, reference * 1000, t / reference);
  }

  // stall
  viewer::ViewerWindow window;
  window.resize(1600, 1000);
  window.show();
  QElapsedTimer clock;
  qint64 last = 0, longest = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    longest = std::max(longest, now - last);
    last = now;
  });
  bool done = false;
  qint64 firstPicture = -1;
  window.View()->scaleChanged = [&] {
    if (firstPicture < 0) firstPicture = clock.elapsed();
  };
  clock.start();
  tick.start(5);
  window.OpenFile(QString::fromStdString(tlc.string()), [&] { done = true; });
  while (!done) app.processEvents(QEventLoop::WaitForMoreEvents);
  const qint64 total = clock.elapsed();
  window.grab();  // one paint of the full drawing
  std::printf("stall  longest %lld ms while opening in %lld ms (first picture after %lld ms): "
              "ratio %.3f\n",
              static_cast<long long>(longest), static_cast<long long>(total),
              static_cast<long long>(firstPicture), double(longest) / double(total));
  fs::remove_all(dir);
  return 0;
}
