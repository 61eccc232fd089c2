#pragma once
// The built medianex-relay on a free loopback port, with this process's relayed sessions pointed
// at it (STRIVEX_RELAY_PORT) for as long as the object lives.

#include <cstdint>
#include <string>
#include <vector>

#include "support/background_process.h"

namespace strivex::testing {

class RelayServer {
 public:
  // On a free port, or on `port` (a relay coming back where the module knows it). The port
  // variable is only written when it changes: sessions of running modules read it from their
  // own threads. `extraArgs` go to the relay after its --listen.
  explicit RelayServer(const std::string& program, uint16_t port = 0,
                       const std::vector<std::string>& extraArgs = {});
  // Ends the relay with SIGTERM, as an operator would, and unsets the port if this one set it.
  ~RelayServer();

  uint16_t port() const { return port_; }
  // Ends the relay now, keeping the object (and the port variable) for the test.
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
  bool setPort_ = false;
};

}  // namespace strivex::testing
