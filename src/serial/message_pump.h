#pragma once
// The consumer's side of the hand-over, shared by the processing thread and the operator tools.

#include <functional>
#include <string>
#include <string_view>

#include "serial/port_serial.h"
#include "serial/receive_context.h"

namespace strivex {

// What the consumer is handed: the message's bytes (valid during the call) and how it was cut.
using MessageConsumer = std::function<void(std::string_view message, const MessageCuts& cuts)>;

// Receives what the operator is to be told (the consumer's thread decides how).
using NoticeSink = std::function<void(const std::string& notice)>;

// Consumer thread only. When a message is complete: marks the context idle, hands the message to
// `consume`, frees the buffer and starts the reader of the next message (a reader that cannot
// start goes to `notice`). Returns whether a message was served; false at once otherwise.
bool ServeCompleteMessage(PortSerial& port, ReceiveContext& context, const MessageConsumer& consume,
                          const NoticeSink& notice = nullptr);
// The same for a consumer that looks at the bytes alone.
bool ServeCompleteMessage(PortSerial& port, ReceiveContext& context,
                          const std::function<void(std::string_view message)>& consume);

// Consumer thread only, after setting `stop`: waits until the last reader has ended, hands what it
// had received (a partial message, or a complete one not yet served) to `consumeRest`, frees the
// buffer and reports RX_CONSUMER_DONE.
void FinishConsumer(ReceiveContext& context, const MessageConsumer& consumeRest = nullptr);

}  // namespace strivex
