#pragma once
// A prepared statement, finalized with its owner: bind, step, read the columns of the current row,
// reset to run it again. Texts are bound and read as bytes: the module's texts are Windows-1250,
// not UTF-8.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sqlite/connection.h"

namespace strivex::sqlite {

class Statement {
 public:
  // Prepares the first statement of sql; when it cannot, ok() is false and error() says why.
  Statement(const Connection& db, std::string_view sql);

  bool ok() const { return ok_; }
  // The text held no statement (only blanks or comments): it steps to its end at once.
  bool empty() const { return stmt_ == nullptr; }
  // The preparation or the latest step failed; error() says why.
  bool failed() const { return error_.code != SQLITE_OK; }
  const Error& error() const { return error_; }

  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view bytes);
  // For comparisons with TEXT columns (a blob never equals a text).
  Statement& BindText(int index, std::string_view text);
  Statement& BindNull(int index);

  // True with a row to read; false at the end or on a failure (failed() tells which).
  bool Step();
  // Runs a statement that yields no rows: true when it went to its end.
  bool Run() { return !Step() && !failed(); }
  // Ready to run again from the start; the bound values stay. A statement left stepped holds its
  // read open, which keeps a write-ahead log growing.
  void Reset();

  int ColumnCount() const { return sqlite3_column_count(stmt_.get()); }
  std::string ColumnName(int column) const;
  int ColumnType(int column) const { return sqlite3_column_type(stmt_.get(), column); }
  int64_t Int(int column) const { return sqlite3_column_int64(stmt_.get(), column); }
  double Real(int column) const { return sqlite3_column_double(stmt_.get(), column); }
  std::string Bytes(int column) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
  };
  sqlite3* db_;
  std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
  bool ok_ = false;
  Error error_;
};

}  // namespace strivex::sqlite
