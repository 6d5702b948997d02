// One whole scan pass (HandleScan: scan, strip, conversion, check, database)
// of a 36 × 48 inch drawing at 400 dpi, against the simulated card and the
// real juxscan and file2tlc. The time the child programs run (from their
// start to the moment their end is seen) is measured in the same run; what
// is left is the workstation's own work and its waiting. The figure of merit
// is that overhead as a ratio to the children's time. A failure pass follows:
// the same scan whose conversion fails (the converter refuses its option
// line), which must leave the filed drawing as it was and end with one box.
//
//   scan_pass_bench [runs]
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "bench/pipeline/timing.h"
#include "tests/pipeline/support/road.h"
#include "tests/support/simcard.h"
#include "varnel/core/helpers.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/qtprocess.h"
#include "varnel/pipeline/workflow.h"

namespace {

using namespace varnel;

constexpr int kWidth = 14400, kLines = 19200;  // 36 × 48 inches at 400 dpi

// A drawing: a frame, a grid of thin lines every half inch and a diagonal.
bool Drawing(int x, int y) {
  if (x < 40 || y < 40 || x >= kWidth - 40 || y >= kLines - 40) return true;
  if (x % 200 < 3 || y % 200 < 3) return true;
  return std::abs(x - y * kWidth / kLines) < 4;
}

class Silent : public Prompts {
 public:
  int boxes = 0;
  Answer MsgBox(const QString& text, Buttons, Icon, const QString&) override {
    ++boxes;
    std::printf("  box: %s\n", qPrintable(text));
    return Answer::Ok;
  }
};
class NoWindow : public WindowHooks {
  void SetMousePointer(int) override {}
  void SetMainEnabled(bool) override {}
  void ShowSplashStatus(const QString&) override {}
  void ActivateMain() override {}
};
class NoStatus : public StatusDisplay {
  void ShowStatusBox(const std::optional<QString>&, const std::optional<QString>&,
                     const std::optional<QString>&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

  simcard::SimCard card;
  setenv("JUX_DEVICE_DIR", card.Dir().c_str(), 1);
  QTemporaryDir drive;
  setenv("JUX_DRIVES", ("C=" + drive.path()).toUtf8().constData(), 1);
  std::string image = simcard::WritePbmFile(drive.path().toStdString() + "/drawing.pbm", kWidth, kLines, Drawing);

  Silent prompts;
  TimingProcesses processes;
  QtEventPump pump;
  NoWindow window;
  NoStatus status;
  Station st(Seams{&prompts, &processes, &pump, &window, &status, nullptr});
  st.AppDir = "C:\\";
  varnel::testing::UseBuiltPrograms(st);
  st.OutputTypeCodes = {QString(), "-L"};
  st.StripLeading400DPI = 20;
  st.StripTrailing400DPI = 20;
  st.ScanFolder = "SCANS\\";
  st.ScanName = "BENCH001";

  varnel::testing::RoadForm mainForm(st);
  Form& form = mainForm.form;
  form.cboFormat->addItem("TLC Compressed raster", 1);
  form.cboResolution->addItem("400");
  form.cboOriginalWidth->addItem("36");
  form.cboLeadingEdge->addItems({"Top", "Right", "Bottom", "Left"});
  form.cboScannerSpeed->addItem("160 mm/s");
  form.optLineArt->setChecked(true);
  form.txtDataField->setText("BENCH");
  mainForm.naming.DisplayFileName();
  ScanRoad& road = mainForm.road;

  std::printf("pass of a %d x %d drawing (36 x 48 in at 400 dpi), %d runs\n", kWidth, kLines, runs);
  // One kind of pass, `runs` times: the whole pass and the child programs' time.
  struct Totals {
    double worst = 0, total = 0, children = 0;
  };
  auto passes = [&](bool fail) -> std::optional<Totals> {
    Totals sum;
    for (int i = 0; i < runs; ++i) {
      card.Feed(image, {"--start-on-ask", "0"});
      QByteArray before;
      if (QFile filed(HostPath(st.ScanFileName)); filed.open(QIODevice::ReadOnly)) before = filed.readAll();
      processes.childNs = 0;
      prompts.boxes = 0;
      QElapsedTimer timer;
      timer.start();
      HandleScan(road, road.chosen());
      double total = timer.nsecsElapsed() / 1e9, children = processes.childNs / 1e9;
      QFile tlc(HostPath(st.ScanFileName));
      if (!tlc.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "no file was filed\n");
        return std::nullopt;
      }
      QByteArray after = tlc.readAll();
      if (fail && (after != before || prompts.boxes != 1)) {
        std::fprintf(stderr, "the failed pass changed the filed drawing or showed %d boxes\n", prompts.boxes);
        return std::nullopt;
      }
      double ratio = (total - children) / children;
      sum.worst = std::max(sum.worst, ratio);
      sum.total += total;
      sum.children += children;
      std::printf("  %s run %d: pass %.3f s, child programs %.3f s, workstation %.3f s, ratio %.3f\n    %s\n",
                  fail ? "failure" : "filing", i + 1, total, children, total - children, ratio,
                  qPrintable(QString::fromLatin1(after.left(60)).simplified()));
    }
    std::printf("%s passes: workstation overhead / child time: mean %.3f, worst %.3f\n",
                fail ? "failure" : "filing", (sum.total - sum.children) / sum.children, sum.worst);
    std::printf("%s passes: whole pass / child time: mean %.3f (goal: at most 1.2)\n",
                fail ? "failure" : "filing", sum.total / sum.children);
    return sum;
  };
  if (!passes(false)) return 1;
  // The converter refuses its option line after the whole scan: nothing is filed.
  st.MiniViewSize = "0,0";
  st.ScanErrorFlag = false;
  if (!passes(true)) return 1;
  return 0;
}
