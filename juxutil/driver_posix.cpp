// POSIX back end of the device layer: a device is a file in the device
// folder that juxsim serves (layout in driver_posix.h).
#include "juxutil/driver_posix.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <thread>

namespace juxdev {

uint64_t DeviceFileSize(uint32_t bufCnt, uint32_t bufSize) {
  return kBufferOffset + uint64_t{bufCnt} * bufSize;
}

DeviceFile::~DeviceFile() { Unmap(); }

void DeviceFile::Unmap() {
  if (base_ != nullptr) munmap(base_, size_);
  base_ = nullptr;
}

bool DeviceFile::Create(const std::string& path, uint32_t boardId, uint32_t bufCnt,
                        uint32_t bufSize, std::string* error) {
  Unmap();
  if (bufCnt > kMaxBuffers || bufSize % kPageSize != 0 || (bufCnt > 0 && bufSize == 0)) {
    *error = "bad buffer ring: " + std::to_string(bufCnt) + " buffers of " +
             std::to_string(bufSize) + " bytes";
    return false;
  }
  path_ = path;
  tempPath_ = path + ".new";
  size_ = DeviceFileSize(bufCnt, bufSize);
  const int fd = open(tempPath_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot create " + tempPath_ + ": " + std::strerror(errno);
    return false;
  }
  void* base = MAP_FAILED;
  if (ftruncate(fd, static_cast<off_t>(size_)) == 0)
    base = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  const int savedErrno = errno;
  close(fd);
  if (base == MAP_FAILED) {
    *error = "cannot map " + tempPath_ + ": " + std::strerror(savedErrno);
    unlink(tempPath_.c_str());
    return false;
  }
  base_ = static_cast<uint8_t*>(base);

  LocalParms* record = Record();
  record->BoardID = boardId;
  record->BufCnt = bufCnt;
  record->BufSize = bufSize;
  for (uint32_t i = 0; i < bufCnt; ++i) {
    BUFFERQUEUE& entry = record->BufQ[i];
    entry.Owner = 1;
    entry.VirtAddr = kBufferOffset + i * bufSize;
    entry.PhysAddrLow = entry.VirtAddr;
    entry.Size = bufSize;
  }
  std::memcpy(Registers()->Magic, kMagic, sizeof kMagic);
  return true;
}

bool DeviceFile::Publish(std::string* error) {
  if (rename(tempPath_.c_str(), path_.c_str()) != 0) {
    *error = "cannot create " + path_ + ": " + std::strerror(errno);
    return false;
  }
  tempPath_.clear();
  return true;
}

void DeviceFile::Remove() {
  if (!tempPath_.empty()) unlink(tempPath_.c_str());
  if (!path_.empty()) unlink(path_.c_str());
  tempPath_.clear();
  path_.clear();
  Unmap();
}

bool TakeRegisterWrite(RegisterPage* page, uint32_t* offset, uint32_t* value) {
  const uint32_t next = Peek(page->ReadSeq);
  RegisterWrite& slot = page->Log[next % kWriteLogSize];
  if (std::atomic_ref<uint32_t>(slot.Seq).load(std::memory_order_acquire) != next + 1)
    return false;
  *offset = slot.Offset;
  *value = slot.Value;
  std::atomic_ref<uint32_t>(page->ReadSeq).store(next + 1, std::memory_order_release);
  return true;
}

}  // namespace juxdev

namespace {

using namespace juxdev;

// How long a register write waits for room in a full write log (the card is
// far behind or gone) before it is dropped.
constexpr auto kWriteLogWait = std::chrono::milliseconds(kBusyWaitLimitMs);

class PosixDevice : public JuxDevice {
 public:
  PosixDevice(int fd, uint64_t size, RegisterPage* registers)
      : fd_(fd), size_(size), registers_(registers) {}
  ~PosixDevice() override {
    for (const auto& [address, mapping] : mappings_) munmap(mapping.base, mapping.length);
    munmap(registers_, kPageSize);
    close(fd_);
  }

