#pragma once
// What the result sets of one connection hold in memory together, against a limit, so one client
// of the relay cannot take the memory every other client needs. Shared by an engine and the sets
// it made (a set may outlive its engine); any thread.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <limits>

#include "db/db_error.h"

namespace strivex {

class ResultBudget {
 public:
  // `limit` in bytes; 0 bounds nothing.
  explicit ResultBudget(size_t limit) : limit_(limit) {}
  ResultBudget(const ResultBudget&) = delete;
  ResultBudget& operator=(const ResultBudget&) = delete;

  bool bounded() const { return limit_ != 0; }
  // Bytes a new result may still take.
  size_t Room() const {
    if (!bounded()) return std::numeric_limits<size_t>::max();
    const size_t held = held_.load();
    return held < limit_ ? limit_ - held : 0;
  }
  // Counts `bytes` as held until they are released; false, counting nothing, when they do not fit.
  bool Take(size_t bytes) {
    if (!bounded()) return true;
    size_t held = held_.load();
    do {
      if (bytes > limit_ - std::min(held, limit_)) return false;
    } while (!held_.compare_exchange_weak(held, held + bytes));
    return true;
  }
  void Release(size_t bytes) {
    if (bounded()) held_.fetch_sub(bytes);
  }
  // The failure of a statement whose result would not fit.
  DbError TooLarge() const;

 private:
  const size_t limit_;
  std::atomic<size_t> held_{0};
};

}  // namespace strivex
