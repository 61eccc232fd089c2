#pragma once
// Who holds the relay's places, by peer address: connections waiting for their greeting, and
// clients served after it. One table for the accept loop and every connection thread; each call
// is one step under its lock, and no call blocks.
//
// A module keeps its session for hours, so idle clients are never cut for being idle. When the
// relay is full and an address holding less than its fair share asks (share = places / addresses
// holding or asking), a place is taken back from an address holding more than its share: its
// idlest connection (the one whose last request finished longest ago, or the longest-waiting
// greeting), never one with a request under way. The taken-back socket is shut down here; its
// thread notices and ends.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "util/thread_annotations.h"

namespace strivex::relay {

class SlotTable {
 public:
  using Clock = std::chrono::steady_clock;
  using Id = uint64_t;

  // `maxClients` served at once and as many waiting for their greeting; `maxPerAddress`
  // connections of either kind from one address.
  SlotTable(int maxClients, int maxPerAddress) : maxClients_(maxClients), maxPerAddress_(maxPerAddress) {}

  // A new connection from `address` (host order) on socket `fd`: its id, or why it is refused.
  std::optional<std::string> Admit(uint32_t address, int fd, Clock::time_point now, Id& id) EXCLUDES(mutex_);
  // The connection greeted: whether it is served; otherwise `refusal` says why not.
  bool Greet(Id id, Clock::time_point now, std::string& refusal) EXCLUDES(mutex_);
  // A request begins to arrive: false when the place was taken back, and the connection ends.
  bool BeginRequest(Id id) EXCLUDES(mutex_);
  // The last request was answered: idle from `now`, so its place may be taken back.
  void EndRequest(Id id, Clock::time_point now) EXCLUDES(mutex_);
  // The connection ends; its socket may be closed after this. Why its place was taken back, if
  // it was.
  std::optional<std::string> Leave(Id id) EXCLUDES(mutex_);
  // Shuts every socket down, so every connection thread ends.
  void ShutdownAll() EXCLUDES(mutex_);

 private:
  struct Entry {
    uint32_t address = 0;
    int fd = -1;
    bool greeted = false;
    bool idle = true;          // between requests (a waiting connection has none under way)
    bool counted = true;       // holds its place; false once refused or taken back
    Clock::time_point since;   // accepted, greeted, or its last request answered
    std::string takenBack;     // why its place went to another address
  };

  // Makes room among the greeted (or waiting) connections for one from `asker`: takes back the
  // idlest connection of the address furthest over its share. False when none may be taken.
  bool TakeBackFor(uint32_t asker, bool greeted) REQUIRES(mutex_);
  // Places held among the greeted (or waiting) connections, by address.
  std::map<uint32_t, int> Held(bool greeted) const REQUIRES(mutex_);
  int HeldBy(uint32_t address) const REQUIRES(mutex_);

  const int maxClients_;
  const int maxPerAddress_;
  Mutex mutex_;
  std::map<Id, Entry> entries_ GUARDED_BY(mutex_);
  Id nextId_ GUARDED_BY(mutex_) = 1;
};

}  // namespace strivex::relay
