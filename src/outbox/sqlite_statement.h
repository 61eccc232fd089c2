#pragma once
// A prepared SQLite statement owned with its handle, with the few bind and read calls the outbox
// needs. Texts are bound and read as bytes: results are Windows-1250, not UTF-8.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace strivex {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;

class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, std::string_view sql);
  bool ok() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_.get(); }

  SqliteStatement& Bind(int index, int64_t value);
  SqliteStatement& Bind(int index, std::string_view bytes);
  // For comparisons with TEXT columns (a blob never equals a text).
  SqliteStatement& BindText(int index, std::string_view text);

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  int64_t Int(int column) const;
  std::string Bytes(int column) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
  };
  std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
};

}  // namespace strivex
