#pragma once
// A database session: one connection (the local settings file or the laboratory's server) and ten
// result-set slots read forward by column name. Operations report with booleans and type-0 values,
// never by throwing; failures go to "_acterr.log" with the system's fixed texts. The session
// reaches its database directly or through medianex-relay, as chosen by the last open.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/connection_fields.h"
#include "db/db_engine.h"
#include "db/db_error.h"
#include "db/db_value.h"

namespace strivex {

class DirectBackend;
class FailureLog;
class OutcomeLog;
class RelayedBackend;
class SessionBackend;

class BazaDeDate {
 public:
  static constexpr int kSlotCount = 10;

  // A closed session that would run statements directly.
  BazaDeDate();
  // Ends the connection and the relay reader, without a close request to the relay.
  virtual ~BazaDeDate();
  BazaDeDate(const BazaDeDate&) = delete;
  BazaDeDate& operator=(const BazaDeDate&) = delete;

  // Opens the local database file, directly only (the password guards the file the old way;
  // SQLite files have none); sets database and password on success. False when it fails: logged,
  // or, when `direct` is not 1, an operator notice (lastNotice).
  virtual bool DeschidBazaLocala(const std::string& dataSource, const std::string& password,
                                 uint8_t direct);
  // Opens by a complete connection string, directly (direct == 1) or through the relay at
  // serverAddress (RELAYHOST or RELAYHOST:PORT, kRelayDefaultPort when none). False when it fails: a direct failure is logged with the string, a relayed
  // one leaves an operator notice for a missing or unknown address and is otherwise quiet.
  virtual bool DeschidConectie(const std::string& connectionString, uint8_t direct);
  // Opens from the session's own fields: SQL Server when serverAddress is set, else the file.
  bool DeschidConectieSetari(uint8_t direct);
  // Takes the server's fields for DeschidConectieSetari (all but the mode, which the open takes).
  // Not while another thread opens the session.
  void SetServerFields(const DbConnectionFields& fields);
  // Closes the connection if connected is 1 (relayed: after the relay's answer; result sets are
  // closed but stay in their slots); connected is 0 afterwards. Never logs.
  void InchidConectie();
  // Cuts the connection at once, for a stop that must not wait on the server: an open, statement
  // or reply in flight on another thread fails as kConnectionLost, and so does every later one
  // until the next open. Any thread; never waits on the server or on the statement in flight.
  void Abort();

  // Runs a statement into a slot; false on failure. Direct: waits for the busy flag, logs a
  // failure and sets lastErrorCode, and a conversion failure still returns true after logging.
  // Relayed operations never log (but a text too long to send) nor touch busy or lastErrorCode.
  bool SQLCommand(const std::string& sql, int slot);
  // SQLCommand for callers that must know the statement took effect (a result stored, a work list
  // recorded, a relay client's status): the conversion failure SQLCommand lets through counts as
  // the refusal it is. Logged and recorded as SQLCommand does.
  bool SQLCommandApplied(const std::string& sql, int slot);
  // "SELECT * FROM table" into a slot; false on failure, logged, lastErrorCode left alone.
  bool DeschidTabel(const std::string& table, int slot);
  // "SELECT * FROM table clause" into a slot; false on failure, logged, lastErrorCode set
  // (0xFFFF without a connection, then not logged).
  bool DeschidTabel(const std::string& table, const std::string& clause, int slot);
  // Runs a statement into a slot without the busy flag; false on failure, logged.
  bool GetRecords(const std::string& sql, int slot);
  // The current row's value of a column (case-insensitive); type 0 for NULL, past the last row,
  // or a missing column or set (those two logged when direct).
  DbValue ValoareColoana(const std::string& column, int slot);
  // Moves the slot's set to its next row; false when there is none (then it stays at the end).
  bool NextElementTabel(int slot);
  // Closes the slot's set; a slot with nothing open is left alone.
  void InchidTabel(int slot);

  // For operator tools, which show whatever a statement returns (reading the columns cannot
  // tell an empty set from NULLs). Direct sessions only; relayed ones give none and false.
  std::vector<std::string> ColumnNames(int slot);  // the slot's column names; none when empty
  bool RowAvailable(int slot);                     // whether the slot's set has a current row
  // Why NextElementTabel last ended the slot's set before its last row (a row past the result
  // bound, a lost connection), in the driver's words; empty when it did not, and always when
  // relayed. NextElementTabel itself neither logs nor records this.
  std::string RowReadFailure(int slot);

