#pragma once
// A session whose statements medianex-relay runs: every operation is a request on the relay
// connection and its reply. Relayed operations never wait for the busy flag, never set
// lastErrorCode and log nothing but a text too long to send.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "db/relay_wire.h"
#include "db/session_backend.h"
#include "db/tcp_multi_thread.h"

namespace strivex {

class RelayedBackend final : public SessionBackend {
 public:
  // Reads session.serverAddress, sets serverIp, hostName, connected and requestCounter, logs to
  // `log` and records outcomes in `outcomes`; all three outlive the backend.
  RelayedBackend(BazaDeDate& session, FailureLog& log, OutcomeLog& outcomes);

  // Connects to the relay at session.serverAddress (RELAYHOST[:PORT], kRelayDefaultPort when no
  // port is given), greets it and asks it to open `connectionString`, all within timeouts.login;
  // connected takes the status byte of the reply. Later replies are awaited for timeouts.query
  // each. Address and socket failures show the
  // system's message boxes; a refused or silent relay fails quietly.
  bool Open(const std::string& connectionString, const DbTimeouts& timeouts);

  // SessionBackend: one request each, answered by its status (ValoareColoana: a value and then a
  // status); false or type 0 when the reply says so or the connection fails. Statements record
  // their outcome; a failed or silent connection sets connected to 0.
  bool SQLCommand(const std::string& sql, int slot) override;
  bool DeschidTabel(const std::string& table, int slot) override;
  bool DeschidTabel(const std::string& table, const std::string& clause, int slot) override;
  bool GetRecords(const std::string& sql, int slot) override;
  DbValue ValoareColoana(const std::string& column, int slot) override;
  bool NextElementTabel(int slot) override;
  void InchidTabel(int slot) override;
  // The relay does not send column names or row state: none and false.
  std::vector<std::string> ColumnNames(int slot) override;
  bool RowAvailable(int slot) override;
  std::string RowReadFailure(int slot) override;
  // Asks the relay to close, waits for its answer and ends the connection; false, with the
  // connection left as it is, when the request cannot be sent.
  bool Close() override;
  // Shuts the relay connection down: a wait for a reply ends at once.
  void Abort() override { relay_.Abandon(); }

 private:
  // Why a request got no success, in the terms of BazaDeDate::lastFailure.
  struct Failure {
    DbFailure kind = DbFailure::kNone;
    std::string text;
  };

  // Sends a request under the next number; 0 with `failure` set when a text is too long (logged)
  // or it cannot be sent.
  int32_t Send(const RelayRequest& request, Failure& failure);
  // The reply to `number` within `patience`; nothing, with `failure` set and connected 0, when
  // the connection ends or the time runs out.
  std::optional<std::string> Reply(int32_t number, std::chrono::milliseconds patience, Failure& failure);
  // Sends a request and takes its status reply; kNone when it says success.
  Failure Ask(const RelayRequest& request);
  // Ask, with the outcome recorded for lastFailure.
  bool Statement(const RelayRequest& request);
  std::chrono::milliseconds QueryPatience() const { return std::chrono::milliseconds(queryMs_.load()); }

  BazaDeDate& session_;
  FailureLog& log_;
  OutcomeLog& outcomes_;
  std::atomic<int64_t> queryMs_{DbTimeouts{}.query.count()};  // set by Open, read by every wait
  TcpMultiThread relay_;
};

}  // namespace strivex
