#pragma once
// The hand-over between the serial reader (producer) and the processing thread (consumer). The
// reader alone writes the buffer until it sets RX_COMPLETE; from then on the consumer owns it
// until it starts the next reader. Every field two threads touch is atomic.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

#include "serial/message_cuts.h"
#include "util/wake_signal.h"
#include "util/worker_failure.h"

namespace strivex {

// The reception's state, shown by the status panel; the reader sets 1-3, the consumer 0 and 10.
enum RxState : int32_t {
  RX_IDLE = 0,
  RX_RECEIVING = 1,
  RX_SILENCE = 2,
  RX_COMPLETE = 3,
  RX_CONSUMER_DONE = 10,
};

struct PortLink;

struct ReceiveContext {
  ReceiveContext() = default;
  ReceiveContext(const ReceiveContext&) = delete;
  ReceiveContext& operator=(const ReceiveContext&) = delete;

  // Received bytes; at RX_COMPLETE `length` bytes followed by a NUL.
  std::unique_ptr<char[]> data;
  std::atomic<int32_t> length{0};    // bytes stored so far
  std::atomic<int32_t> capacity{0};  // bytes allocated
  // How the message was cut; owned like `data` (the reader's until the hand-over).
  MessageCuts cuts;
  // Set by whoever ends the reception; the reader then ends within about a second.
  std::atomic<uint8_t> stop{0};
  std::atomic<int> portHandle{-1};  // the handle the reader waits on; the port owns it
  std::atomic<int32_t> state{RX_IDLE};
  // The port the reader serves: its open and reader-running flags and the guard of its handle.
  std::atomic<PortLink*> port{nullptr};
  std::atomic<uint8_t> finished{0};  // 1 once the last started reader has ended
  // Notified when a message completes, a reader finishes or a stop is asked for.
  WakeSignal changed;
  // Where a reader's unexpected failure is told; set before the first reader starts.
  WorkerWatch* workers = nullptr;

  // Asks the reader and the consumer to end, and wakes the consumer.
  void RequestStop() {
    stop.store(1, std::memory_order_release);
    changed.Notify();
  }

  // The complete message (valid from RX_COMPLETE until ReleaseBuffer).
  std::string_view Message() const {
    return {data.get(), static_cast<size_t>(length.load(std::memory_order_acquire))};
  }
  // Frees the buffer; length and capacity back to 0, the cuts those of a fresh message (which
  // starts inside a line when the limit cut this one there). Only while no reader runs on it.
  void ReleaseBuffer() {
    const MessageStart next = NextMessageStart(Message(), cuts);
    cuts = MessageCuts();
    cuts.start = next;
    data.reset();
    length.store(0, std::memory_order_release);
    capacity.store(0, std::memory_order_release);
  }
};

}  // namespace strivex
