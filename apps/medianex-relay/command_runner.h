#pragma once
// Runs one relayed command on the connection's own session and gives the reply texts in the
// order the client awaits them. Nothing a client sends makes it throw or stop answering; a
// database connection lost behind the relay ends the client's connection unanswered, which the
// client takes for a lost connection too (a status byte cannot tell it from a refusal).

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/baza_de_date.h"
#include "open_policy.h"

namespace strivex::relay {

// What a command gives back.
struct CommandOutcome {
  std::vector<std::string> replies;  // texts, each sent as a frame with the request's number
  bool endConnection = false;        // after "InchidConectie", or the database connection was lost
  std::string reason;                // why it ends, for the log
  std::string notice;                // a line for the log although the connection goes on
};

// One connection's commands; used by that connection's thread only.
class CommandRunner {
 public:
  // Runs the commands on `session`, which outlives the runner; opens only what `policy` allows
  // (by default: the "SQL Server" driver, no local files) and bounds the session's results by it.
  explicit CommandRunner(BazaDeDate& session, OpenPolicy policy = {{"SQL Server"}, {}})
      : session_(session), policy_(std::move(policy)) {
    session_.LimitResults(policy_.maxResultBytes);
  }

  // Runs a command on the session; an unknown command or unusable arguments answer failure in
  // the shape the client awaits for that command. Session failures are logged by the session.
  CommandOutcome Run(std::string_view command, std::string_view arguments);

 private:
  // The status of an open or a statement, or the end of the connection when the session lost
  // its database connection; a result refused for its size is told in the log.
  CommandOutcome Answer(bool ok);

  BazaDeDate& session_;
  OpenPolicy policy_;
};

}  // namespace strivex::relay
