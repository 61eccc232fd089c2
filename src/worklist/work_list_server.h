#pragma once
// What the work list needs of the laboratory server: its statements run on the session shared
// with the module's other threads, under the instrument's machine id, and each outcome comes back
// with the reason the operator and the log are given.

#include <cstdint>
#include <functional>
#include <string>

namespace strivex {

class BazaDeDate;

struct ServerAnswer {
  bool applied = false;
  std::string reason;  // the server's words, or that it is not connected; empty when applied
};

class WorkListServer {
 public:
  // True when the work took effect.
  using Work = std::function<bool(BazaDeDate& session, int32_t machineId)>;

  virtual ~WorkListServer() = default;
  // Runs `work` once the session is free of the other threads' statements. Any thread but the
  // window's, which must not wait behind them.
  virtual ServerAnswer Run(const Work& work) = 0;
};

}  // namespace strivex
