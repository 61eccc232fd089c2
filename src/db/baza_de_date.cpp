#include "db/baza_de_date.h"

#include <chrono>
#include <thread>
#include <utility>

#include "db/connection_string.h"
#include "platform/message_box.h"
#include "util/format.h"
#include "util/log_files.h"

namespace strivex {

namespace {

bool ValidSlot(int slot) { return slot >= 0 && slot < BazaDeDate::kSlotCount; }

const char* C(const std::string& text) { return text.c_str(); }

}  // namespace

// The session's busy flag: statements that change slots run one at a time, re-testing every
// 10 ms; the test and the setting are one atomic step.
class BazaDeDate::BusyGuard {
 public:
  explicit BusyGuard(std::atomic<uint8_t>& flag) : flag_(flag) {
    while (flag_.exchange(1, std::memory_order_acquire) != 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~BusyGuard() { flag_.store(0, std::memory_order_release); }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  std::atomic<uint8_t>& flag_;
};

BazaDeDate::BazaDeDate() = default;

BazaDeDate::~BazaDeDate() {
  for (auto& slot : slots_) slot.reset();
  engine_.reset();
}

void BazaDeDate::LogFailure(const std::string& message, const DbError& error) {
  WriteErrorLogEntry(message);
  std::lock_guard lock(diagnosticsMutex_);
  lastErrorMessage_ = message;
  lastErrorDetail_ = error.detail;
}

std::string BazaDeDate::LastErrorMessage() const {
  std::lock_guard lock(diagnosticsMutex_);
  return lastErrorMessage_;
}

std::string BazaDeDate::LastErrorDetail() const {
  std::lock_guard lock(diagnosticsMutex_);
  return lastErrorDetail_;
}

bool BazaDeDate::HasEngine() const {
  std::shared_lock lock(engineMutex_);
  return engine_ != nullptr;
}

void BazaDeDate::ReleaseSlot(int slot) {
  std::unique_ptr<ResultSet> old;
  {
    std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
    old = std::move(slots_[static_cast<size_t>(slot)]);
  }
}

bool BazaDeDate::DirectOpen(const std::string& connectionString, const std::string& failureFormatTail) {
  direct.store(1);
  std::unique_lock lock(engineMutex_);
  // The previous connection goes with slot 0; slots 1-9 keep their sets (and what they read from).
  ReleaseSlot(0);
  engine_ = MakeEngine(connectionString);
  if (!engine_) {
    lock.unlock();
    platform::MessageBox("Couldn't create the connection variable");
    return false;
  }
  connected.store(0);
  DbError error;
  if (!engine_->Open(connectionString, error)) {
    lock.unlock();
    LogFailure(Format("Eroare: %s la deschidere conectie%s", C(ErrorText(error.result)),
                      C(failureFormatTail)),
               error);
    return false;
  }
  connected.store(1);
  return true;
}

bool BazaDeDate::DeschidBazaLocala(const std::string& dataSource, const std::string& pass,
                                   uint8_t directFlag) {
  if (directFlag != 1) {
    platform::MessageBox(serverAddress.empty() ? "adresa web este necesara" : "Indirect Conect");
    return false;
  }
  if (!DirectOpen(JetConnectionString(dataSource, pass), "")) return false;
  database = dataSource;
  password = pass;
  return true;
}

bool BazaDeDate::DeschidConectie(const std::string& connectionString, uint8_t directFlag) {
  if (directFlag != 1) {
    direct.store(directFlag);
    if (serverAddress.empty()) {
      platform::MessageBox("adresa web este necesara");
      return false;
    }
    return false;  // the relay client is not part of this build yet
  }
  return DirectOpen(connectionString, " ->" + connectionString);
}

bool BazaDeDate::DeschidConectieSetari(uint8_t directFlag) {
  if (!serverAddress.empty()) {
    return DeschidConectie(SqlServerConnectionString(serverAddress, database, user, password),
                           directFlag);
  }
  return DeschidBazaLocala(database, password, directFlag);
}

void BazaDeDate::InchidConectie() {
  if (connected.load() == 1 && direct.load() == 1) {
    std::unique_lock lock(engineMutex_);
    // Closing a connection closes the result sets read from it; they stay in their slots.
    for (int slot = 0; slot < kSlotCount; ++slot) {
      std::lock_guard slotLock(slotMutex_[static_cast<size_t>(slot)]);
      if (slots_[static_cast<size_t>(slot)]) slots_[static_cast<size_t>(slot)]->Close();
    }
    if (engine_) engine_->Close();
  }
  connected.store(0);
}

bool BazaDeDate::ExecuteInto(const std::string& sql, int slot, DbError& error) {
  std::unique_ptr<ResultSet> set;
  {
    std::shared_lock lock(engineMutex_);
    if (!engine_) {
      error = {kResultFail, "the session has no connection"};
      return false;
    }
    set = engine_->Execute(sql, error);
  }
  if (!set) return false;
  std::unique_ptr<ResultSet> old;
  {
    std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
    old = std::exchange(slots_[static_cast<size_t>(slot)], std::move(set));
  }
  return true;
}

bool BazaDeDate::SQLCommand(const std::string& sql, int slot) {
  if (!ValidSlot(slot) || direct.load() != 1) return false;
  BusyGuard busyGuard(busy);
  DbError error;
  if (ExecuteInto(sql, slot, error)) {
    lastErrorCode.store(0);
    return true;
  }
  LogFailure(Format("Eroare la executare comanda SQL ('%s'): %s", C(sql), C(ErrorText(error.result))),
             error);
  lastErrorCode.store(StoredErrorCode(error.result));
  // A conversion failure has always been let through once it is logged.
  return ErrorCodeOf(error.result) == kErrorConversion;
}

bool BazaDeDate::DeschidTabel(const std::string& table, int slot) {
  if (!ValidSlot(slot) || direct.load() != 1) return false;
  const std::string sql = Format("SELECT * FROM %s", C(table));
  BusyGuard busyGuard(busy);
  DbError error;
  if (ExecuteInto(sql, slot, error)) return true;
  LogFailure(Format("Eroare: %s la obtinerea tabelului '%s'", C(ErrorText(error.result)), C(table)),
             error);
  return false;
}

bool BazaDeDate::DeschidTabel(const std::string& table, const std::string& clause, int slot) {
  if (!ValidSlot(slot) || direct.load() != 1) return false;
  const std::string sql = Format("SELECT * FROM %s %s", C(table), C(clause));
  BusyGuard busyGuard(busy);
  if (!HasEngine()) {
    lastErrorCode.store(kNoErrorCode);
    return false;
  }
  DbError error;
  if (ExecuteInto(sql, slot, error)) return true;
  LogFailure(Format("Eroare: %s - '%s'", C(ErrorText(error.result)), C(sql)), error);
  lastErrorCode.store(StoredErrorCode(error.result));
  return false;
}

bool BazaDeDate::GetRecords(const std::string& sql, int slot) {
  if (!ValidSlot(slot) || direct.load() != 1) return false;
  DbError error;
  if (ExecuteInto(sql, slot, error)) return true;
  LogFailure(Format("Eroare la executare comanda SQL ('%s'): %s", C(sql), C(ErrorText(error.result))),
             error);
  return false;
}

DbValue BazaDeDate::ValoareColoana(const std::string& column, int slot) {
  if (!ValidSlot(slot) || direct.load() != 1) return DbValue::Empty();
  {
    std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
    const ResultSet* set = slots_[static_cast<size_t>(slot)].get();
    if (const auto index = set ? set->ColumnIndex(column) : std::nullopt) {
      DbValue value = set->Value(*index);  // type 0 at the end of the set
      if (value.type == VT_NULL) value = DbValue::Empty();
      return value;
    }
  }
  LogFailure(Format("Eroare: %s la obtinerea coloanei %s", C(ErrorText(kResultFail)), C(column)),
             {kResultFail, "no such column in the result set of slot " + std::to_string(slot)});
  return DbValue::Empty();
}

bool BazaDeDate::NextElementTabel(int slot) {
  if (!ValidSlot(slot) || direct.load() != 1) return false;
  std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
  ResultSet* set = slots_[static_cast<size_t>(slot)].get();
  if (set == nullptr || set->AtEnd()) return false;
  DbError ignored;
  return set->Next(ignored);
}

std::vector<std::string> BazaDeDate::ColumnNames(int slot) {
  if (!ValidSlot(slot)) return {};
  std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
  const ResultSet* set = slots_[static_cast<size_t>(slot)].get();
  return set ? set->ColumnNames() : std::vector<std::string>{};
}

bool BazaDeDate::RowAvailable(int slot) {
  if (!ValidSlot(slot)) return false;
  std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
  const ResultSet* set = slots_[static_cast<size_t>(slot)].get();
  return set != nullptr && !set->AtEnd();
}

void BazaDeDate::InchidTabel(int slot) {
  if (!ValidSlot(slot) || direct.load() != 1) return;
  BusyGuard busyGuard(busy);
  std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
  if (slots_[static_cast<size_t>(slot)]) slots_[static_cast<size_t>(slot)]->Close();
}

}  // namespace strivex
