// Test doubles of the driver seam: a device that records the control requests
// it is given, and a driver thread that plays the driver's side of the
// adapter record while a routine under test waits on it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "juxutil/juxutil.h"

// Records every request; port reads return `portValue`; a map request
// returns the offset it was given as the address.
class RecordingDevice : public JuxDevice {
 public:
  struct Call {
    uint32_t code;
    uint32_t inSize, outSize;
    PortBuffer in;
    void* pointerIn;
  };
  bool IoControl(uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned) override {
    Call call{code, inSize, outSize, {}, nullptr};
    if (in != nullptr && inSize == sizeof(PortBuffer)) std::memcpy(&call.in, in, sizeof(PortBuffer));
    if (in != nullptr && inSize == sizeof(void*)) std::memcpy(&call.pointerIn, in, sizeof(void*));
    calls.push_back(call);
    *returned = 0;
    if (fail) return false;
    if (code == IOCTL_JUX_READ_PORT || code == IOCTL_JUX_READ_FIFO) {
      PortBuffer reply = call.in;
      reply.Value = portValue;
      std::memcpy(out, &reply, sizeof reply);
    }
    if (code == IOCTL_JUX_MAPMEM) {
      MapMemReply reply{call.in, 0};
      reply.Address = 0x10000u + call.in.Offset;
      std::memcpy(out, &reply, outSize);
    }
    return true;
  }
  std::vector<Call> calls;
  uint32_t portValue = 0;
  bool fail = false;
};

// Runs `step` on the record every millisecond on a thread of its own until
// destroyed, as the driver's interrupt and timer would.
class FakeDriverThread {
 public:
  FakeDriverThread(LocalParms* adapter, std::function<void(LocalParms*)> step)
      : thread_([this, adapter, step] {
          while (!stop_) {
            step(adapter);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }) {}
  ~FakeDriverThread() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
