// Windows back end of the device layer: the card's kernel driver, opened by
// device name and driven with DeviceIoControl.
#include <windows.h>

#include <cstdlib>

#include "juxutil/juxutil.h"

namespace {

class WinDevice : public JuxDevice {
 public:
  explicit WinDevice(HANDLE handle) : handle_(handle) {}
  ~WinDevice() override { CloseHandle(handle_); }

  bool IoControl(uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned) override {
    DWORD length = 0;
    const BOOL ok = DeviceIoControl(handle_, code, in, inSize, out, outSize, &length, nullptr);
    *returned = length;
    return ok != FALSE;
  }

 private:
  HANDLE handle_;
};

class WinDriver : public JuxDriver {
 public:
  JUXHANDLE Open(const char* deviceName) override {
    HANDLE handle = CreateFileA(deviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return JUX_INVALID_HANDLE;
    return new WinDevice(handle);
  }
  void Close(JUXHANDLE hDriver) override { delete hDriver; }
};

}  // namespace

JuxDriver& SystemDriver() {
  static WinDriver driver;
  return driver;
}

// The real driver publishes its devices by name; there is no device folder.
// JUX_DEVICE_DIR is still reported for messages and tools.
const char* JuxDeviceDir() {
  const char* env = std::getenv("JUX_DEVICE_DIR");
  return env != nullptr ? env : "";
}
