#pragma once
// A session that reaches its database itself, through an engine (SQLite for the local file,
// ODBC for the laboratory's server), with ten result-set slots kept here.

#include <array>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "db/db_engine.h"
#include "db/session_backend.h"

namespace strivex {

class DirectBackend final : public SessionBackend {
 public:
  // Reads and sets the public fields of `session` (busy, lastErrorCode, connected), logs to `log`
  // and records outcomes in `outcomes`; all three outlive the backend.
  DirectBackend(BazaDeDate& session, FailureLog& log, OutcomeLog& outcomes);
  ~DirectBackend() override;

  // Opens `connectionString` within `timeouts` with a new engine in place of the old one; slot 0
  // lets go of its set first, slots 1-9 keep theirs. A failure is logged as "Eroare: %s la
  // deschidere conectie" followed by `failureTail`; an engine that cannot be made shows a
  // message box instead.
  bool Open(const std::string& connectionString, const DbTimeouts& timeouts, const std::string& failureTail);

  // SessionBackend: statements wait for the busy flag (GetRecords does not), failures are logged
  // with the system's texts and set lastErrorCode as BazaDeDate says; statements record their
  // outcome, and a lost connection sets connected to 0.
  bool SQLCommand(const std::string& sql, int slot) override;
  bool DeschidTabel(const std::string& table, int slot) override;
  bool DeschidTabel(const std::string& table, const std::string& clause, int slot) override;
  bool GetRecords(const std::string& sql, int slot) override;
  DbValue ValoareColoana(const std::string& column, int slot) override;
  bool NextElementTabel(int slot) override;
  void InchidTabel(int slot) override;
  std::vector<std::string> ColumnNames(int slot) override;
  bool RowAvailable(int slot) override;
  std::string RowReadFailure(int slot) override;
  // Closes every slot's set (they stay in their slots) and the engine's connection; true.
  bool Close() override;
  // Cuts the engine's connection, also while it is being opened or a statement holds the engine.
  void Abort() override;

 private:
  // Runs `use` on a slot's set (null when empty) under that slot's own lock; returns its result.
  template <typename Use>
  auto WithSlot(int slot, Use&& use) {
    std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
    return use(slots_[static_cast<size_t>(slot)]);
  }
  // Runs a statement into a slot, the slot's old set going after the lock; false with `error`.
  bool ExecuteInto(const std::string& sql, int slot, DbError& error);
  bool HasEngine() const;
  // Records a statement's or open's outcome for the calling thread: `error` is null for a success.
  void Settle(const DbError* error);

  BazaDeDate& session_;
  FailureLog& log_;
  OutcomeLog& outcomes_;
  mutable std::shared_mutex engineMutex_;  // statements share it; open and close take it alone
  std::unique_ptr<DbEngine> engine_;
  // The engine Abort reaches without the engine's lock, which a stuck statement or login holds;
  // it is replaced under both locks.
  std::mutex abortMutex_;
  DbEngine* abortable_ = nullptr;
  std::array<std::mutex, BazaDeDate::kSlotCount> slotMutex_;
  std::array<std::unique_ptr<ResultSet>, BazaDeDate::kSlotCount> slots_;
  // Each under its slot's lock: why the slot's set last stopped short of its end; empty when not.
  std::array<std::string, BazaDeDate::kSlotCount> rowFailure_;
};

}  // namespace strivex
