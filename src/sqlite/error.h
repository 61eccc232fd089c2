#pragma once
// Why a call to SQLite failed, as SQLite said it: its result code and its message.

#include <string>

namespace strivex::sqlite {

struct Error {
  int code = 0;  // SQLITE_OK
  std::string message;

  // The code without its extended reason: SQLITE_BUSY whatever kept the lock.
  int primary() const { return code & 0xff; }
};

}  // namespace strivex::sqlite
