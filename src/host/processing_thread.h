#pragma once
// The consumer of the serial reception: every complete message is logged raw, interpreted and
// queued for storage.

#include "host/module_context.h"

namespace strivex {

// The processing thread's body: loads the code translations, starts the first reader, serves
// every complete message (raw log "_Strivex.log", interpreter, result queue) and, once the receive
// block's stop flag is set, waits for the last reader and reports RX_CONSUMER_DONE.
void ProcessingThread(ModuleContext& context);

}  // namespace strivex
