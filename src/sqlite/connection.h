#pragma once
// One open SQLite database, closed with its owner. Statements and transactions borrow it and must
// end before it does.

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "sqlite/error.h"

namespace strivex::sqlite {

class Connection {
 public:
  Connection() = default;  // closed

  // Opens an existing file for reading and writing, usable from any thread (SQLite serialises the
  // calls). Closed, with SQLite's reason in error, when it cannot.
  static Connection Open(const std::string& path, Error& error);

  bool ok() const { return db_ != nullptr; }
  // For the settings this layer does not wrap (limits, the authorizer).
  sqlite3* get() const { return db_.get(); }

  // How long a statement waits for another connection's lock; zero fails at once with SQLITE_BUSY.
  void SetBusyTimeout(std::chrono::milliseconds wait);
  // Runs statements that yield no rows, one after the other up to the first that fails.
  bool Exec(const char* sql, Error& error);

  int64_t Changes() const { return sqlite3_changes(db_.get()); }
  int64_t LastInsertId() const { return sqlite3_last_insert_rowid(db_.get()); }
  // The failure of the latest call on this connection.
  Error LastError() const;

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  std::unique_ptr<sqlite3, Closer> db_;
};

}  // namespace strivex::sqlite
