#include "support/relay_server.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <optional>

namespace strivex::testing {

namespace {

constexpr std::string_view kListening = "listening on 127.0.0.1:";

std::vector<std::string> Arguments(uint16_t port, const std::vector<std::string>& extraArgs) {
  std::vector<std::string> args = {"--listen", "127.0.0.1:" + std::to_string(port)};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  return args;
}

}  // namespace

RelayServer::RelayServer(const std::string& program, uint16_t port, const std::vector<std::string>& extraArgs)
    : process_(program, Arguments(port, extraArgs)) {
  const std::optional<std::string> line = process_.ReadLine(std::chrono::seconds(10));
  if (!line || !line->starts_with(kListening)) {
    failure_ = "medianex-relay did not start: " + process_.err();
    return;
  }
  port_ = static_cast<uint16_t>(std::atoi(line->substr(kListening.size()).c_str()));
}

void RelayServer::Stop() {
  process_.Signal(SIGTERM);
  process_.Wait(std::chrono::seconds(10));
}

RelayServer::~RelayServer() { Stop(); }

}  // namespace strivex::testing
