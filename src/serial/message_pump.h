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

// Consumer thread only, after setting `stop`: waits (checking every 200 ms) until the last reader
// has ended, frees the buffer and reports RX_CONSUMER_DONE.
void FinishConsumer(ReceiveContext& context);

}  // namespace strivex
