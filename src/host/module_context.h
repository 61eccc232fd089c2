#pragma once
// The module's state, held as parts each with one owner and private state: the server link, the
// reception, the upload, what the window shows and the workers' failures (the work list is a
// service the core holds). A worker or dialog is handed the parts it uses, never the whole.

#include "host/processing_thread.h"
#include "host/read_model.h"
#include "host/reception.h"
#include "host/server_link.h"
#include "host/server_reconnector.h"
#include "host/upload_state.h"
#include "host/upload_thread.h"
#include "util/steady_clock.h"
#include "util/worker_failure.h"

namespace strivex {

struct ModuleContext {
  ModuleContext() : ModuleContext(RealSteadyClock()) {}
  // `clock` times the module's waits and rate limits; tests set one.
  explicit ModuleContext(SteadyClock clock)
      : steadyClock(std::move(clock)), server(steadyClock), reception(steadyClock) {}
  ModuleContext(const ModuleContext&) = delete;
  ModuleContext& operator=(const ModuleContext&) = delete;

  const SteadyClock steadyClock;
  // The server session, its code lists and machine ids, for every thread that uses them.
  ServerLink server;
  Reception reception;
  UploadState upload;
  ReadModel shown;
  // The workers' unexpected failures, and which of them stopped for good.
  WorkerWatch workers;

  // What each worker is handed.
  ProcessingParts ForProcessing() { return {reception, upload, shown, workers}; }
  UploadParts ForUpload() { return {upload, server, shown, workers, reception}; }
  ReconnectParts ForReconnection() { return {server, upload, shown, workers}; }
};

}  // namespace strivex
