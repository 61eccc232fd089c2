#pragma once
// The host's record: bytes at fixed offsets shared between the host process and the module, which
// are built separately. Every field is read and written through these accessors; the byte flags
// are accessed atomically, since the host thread polls them while the module's threads set them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace strivex {

// A view of a host's record; it owns nothing, and copies of it see the same bytes.
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

  // `bytes` must hold at least kMinimumSize bytes (plus the path text) for the view's lifetime.
  explicit HostRecord(uint8_t* bytes) : bytes_(bytes) {}

  // The main window's handle at offset 0 (0 before the module registered its window).
  uint32_t WindowHandle() const;
  // Offset 0; the module's start-up only, before the host polls it.
  void SetWindowHandle(uint32_t handle);
  // The laboratory's machine id the host gave (offset 16).
  int32_t MachineId() const;
  // The instrument's name (offset 20), at most 50 bytes, up to its NUL.
  std::string InstrumentName() const;
  // The local database's path; empty when offset 76 does not point past the fixed fields.
  std::string LocalDatabasePath() const;

  // One byte flag at `offset`, read atomically; any thread of either side.
  uint8_t Flag(size_t offset) const;
  // One byte flag at `offset`, written atomically; any thread of either side.
  void SetFlag(size_t offset, uint8_t value);

  // The record's first byte.
  uint8_t* bytes() const { return bytes_; }

 private:
  uint8_t* bytes_;
};

// Tells the host the module has ended (not initialised, acknowledged, not active). The host may
// end its process the moment it reads this: it is the module's very last act.
void AnnounceModuleEnd(HostRecord host);

static_assert(HostRecord::kInstrumentName + HostRecord::kInstrumentNameWidth == HostRecord::kServerUnavailable);
static_assert(HostRecord::kWindowHandle + 4 <= HostRecord::kModuleActive);
static_assert(HostRecord::kMachineId + 4 <= HostRecord::kInstrumentName);
static_assert(HostRecord::kLocalDatabasePath + 4 == HostRecord::kInitialised);
static_assert(HostRecord::kInitialised < HostRecord::kMinimumSize);

// A record as a host builds one: the fixed fields, then the local database path inside the same
// allocation. Used by the host program and by tests.
class HostRecordBuffer {
 public:
  // A zeroed record with these fields; an instrument name beyond 50 bytes is cut.
  HostRecordBuffer(int32_t machineId, const std::string& instrumentName,
                   const std::string& localDatabasePath, uint8_t closeEndsModule = 1);
  // A view of the buffer, valid while the buffer lives.
  HostRecord record() { return HostRecord(bytes_.data()); }
  // The record's first byte, as handed to StartStrivex.
  uint8_t* data() { return bytes_.data(); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace strivex