  bool IoControl(uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned) override {
    *returned = 0;
    PortBuffer request{};
    if (in != nullptr && inSize >= sizeof request) std::memcpy(&request, in, sizeof request);
    switch (code) {
      case IOCTL_JUX_GET_ADAPTER: {
        if (out == nullptr || outSize != sizeof(void*)) return false;
        void* record = Map(kRecordOffset, sizeof(LocalParms));
        if (record == nullptr) return false;
        std::memcpy(out, &record, sizeof record);
        *returned = sizeof record;
        return true;
      }
      case IOCTL_JUX_MAPMEM: {
        if (inSize < sizeof request || out == nullptr || outSize < sizeof(PortBuffer)) return false;
        void* buffer = Map(request.Offset, request.Value);
        if (buffer == nullptr) return false;
        MapMemReply reply{request, reinterpret_cast<uintptr_t>(buffer)};
        reply.Request.Offset = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer));
        *returned = std::min<uint32_t>(outSize, sizeof reply);
        std::memcpy(out, &reply, *returned);
        return true;
      }
      case IOCTL_JUX_UNMAPMEM: {
        void* address = nullptr;
        if (in == nullptr || inSize != sizeof address) return false;
        std::memcpy(&address, in, sizeof address);
        return Unmap(address);
      }
      case IOCTL_JUX_READ_PORT:
        if (inSize < sizeof request || !ValidRegister(request.Offset)) return false;
        request.Value = Peek(registers_->Registers[request.Offset / 4]);
        return Reply(request, out, outSize, returned);
      case IOCTL_JUX_WRITE_PORT:
        if (inSize < sizeof request || !ValidRegister(request.Offset)) return false;
        if (!PostRegisterWrite(request.Offset, request.Value)) return false;
        return Reply(request, out, outSize, returned);
      case IOCTL_JUX_READ_FIFO:
      case IOCTL_JUX_WRITE_FIFO:
        // The simulated card has no FIFO: a read gives 0.
        request.Value = 0;
        return Reply(request, out, outSize, returned);
      case IOCTL_JUX_GET_PCICONFIG:
        if (out == nullptr || outSize < sizeof(PCI_COMMON_CONFIG)) return false;
        std::memset(out, 0, sizeof(PCI_COMMON_CONFIG));
        *returned = sizeof(PCI_COMMON_CONFIG);
        return true;
      case IOCTL_JUX_START_PRINT:
        return true;
      default:
        return false;
    }
  }

 private:
  struct Mapping {
    void* base;
    size_t length;
  };

  static bool ValidRegister(uint32_t offset) {
    return offset % 4 == 0 && offset / 4 < kRegisterCount;
  }

  static bool Reply(const PortBuffer& request, void* out, uint32_t outSize, uint32_t* returned) {
    if (out == nullptr || outSize < sizeof request) return false;
    std::memcpy(out, &request, sizeof request);
    *returned = sizeof request;
    return true;
  }

  // Maps [offset, offset + size) of the device file; mmap wants a page-aligned
  // start, so the mapping begins at the page that holds `offset`.
  void* Map(uint32_t offset, uint32_t size) {
    if (size == 0 || uint64_t{offset} + size > size_) return nullptr;
    const uint32_t start = offset - offset % kPageSize;
    const size_t length = size + (offset - start);
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, start);
    if (base == MAP_FAILED) return nullptr;
    void* address = static_cast<uint8_t*>(base) + (offset - start);
    mappings_[address] = {base, length};
    return address;
  }

  bool Unmap(void* address) {
    const auto it = mappings_.find(address);
    if (it == mappings_.end()) return false;
    munmap(it->second.base, it->second.length);
    mappings_.erase(it);
    return true;
  }

  bool PostRegisterWrite(uint32_t offset, uint32_t value) {
    const uint32_t seq = std::atomic_ref<uint32_t>(registers_->WriteSeq).fetch_add(1);
    const auto deadline = std::chrono::steady_clock::now() + kWriteLogWait;
    while (seq - Peek(registers_->ReadSeq) >= kWriteLogSize) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    RegisterWrite& slot = registers_->Log[seq % kWriteLogSize];
    Poke(slot.Offset, offset);
    Poke(slot.Value, value);
    std::atomic_ref<uint32_t>(slot.Seq).store(seq + 1, std::memory_order_release);
    return true;
  }

  int fd_;
  uint64_t size_;
  RegisterPage* registers_;
  std::map<void*, Mapping> mappings_;
};

class PosixDriver : public JuxDriver {
 public:
  JUXHANDLE Open(const char* deviceName) override {
    // "\\.\JUXDEV" names the file JUXDEV of the device folder.
    std::string_view name = deviceName;
    if (name.substr(0, 4) == "\\\\.\\") name.remove_prefix(4);
    if (name.empty() || name.find('/') != std::string_view::npos) return JUX_INVALID_HANDLE;
    const std::string path = std::string(JuxDeviceDir()) + "/" + std::string(name);

    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return JUX_INVALID_HANDLE;
    struct stat st {};
    void* page = MAP_FAILED;
    if (fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) >= kBufferOffset)
      page = mmap(nullptr, kPageSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, kRegisterOffset);
    if (page == MAP_FAILED) {
      close(fd);
      return JUX_INVALID_HANDLE;
    }
    auto* registers = static_cast<RegisterPage*>(page);
    if (std::memcmp(registers->Magic, kMagic, sizeof kMagic) != 0) {
      munmap(page, kPageSize);
      close(fd);
      return JUX_INVALID_HANDLE;
    }
    return new PosixDevice(fd, static_cast<uint64_t>(st.st_size), registers);
  }

  void Close(JUXHANDLE hDriver) override { delete hDriver; }
};

}  // namespace

JuxDriver& SystemDriver() {
  static PosixDriver driver;
  return driver;
}

// Read anew on every call, so that a test can point the layer at a folder of
// its own; the programs call it once.
const char* JuxDeviceDir() {
  static std::string dir;
  const char* env = std::getenv("JUX_DEVICE_DIR");
  dir = (env != nullptr && *env != '\0') ? std::string(env) : "/tmp/jux-" + std::to_string(getuid());
  return dir.c_str();
}
