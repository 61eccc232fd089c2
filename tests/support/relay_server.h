#pragma once
// The built medianex-relay on a free loopback port, with this process's relayed sessions pointed
// at it (STRIVEX_RELAY_PORT) for as long as the object lives.

#include <string>

#include "support/background_process.h"

namespace strivex::testing {

class RelayServer {
 public:
  explicit RelayServer(const std::string& program);
  // Unsets the port and ends the relay with SIGTERM, as an operator would.
  ~RelayServer();
  RelayServer(const RelayServer&) = delete;
  RelayServer& operator=(const RelayServer&) = delete;

  // Empty once the relay listens; otherwise why it does not.
  const std::string& failure() const { return failure_; }
  BackgroundProcess& process() { return process_; }

 private:
  BackgroundProcess process_;
  std::string failure_;
};

}  // namespace strivex::testing
