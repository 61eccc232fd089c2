#pragma once
// The host's record: bytes at fixed offsets shared between the host process and the module, which
// are built separately. Every field is read and written through these accessors; the byte flags
// are accessed atomically, since the host thread polls them while the module's threads set them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace strivex {

class HostRecord {
 public:
  // Offsets and widths are an interface between two programs: they never change.
  static constexpr size_t kWindowHandle = 0;       // 4 bytes, module writes
  static constexpr size_t kModuleActive = 4;       // 1 byte, module writes
  static constexpr size_t kWindowShown = 12;       // 1 byte, module writes
  static constexpr size_t kMachineId = 16;         // 4 bytes signed, host writes
  static constexpr size_t kInstrumentName = 20;    // 51 bytes, NUL-terminated, host writes
  static constexpr size_t kInstrumentNameWidth = 51;
  static constexpr size_t kServerUnavailable = 71; // 1 byte, both
  static constexpr size_t kStartAck = 73;          // 1 byte, both
  static constexpr size_t kCloseEndsModule = 74;   // 1 byte, host writes
  // A 64-bit pointer does not fit these 4 bytes: they hold the offset of the local database
  // path's text from the start of the record, and the text lies inside the record's allocation.
  static constexpr size_t kLocalDatabasePath = 76; // 4 bytes, host writes
  static constexpr size_t kInitialised = 80;       // 1 byte, module writes
  static constexpr size_t kMinimumSize = 81;

  explicit HostRecord(uint8_t* bytes) : bytes_(bytes) {}

  uint32_t WindowHandle() const;
  void SetWindowHandle(uint32_t handle);
  int32_t MachineId() const;
  std::string InstrumentName() const;
  std::string LocalDatabasePath() const;

  uint8_t Flag(size_t offset) const;
  void SetFlag(size_t offset, uint8_t value);

  uint8_t* bytes() const { return bytes_; }

 private:
  uint8_t* bytes_;
};

static_assert(HostRecord::kInstrumentName + HostRecord::kInstrumentNameWidth == HostRecord::kServerUnavailable);
static_assert(HostRecord::kWindowHandle + 4 <= HostRecord::kModuleActive);
static_assert(HostRecord::kMachineId + 4 <= HostRecord::kInstrumentName);
static_assert(HostRecord::kLocalDatabasePath + 4 == HostRecord::kInitialised);
static_assert(HostRecord::kInitialised < HostRecord::kMinimumSize);

// A record as a host builds one: the fixed fields, then the local database path inside the same
// allocation. Used by the host program and by tests.
class HostRecordBuffer {
 public:
  HostRecordBuffer(int32_t machineId, const std::string& instrumentName,
                   const std::string& localDatabasePath, uint8_t closeEndsModule = 1);
  HostRecord record() { return HostRecord(bytes_.data()); }
  uint8_t* data() { return bytes_.data(); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace strivex
