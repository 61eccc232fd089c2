#pragma once
// The module's state, held as parts each with one owner and private state: the server link, the
// reception, the upload, what the window shows, the workers' failures and the work list. A worker
// or dialog is handed the parts it uses, never the whole.

#include <atomic>
#include <cstdint>

#include "host/processing_thread.h"
#include "host/read_model.h"
#include "host/reception.h"
#include "host/server_link.h"
#include "host/server_reconnector.h"
#include "host/upload_state.h"
#include "host/upload_thread.h"
#include "protocol/records.h"
#include "util/steady_clock.h"
#include "util/worker_failure.h"
#include "worklist/frame_queue.h"

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

  // Non-zero while a work list is read from the server (the panel says "Citesc lista pacienti").
  std::atomic<int32_t> workListReading{0};
  SampleList workList;  // the window's thread only
  // Confirmed work-list frames waiting for the line; the frame sender drains them.
  FrameQueue frameQueue;
  // Where the next work-list dialog starts; kept for the module's life (window's thread only).
  int32_t nextPosition = 1;
  int32_t currentDisk = 1;
};

}  // namespace strivex
