#pragma once
// A transaction that rolls back unless it was committed, whatever way its scope is left.

#include "sqlite/connection.h"

namespace strivex::sqlite {

class Transaction {
 public:
  enum class Lock {
    kDeferred,   // takes locks as its statements need them
    kImmediate,  // takes the write lock at once (waiting the busy time-out for it)
  };

  // Begins; when it cannot, ok() is false and error() says why.
  Transaction(Connection& db, Lock lock);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool ok() const { return active_; }
  const Error& error() const { return error_; }

  // False with the reason in error(); the transaction is then still to be rolled back.
  bool Commit();
  // False with the reason in error() (SQLite may have rolled it back already on its own).
  bool Rollback();

 private:
  Connection& db_;
  bool active_ = false;
  Error error_;
};

}  // namespace strivex::sqlite
