#pragma once
// Brings the laboratory server's session back by itself: when it is lost, or could not be opened
// at start-up, it is reopened in the background with the stored settings, 1 s after the loss, then
// doubling up to 30 s between attempts. Never on the window's thread. A success takes the machine
// id last known (the host's, or the database settings' look-up), loads the code lists if they
// never were, clears the host's server-unavailable flag and wakes the upload thread. In
// "_acterr.log" its repeated identical failures are summarised (RepeatedFailureLog), and the end
// of an outage gets a line of its own with the outage's length.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "host/read_model.h"
#include "host/server_link.h"
#include "host/upload_state.h"
#include "util/worker_failure.h"
#include "host/repeated_failure_log.h"
#include "util/timings.h"

namespace strivex {

struct ReconnectPolicy {
  std::chrono::milliseconds first{timings::kReconnectFirst};
  std::chrono::milliseconds longest{timings::kReconnectLongest};
  // What the log's outage texts are timed by (the waits themselves use the steady clock).
  SteadyClock clock = RealSteadyClock();
};

// Doubles the delay up to the policy's longest.
std::chrono::milliseconds NextReconnectDelay(std::chrono::milliseconds delay, const ReconnectPolicy& policy);

// What the reconnection works with: the link it brings back, the upload it wakes (and whose
// reports of a lost session wake it), what the window shows, and the workers' failures.
struct ReconnectParts {
  ServerLink& server;
  UploadState& upload;
  ReadModel& shown;
  WorkerWatch& workers;
};

class ServerReconnector {
 public:
  // `operatorTold`: the start-up has already shown the failure of this outage. The connection
  // string and mode become the link's target (the database settings may change it later).
  ServerReconnector(const ReconnectParts& parts, std::string connectionString, uint8_t direct, bool operatorTold,
                    ReconnectPolicy policy = {});
  ~ServerReconnector();
  ServerReconnector(const ServerReconnector&) = delete;
  ServerReconnector& operator=(const ServerReconnector&) = delete;

  void Start();
  // Asks the thread to end without waiting for it.
  void RequestStop();
  // Ends the thread; waits at most for one login attempt in progress.
  void Stop();
  int64_t Attempts() const { return attempts_.load(); }

 private:
  void Run();
  // Waits `delay` unless stopped; false when stopped.
  bool Pause(std::chrono::milliseconds delay);
  // One attempt under the session lock; true when the session is connected afterwards.
  bool TryOnce();
  // The outage that began at `since` is over: its last repeats and its length go to the log.
  void LogRestored(std::chrono::steady_clock::time_point since);

  const ReconnectParts parts_;
  const ReconnectPolicy policy_;
  bool operatorTold_;
  std::atomic<bool> stop_{false};
  std::atomic<int64_t> attempts_{0};
  RepeatedFailureLog failures_;  // the reconnection thread's only
  std::thread thread_;
};

}  // namespace strivex
