#include "outbox/sqlite_statement.h"

namespace strivex {

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) == SQLITE_OK) {
    stmt_.reset(stmt);
  }
}

SqliteStatement& SqliteStatement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(stmt_.get(), index, value);
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view bytes) {
  // A zero-length blob must not be bound as NULL: the columns are NOT NULL.
  sqlite3_bind_blob64(stmt_.get(), index, bytes.empty() ? "" : bytes.data(), bytes.size(), SQLITE_TRANSIENT);
  return *this;
}

SqliteStatement& SqliteStatement::BindText(int index, std::string_view text) {
  sqlite3_bind_text64(stmt_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  return *this;
}

int SqliteStatement::Step() { return sqlite3_step(stmt_.get()); }

int64_t SqliteStatement::Int(int column) const { return sqlite3_column_int64(stmt_.get(), column); }

std::string SqliteStatement::Bytes(int column) const {
  const void* data = sqlite3_column_blob(stmt_.get(), column);
  const int size = sqlite3_column_bytes(stmt_.get(), column);
  return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

}  // namespace strivex
