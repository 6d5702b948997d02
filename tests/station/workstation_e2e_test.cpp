// The station's main job as a ctest: the real workstation, driven by the
// scripted operator (offscreen), runs auto mode over a scan list against the
// simulated card with drawings in its feeder and the real console programs
// and converters. What the operator would find afterwards is checked: the
// files in the list's folder in their formats, the scan database lines and
// the picture of the window.
#include <algorithm>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>

#include "tests/support/simcard.h"

namespace {

namespace fs = std::filesystem;
using simcard::RunResult;
using simcard::SimCard;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Drawn(int x, int y) { return simcard::Stripes(x, y) || x == y; }

TEST(Workstation, AutoModeOverAScanListFilesRecordsAndShowsEachDrawing) {
  SimCard card;
  const fs::path station = card.Scratch("");  // drive C:
  RunResult ini = simcard::Run(JUX_SOURCE_DIR "/scripts/station-ini", {station.string(), simcard::BinDir()});
  ASSERT_EQ(ini.exitCode, 0) << ini.out << ini.err;
  std::ofstream(station / "Job12.lst", std::ios::binary)
      << "C:\\SCANS\\JOB12\\DWG0001.TLC,Sample drawing,Sheet 1,,,\r\n"
         "C:\\SCANS\\JOB12\\DWG0002.TIF,Sample drawing,Sheet 2,,,\r\n";
  // Two sheets in the feeder; Start is pressed as soon as a scan waits.
  ::mkdir(card.Scratch("stack").c_str(), 0700);
  card.WritePbm("stack/1.pbm", 800, 600, Drawn);
  card.WritePbm("stack/2.pbm", 800, 500, Drawn);
  card.Feed(card.Scratch("stack"), {"--start-on-ask", "100"});

  simcard::RunOptions options;
  options.env = {{"QT_QPA_PLATFORM", "offscreen"}};
  options.cwd = station.string();
  options.timeoutMs = 120000;
  RunResult run = card.Run("varnel_operator",
                           {station.string(), "C:\\Job12.lst", (station / "window.png").string()},
                           options);
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  // The messages of the run: the list is done, then the list report's summary.
  const std::string boxes = run.out.substr(run.out.find("  [box]"));
  EXPECT_EQ(boxes.rfind("  [box] JUX Tarvex: Auto Scan Complete: No more files to scan in list!\n"
                        "  [box] Scan list report: C:\\Job12.lst: 2 entries: 2 scanned, ", 0),
            0u)
      << run.out;
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), '['), 2) << run.out;

  const fs::path job = station / "SCANS" / "JOB12";
  EXPECT_EQ(Read(job / "DWG0001.TLC").substr(0, 14), "Virozoro Size ");
  EXPECT_EQ(Read(job / "DWG0002.TIF").substr(0, 4), std::string("II*\0", 4));
  // The data field's reference and each file, in the job's database and the station's.
  const std::string lines = "\"JOB12\", \"C:\\SCANS\\JOB12\\DWG0001.TLC\"\r\n"
                            "\"JOB12\", \"C:\\SCANS\\JOB12\\DWG0002.TIF\"\r\n";
  EXPECT_EQ(Read(job / "Database.Asc"), lines);
  EXPECT_NE(Read(station / "Database.All").find(lines), std::string::npos)
      << Read(station / "Database.All");
  EXPECT_EQ(Read(station / "window.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
  // Nothing of the card is left waiting: the channel is free again.
  EXPECT_TRUE(card.Value("IntrptStat0") & 0x0004);
}

}  // namespace
