#pragma once
// The analyser's side of the module: the port and receive state the start-up attaches, the
// instrument they belong to, the request number the operator confirmed for the next message, and
// what the processing thread keeps for itself (translations, the pacing of its notices).

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "host/outside_lines_notice.h"
#include "protocol/translation.h"
#include "util/steady_clock.h"
#include "util/thread_annotations.h"

namespace strivex {

class PortSerial;
struct ReceiveContext;

class Reception {
 public:
  explicit Reception(SteadyClock clock) : outsideLines_(std::move(clock)) {}
  Reception(const Reception&) = delete;
  Reception& operator=(const Reception&) = delete;

  // The start-up, before the workers run.
  void Attach(PortSerial* port, ReceiveContext* receive) {
    port_ = port;
    receive_ = receive;
  }
  // What re-opens a port whose device came back; the start-up, before the workers run.
  void SetPortWatch(std::function<void()> watch) { watchPort_ = std::move(watch); }
  // The instrument's name and its MACHINES id in the local database (low 16 bits).
  void SetInstrument(std::string name, int32_t localMachineId) EXCLUDES(mutex_);
  std::string instrumentName() const EXCLUDES(mutex_);
  int32_t localMachineId() const EXCLUDES(mutex_);

  PortSerial* port() const { return port_; }
  ReceiveContext* receive() const { return receive_; }
  // Whether the processing thread has handed on its last message (or never will).
  bool ProcessingEnded() const;
  // The processing thread, on every pass.
  void WatchPort() const {
    if (watchPort_) watchPort_();
  }

  // The request number the operator confirmed, given to the next message; 0 for none. Any thread.
  int32_t requestId() const { return requestId_.load(); }
  void SetRequestId(int32_t id) { requestId_.store(id); }
  // Clears the request number unless it changed from `id` meanwhile.
  void ClearRequestId(int32_t id) { requestId_.compare_exchange_strong(id, 0); }

  // The processing thread's own.
  TranslationList& translations() { return translations_; }
  OutsideLinesNotice& outsideLines() { return outsideLines_; }

 private:
  // Written by the start-up before any worker reads them.
  PortSerial* port_ = nullptr;
  ReceiveContext* receive_ = nullptr;
  std::function<void()> watchPort_;
  mutable Mutex mutex_;
  std::string instrumentName_ GUARDED_BY(mutex_);
  int32_t localMachineId_ GUARDED_BY(mutex_) = 0;
  std::atomic<int32_t> requestId_{0};
  TranslationList translations_;
  OutsideLinesNotice outsideLines_;
};

}  // namespace strivex
