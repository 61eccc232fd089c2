#include "support/relay_server.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <optional>

namespace strivex::testing {

namespace {
constexpr std::string_view kListening = "listening on 127.0.0.1:";
}  // namespace

RelayServer::RelayServer(const std::string& program)
    : process_(program, {"--listen", "127.0.0.1:0"}) {
  const std::optional<std::string> line = process_.ReadLine(std::chrono::seconds(10));
  if (!line || !line->starts_with(kListening)) {
    failure_ = "medianex-relay did not start: " + process_.err();
    return;
  }
  ::setenv("STRIVEX_RELAY_PORT", line->substr(kListening.size()).c_str(), 1);
}

RelayServer::~RelayServer() {
  ::unsetenv("STRIVEX_RELAY_PORT");
  process_.Signal(SIGTERM);
  process_.Wait(std::chrono::seconds(10));
}

}  // namespace strivex::testing
