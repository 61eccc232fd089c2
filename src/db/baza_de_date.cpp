#include "db/baza_de_date.h"

#include <utility>

#include "db/connection_string.h"
#include "db/direct_backend.h"
#include "db/relayed_backend.h"
#include "db/session_backend.h"

namespace strivex {

namespace {

bool ValidSlot(int slot) { return slot >= 0 && slot < BazaDeDate::kSlotCount; }

}  // namespace

BazaDeDate::BazaDeDate()
    : log_(std::make_unique<FailureLog>()),
      outcomes_(std::make_unique<OutcomeLog>()),
      direct_(std::make_unique<DirectBackend>(*this, *log_, *outcomes_)),
      relayed_(std::make_unique<RelayedBackend>(*this, *log_, *outcomes_)),
      backend_(direct_.get()) {}

BazaDeDate::~BazaDeDate() = default;

DbFailure BazaDeDate::lastFailure() const { return outcomes_->Failure(); }

std::string BazaDeDate::lastErrorText() const { return outcomes_->Text(); }

std::string BazaDeDate::lastNotice() const { return outcomes_->Notice(); }

void BazaDeDate::SetTimeouts(const DbTimeouts& timeouts) {
  loginMs_.store(timeouts.login.count());
  queryMs_.store(timeouts.query.count());
}

DbTimeouts BazaDeDate::Timeouts() const {
  return {std::chrono::milliseconds(loginMs_.load()), std::chrono::milliseconds(queryMs_.load())};
}

std::string BazaDeDate::LastErrorMessage() const { return log_->LastMessage(); }

std::string BazaDeDate::LastErrorDetail() const { return log_->LastDetail(); }

void BazaDeDate::SetErrorLogWriter(std::function<void(const std::string& entry)> writer) {
  log_->SetWriter(std::move(writer));
}

bool BazaDeDate::DeschidBazaLocala(const std::string& dataSource, const std::string& pass,
                                   uint8_t directFlag) {
  if (directFlag != 1) {
    outcomes_->Record(DbFailure::kRejected, "the local database opens directly only",
                      serverAddress.empty() ? "adresa web este necesara" : "Indirect Conect");
    return false;
  }
  direct.store(1);
  backend_.store(direct_.get(), std::memory_order_release);
  if (!direct_->Open(JetConnectionString(dataSource, pass), Timeouts(), "")) return false;
  database = dataSource;
  password = pass;
  return true;
}

bool BazaDeDate::DeschidConectie(const std::string& connectionString, uint8_t directFlag) {
  direct.store(directFlag);
  if (directFlag != 1) {
    backend_.store(relayed_.get(), std::memory_order_release);
    if (serverAddress.empty()) {
      outcomes_->Record(DbFailure::kRejected, "no relay server address", "adresa web este necesara");
      return false;
    }
    return relayed_->Open(connectionString, Timeouts());
  }
  backend_.store(direct_.get(), std::memory_order_release);
  // The log and the operator tools show the string, never the password in it.
  return direct_->Open(connectionString, Timeouts(), " ->" + MaskPasswords(connectionString));
}

bool BazaDeDate::DeschidConectieSetari(uint8_t directFlag) {
  if (!serverAddress.empty()) {
    return DeschidConectie(SqlServerConnectionString({serverAddress, database, user, password, directFlag,
                                                      serverPort, tdsVersion, clientCharset}),
                           directFlag);
  }
  return DeschidBazaLocala(database, password, directFlag);
}

void BazaDeDate::SetServerFields(const DbConnectionFields& fields) {
  serverAddress = fields.serverAddress;
  database = fields.database;
  user = fields.user;
  password = fields.password;
  serverPort = fields.serverPort;
  tdsVersion = fields.tdsVersion;
  clientCharset = fields.clientCharset;
}

void BazaDeDate::Abort() {
  // Both: an open in flight may be switching from one mode to the other.
  direct_->Abort();
  relayed_->Abort();
}

void BazaDeDate::InchidConectie() {
  if (connected.load() == 1 && !Backend().Close()) return;
  connected.store(0);
}

bool BazaDeDate::StatementSlot(int slot) {
  if (ValidSlot(slot)) return true;
  outcomes_->Record(DbFailure::kRejected, "no slot " + std::to_string(slot) + ": slots are 0 to 9");
  return false;
}

bool BazaDeDate::SQLCommand(const std::string& sql, int slot) {
  return StatementSlot(slot) && Backend().SQLCommand(sql, slot);
}

bool BazaDeDate::SQLCommandApplied(const std::string& sql, int slot) {
  // lastFailure is the calling thread's own outcome of this very statement.
  return SQLCommand(sql, slot) && lastFailure() == DbFailure::kNone;
}

bool BazaDeDate::DeschidTabel(const std::string& table, int slot) {
  return StatementSlot(slot) && Backend().DeschidTabel(table, slot);
}

bool BazaDeDate::DeschidTabel(const std::string& table, const std::string& clause, int slot) {
  return StatementSlot(slot) && Backend().DeschidTabel(table, clause, slot);
}

bool BazaDeDate::GetRecords(const std::string& sql, int slot) {
  return StatementSlot(slot) && Backend().GetRecords(sql, slot);
}

DbValue BazaDeDate::ValoareColoana(const std::string& column, int slot) {
  return ValidSlot(slot) ? Backend().ValoareColoana(column, slot) : DbValue::Empty();
}

bool BazaDeDate::NextElementTabel(int slot) { return ValidSlot(slot) && Backend().NextElementTabel(slot); }

void BazaDeDate::InchidTabel(int slot) {
  if (ValidSlot(slot)) Backend().InchidTabel(slot);
}

std::string BazaDeDate::RowReadFailure(int slot) {
  return ValidSlot(slot) ? Backend().RowReadFailure(slot) : std::string();
}

std::vector<std::string> BazaDeDate::ColumnNames(int slot) {
  return ValidSlot(slot) ? Backend().ColumnNames(slot) : std::vector<std::string>{};
}

bool BazaDeDate::RowAvailable(int slot) { return ValidSlot(slot) && Backend().RowAvailable(slot); }

}  // namespace strivex
