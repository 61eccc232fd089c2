#pragma once
// A session whose statements medianex-relay runs: every operation is a request on the relay
// connection and its reply. Relayed operations never wait for the busy flag, never set
// lastErrorCode and log nothing but a text too long to send.

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
  // Reads session.serverAddress, sets serverIp, hostName, connected and requestCounter, and logs
  // to `log`; both outlive the backend.
  RelayedBackend(BazaDeDate& session, FailureLog& log);

  // Connects to the relay at session.serverAddress, greets it and asks it to open
  // `connectionString`; connected takes the status byte of the reply. Address and socket failures
  // show the system's message boxes; a refused connection fails quietly.
  bool Open(const std::string& connectionString);

  // SessionBackend: one request each, answered by its status (ValoareColoana: a value and then a
  // status); false or type 0 when the reply says so or the connection fails.
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
  // Asks the relay to close, waits for its answer and ends the connection; false, with the
  // connection left as it is, when the request cannot be sent.
  bool Close() override;

 private:
  // Sends a request under the next number; 0 when a text is too long (logged) or it cannot be
  // sent.
  int32_t Send(const RelayRequest& request);
  // Sends a request and takes its status reply; false when the reply says so or never comes.
  bool Status(const RelayRequest& request);

  BazaDeDate& session_;
  FailureLog& log_;
  TcpMultiThread relay_;
};

}  // namespace strivex
