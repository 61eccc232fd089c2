#pragma once
// Lists every interpreted message in the main window and the data log, and stores its results in
// the laboratory database from the outbox, oldest first, for as long as it takes.

#include <cstdint>
#include <vector>

#include "host/read_model.h"
#include "host/reception.h"
#include "host/server_link.h"
#include "host/upload_state.h"
#include "util/worker_failure.h"

namespace strivex {

// What the upload works with: its own state, the server link, the window it lists rows in, the
// workers' failures, and the reception, whose end tells it the last batch is queued.
struct UploadParts {
  UploadState& upload;
  ServerLink& server;
  ReadModel& shown;
  WorkerWatch& workers;
  const Reception& reception;
};

// A listed row whose patient the server is to name.
struct RowPatientLookup {
  int64_t outboxMessageId = 0;
  int32_t outboxSampleIndex = 0;
  int32_t requestId = 0;
};

// One pass over the head batch: data log, one received row per sample, removed from the queue.
// Each row shows its own sample's request date and name. A batch the outbox could not take is
// stored from memory here, once (skipped while the server session is not connected). The rows
// whose patient is to be looked up (a request id, in the outbox) are appended to `lookups` when
// given. False when the queue was empty. The upload thread only (tests call it directly).
bool UploadHeadBatch(const UploadParts& parts, std::vector<RowPatientLookup>* lookups = nullptr);

// Names each row's patient from the server, one statement per row, once the rows are listed; only
// for the request itself (not another request whose bar code the number is). Nothing while the
// server is unavailable or not connected, and nothing more once it is lost (the reconnection is
// woken) or the upload stops. The upload thread only (tests call it directly).
void LookUpRowPatients(const UploadParts& parts, const std::vector<RowPatientLookup>& lookups);

struct DrainResult {
  int64_t sent = 0;      // rows the server stored or refused
  bool stalled = false;  // the connection is lost (or the outbox cannot be written): wait
};

// Sends the outbox's due rows while the server takes them; stops at a lost connection or a stop.
// The upload thread only (tests call it directly).
DrainResult DrainOutbox(const UploadParts& parts);

// The upload thread's body: writes the data log's session marker, then lists new batches, looks
// their patients up and drains the outbox, waking at once for new work and at most 2 s apart, until the upload stop is
// set; batches still queued then are listed before it ends, and rows still pending stay in the
// outbox for the next start. Clears the finished flag while it runs.
void UploadThread(const UploadParts& parts);

}  // namespace strivex