  // What the calling thread's last open, SQLCommand, DeschidTabel or GetRecords came to: kNone
  // for a success; kConnectionLost when the connection is gone, never came, or did not answer in
  // time (connected is then 0: open again); kRejected when the server refused it. Relayed, a
  // failure the relay answers is kRejected (the relay ends the connection instead when its own
  // database connection is lost). Threads sharing the session each read their own.
  DbFailure lastFailure() const;
  // The words for that failure: the driver's "SQLSTATE: message" when direct, what the relayed
  // session saw when relayed; empty after a success.
  std::string lastErrorText() const;
  // What the operator is to be told of the calling thread's last failed open ("adresa web este
  // necesara", "Adresa IP nu poate fi gasita", ...); empty when there is nothing to tell. The
  // session shows nothing itself: the caller knows whether a window or a worker asked.
  std::string lastNotice() const;

  // How long to wait for the server, applied by each open from then on: the login (relayed: the
  // connect and the open's reply) and every statement (relayed: every reply). A wait that runs out
  // fails as kConnectionLost. Any thread.
  void SetTimeouts(const DbTimeouts& timeouts);
  DbTimeouts Timeouts() const;  // 5 s and 30 s until set

  // What the result sets of a direct connection may hold in memory together, applied by each
  // open from then on; 0 (the default) bounds nothing. A statement whose result would pass it
  // fails as kRejected, its text starting with kResultTooLarge, and its rows are let go. Any
  // thread.
  void LimitResults(size_t bytes) { resultLimit_.store(bytes); }
  size_t ResultLimit() const { return resultLimit_.load(); }

  // For operator tools (the log keeps its fixed format); any thread, empty before the first.
  std::string LastErrorMessage() const;  // the message of the last log entry this session wrote
  std::string LastErrorDetail() const;   // the driver's own words for that failure
  // Hands this session's "_acterr.log" entries to `writer` instead; an empty one restores the log.
  void SetErrorLogWriter(std::function<void(const std::string& entry)> writer);

  // Fields the callers read and write directly. Any thread may read the atomic ones.
  std::atomic<uint16_t> lastErrorCode{0};  // of the last direct failure (0xFFFF: no code), see above
  std::string serverIp;                    // the relay's IPv4 address, set by a relayed open
  std::string user;                        // for DeschidConectieSetari
  std::string password;                    // for DeschidConectieSetari; set by DeschidBazaLocala
  std::atomic<uint8_t> busy{0};            // held by direct statements that change slots
  std::string database;                    // file path or database name; set by DeschidBazaLocala
  std::string serverAddress;               // server (direct) or relay host[:port] (relayed)
  std::string serverPort;                  // for DeschidConectieSetari: the server's own port,
  std::string tdsVersion;                  // TDS version and character set; empty: the
  std::string clientCharset;               // driver's default
  std::atomic<uint8_t> connected{0};       // 1 while open (relayed: the relay's status byte)
  std::atomic<uint8_t> direct{1};          // the mode of the last open: 1 direct, 0 relayed
  std::atomic<int32_t> requestCounter{0};  // last relay request number; never reset
  std::string hostName;                    // this machine's name, sent in the relay greeting

 private:
  // Whether a statement may go to `slot`; records the refusal for lastFailure when not.
  bool StatementSlot(int slot);
  // The backend the operations go to: the direct one until a relayed open.
  SessionBackend& Backend() const { return *backend_.load(std::memory_order_acquire); }

  std::atomic<int64_t> loginMs_{DbTimeouts{}.login.count()};
  std::atomic<int64_t> queryMs_{DbTimeouts{}.query.count()};
  std::atomic<size_t> resultLimit_{0};
  std::unique_ptr<FailureLog> log_;
  std::unique_ptr<OutcomeLog> outcomes_;
  std::unique_ptr<DirectBackend> direct_;
  std::unique_ptr<RelayedBackend> relayed_;
  std::atomic<SessionBackend*> backend_{nullptr};
};

}  // namespace strivex
