// The nine device calls: control codes, request records, results.
#include <gtest/gtest.h>

#include "tests/juxutil/fake_device.h"

TEST(DeviceCalls, ControlCodesAreThoseOfTheDriver) {
  const struct {
    uint32_t code, expected;
  } table[] = {
      {IOCTL_JUX_READ_PORT, 0x9C402408},  {IOCTL_JUX_MAPMEM, 0x9C40240C},
      {IOCTL_JUX_READ_FIFO, 0x9C402410},  {IOCTL_JUX_WRITE_PORT, 0x9C402448},
      {IOCTL_JUX_UNMAPMEM, 0x9C40244C},   {IOCTL_JUX_WRITE_FIFO, 0x9C402450},
      {IOCTL_JUX_GET_ADAPTER, 0x9C402488}, {IOCTL_JUX_GET_PCICONFIG, 0x9C40248C},
      {IOCTL_JUX_START_PRINT, 0x9C402490},
  };
  for (const auto& row : table) EXPECT_EQ(row.code, row.expected);
}

TEST(DeviceCalls, EachCallSendsItsCodeAndRecord) {
  RecordingDevice device;
  device.portValue = 0x1234;
  LocalParms* record = nullptr;
  PCI_COMMON_CONFIG config{};

  JUX_START_PRINT(&device);
  EXPECT_EQ(JUX_READ_PORT(&device, 4), 0x1234u);
  JUX_WRITE_PORT(&device, 12, 1808);
  EXPECT_EQ(JUX_READ_FIFO(&device, 77), 0x1234u);
  JUX_WRITE_FIFO(&device, 88);
  void* buffer = JUX_MAPMEM(&device, 0x2000, 0x8000);
  JUX_UNMAPMEM(&device, buffer);
  JUX_GET_ADAPTER(&device, &record);
  JUX_GET_PCICONFIG(&device, &config);

  ASSERT_EQ(device.calls.size(), 9u);
  const auto& c = device.calls;
  EXPECT_EQ(c[0].code, IOCTL_JUX_START_PRINT);
  EXPECT_EQ(c[1].code, IOCTL_JUX_READ_PORT);
  EXPECT_EQ(c[1].in.Offset, 4u);
  EXPECT_EQ(c[2].code, IOCTL_JUX_WRITE_PORT);
  EXPECT_EQ(c[2].in.Offset, 12u);
  EXPECT_EQ(c[2].in.Value, 1808u);
  EXPECT_EQ(c[3].code, IOCTL_JUX_READ_FIFO);
  EXPECT_EQ(c[3].in.DataSize, 77u);
  EXPECT_EQ(c[4].code, IOCTL_JUX_WRITE_FIFO);
  EXPECT_EQ(c[4].in.DataSize, 88u);
  EXPECT_EQ(c[5].code, IOCTL_JUX_MAPMEM);
  EXPECT_EQ(c[5].in.Offset, 0x2000u);
  EXPECT_EQ(c[5].in.Value, 0x8000u);
  EXPECT_EQ(c[5].inSize, sizeof(PortBuffer));
  EXPECT_EQ(buffer, reinterpret_cast<void*>(uintptr_t{0x12000}));
  EXPECT_EQ(c[6].code, IOCTL_JUX_UNMAPMEM);
  EXPECT_EQ(c[6].pointerIn, buffer);
  EXPECT_EQ(c[7].code, IOCTL_JUX_GET_ADAPTER);
  EXPECT_EQ(c[7].outSize, sizeof(LocalParms*));
  EXPECT_EQ(c[8].code, IOCTL_JUX_GET_PCICONFIG);
  EXPECT_EQ(c[8].outSize, 256u);
}

TEST(DeviceCalls, FailedRequestsReturnZero) {
  RecordingDevice device;
  device.fail = true;
  device.portValue = 0xFFFF;
  EXPECT_EQ(JUX_READ_PORT(&device, 4), 0u);
  EXPECT_EQ(JUX_READ_FIFO(&device, 4), 0u);
  EXPECT_EQ(JUX_MAPMEM(&device, 0x2000, 16), nullptr);
  LocalParms* record = reinterpret_cast<LocalParms*>(1);
  JUX_GET_ADAPTER(&device, &record);
  EXPECT_EQ(record, nullptr);
  // No handle at all: nothing is called, nothing breaks.
  EXPECT_EQ(JUX_READ_PORT(JUX_INVALID_HANDLE, 4), 0u);
  JUX_WRITE_PORT(JUX_INVALID_HANDLE, 4, 8);
}

TEST(CommandSlots, AreLittleEndianAtUnalignedOffsets) {
  LocalParms record{};
  WriteCommandSlot(&record, 5, 0x00123405);
  // CommandBuffer begins at byte 135 of the record: slot 5 is not 4-aligned.
  EXPECT_EQ(record.CommandBuffer[20], 0x05);
  EXPECT_EQ(record.CommandBuffer[21], 0x34);
  EXPECT_EQ(record.CommandBuffer[22], 0x12);
  EXPECT_EQ(record.CommandBuffer[23], 0x00);
  EXPECT_EQ(ReadCommandSlot(&record, 5), 0x00123405u);
  EXPECT_EQ(ReadCommandSlot(&record, 5) >> 8, 0x1234u);
  WriteCommandSlot(&record, 63, 0xFFFFFF3F);
  EXPECT_EQ(ReadCommandSlot(&record, 63), 0xFFFFFF3Fu);
  EXPECT_EQ(ReadCommandSlot(&record, 4), 0u);
}
