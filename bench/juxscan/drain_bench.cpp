// How fast juxscan drains the DMA ring to disk, in two phases, each against
// its reference measured in the same run:
//  - the start handshake, from the operator's Start to the first buffer the
//    card fills (juxscan's start poll, the width request, the set-up of the
//    channel), against the same two command requests made by this program;
//  - the data phase, from the first filled buffer to the last one drained,
//    against a plain sequential write of the same bytes to the same folder,
//    and against the fastest scanner's data rate.
// The phases are told apart by watching the adapter record that juxscan and
// juxsim share.
//
// juxsim delivers a 36 inch wide, 400 dpi drawing (1800-byte lines, 19200
// lines, 48 inches long) as fast as the ring drains. The image is noise, so
// PackBits cannot shrink it: the most bytes per line the disk will see.
//
//   juxscan_drain_bench [runs]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "juxutil/juxutil.h"
#include "tests/support/simcard.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 14400;  // pixels: 36 inches at 400 dpi
constexpr int kLines = 19200;  // 48 inches at 400 dpi
constexpr size_t kRowBytes = kWidth / 8;
// The fastest scanner moves the paper at 160 mm/s; at 400 lines per inch.
constexpr double kScannerLinesPerS = 160.0 / 25.4 * 400.0;

std::string WriteNoisePbm(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  std::fprintf(f, "P4\n%d %d\n", kWidth, kLines);
  std::mt19937 random(2718);
  std::vector<uint8_t> row(kRowBytes);
  for (int y = 0; y < kLines; ++y) {
    for (uint8_t& b : row) b = static_cast<uint8_t>(random());
    std::fwrite(row.data(), 1, row.size(), f);
  }
  std::fclose(f);
  return path;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct ScanTimes {
  double handshake = 0, data = 0, total = 0;  // seconds
  uintmax_t bytes = 0;                         // image bytes written
};

// The card's record, seen as juxscan sees it.
class Record {
 public:
  explicit Record(const simcard::SimCard& card) {
    setenv("JUX_DEVICE_DIR", card.Dir().c_str(), 1);
    handle_ = SystemDriver().Open(kJuxDevice);
    if (handle_ != JUX_INVALID_HANDLE) JUX_GET_ADAPTER(handle_, &record_);
    if (record_ == nullptr) throw std::runtime_error("cannot open the card's record");
  }
  ~Record() {
    JUX_UNMAPMEM(handle_, record_);
    SystemDriver().Close(handle_);
  }
  LocalParms* operator->() const { return record_; }

 private:
  JUXHANDLE handle_ = JUX_INVALID_HANDLE;
  LocalParms* record_ = nullptr;
};

// One scan, timed in its phases.
ScanTimes TimeScan(simcard::SimCard& card, const Record& record, const std::string& image) {
  card.Feed(image);
  const std::string file = card.Scratch("Bench.TIF");
  simcard::Process scan = card.Start("juxscan", {"/L:14400", "/O:C:\\Bench.TIF"});
  if (!scan.WaitForOutput("ESC to exit from scan...", 30000))
    throw std::runtime_error("juxscan did not get ready: " + scan.OutputSoFar());
  const uint32_t interrupts = Peek(record->IntrptCnt);
  // The record is watched from before the Start: a scan quicker than the
  // first look must not be missed (the look would wait for a scan that
  // had already ended).
  std::atomic<bool> ended{false};
  std::optional<Clock::time_point> first, last;
  std::thread watcher([&] {
    for (;;) {
      const bool finalLook = ended.load();  // one more look after juxscan's end
      // juxscan sets IntrptCnt to 0 before it starts the scanner; the card
      // counts one interrupt per buffer filled.
      const uint32_t n = Peek(record->IntrptCnt);
      const bool scanning = Peek(record->IntrptStat0) & kStat0ScanInProgress;
      if (!first && n != 0 && n != interrupts && scanning) first = Clock::now();
      if (first && !scanning && Peek(record->BufsInUse) == 0) last = Clock::now();
      if (last || finalLook) break;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  const Clock::time_point start = Clock::now();
  card.PressStart();
  simcard::RunResult r = scan.Wait();
  const Clock::time_point end = Clock::now();
  ended = true;
  watcher.join();
  if (!first || !last) throw std::runtime_error("the scan ended without its buffers being seen");
  if (r.exitCode != 0) throw std::runtime_error("juxscan failed: " + r.out);
  ScanTimes t;
  t.handshake = Seconds(*first - start);
  t.data = Seconds(*last - *first);
  t.total = Seconds(end - start);
  t.bytes = std::filesystem::file_size(file) - 186;
  std::filesystem::remove(file);
  return t;
}

// The handshake's reference: the two command requests that juxscan makes
// between the Start and the transfer (the start poll's command 2, the
// width's command 13), made here on the idle card.
double TimeRequests(const Record& record) {
  const Clock::time_point start = Clock::now();
  GetCommand(record.operator->(), 2);
  GetCommand(record.operator->(), 13);
  return Seconds(Clock::now() - start);
}

// The reference: the same number of bytes, written in the same pieces with
// buffered output, to a file in the same folder.
double TimePlainWrite(const std::string& path, uintmax_t bytes) {
  std::vector<uint8_t> piece(16384, 0x5A);
  Clock::time_point start = Clock::now();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  for (uintmax_t left = bytes; left > 0;) {
    size_t n = static_cast<size_t>(std::min<uintmax_t>(left, piece.size()));
    std::fwrite(piece.data(), 1, n, f);
    left -= n;
  }
  std::fclose(f);
  double s = Seconds(Clock::now() - start);
  std::filesystem::remove(path);
  return s;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  try {
    simcard::SimCard card({.fast = true, .buffers = 20, .bufferSize = 65536});
    const std::string image = WriteNoisePbm(card.Scratch("drawing.pbm"));
    Record record(card);
    std::vector<double> handshakeS, requestS, dataS, totalS, plainS;
    uintmax_t bytes = 0;
    for (int i = 0; i < runs; ++i) {
      ScanTimes t = TimeScan(card, record, image);
      handshakeS.push_back(t.handshake);
      dataS.push_back(t.data);
      totalS.push_back(t.total);
      bytes = t.bytes;
      requestS.push_back(TimeRequests(record));
      plainS.push_back(TimePlainWrite(card.Scratch("plain.bin"), bytes));
    }
    const double handshake = Median(handshakeS), requests = Median(requestS);
    const double scan = Median(dataS), plain = Median(plainS), total = Median(totalS);
    double scanMBs = bytes / scan / 1e6, plainMBs = bytes / plain / 1e6;
    double linesPerS = kLines / scan;
    std::printf("drawing: %d lines of %zu bytes (%ju bytes PackBits), %d runs, medians\n", kLines,
                kRowBytes, bytes, runs);
    std::printf("start handshake: %7.3f s (Start to the first filled buffer)\n", handshake);
    std::printf("two requests:    %7.3f s; handshake / requests: %.2f\n", requests,
                handshake / requests);
    std::printf("juxscan drain:   %7.3f s  %8.1f MB/s  %8.0f lines/s (first to last buffer)\n",
                scan, scanMBs, linesPerS);
    std::printf("plain write:     %7.3f s  %8.1f MB/s\n", plain, plainMBs);
    std::printf("juxscan / plain write: %.2f\n", scanMBs / plainMBs);
    std::printf("whole scan:      %7.3f s (Start to juxscan's end)\n", total);
    std::printf("fastest scanner: %.0f lines/s (%.2f MB/s); juxscan margin: %.1fx\n",
                kScannerLinesPerS, kScannerLinesPerS * bytes / kLines / 1e6,
                linesPerS / kScannerLinesPerS);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "juxscan_drain_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
