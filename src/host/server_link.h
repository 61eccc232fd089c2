#pragma once
// The laboratory server as the module's threads share it: the session, the code lists results are
// mapped through, the machine ids and where a lost session reconnects to, all behind one lock.
// Work on the session goes through Run (worker threads) or TryRun (the window's thread, which
// never waits behind a login), and every caller gets the outcome classified the same way.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "util/steady_clock.h"
#include "util/thread_annotations.h"
#include "util/timings.h"

namespace strivex {

class BazaDeDate;

// One row of L_REPLACEMENT_CODES for the instrument.
struct ReplacementCodeEntry {
  std::string replacementCode;
  std::string machineCode;
};

// One investigation of the instrument with one of its details (detail fields empty when it has
// none), as the result codes are mapped through them.
struct InvestigationCodeEntry {
  int32_t investigationId = 0;
  std::string investigationCode;
  int32_t detailId = 0;
  std::string detailCode;
};

struct CodeLists {
  std::vector<ReplacementCodeEntry> replacement;
  std::vector<InvestigationCodeEntry> investigation;
};

struct MachineIds {
  int32_t host = 0;    // the instrument's id on the server (the host's, or found by name)
  int32_t result = 0;  // the id results are stored under; 0 without the server
};

// How work on the session ended.
enum class LinkOutcome {
  kApplied,         // the work did what it meant to
  kRefused,         // the server refused a statement; the connection is fine
  kConnectionLost,  // not connected, or lost meanwhile (a dead connection is closed)
  kBusy,            // TryRun only: another thread held the session past the wait
};

struct LinkResult {
  LinkOutcome outcome = LinkOutcome::kConnectionLost;
  std::string serverText;  // the server's or the driver's words for a failure
};

class ServerLink {
 public:
  // `clock` times the work in flight (WorkSince).
  explicit ServerLink(SteadyClock clock = RealSteadyClock()) : clock_(std::move(clock)) {}

  // What work sees of the link; it exists only while the lock is held.
  class Scope {
   public:
    BazaDeDate& session() { return session_; }
    CodeLists& codes() { return codes_; }
    MachineIds& machineIds() { return ids_; }
    // Where a lost session reconnects to.
    std::string& target() { return target_; }
    uint8_t& targetDirect() { return targetDirect_; }

   private:
    friend class ServerLink;
    Scope(BazaDeDate& session, CodeLists& codes, MachineIds& ids, std::string& target, uint8_t& direct)
        : session_(session), codes_(codes), ids_(ids), target_(target), targetDirect_(direct) {}
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    BazaDeDate& session_;
    CodeLists& codes_;
    MachineIds& ids_;
    std::string& target_;
    uint8_t& targetDirect_;
  };

  // True when the work took effect; false after a failed statement or login, which the link then
  // classifies from the session.
  using Work = std::function<bool(Scope&)>;
  // kConnected: the work needs an open session (kConnectionLost without running it otherwise);
  // kAlways: the work opens or closes the session itself (the reconnection, the settings' switch).
  enum class Needs { kConnected, kAlways };

  // The session the link works on, set before the threads start and cleared after they ended;
  // null: every Run is kConnectionLost.
  void Attach(BazaDeDate* session) { session_.store(session); }
  // Whether the session is open now; a hint, as it may be lost the moment after.
  bool Connected() const;

  // Runs `work` under the lock; waits for a login in progress. Worker threads. An exception out of
  // `work` leaves the link as it found it (unlocked, no work in flight) and goes on to the caller.
  LinkResult Run(const Work& work, Needs needs = Needs::kConnected) EXCLUDES(mutex_);
  // Runs `work` only if the lock is free within `wait`; kBusy otherwise. The window's thread.
  LinkResult TryRun(const Work& work, std::chrono::milliseconds wait = std::chrono::milliseconds(0),
                    Needs needs = Needs::kConnected) EXCLUDES(mutex_);

  // Copies and settings under the lock, for the start-up and for tests.
  void SetCodes(CodeLists codes) EXCLUDES(mutex_);
  void SetMachineIds(MachineIds ids) EXCLUDES(mutex_);
  MachineIds Ids() EXCLUDES(mutex_);
  void SetTarget(std::string connectionString, uint8_t direct) EXCLUDES(mutex_);

  // For the stop, which must not wait on a server that does not answer: the work in flight fails
  // at once (its connection is cut) and every later Run and TryRun is kConnectionLost without
  // running. Any thread; never waits for the lock.
  void Abort();
  // When the work in flight started; nothing while none runs. Any thread, without the lock: the
  // window reads it while a worker may be stuck on the server.
  std::optional<std::chrono::steady_clock::time_point> WorkSince() const;
  // Whether the work in flight has run longer than `threshold` at `now`.
  bool Overdue(std::chrono::steady_clock::time_point now,
               std::chrono::milliseconds threshold = timings::kServerOverdue) const;

 private:
  LinkResult RunLocked(const Work& work, Needs needs) REQUIRES(mutex_);

  // Marks the work in flight for WorkSince until it ends, however it ends.
  class InFlight;
  static constexpr std::chrono::steady_clock::rep kNoWork = std::numeric_limits<std::chrono::steady_clock::rep>::min();

  const SteadyClock clock_;
  Mutex mutex_;
  std::atomic<BazaDeDate*> session_{nullptr};  // statements on it only with mutex_ held
  std::atomic<bool> aborted_{false};
  // Of the work in flight, steady clock ticks; kNoWork while none runs (0 is a time like any
  // other: the clock's epoch is the machine's boot).
  std::atomic<std::chrono::steady_clock::rep> workSince_{kNoWork};
  CodeLists codes_ GUARDED_BY(mutex_);
  MachineIds ids_ GUARDED_BY(mutex_);
  std::string target_ GUARDED_BY(mutex_);
  uint8_t targetDirect_ GUARDED_BY(mutex_) = 1;
};

}  // namespace strivex
