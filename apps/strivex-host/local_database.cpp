#include "local_database.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "db/baza_de_date.h"
#include "db/local_statements.h"
#include "declared_settings.h"
#include "settings/declared_fields.h"

namespace strivex::host_app {

namespace {

// The password the module opens the file with; SQLite ignores it, the connection string keeps it.
constexpr char kLocalPassword[] = "quomar";

// `shown`: whether the error may quote the statement (not one holding the password).
bool Run(BazaDeDate& local, const std::string& sql, std::string& error, bool shown = true) {
  if (local.SQLCommand(sql, 0)) return true;
  error = "local database: " + (shown ? local.LastErrorMessage() : "the password cannot be written:") + " " +
          local.LastErrorDetail();
  return false;
}

// The stored value of a Medianex_Init row into `value` (nullopt when the file has no such row:
// older files lack the newer ones); false when it cannot be read.
bool ReadStored(BazaDeDate& local, const std::string& property, std::optional<std::string>& value,
                std::string& error) {
  if (!local.GetRecords(MedianexInitValueQuery(property), 0)) {
    error = "local database: " + property + " cannot be read: " + local.LastErrorDetail();
    return false;
  }
  if (local.RowAvailable(0)) value = local.ValoareColoana("Valoare", 0).ToText();
  local.InchidTabel(0);
  return true;
}

// "Adresa Server changed from 'a' to 'b' (declared in FILE)"; "... added as 'b' ..." where there
// was no row.
std::string ChangeText(const DeclaredValue& declared, const std::optional<std::string>& stored) {
  std::string change = declared.property + (stored ? " changed" : " added");
  if (!declared.secret) {
    change += stored ? " from '" + *stored + "' to '" + declared.value + "'" : " as '" + declared.value + "'";
  }
  return change + (declared.source.empty() ? " (given on the command line)" : " (declared in " + declared.source + ")");
}

// Writes one declared value where it differs from the stored one; `change` says how it did.
bool WriteDeclared(BazaDeDate& local, const DeclaredValue& declared, std::string& change, std::string& error) {
  std::optional<std::string> stored;
  if (!ReadStored(local, declared.property, stored, error)) return false;
  if (stored == declared.value) return true;
  if (!Run(local, MedianexInitWrite(declared.property, declared.value, stored.has_value()), error,
           !declared.secret)) {
    return false;
  }
  change = ChangeText(declared, stored);
  return true;
}

bool WritePort(BazaDeDate& local, const HostOptions& o, std::string& change, std::string& error) {
  // The module keys its settings by the low 16 bits of the MACHINES id.
  if (!local.GetRecords(LocalMachineIdQuery(o.name), 0)) {
    error = "local database: no MACHINES row named " + o.name;
    return false;
  }
  const auto localId = static_cast<int16_t>(static_cast<uint32_t>(local.ValoareColoana("ID", 0).intVal) & 0xFFFF);
  local.InchidTabel(0);
  std::optional<std::string> stored;
  if (local.GetRecords(PortSettingQuery(localId), 0) && local.RowAvailable(0)) {
    stored = local.ValoareColoana("VALUE", 0).ToText();
  }
  local.InchidTabel(0);
  if (stored != *o.port) change = ChangeText({"port", *o.port, GivenIn(o, "port")}, stored);
  return Run(local, PortSettingDelete(localId), error) && Run(local, PortSettingInsert(localId, *o.port), error);
}

}  // namespace

bool PrepareLocalDatabase(const HostOptions& o, std::vector<std::string>& changes, std::string& error) {
  std::error_code ignored;
  const bool isNew = !std::filesystem::exists(o.localDb, ignored);
  BazaDeDate local;
  // Opening a missing file creates it with the schema and the default settings rows.
  if (!local.DeschidBazaLocala(o.localDb, kLocalPassword, 1)) {
    error = o.localDb + ": the local database cannot be opened";
    return false;
  }
  if (isNew) {
    // A password from the environment seeds a new file only; a declared one is written below.
    if (!Run(local, MedianexInitUpdate("Parola", o.password.value_or("")), error, false) ||
        !Run(local, LocalMachineInsert(o.machineId, o.name), error)) {
      return false;
    }
  }
  // A new file's values are all the declared ones: nothing to tell.
  const auto tell = [&](const std::string& change) {
    if (!change.empty() && !isNew) changes.push_back(o.localDb + ": " + change);
  };
  std::vector<DeclaredField> declared;
  for (const DeclaredValue& value : DeclaredValues(o)) {
    std::string change;
    if (!WriteDeclared(local, value, change, error)) return false;
    tell(change);
    declared.push_back({value.property, value.source});
  }
  if (o.port) {
    std::string change;
    if (!WritePort(local, o, change, error)) return false;
    tell(change);
    declared.push_back({kDeclaredPort, GivenIn(o, "port")});
  }
  for (const std::string& statement : DeclaredFieldsStatements(declared)) {
    if (!Run(local, statement, error)) return false;
  }
  return true;
}

}  // namespace strivex::host_app
