#include "sqlite/transaction.h"

namespace strivex::sqlite {

Transaction::Transaction(Connection& db, Lock lock) : db_(db) {
  active_ = db_.Exec(lock == Lock::kImmediate ? "BEGIN IMMEDIATE" : "BEGIN", error_);
}

Transaction::~Transaction() {
  if (active_) Rollback();
}

bool Transaction::Commit() {
  if (!db_.Exec("COMMIT", error_)) return false;
  active_ = false;
  return true;
}

bool Transaction::Rollback() {
  active_ = false;
  return db_.Exec("ROLLBACK", error_);
}

}  // namespace strivex::sqlite
