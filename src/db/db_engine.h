#pragma once
// What a session needs of a database engine: open a connection string, run one statement into a
// forward-only, read-only result set, close. The SQLite engine serves the local file, the ODBC
// engine the laboratory's server.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/db_error.h"
#include "db/db_value.h"
#include "util/timings.h"

namespace strivex {

// One statement's rows, read forward; the session calls it under the slot's lock, one thread at
// a time. Nothing here logs.
// How long a session waits for the server. Drivers count whole seconds: a part of a second
// counts as a whole one.
struct DbTimeouts {
  std::chrono::milliseconds login{timings::kLoginTimeout};   // connecting and logging in
  std::chrono::milliseconds query{timings::kStatementTimeout};  // each statement (relayed: each reply)

  bool operator==(const DbTimeouts&) const = default;
};

class ResultSet {
 public:
  virtual ~ResultSet() = default;
  // No current row: the set was empty, ran past its last row, or was closed.
  virtual bool AtEnd() const = 0;
  // Moves to the next row; false with `error` set when reading it failed (the set is then at
  // its end).
  virtual bool Next(DbError& error) = 0;
  // The column's index by name, ignoring case.
  virtual std::optional<size_t> ColumnIndex(std::string_view name) const = 0;
  // The current row's value of a column (read when the row became current).
  virtual DbValue Value(size_t column) const = 0;
  // The column names in select order; none once closed.
  virtual std::vector<std::string> ColumnNames() const = 0;
  // Lets go of the rows and the driver's statement; the set is then at its end with no columns.
  virtual void Close() = 0;
};

// One connection. Execute may run on several threads at once; Open and Close run alone (the
// session sees to both), Abort beside any of them. Nothing here logs: failures come back in a
// DbError. Every login and statement has a deadline (DbTimeouts) that holds when the server
// never answers.
class DbEngine {
 public:
  virtual ~DbEngine() = default;
  // Connects within timeouts.login, closing any previous connection first; every later statement
  // is bounded by timeouts.query. False with `error` when it cannot connect.
  virtual bool Open(const std::string& connectionString, const DbTimeouts& timeouts, DbError& error) = 0;
  // What the result sets read from the connections opened from then on may hold in memory
  // together, in bytes; 0 (the default) bounds nothing. A statement whose result would pass it
  // fails with ResultBudget::TooLarge and its rows are let go. An engine that holds one row at a
  // time needs no bound.
  virtual void LimitResults(size_t bytes) { static_cast<void>(bytes); }
  // Runs the statement; null with `error` on failure (kConnectionLost when there is no
  // connection). A statement without rows gives a set that is at its end.
  virtual std::unique_ptr<ResultSet> Execute(const std::string& sql, DbError& error) = 0;
  // Ends the connection once the result sets read from it are gone; Execute then fails.
  virtual void Close() = 0;
  // Cuts the connection at once, from any thread, while Open or Execute may be waiting on the
  // server: they return with kConnectionLost, and so does every later statement until the next
  // Open. An engine without a server has nothing to cut.
  virtual void Abort() {}
};

// The engine for a connection string: SQLite for the Jet provider strings, otherwise ODBC with the
// driver in a helper process.
std::unique_ptr<DbEngine> MakeEngine(std::string_view connectionString);

}  // namespace strivex
