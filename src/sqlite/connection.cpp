#include "sqlite/connection.h"

namespace strivex::sqlite {

Connection Connection::Open(const std::string& path, Error& error) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
  Connection connection;
  connection.db_.reset(raw);  // a failed open may still leave a handle to close
  if (rc == SQLITE_OK) return connection;
  // Without a handle SQLite had no memory for one: only the code can say why.
  error = {rc, raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)};
  return Connection();
}

void Connection::SetBusyTimeout(std::chrono::milliseconds wait) {
  sqlite3_busy_timeout(db_.get(), static_cast<int>(wait.count()));
}

bool Connection::Exec(const char* sql, Error& error) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message);
  if (rc == SQLITE_OK) return true;
  error = {rc, message != nullptr ? message : sqlite3_errmsg(db_.get())};
  sqlite3_free(message);
  return false;
}

Error Connection::LastError() const { return {sqlite3_errcode(db_.get()), sqlite3_errmsg(db_.get())}; }

}  // namespace strivex::sqlite
