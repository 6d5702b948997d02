// The scanner's threshold and speed from juxstat's status file, with a
// stand-in that writes the status file the way juxstat does.
#include <gtest/gtest.h>

#include <QFile>

#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/cmdline.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/scanner.h"

namespace varnel {
namespace {

using testing::StationTest;

// A 424-byte status file with the speed and threshold bytes given.
QByteArray StatusFile(unsigned char speedByte, unsigned char thresholdByte) {
  QByteArray bytes(424, '\xEE');
  bytes[13] = static_cast<char>(speedByte);
  bytes[57] = static_cast<char>(thresholdByte);
  return bytes;
}

class ReadThresholdTest : public StationTest {
 protected:
  ReadThresholdTest() {
    UseStationFolder();
    st_->HardwareConnect = "YES";
    st_->StatusExe = "C:\\bin\\juxstat";
    st_->TempDir = "C:\\Temp\\";
    st_->ScannerSpeed = 0;
    WriteFile("bin/juxstat", "stand-in");
    WriteFile("Temp/.keep", "");
    // Plays juxstat: writes `answer` to the file named by /O: (nothing when null).
    processes_.play = [this](const QString& commandLine) -> qint64 {
      for (const QString& arg : SplitCommandLine(commandLine))
        if (arg.startsWith("/O:") && !answer.isNull()) {
          QFile file(HostPath(arg.mid(3)));
          if (file.open(QIODevice::WriteOnly)) file.write(answer);
        }
      return 1;
    };
  }
  QByteArray answer;
};

TEST_F(ReadThresholdTest, ReadsThresholdAndSpeedFromTheStatusFile) {
  struct Case {
    QByteArray status;
    int threshold;
    int speed;
  } cases[] = {
      {StatusFile(0x00, 90), 90, 40},
      {StatusFile(0x10, 90), 90, 80},
      {StatusFile(0x20, 90), 90, 120},
      {StatusFile(0x30, 127), 127, 160},
      {StatusFile(0xCF, 0x80 | 64), 64, 40},  // other bits and the flag do not count
      {StatusFile(0x30, 0x80), -1, 160},      // flag alone: threshold 0 is unknown
      {StatusFile(0x30, 0), -1, 160},
      {QByteArray(20, '\x30'), -1, 160},      // short file: the threshold byte reads 0
      {QByteArray(""), -1, 40},               // empty file
  };
  for (const Case& c : cases) {
    answer = c.status;
    EXPECT_EQ(ReadThreshold(*st_), c.threshold);
    EXPECT_EQ(st_->ScannerSpeed, c.speed);
    EXPECT_TRUE(st_->LastResult);
  }
  EXPECT_EQ(processes_.started.first(), "\"C:\\bin\\juxstat\" /S /O:C:\\Temp\\JuxStat.Dat");
  EXPECT_EQ(windows_.splash.first(), "Reading Threshold...");
  EXPECT_TRUE(prompts_.shown.isEmpty());
}

TEST_F(ReadThresholdTest, WithoutTheScannerNothingRuns) {
  for (const char* connect : {"", "yes", "NO"}) {
    st_->HardwareConnect = connect;
    EXPECT_EQ(ReadThreshold(*st_), 72);
    EXPECT_EQ(st_->ScannerSpeed, 160);
  }
  EXPECT_TRUE(processes_.started.isEmpty());
}

TEST_F(ReadThresholdTest, NoStatusFileIsAnErrorEvenWhenAnOldOneWasThere) {
  WriteFile("Temp/JuxStat.Dat", StatusFile(0x30, 90));  // from an earlier run
  st_->ScannerSpeed = 80;
  answer = QByteArray();  // null: juxstat writes nothing this time
  EXPECT_EQ(ReadThreshold(*st_), -1);
  EXPECT_EQ(st_->ScannerSpeed, 80);  // left as it was
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].text, "Error Communicating with Scanner.");
  EXPECT_EQ(prompts_.shown[0].title, "Terminating");
  EXPECT_EQ(prompts_.shown[0].icon, Prompts::Icon::Critical);
}

TEST_F(ReadThresholdTest, AMissingStatusProgramIsReportedTwice) {
  st_->StatusExe = "C:\\bin\\gone";
  EXPECT_EQ(ReadThreshold(*st_), -1);
  ASSERT_EQ(prompts_.shown.size(), 2);
  EXPECT_EQ(prompts_.shown[0].text, "C:\\bin\\gone Not Found!");
  EXPECT_EQ(prompts_.shown[1].text, "Error Communicating with Scanner.");
  EXPECT_FALSE(st_->LastResult);
}

TEST(ReadBitTest, MasksCountFromOne) {
  struct Case {
    int value, bit, mask;
    bool set;
  } cases[] = {{0x20, 6, 32, true}, {0x10, 6, 32, false}, {0x10, 5, 16, true},
               {1, 1, 1, true},     {1, 0, 1, true},      {0x80, 8, 128, true}};
  for (const Case& c : cases) {
    int bit = c.bit;
    EXPECT_EQ(ReadBit(c.value, bit), c.set) << c.value << "/" << c.bit;
    EXPECT_EQ(bit, c.mask);
  }
}

}  // namespace
}  // namespace varnel
