#pragma once
// One client from its greeting to its last frame, on a session of its own.

#include <functional>
#include <string>

namespace strivex::relay {

// Serves the connected socket `fd` (left open for the caller to close) on the calling thread until
// the client leaves. `onGreeting` gets the client's name once the greeting is read. Returns why
// the connection ended, for the log; throws only what running out of memory throws.
std::string ServeConnection(int fd, const std::function<void(const std::string&)>& onGreeting);

}  // namespace strivex::relay
