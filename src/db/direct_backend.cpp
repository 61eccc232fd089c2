#include "db/direct_backend.h"

#include "db/connection_string.h"

#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#include "util/format.h"
#include "util/timings.h"

namespace strivex {

namespace {

const char* C(const std::string& text) { return text.c_str(); }

// The session's busy flag: statements that change slots run one at a time (kSessionBusyRetry);
// the test and the setting are one atomic step.
class BusyGuard {
 public:
  explicit BusyGuard(std::atomic<uint8_t>& flag) : flag_(flag) {
    while (flag_.exchange(1, std::memory_order_acquire) != 0) {
      std::this_thread::sleep_for(timings::kSessionBusyRetry);
    }
  }
  ~BusyGuard() { flag_.store(0, std::memory_order_release); }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  std::atomic<uint8_t>& flag_;
};

}  // namespace

DirectBackend::DirectBackend(BazaDeDate& session, FailureLog& log, OutcomeLog& outcomes)
    : session_(session), log_(log), outcomes_(outcomes) {}

DirectBackend::~DirectBackend() {
  // Result sets may hold their connection open: they go first.
  for (auto& slot : slots_) slot.reset();
  std::lock_guard abortLock(abortMutex_);
  abortable_ = nullptr;
  engine_.reset();
}

void DirectBackend::Abort() {
  std::lock_guard abortLock(abortMutex_);
  if (abortable_ != nullptr) abortable_->Abort();
}

bool DirectBackend::HasEngine() const {
  std::shared_lock lock(engineMutex_);
  return engine_ != nullptr;
}

void DirectBackend::Settle(const DbError* error) {
  if (error == nullptr) {
    outcomes_.Record(DbFailure::kNone);
    return;
  }
  if (error->failure == DbFailure::kConnectionLost) session_.connected.store(0);
  outcomes_.Record(error->failure, error->detail);
}

bool DirectBackend::Open(const std::string& connectionString, const DbTimeouts& timeouts,
                         const std::string& failureTail) {
  std::unique_lock lock(engineMutex_);
  // The previous connection goes with slot 0; slots 1-9 keep their sets (and what they read from).
  WithSlot(0, [](std::unique_ptr<ResultSet>& set) { return std::move(set); });
  {
    std::lock_guard abortLock(abortMutex_);
    engine_ = MakeEngine(connectionString);
    abortable_ = engine_.get();
  }
  if (!engine_) {
    lock.unlock();
    outcomes_.Record(DbFailure::kRejected, "no engine for the connection string",
                     "Couldn't create the connection variable");
    return false;
  }
  session_.connected.store(0);
  engine_->LimitResults(session_.ResultLimit());
  DbError error;
  if (!engine_->Open(connectionString, timeouts, error)) {
    lock.unlock();
    // A login's entry also carries the driver's SQLSTATE and words, as the operator tools show them.
    const bool login = !failureTail.empty();
    log_.Write(Format("Eroare: %s la deschidere conectie%s", C(ErrorText(error.result)), C(failureTail)), error,
               login ? MaskPasswordIn(error.detail, connectionString) : std::string());
    Settle(&error);
    return false;
  }
  session_.connected.store(1);
  Settle(nullptr);
  return true;
}

bool DirectBackend::Close() {
  std::unique_lock lock(engineMutex_);
  // Closing a connection closes the result sets read from it; they stay in their slots.
  for (int slot = 0; slot < BazaDeDate::kSlotCount; ++slot) {
    WithSlot(slot, [](std::unique_ptr<ResultSet>& set) {
      if (set) set->Close();
    });
  }
  if (engine_) engine_->Close();
  return true;
}

bool DirectBackend::ExecuteInto(const std::string& sql, int slot, DbError& error) {
  std::unique_ptr<ResultSet> set;
  {
    std::shared_lock lock(engineMutex_);
    if (!engine_) {
      error = {kResultFail, "the session has no connection", DbFailure::kConnectionLost};
      return false;
    }
    set = engine_->Execute(sql, error);
  }
  if (!set) return false;
  // The old set is closed after the slot's lock is let go: closing may wait for the connection.
  const std::unique_ptr<ResultSet> old =
      WithSlot(slot, [this, slot, &set](std::unique_ptr<ResultSet>& held) {
        rowFailure_[static_cast<size_t>(slot)].clear();
        return std::exchange(held, std::move(set));
      });
  return true;
}

bool DirectBackend::SQLCommand(const std::string& sql, int slot) {
  BusyGuard busyGuard(session_.busy);
  DbError error;
  if (ExecuteInto(sql, slot, error)) {
    session_.lastErrorCode.store(0);
    Settle(nullptr);
    return true;
  }
  log_.Write(Format("Eroare la executare comanda SQL ('%s'): %s", C(sql), C(ErrorText(error.result))),
             error);
  session_.lastErrorCode.store(StoredErrorCode(error.result));
  Settle(&error);
  // A conversion failure has always been let through once it is logged.
  return ErrorCodeOf(error.result) == kErrorConversion;
}

bool DirectBackend::DeschidTabel(const std::string& table, int slot) {
  const std::string sql = Format("SELECT * FROM %s", C(table));
  BusyGuard busyGuard(session_.busy);
  DbError error;
  const bool ok = ExecuteInto(sql, slot, error);
  if (!ok) {
    log_.Write(Format("Eroare: %s la obtinerea tabelului '%s'", C(ErrorText(error.result)), C(table)),
               error);
  }
  Settle(ok ? nullptr : &error);
  return ok;
}

bool DirectBackend::DeschidTabel(const std::string& table, const std::string& clause, int slot) {
  const std::string sql = Format("SELECT * FROM %s %s", C(table), C(clause));
  BusyGuard busyGuard(session_.busy);
  DbError error;
  if (!HasEngine()) {
    session_.lastErrorCode.store(kNoErrorCode);
    error = {kResultFail, "the session has no connection", DbFailure::kConnectionLost};
    Settle(&error);
    return false;
  }
  if (ExecuteInto(sql, slot, error)) {
    Settle(nullptr);
    return true;
  }
  log_.Write(Format("Eroare: %s - '%s'", C(ErrorText(error.result)), C(sql)), error);
  session_.lastErrorCode.store(StoredErrorCode(error.result));
  Settle(&error);
  return false;
}

bool DirectBackend::GetRecords(const std::string& sql, int slot) {
  DbError error;
  const bool ok = ExecuteInto(sql, slot, error);
  if (!ok) {
    log_.Write(Format("Eroare la executare comanda SQL ('%s'): %s", C(sql), C(ErrorText(error.result))),
               error);
  }
  Settle(ok ? nullptr : &error);
  return ok;
}

DbValue DirectBackend::ValoareColoana(const std::string& column, int slot) {
  const std::optional<DbValue> found =
      WithSlot(slot, [&column](const std::unique_ptr<ResultSet>& set) -> std::optional<DbValue> {
        const auto index = set ? set->ColumnIndex(column) : std::nullopt;
        if (!index) return std::nullopt;
        DbValue value = set->Value(*index);  // type 0 at the end of the set
        if (value.type == VT_NULL) value = DbValue::Empty();
        return value;
      });
  if (found) return *found;
  log_.Write(Format("Eroare: %s la obtinerea coloanei %s", C(ErrorText(kResultFail)), C(column)),
             {kResultFail, "no such column in the result set of slot " + std::to_string(slot)});
  return DbValue::Empty();
}

bool DirectBackend::NextElementTabel(int slot) {
  return WithSlot(slot, [this, slot](const std::unique_ptr<ResultSet>& set) {
    if (set == nullptr || set->AtEnd()) return false;
    DbError error{kResultFail, {}, DbFailure::kNone};
    if (set->Next(error)) return true;
    if (error.failure != DbFailure::kNone) rowFailure_[static_cast<size_t>(slot)] = error.detail;
    return false;
  });
}

std::string DirectBackend::RowReadFailure(int slot) {
  return WithSlot(slot, [this, slot](const std::unique_ptr<ResultSet>&) { return rowFailure_[static_cast<size_t>(slot)]; });
}

std::vector<std::string> DirectBackend::ColumnNames(int slot) {
  return WithSlot(slot, [](const std::unique_ptr<ResultSet>& set) {
    return set ? set->ColumnNames() : std::vector<std::string>{};
  });
}

bool DirectBackend::RowAvailable(int slot) {
  return WithSlot(slot, [](const std::unique_ptr<ResultSet>& set) { return set != nullptr && !set->AtEnd(); });
}

void DirectBackend::InchidTabel(int slot) {
  BusyGuard busyGuard(session_.busy);
  WithSlot(slot, [](const std::unique_ptr<ResultSet>& set) {
    if (set) set->Close();
  });
}

}  // namespace strivex
