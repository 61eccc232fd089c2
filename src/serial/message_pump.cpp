#include "serial/message_pump.h"

#include <chrono>
#include <thread>

namespace strivex {

bool ServeCompleteMessage(PortSerial& port, ReceiveContext& context,
                          const std::function<void(std::string_view message)>& consume) {
  if (context.state.load(std::memory_order_acquire) != RX_COMPLETE) return false;
  context.state.store(RX_IDLE, std::memory_order_release);
  consume(context.Message());
  context.ReleaseBuffer();
  // The stop flag is left as it is: a stop requested meanwhile ends the next reader at once.
  port.StartReader(context);
  return true;
}

void FinishConsumer(ReceiveContext& context) {
  while (context.finished.load(std::memory_order_acquire) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  context.ReleaseBuffer();
  context.state.store(RX_CONSUMER_DONE, std::memory_order_release);
}

}  // namespace strivex
