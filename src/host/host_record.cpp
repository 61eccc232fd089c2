#include "host/host_record.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace strivex {

namespace {

uint32_t Load32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void Store32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }

}  // namespace

uint32_t HostRecord::WindowHandle() const { return Load32(bytes_ + kWindowHandle); }

void HostRecord::SetWindowHandle(uint32_t handle) { Store32(bytes_ + kWindowHandle, handle); }

int32_t HostRecord::MachineId() const { return static_cast<int32_t>(Load32(bytes_ + kMachineId)); }

std::string HostRecord::InstrumentName() const {
  const char* name = reinterpret_cast<const char*>(bytes_ + kInstrumentName);
  return std::string(name, strnlen(name, kInstrumentNameWidth));
}

std::string HostRecord::LocalDatabasePath() const {
  const uint32_t offset = Load32(bytes_ + kLocalDatabasePath);
  if (offset < kMinimumSize) return {};  // no path given
  return std::string(reinterpret_cast<const char*>(bytes_ + offset));
}

uint8_t HostRecord::Flag(size_t offset) const {
  return std::atomic_ref<uint8_t>(bytes_[offset]).load();
}

void HostRecord::SetFlag(size_t offset, uint8_t value) {
  std::atomic_ref<uint8_t>(bytes_[offset]).store(value);
}

HostRecordBuffer::HostRecordBuffer(int32_t machineId, const std::string& instrumentName,
                                   const std::string& localDatabasePath, uint8_t closeEndsModule)
    : bytes_(HostRecord::kMinimumSize + 7, 0) {
  // The path follows the fixed fields, at an offset aligned for the record's 4-byte fields.
  const auto pathOffset = static_cast<uint32_t>(bytes_.size());
  bytes_.insert(bytes_.end(), localDatabasePath.begin(), localDatabasePath.end());
  bytes_.push_back(0);
  Store32(bytes_.data() + HostRecord::kMachineId, static_cast<uint32_t>(machineId));
  std::memcpy(bytes_.data() + HostRecord::kInstrumentName, instrumentName.data(),
              std::min(instrumentName.size(), HostRecord::kInstrumentNameWidth - 1));
  bytes_[HostRecord::kCloseEndsModule] = closeEndsModule;
  Store32(bytes_.data() + HostRecord::kLocalDatabasePath, pathOffset);
}

void AnnounceModuleEnd(HostRecord host) {
  host.SetFlag(HostRecord::kInitialised, 0);
  host.SetFlag(HostRecord::kStartAck, 1);
  host.SetFlag(HostRecord::kModuleActive, 0);
}

}  // namespace strivex
