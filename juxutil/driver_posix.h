// POSIX device files: the layout that the POSIX back end of the device layer
// and the simulated card (juxsim) share. One file per device (JUXDEV,
// JUXDEV_S, JUXDEV_P) in the device folder:
//
//   offset 0      the adapter record LocalParms (first page)
//   offset 4096   RegisterPage: the card registers as read, and the log of
//                 register writes that the card takes in order
//   offset 8192   the DMA buffers, BufCnt of them, BufSize bytes each; the
//                 VirtAddr of ring entry i is the file offset of buffer i
//
// JUX_GET_ADAPTER and JUX_MAPMEM map regions of the file with mmap(MAP_SHARED),
// so every program that opens the device sees the same record and buffers.
#pragma once

#include <cstdint>
#include <string>

#include "juxutil/juxutil.h"

namespace juxdev {

constexpr uint32_t kPageSize = 4096;
constexpr uint32_t kRecordOffset = 0;
constexpr uint32_t kRegisterOffset = 4096;
constexpr uint32_t kBufferOffset = 8192;
constexpr char kMagic[8] = "JUXDEV1";

// Register writes are queued, not stored: a program may write 0x1018, 0x8F08
// and 0x8009 to register 4 back to back, and the card must see each of them.
// A writer takes a sequence number from WriteSeq, fills its log slot and
// publishes the slot by storing Seq = its number + 1; the card takes the
// slots in sequence order and advances ReadSeq.
struct RegisterWrite {
  uint32_t Seq;
  uint32_t Offset;
  uint32_t Value;
};

constexpr uint32_t kRegisterCount = 16;  // offsets 0, 4, ..., 60
constexpr uint32_t kWriteLogSize = 256;

struct RegisterPage {
  char Magic[8];
  uint32_t Registers[kRegisterCount];  // value a read of offset 4 * i returns
  uint32_t WriteSeq;                   // writes posted
  uint32_t ReadSeq;                    // writes taken by the card
  RegisterWrite Log[kWriteLogSize];
};
static_assert(sizeof(RegisterPage) <= kPageSize);

// Size of a device file with `bufCnt` buffers of `bufSize` bytes.
uint64_t DeviceFileSize(uint32_t bufCnt, uint32_t bufSize);

// A whole device file mapped into this process (the card's view of it).
// Owns the mapping; the pointers are valid while the object lives.
class DeviceFile {
 public:
  DeviceFile() = default;
  ~DeviceFile();
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;

  // Creates `path` with a blank record of the given board, BufCnt buffers of
  // bufSize bytes (a multiple of kPageSize) and the ring entries filled in.
  // The file is built under a temporary name and appears complete or not at
  // all once Publish() is called. False with `error` set on failure.
  bool Create(const std::string& path, uint32_t boardId, uint32_t bufCnt, uint32_t bufSize,
              std::string* error);
  // Renames the file built by Create to its final name.
  bool Publish(std::string* error);
  // Removes the file (if this object created it) and ends the mapping.
  void Remove();

  LocalParms* Record() const { return reinterpret_cast<LocalParms*>(base_ + kRecordOffset); }
  RegisterPage* Registers() const {
    return reinterpret_cast<RegisterPage*>(base_ + kRegisterOffset);
  }
  uint8_t* Buffer(uint32_t virtAddr) const { return base_ + virtAddr; }
  const std::string& Path() const { return path_; }

 private:
  void Unmap();
  std::string path_, tempPath_;
  uint8_t* base_ = nullptr;
  uint64_t size_ = 0;
};

// Takes the next register write in order; false when none is waiting.
bool TakeRegisterWrite(RegisterPage* page, uint32_t* offset, uint32_t* value);

}  // namespace juxdev
