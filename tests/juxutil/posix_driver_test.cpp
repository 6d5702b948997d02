// The POSIX back end: device files in JUX_DEVICE_DIR, shared by every program
// that opens them, with register writes kept in order.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "juxutil/driver_posix.h"

namespace fs = std::filesystem;

class PosixDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("juxutil_" + std::to_string(getpid()));
    fs::create_directories(dir_);
    setenv("JUX_DEVICE_DIR", dir_.c_str(), 1);
    std::string error;
    ASSERT_TRUE(file_.Create((dir_ / "JUXDEV").string(), kBoardScanner, 2, 8192, &error)) << error;
    ASSERT_TRUE(file_.Publish(&error)) << error;
  }
  void TearDown() override {
    file_.Remove();
    fs::remove_all(dir_);
    unsetenv("JUX_DEVICE_DIR");
  }
  fs::path dir_;
  juxdev::DeviceFile file_;
};

TEST_F(PosixDriver, MissingDeviceIsAnInvalidHandle) {
  EXPECT_EQ(SystemDriver().Open(kJuxDeviceP), JUX_INVALID_HANDLE);
  EXPECT_EQ(SystemDriver().Open("\\\\.\\../JUXDEV"), JUX_INVALID_HANDLE);
  std::FILE* junk = std::fopen((dir_ / "JUXDEV_S").c_str(), "w");  // not a device file
  std::fputs("x", junk);
  std::fclose(junk);
  EXPECT_EQ(SystemDriver().Open(kJuxDeviceS), JUX_INVALID_HANDLE);
}

TEST_F(PosixDriver, TwoOpensShareOneRecordAndItsBuffers) {
  JUXHANDLE a = SystemDriver().Open(kJuxDevice);
  JUXHANDLE b = SystemDriver().Open(kJuxDevice);
  ASSERT_NE(a, JUX_INVALID_HANDLE);
  ASSERT_NE(b, JUX_INVALID_HANDLE);
  LocalParms *ra = nullptr, *rb = nullptr;
  JUX_GET_ADAPTER(a, &ra);
  JUX_GET_ADAPTER(b, &rb);
  ASSERT_NE(ra, nullptr);
  ASSERT_NE(rb, nullptr);
  EXPECT_EQ(ra->BoardID, kBoardScanner);
  Poke(ra->ScaleFactor, 1500u);
  EXPECT_EQ(Peek(rb->ScaleFactor), 1500u);
  EXPECT_EQ(Peek(file_.Record()->ScaleFactor), 1500u);

  const BUFFERQUEUE& entry = ra->BufQ[1];
  std::memcpy(file_.Buffer(entry.VirtAddr), "scanline", 8);
  void* mapped = JUX_MAPMEM(b, entry.VirtAddr, entry.Size);
  ASSERT_NE(mapped, nullptr);
  EXPECT_EQ(std::memcmp(mapped, "scanline", 8), 0);
  EXPECT_EQ(JUX_MAPMEM(b, entry.VirtAddr, entry.Size + 1), nullptr);  // past the file

  JUX_UNMAPMEM(b, mapped);
  JUX_UNMAPMEM(a, ra);
  JUX_UNMAPMEM(b, rb);
  SystemDriver().Close(a);
  SystemDriver().Close(b);
}

TEST_F(PosixDriver, RegisterWritesReachTheCardInOrder) {
  JUXHANDLE h = SystemDriver().Open(kJuxDevice);
  ASSERT_NE(h, JUX_INVALID_HANDLE);
  for (uint32_t v : {0x1018u, 0x8F08u, 0x8049u}) JUX_WRITE_PORT(h, kRegControl, v);
  JUX_WRITE_PORT(h, kRegLineLength, 1808);
  JUX_WRITE_PORT(h, 5, 1);  // not a register: dropped

  uint32_t offset = 0, value = 0;
  const std::pair<uint32_t, uint32_t> expected[] = {
      {4, 0x1018}, {4, 0x8F08}, {4, 0x8049}, {12, 1808}};
  for (const auto& [o, v] : expected) {
    ASSERT_TRUE(juxdev::TakeRegisterWrite(file_.Registers(), &offset, &value));
    EXPECT_EQ(offset, o);
    EXPECT_EQ(value, v);
  }
  EXPECT_FALSE(juxdev::TakeRegisterWrite(file_.Registers(), &offset, &value));

  file_.Registers()->Registers[1] = 0x0068;  // what the card shows in register 4
  EXPECT_EQ(JUX_READ_PORT(h, kRegControl), 0x0068u);
  EXPECT_EQ(JUX_READ_PORT(h, 64), 0u);
  SystemDriver().Close(h);
}
