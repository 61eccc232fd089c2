#include "slot_table.h"

#include <sys/socket.h>

#include "network_address.h"

namespace strivex::relay {

std::map<uint32_t, int> SlotTable::Held(bool greeted) const {
  std::map<uint32_t, int> held;
  for (const auto& [id, entry] : entries_)
    if (entry.counted && entry.greeted == greeted) ++held[entry.address];
  return held;
}

int SlotTable::HeldBy(uint32_t address) const {
  int count = 0;
  for (const auto& [id, entry] : entries_) count += entry.counted && entry.address == address;
  return count;
}

bool SlotTable::TakeBackFor(uint32_t asker, bool greeted) {
  const std::map<uint32_t, int> held = Held(greeted);
  const auto mine = held.find(asker);
  const int askerHolds = mine == held.end() ? 0 : mine->second;
  const int share = maxClients_ / static_cast<int>(held.size() + (mine == held.end() ? 1 : 0));
  if (askerHolds >= share) return false;
  Entry* victim = nullptr;
  int victimHolds = 0;
  for (auto& [id, entry] : entries_) {
    if (!entry.counted || entry.greeted != greeted || !entry.idle) continue;
    const int holds = held.at(entry.address);
    if (holds <= share) continue;
    if (victim == nullptr || holds > victimHolds || (holds == victimHolds && entry.since < victim->since)) {
      victim = &entry;
      victimHolds = holds;
    }
  }
  if (victim == nullptr) return false;
  const std::string what = greeted ? " of " + std::to_string(maxClients_) + " clients served"
                                   : " of " + std::to_string(maxClients_) + " connections waiting for a greeting";
  victim->takenBack = "place taken back for " + FormatIpv4(asker) + ": " + FormatIpv4(victim->address) +
                      " held " + std::to_string(victimHolds) + what + ", fair share " + std::to_string(share);
  victim->counted = false;
  ::shutdown(victim->fd, SHUT_RDWR);
  return true;
}

std::optional<std::string> SlotTable::Admit(uint32_t address, int fd, Clock::time_point now, Id& id) {
  const MutexLock lock(mutex_);
  if (const int held = HeldBy(address); held >= maxPerAddress_)
    return std::to_string(held) + " connections from " + FormatIpv4(address) + " already";
  int waiting = 0;
  for (const auto& [key, entry] : entries_) waiting += entry.counted && !entry.greeted;
  // Silent connections from one address cannot keep another's greeting out.
  if (waiting >= maxClients_ && !TakeBackFor(address, false))
    return std::to_string(waiting) + " connections have not greeted yet";
  id = nextId_++;
  Entry& entry = entries_[id];
  entry.address = address;
  entry.fd = fd;
  entry.since = now;
  return std::nullopt;
}

bool SlotTable::Greet(Id id, Clock::time_point now, std::string& refusal) {
  const MutexLock lock(mutex_);
  Entry& entry = entries_.at(id);
  if (!entry.counted) {
    refusal = "place taken back";
    return false;
  }
  int served = 0;
  for (const auto& [key, other] : entries_) served += other.counted && other.greeted;
  if (served >= maxClients_ && !TakeBackFor(entry.address, true)) {
    entry.counted = false;
    refusal = std::to_string(served) + " clients already";
    return false;
  }
  entry.greeted = true;
  entry.idle = true;
  entry.since = now;
  return true;
}

bool SlotTable::BeginRequest(Id id) {
  const MutexLock lock(mutex_);
  Entry& entry = entries_.at(id);
  entry.idle = false;
  return entry.counted;
}

void SlotTable::EndRequest(Id id, Clock::time_point now) {
  const MutexLock lock(mutex_);
  Entry& entry = entries_.at(id);
  entry.idle = true;
  entry.since = now;
}

std::optional<std::string> SlotTable::Leave(Id id) {
  const MutexLock lock(mutex_);
  const auto it = entries_.find(id);
  if (it == entries_.end()) return std::nullopt;
  std::optional<std::string> takenBack;
  if (!it->second.takenBack.empty()) takenBack = std::move(it->second.takenBack);
  entries_.erase(it);
  return takenBack;
}

void SlotTable::ShutdownAll() {
  const MutexLock lock(mutex_);
  for (const auto& [id, entry] : entries_) ::shutdown(entry.fd, SHUT_RDWR);
}

}  // namespace strivex::relay
