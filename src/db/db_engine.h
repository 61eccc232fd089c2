#pragma once
// What a session needs of a database engine: open a connection string, run one statement into a
// forward-only, read-only result set, close. The SQLite engine serves the local file, the ODBC
// engine the laboratory's server.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/db_error.h"
#include "db/db_value.h"

namespace strivex {

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
  virtual std::vector<std::string> ColumnNames() const = 0;
  virtual void Close() = 0;
};

class DbEngine {
 public:
  virtual ~DbEngine() = default;
  virtual bool Open(const std::string& connectionString, DbError& error) = 0;
  // Runs the statement. A statement without rows gives a set that is at its end.
  virtual std::unique_ptr<ResultSet> Execute(const std::string& sql, DbError& error) = 0;
  virtual void Close() = 0;
};

// The engine for a connection string: SQLite for the Jet provider strings, ODBC otherwise.
std::unique_ptr<DbEngine> MakeEngine(std::string_view connectionString);

}  // namespace strivex
