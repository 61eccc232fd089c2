#pragma once
// The state the start-up fills and the worker threads and dialogs share. Fields two threads touch
// are atomics; the rest is written before the workers start and only read afterwards (or belongs
// to the window's thread).

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "outbox/retry_rules.h"
#include "protocol/records.h"
#include "protocol/translation.h"
#include "util/wake_signal.h"

namespace strivex {

class BazaDeDate;
class HostRecord;
class ModuleView;
class OutboxStore;
class PortSerial;
class ResultQueue;
struct ReceiveContext;

struct ReplacementCodeEntry {
  std::string replacementCode;
  std::string machineCode;
};

struct InvestigationCodeEntry {
  int32_t investigationId = 0;
  std::string investigationCode;
  int32_t detailId = 0;
  std::string detailCode;
};

struct ModuleContext {
  std::atomic<int32_t> requestId{0};
  std::atomic<int32_t> workListReading{0};
  PortSerial* port = nullptr;
  ReceiveContext* receive = nullptr;
  ResultQueue* resultQueue = nullptr;
  std::atomic<uint8_t> uploadStop{0};
  std::atomic<uint8_t> receivingIndicator{0};
  HostRecord* host = nullptr;  // its offset 71 is the server-unavailable flag
  ModuleView* view = nullptr;  // the received list and the PACIENT field
  SampleList workList;         // the window's thread only
  BazaDeDate* serverSession = nullptr;
  BazaDeDate* localSession = nullptr;
  BazaDeDate* activeSession = nullptr;
  int32_t hostMachineId = 0;
  int32_t localMachineId = 0;
  int32_t resultMachineId = 0;
  std::atomic<int32_t> uploadProgress{0};
  std::atomic<uint8_t> uploadFinished{1};
  std::atomic<uint8_t> statusRepaint{0};
  uint8_t serverValid = 0;
  std::string instrumentName;
  std::vector<ReplacementCodeEntry> replacementCodes;
  std::vector<InvestigationCodeEntry> investigationCodes;
  TranslationList translations;  // filled and used by the processing thread only
  uint8_t directConect = 0;

  // Once the workers run, the server session, the code lists and the result machine id are used
  // by the upload thread, the reconnection and the window's thread: only under this lock.
  std::mutex serverMutex;
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
  std::atomic<uint8_t> outboxFailed{0};  // a message could not be committed to it
  // Called by the processing thread on every pass: re-opens a port whose device came back.
  std::function<void()> watchPort;
};

}  // namespace strivex
