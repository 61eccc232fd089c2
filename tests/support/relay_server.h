#pragma once
// The built medianex-relay on a free loopback port; relayed sessions reach it at address().

#include <cstdint>
#include <string>
#include <vector>

#include "support/background_process.h"

namespace strivex::testing {

class RelayServer {
 public:
  // On a free port, or on `port` (a relay coming back where the module knows it). `extraArgs` go
  // to the relay after its --listen.
  explicit RelayServer(const std::string& program, uint16_t port = 0,
                       const std::vector<std::string>& extraArgs = {});
  // Ends the relay with SIGTERM, as an operator would.
  ~RelayServer();

  uint16_t port() const { return port_; }
  // "127.0.0.1:PORT", as "Adresa Server" or --relay name it.
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  // Ends the relay now, keeping the object for the test.
  void Stop();
  RelayServer(const RelayServer&) = delete;
  RelayServer& operator=(const RelayServer&) = delete;

  // Empty once the relay listens; otherwise why it does not.
  const std::string& failure() const { return failure_; }
  BackgroundProcess& process() { return process_; }

 private:
  BackgroundProcess process_;
  std::string failure_;
  uint16_t port_ = 0;
};

}  // namespace strivex::testing
