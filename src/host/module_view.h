#pragma once
// What the module's core asks of its main window. The Qt window implements it; tests record the
// calls. Calls from worker threads must not wait for the window's thread: the window queues them,
// so a shutdown that waits for the workers on that thread cannot deadlock.

#include <functional>
#include <memory>
#include <string>

#include "protocol/records.h"

namespace strivex {

// kPortLost: the device went away and is being re-opened; the operator may open it now or close it
// to stop the re-opening.
enum class MenuState { kPortOpen, kPortClosed, kPortLost };

struct ReceivedRow {
  std::string id;    // the request id in decimal
  std::string date;  // "%d/%d", day and month
  std::string name;  // patient name
  std::unique_ptr<SampleRecord> sample;  // the row owns its sample until the shutdown
  // The sample's results in the outbox; the row is marked while any is not stored.
  int64_t outboxMessageId = 0;
  int32_t outboxSampleIndex = 0;
  int64_t pending = 0;
  int64_t rejected = 0;
  // A printout without a usable sample identifier: its results wait until the operator gives them
  // a request (the row's id is then "-").
  bool unassigned = false;
};

class ModuleView {
 public:
  virtual ~ModuleView() = default;

  // Worker threads (queued, never waited for).
  virtual void SetPatientText(const std::string& text) = 0;
  virtual void AddReceivedRow(ReceivedRow row) = 0;
  // The row of that outbox sample now has this many results waiting and refused.
  virtual void SetRowBacklog(int64_t outboxMessageId, int32_t outboxSampleIndex, int64_t pending,
                             int64_t rejected) = 0;
  // The row of that outbox sample, and its sample, name the patient the server gave. A view that
  // shows no names (the benchmarks') may ignore it.
  virtual void SetRowPatient(int64_t /*outboxMessageId*/, int32_t /*outboxSampleIndex*/,
                             const std::string& /*name*/) {}
  // Something the operator must know, shown without holding up the caller.
  virtual void NotifyOperator(const std::string& text) = 0;
  // Runs `call` on the window's thread later (a worker's answer to something the window asked);
  // dropped when the window is gone first.
  virtual void Post(std::function<void()> call) = 0;

  // The window's own thread.
  virtual std::string RequestCodeText() = 0;
  virtual void SetRequestCodeText(const std::string& text) = 0;
  virtual void SetMenuState(MenuState state) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void HideWindow() = 0;
  // Frees the samples of the received list's rows.
  virtual void DeleteListItems() = 0;
};

}  // namespace strivex
