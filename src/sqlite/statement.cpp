#include "sqlite/statement.h"

namespace strivex::sqlite {

Statement::Statement(const Connection& db, std::string_view sql) : db_(db.get()) {
  sqlite3_stmt* stmt = nullptr;
  const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
  stmt_.reset(stmt);
  ok_ = rc == SQLITE_OK;
  if (!ok_) error_ = {rc, sqlite3_errmsg(db_)};
}

Statement& Statement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(stmt_.get(), index, value);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view bytes) {
  // A zero-length blob must not be bound as NULL: NOT NULL columns would refuse it.
  sqlite3_bind_blob64(stmt_.get(), index, bytes.empty() ? "" : bytes.data(), bytes.size(), SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::BindText(int index, std::string_view text) {
  sqlite3_bind_text64(stmt_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  return *this;
}

Statement& Statement::BindNull(int index) {
  sqlite3_bind_null(stmt_.get(), index);
  return *this;
}

bool Statement::Step() {
  if (!stmt_) return false;
  const int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) {
    if (failed()) error_ = {};
  } else {
    error_ = {rc, sqlite3_errmsg(db_)};
  }
  return false;
}

void Statement::Reset() {
  if (!stmt_) return;
  sqlite3_reset(stmt_.get());
  error_ = {};
}

std::string Statement::ColumnName(int column) const {
  const char* name = sqlite3_column_name(stmt_.get(), column);
  return name != nullptr ? name : "";
}

std::string Statement::Bytes(int column) const {
  const void* data = sqlite3_column_blob(stmt_.get(), column);
  const int size = sqlite3_column_bytes(stmt_.get(), column);
  return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

}  // namespace strivex::sqlite
