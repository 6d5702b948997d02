// The threshold and speed read through the real juxstat from the simulated card.
#include <gtest/gtest.h>

#include <cstdlib>

#include "juxutil/juxutil.h"
#include "tests/support/simcard.h"
#include "tests/varnel/support/station_fixture.h"
#include "varnel/core/hostfiles.h"
#include "varnel/core/scanner.h"

namespace varnel {
namespace {

using testing::StationTest;

class JuxstatThresholdTest : public StationTest {
 protected:
  JuxstatThresholdTest() {
    setenv("JUX_DEVICE_DIR", card_.Dir().c_str(), 1);
    UseStationFolder();
    WriteFile("Temp/.keep", "");
    st_->HardwareConnect = "YES";
    st_->TempDir = "C:\\Temp\\";
    st_->StatusExe = WindowsPath(QString::fromStdString(simcard::BinDir() + "/juxstat"));
  }
  ~JuxstatThresholdTest() override { unsetenv("JUX_DEVICE_DIR"); }

  // Sets the scanner's threshold through the device layer (status 18), as a
  // scan run with /T: does.
  void SendThreshold(int threshold) {
    JUXHANDLE h = SystemDriver().Open("\\\\.\\JUXDEV");
    ASSERT_NE(h, JUX_INVALID_HANDLE);
    LocalParms* record = nullptr;
    JUX_GET_ADAPTER(h, &record);
    ASSERT_NE(record, nullptr);
    SendStatus(record, 18, static_cast<uint8_t>(threshold));
    EXPECT_EQ(record->ErrorCode0, 0);
    JUX_UNMAPMEM(h, record);
    SystemDriver().Close(h);
  }

  simcard::SimCard card_;
};

TEST_F(JuxstatThresholdTest, ReadsEverySpeedCode) {
  for (int code = 0; code <= 3; ++code) {
    card_.Set("scanner-speed", std::to_string(code));
    EXPECT_EQ(ReadThreshold(*st_), 64) << code;  // the scanner's threshold after power-on
    EXPECT_EQ(st_->ScannerSpeed, 40 * (code + 1)) << code;
    EXPECT_EQ(ReadFile("Temp/JuxStat.Dat").size(), 424);
  }
  EXPECT_TRUE(prompts_.shown.isEmpty());
}

TEST_F(JuxstatThresholdTest, ReadsTheThresholdTheScannerHolds) {
  SendThreshold(100);
  EXPECT_EQ(ReadThreshold(*st_), 100);
  card_.Set("threshold-flag", "1");
  EXPECT_EQ(ReadThreshold(*st_), 100);  // the flag bit is not part of the threshold
}

TEST_F(JuxstatThresholdTest, AFreshCardReportsTheScannerState) {
  // The controller reports its state when the channel comes up: the first
  // start of the workstation needs no scan before it.
  EXPECT_EQ(ReadThreshold(*st_), 64);
  EXPECT_EQ(st_->ScannerSpeed, 120);  // speed code 2 after power-on
  EXPECT_EQ(ReadFile("Temp/JuxStat.Dat").size(), 424);
  EXPECT_TRUE(prompts_.shown.isEmpty());
}

TEST_F(JuxstatThresholdTest, NoCardMeansNoStatusFile) {
  setenv("JUX_DEVICE_DIR", Host("no-card").toUtf8().constData(), 1);
  WriteFile("Temp/JuxStat.Dat", QByteArray(424, '\x40'));  // left from an earlier run
  EXPECT_EQ(ReadThreshold(*st_), -1);
  ASSERT_EQ(prompts_.shown.size(), 1);
  EXPECT_EQ(prompts_.shown[0].text, "Error Communicating with Scanner.");
}

}  // namespace
}  // namespace varnel
