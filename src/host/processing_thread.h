#pragma once
// The consumer of the serial reception: every complete message is logged raw, interpreted and
// queued for storage.

#include "host/module_context.h"

namespace strivex {

// Runs until the receive block's stop flag is set, then waits for the last reader and reports
// RX_CONSUMER_DONE.
void ProcessingThread(ModuleContext& context);

}  // namespace strivex
