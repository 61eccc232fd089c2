#pragma once
// The consumer of the serial reception: every complete message is logged raw, interpreted and
// queued for storage.

#include "host/read_model.h"
#include "host/reception.h"
#include "host/upload_state.h"
#include "util/worker_failure.h"

namespace strivex {

// What the processing thread works with: the reception it serves, the upload it hands results to,
// the window it tells, and the workers' failures.
struct ProcessingParts {
  Reception& reception;
  UploadState& upload;
  ReadModel& shown;
  WorkerWatch& workers;
};

// Told to "_acterr.log" and the operator for a line that arrived incomplete (cut by a stop, the
// message limit or the device going away) and was left out of the interpretation.
inline constexpr const char* kTornLineOfRequest =
    "Linia \"%s\" a sosit incompleta (cererea %d) si nu a fost interpretata; cititi din nou banda.";
inline constexpr const char* kTornLine =
    "Linia \"%s\" a sosit incompleta si nu a fost interpretata; cititi din nou banda.";

// The processing thread's body: loads the code translations, starts the first reader, serves
// every complete message (raw log "_Strivex.log", interpreter without the message's torn lines,
// result queue) and, once the receive block's stop flag is set, waits for the last reader and
// reports RX_CONSUMER_DONE.
void ProcessingThread(const ProcessingParts& parts);

}  // namespace strivex
