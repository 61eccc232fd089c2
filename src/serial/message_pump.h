#pragma once
// The consumer's side of the hand-over, shared by the processing thread and the operator tools.

#include <functional>
#include <string_view>

#include "serial/port_serial.h"
#include "serial/receive_context.h"

namespace strivex {

// Consumer thread only. When a message is complete: marks the context idle, hands the message to
// `consume` (its bytes stay valid during the call), frees the buffer and starts the reader of the
// next message. Returns whether a message was served; false at once otherwise.
bool ServeCompleteMessage(PortSerial& port, ReceiveContext& context,
                          const std::function<void(std::string_view message)>& consume);

// Consumer thread only, after setting `stop`: waits until the last reader has ended, hands what it
// had received (a partial message, or a complete one not yet served) to `consumeRest`, frees the
// buffer and reports RX_CONSUMER_DONE.
void FinishConsumer(ReceiveContext& context,
                    const std::function<void(std::string_view bytes)>& consumeRest = nullptr);

}  // namespace strivex
