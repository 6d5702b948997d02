// How fast juxscan drains the DMA ring to disk, against a plain sequential
// write of the same bytes to the same folder in the same run, and against the
// fastest scanner's data rate.
//
// juxsim delivers a 36 inch wide, 400 dpi drawing (1800-byte lines, 19200
// lines, 48 inches long) as fast as the ring drains. The image is noise, so
// PackBits cannot shrink it: the most bytes per line the disk will see.
//
//   juxscan_drain_bench [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

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

// One scan; returns the seconds from the operator's Start to juxscan's end
// and the image bytes written.
std::pair<double, uintmax_t> TimeScan(simcard::SimCard& card, const std::string& image) {
  card.Feed(image);
  const std::string file = card.Scratch("Bench.TIF");
  simcard::Process scan = card.Start("juxscan", {"/L:14400", "/O:C:\\Bench.TIF"});
  if (!scan.WaitForOutput("ESC to exit from scan...", 30000))
    throw std::runtime_error("juxscan did not get ready: " + scan.OutputSoFar());
  Clock::time_point start = Clock::now();
  card.PressStart();
  simcard::RunResult r = scan.Wait();
  double s = Seconds(Clock::now() - start);
  if (r.exitCode != 0) throw std::runtime_error("juxscan failed: " + r.out);
  uintmax_t bytes = std::filesystem::file_size(file) - 186;
  std::filesystem::remove(file);
  return {s, bytes};
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
    std::vector<double> scanS, plainS;
    uintmax_t bytes = 0;
    for (int i = 0; i < runs; ++i) {
      auto [s, b] = TimeScan(card, image);
      scanS.push_back(s);
      bytes = b;
      plainS.push_back(TimePlainWrite(card.Scratch("plain.bin"), bytes));
    }
    double scan = Median(scanS), plain = Median(plainS);
    double scanMBs = bytes / scan / 1e6, plainMBs = bytes / plain / 1e6;
    double linesPerS = kLines / scan;
    std::printf("drawing: %d lines of %zu bytes (%ju bytes PackBits), %d runs, medians\n", kLines,
                kRowBytes, bytes, runs);
    std::printf("juxscan drain:  %7.3f s  %8.1f MB/s  %8.0f lines/s\n", scan, scanMBs, linesPerS);
    std::printf("plain write:    %7.3f s  %8.1f MB/s\n", plain, plainMBs);
    std::printf("juxscan / plain write: %.2f\n", scanMBs / plainMBs);
    std::printf("fastest scanner: %.0f lines/s (%.2f MB/s); juxscan margin: %.1fx\n",
                kScannerLinesPerS, kScannerLinesPerS * bytes / kLines / 1e6,
                linesPerS / kScannerLinesPerS);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "juxscan_drain_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
