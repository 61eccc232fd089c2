#pragma once
// What the window, its status panel and the status file show of the workers: the window the
// workers tell (queued, never waited for), the host's server-unavailable flag, the receiving mark,
// the panel's repaint request and when the last message with results arrived.

#include <atomic>
#include <cstdint>

namespace strivex {

class HostRecord;
class ModuleView;

class ReadModel {
 public:
  ReadModel() = default;
  ReadModel(const ReadModel&) = delete;
  ReadModel& operator=(const ReadModel&) = delete;

  // The start-up (or a test), before the workers run; both outlive the workers.
  void Attach(ModuleView* view, HostRecord* host) {
    view_ = view;
    host_ = host;
  }
  // The received list and the PACIENT field; its worker calls are queued by the window.
  ModuleView* view() const { return view_; }

  // Whether a host's record is attached (tests run the workers without one).
  bool HostAttached() const { return host_ != nullptr; }
  // The host's record says the server is not to be used (its offset 71). Any thread.
  bool ServerUnavailable() const;
  void SetServerUnavailable(bool unavailable);

  // The panel's red "R" mark while bytes arrive.
  uint8_t receivingIndicator() const { return receivingIndicator_.load(); }
  void SetReceivingIndicator(uint8_t mark) { receivingIndicator_.store(mark); }
  // Asks the panel to paint at its next tick.
  void RequestRepaint() { repaint_.store(1); }
  void SetRepaint(bool repaint) { repaint_.store(repaint ? 1 : 0); }
  uint8_t repaint() const { return repaint_.load(); }
  // Unix seconds of the last message with results; 0 until then.
  void MarkReceived(int64_t at) { lastReceivedAt_.store(at); }
  int64_t lastReceivedAt() const { return lastReceivedAt_.load(); }

 private:
  // Written before the workers start.
  ModuleView* view_ = nullptr;
  HostRecord* host_ = nullptr;
  std::atomic<uint8_t> receivingIndicator_{0};
  std::atomic<uint8_t> repaint_{0};
  std::atomic<int64_t> lastReceivedAt_{0};
};

}  // namespace strivex
