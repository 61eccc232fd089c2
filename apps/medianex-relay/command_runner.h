#pragma once
// Runs one relayed command on the connection's own session and gives the reply texts in the
// order the client awaits them. Nothing a client sends makes it throw or stop answering.

#include <string>
#include <string_view>
#include <vector>

#include "db/baza_de_date.h"

namespace strivex::relay {

struct CommandOutcome {
  std::vector<std::string> replies;  // texts, each sent as a frame with the request's number
  bool endConnection = false;        // after "InchidConectie"
};

std::string StatusText(bool ok);

class CommandRunner {
 public:
  explicit CommandRunner(BazaDeDate& session) : session_(session) {}

  CommandOutcome Run(std::string_view command, std::string_view arguments);

 private:
  BazaDeDate& session_;
};

}  // namespace strivex::relay
