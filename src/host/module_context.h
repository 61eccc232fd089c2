#pragma once
// The state the start-up fills and the worker threads and dialogs share. Fields two threads touch
// are atomics; the rest is written before the workers start and only read afterwards (or belongs
// to the window's thread).

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/outside_lines_notice.h"
#include "host/server_link.h"
#include "outbox/retry_rules.h"
#include "protocol/records.h"
#include "protocol/translation.h"
#include "util/steady_clock.h"
#include "util/wake_signal.h"
#include "util/worker_failure.h"

namespace strivex {

class HostRecord;
class ModuleView;
class OutboxStore;
class PortSerial;
class ResultQueue;
struct ReceiveContext;

struct OutboxRow;

struct ModuleContext {
  ModuleContext() : ModuleContext(RealSteadyClock()) {}
  // `clock` times the module's waits and rate limits; tests set one.
  explicit ModuleContext(SteadyClock clock)
      : steadyClock(std::move(clock)), server(steadyClock), outsideLines(steadyClock) {}
  ModuleContext(const ModuleContext&) = delete;
  ModuleContext& operator=(const ModuleContext&) = delete;

  const SteadyClock steadyClock;
  // The request number the operator confirmed, given to the next message; 0 for none.
  std::atomic<int32_t> requestId{0};
  PortSerial* port = nullptr;
  ReceiveContext* receive = nullptr;
  ResultQueue* resultQueue = nullptr;
  std::atomic<uint8_t> uploadStop{0};          // set by the shutdown: store what is left, then end
  std::atomic<uint8_t> receivingIndicator{0};  // the panel's red "R" mark while bytes arrive
  HostRecord* host = nullptr;  // its offset 71 is the server-unavailable flag
  ModuleView* view = nullptr;  // the received list and the PACIENT field
  // The server session, its code lists and machine ids, for every thread that uses them.
  ServerLink server;
  // The instrument's MACHINES id in the local database, low 16 bits; written by the start-up
  // before the workers run.
  int32_t localMachineId = 0;
  std::atomic<int32_t> uploadProgress{0};  // percent of the batch being stored
  std::atomic<uint8_t> uploadFinished{1};  // 0 while the upload thread runs
  std::atomic<uint8_t> statusRepaint{0};   // asks the panel to paint at its next tick
  std::string instrumentName;
  TranslationList translations;  // filled and used by the processing thread only
  // Paces the operator's notices of result lines outside a block (processing thread only).
  OutsideLinesNotice outsideLines;
  // Every result waits here until the server confirmed it; null when the file cannot be opened
  // (results are then sent from memory, once, as they arrive).
  OutboxStore* outbox = nullptr;
  RetryPolicy retryPolicy;
  std::function<int64_t()> unixClock;  // seconds; the system clock unless a test sets one
  // Wakes the upload thread: a new batch, the server back, a stop.
  WakeSignal uploadWake;
  // Wakes the reconnection: the upload thread found the session lost.
  WakeSignal serverLost;
  // What the window shows of the outbox.
  std::atomic<int64_t> outboxPending{0};
  std::atomic<int64_t> outboxRejected{0};
  std::atomic<int64_t> outboxUnassigned{0};
  std::atomic<int64_t> outboxOtherMachines{0};  // rows of other instruments, never sent here
  std::atomic<uint8_t> outboxFailed{0};  // a message could not be committed to it
  // Unix seconds of the last message with results and of the last result the server confirmed;
  // 0 until then. For the status file.
  std::atomic<int64_t> lastReceivedAt{0};
  std::atomic<int64_t> lastStoredAt{0};
  // Called by the processing thread on every pass: re-opens a port whose device came back.
  std::function<void()> watchPort;
  // The workers' unexpected failures, and which of them stopped for good.
  WorkerWatch workers;
  // Tests only: called before each outbox row is sent; a throw stands for a failure in handling it.
  std::function<void(const OutboxRow&)> sendFault;
};

}  // namespace strivex
