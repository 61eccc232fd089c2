#include "serial/message_pump.h"

#include <chrono>

#include "util/timings.h"

namespace strivex {

bool ServeCompleteMessage(PortSerial& port, ReceiveContext& context, const MessageConsumer& consume,
                          const NoticeSink& notice) {
  if (context.state.load(std::memory_order_acquire) != RX_COMPLETE) return false;
  context.state.store(RX_IDLE, std::memory_order_release);
  consume(context.Message(), context.cuts);
  context.ReleaseBuffer();
  // The stop flag is left as it is: a stop requested meanwhile ends the next reader at once.
  if (!port.StartReader(context) && notice) notice(kNoThreadNotice);
  return true;
}

bool ServeCompleteMessage(PortSerial& port, ReceiveContext& context,
                          const std::function<void(std::string_view message)>& consume) {
  return ServeCompleteMessage(port, context,
                              [&](std::string_view message, const MessageCuts&) { consume(message); });
}

void FinishConsumer(ReceiveContext& context, const MessageConsumer& consumeRest) {
  // The reader wakes us just before it sets `finished`, so the steps are short.
  while (context.finished.load(std::memory_order_acquire) == 0) {
    context.changed.WaitFor(timings::kReaderEndPoll);
  }
  // What the last reader had received when the stop came, complete or not, is not thrown away.
  if (context.length.load(std::memory_order_acquire) > 0 && consumeRest) consumeRest(context.Message(), context.cuts);
  context.ReleaseBuffer();
  context.state.store(RX_CONSUMER_DONE, std::memory_order_release);
}

}  // namespace strivex
