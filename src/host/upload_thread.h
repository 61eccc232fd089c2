#pragma once
// Stores every queued batch in the laboratory database, writes the data log and lists each sample
// in the main window.

#include "host/module_context.h"

namespace strivex {

// One pass over the head batch: store, log, list, remove. False when the queue was empty.
bool UploadHeadBatch(ModuleContext& context);

// Runs until the upload stop is set; batches still queued then (the processing thread has ended
// by the time the queue runs dry) are stored before it ends.
void UploadThread(ModuleContext& context);

}  // namespace strivex
