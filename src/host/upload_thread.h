#pragma once
// Lists every interpreted message in the main window and the data log, and stores its results in
// the laboratory database from the outbox, oldest first, for as long as it takes.

#include <cstdint>

#include "host/module_context.h"

namespace strivex {

// One pass over the head batch: data log, one received row per sample, removed from the queue.
// A batch the outbox could not take is stored from memory here, once (skipped while the server
// session is not connected). False when the queue was empty. The upload thread only (tests call
// it directly).
bool UploadHeadBatch(ModuleContext& context);

struct DrainResult {
  int64_t sent = 0;      // rows the server stored or refused
  bool stalled = false;  // the connection is lost (or the outbox cannot be written): wait
};

// Sends the outbox's due rows while the server takes them; stops at a lost connection or a stop.
// The upload thread only (tests call it directly).
DrainResult DrainOutbox(ModuleContext& context);

// The upload thread's body: writes the data log's session marker, then lists new batches and
// drains the outbox, waking at once for new work and at most 2 s apart, until the upload stop is
// set; batches still queued then are listed before it ends, and rows still pending stay in the
// outbox for the next start. Clears uploadFinished while it runs.
void UploadThread(ModuleContext& context);

}  // namespace strivex
