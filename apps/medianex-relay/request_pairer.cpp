#include "request_pairer.h"

#include <utility>

namespace strivex::relay {

std::optional<Request> RequestPairer::Add(RelayFrame frame) {
  const auto waiting = commands_.find(frame.number);
  if (waiting == commands_.end()) {
    commands_.emplace(frame.number, std::move(frame.text));
    return std::nullopt;
  }
  Request request{frame.number, std::move(waiting->second), std::move(frame.text)};
  commands_.erase(waiting);
  return request;
}

}  // namespace strivex::relay
