#pragma once
// Stores every queued batch in the laboratory database, writes the data log and lists each sample
// in the main window.

#include "host/module_context.h"

namespace strivex {

// One pass over the head batch: store each result through L_RESULT_INSERT (skipped while the
// server session is not connected), write the data log, list each sample, remove the batch.
// False when the queue was empty. The upload thread only (tests call it directly).
bool UploadHeadBatch(ModuleContext& context);

// The upload thread's body: writes the data log's session marker, then a pass every 2 s until the
// upload stop is set; batches still queued then (the processing thread has ended by the time the
// queue runs dry) are stored before it ends. Clears uploadFinished while it runs.
void UploadThread(ModuleContext& context);

}  // namespace strivex
