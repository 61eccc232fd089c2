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
#include "worklist/frame_queue.h"

namespace strivex {

class BazaDeDate;
class HostRecord;
class ModuleView;
class OutboxStore;
class PortSerial;
class ResultQueue;
struct ReceiveContext;

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

struct ModuleContext {
  // The request number the operator confirmed, given to the next message; 0 for none.
  std::atomic<int32_t> requestId{0};
  // Non-zero while a work list is read from the server (the panel says "Citesc lista pacienti").
  std::atomic<int32_t> workListReading{0};
  PortSerial* port = nullptr;
  ReceiveContext* receive = nullptr;
  ResultQueue* resultQueue = nullptr;
  std::atomic<uint8_t> uploadStop{0};          // set by the shutdown: store what is left, then end
  std::atomic<uint8_t> receivingIndicator{0};  // the panel's red "R" mark while bytes arrive
  HostRecord* host = nullptr;  // its offset 71 is the server-unavailable flag
  ModuleView* view = nullptr;  // the received list and the PACIENT field
  SampleList workList;         // the window's thread only
  // Confirmed work-list frames waiting for the line; the frame sender drains them.
  FrameQueue frameQueue;
  // Where the next work-list dialog starts; kept for the module's life (window's thread only).
  int32_t nextPosition = 1;
  int32_t currentDisk = 1;
  BazaDeDate* serverSession = nullptr;
  BazaDeDate* localSession = nullptr;
  // The session the instrument's data is read through: the local one while the server is
  // unavailable. Set by the start-up; ModuleCore keeps no copy.
  BazaDeDate* activeSession = nullptr;
  int32_t hostMachineId = 0;    // the machine id the host gave
  int32_t localMachineId = 0;   // the instrument's MACHINES id in the local database, low 16 bits
  int32_t resultMachineId = 0;  // the machine id results are stored under; 0 without the server
  std::atomic<int32_t> uploadProgress{0};  // percent of the batch being stored
  std::atomic<uint8_t> uploadFinished{1};  // 0 while the upload thread runs
  std::atomic<uint8_t> statusRepaint{0};   // asks the panel to paint at its next tick
  uint8_t serverValid = 0;                 // 1 when the start-up connected to the server
  std::string instrumentName;
  std::vector<ReplacementCodeEntry> replacementCodes;
  std::vector<InvestigationCodeEntry> investigationCodes;
  TranslationList translations;  // filled and used by the processing thread only
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
  std::atomic<int64_t> outboxUnassigned{0};
  std::atomic<int64_t> outboxOtherMachines{0};  // rows of other instruments, never sent here
  std::atomic<uint8_t> outboxFailed{0};  // a message could not be committed to it
  // Called by the processing thread on every pass: re-opens a port whose device came back.
  std::function<void()> watchPort;
};

}  // namespace strivex
