#pragma once
// One client from its greeting to its last frame, on a session of its own.

#include <chrono>
#include <functional>
#include <string>

#include "open_policy.h"
#include "util/timings.h"

namespace strivex {
class BazaDeDate;
}

namespace strivex::relay {

// What bounds a connection.
struct ConnectionSettings {
  std::chrono::milliseconds greetingTimeout{timings::kRelayGreetingTimeout};  // from the start
  std::chrono::milliseconds requestTimeout{timings::kRelayRequestTimeout};  // a begun request
  OpenPolicy policy{{"SQL Server"}, {}};
};

// What the connection tells its owner.
struct ConnectionEvents {
  // The client greeted with this name; false when it may not be served (no free slot), which
  // ends the connection with `refusal` as the reason.
  std::function<bool(const std::string& name, std::string& refusal)> onGreeting;
  // A line for the log about this client while the connection goes on.
  std::function<void(const std::string& line)> onNotice;
  // A request begins to arrive after the client was idle; false when its place was taken back
  // meanwhile, which ends the connection before anything of the request is run.
  std::function<bool()> onRequest;
  // Every request received was answered: the client is idle again, since `answered` (taken before
  // the last reply went out, so clients answered one after the other are ordered as they were).
  std::function<void(std::chrono::steady_clock::time_point answered)> onIdle;
  // The client's session was made (non-null) or is about to go (null), so that a stop can end
  // its driver's process at once (BazaDeDate::Abort) instead of waiting out its statement.
  std::function<void(BazaDeDate* session)> onSession;
};

// Serves the connected socket `fd` (left open for the caller to close) on the calling thread until
// the client leaves or breaks a bound of `settings`. Returns why the connection ended, for the
// log; throws only what running out of memory throws.
std::string ServeConnection(int fd, const ConnectionSettings& settings, const ConnectionEvents& events);

}  // namespace strivex::relay
