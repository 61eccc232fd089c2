#pragma once
// Joins the two messages of each request (command name, then arguments) by request number:
// messages of different requests may interleave on one connection.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "db/relay_frame_reader.h"

namespace strivex::relay {

// A whole request as received.
struct Request {
  int32_t number = 0;
  std::string command;
  std::string arguments;
};

// One connection's pending names; used by that connection's thread only.
class RequestPairer {
 public:
  // The whole request once its second message came; nullopt while its name waits.
  std::optional<Request> Add(RelayFrame frame);
  // Names still waiting for their arguments; a client that piles them up is misbehaving.
  size_t Pending() const { return commands_.size(); }

 private:
  std::map<int32_t, std::string> commands_;
};

}  // namespace strivex::relay
