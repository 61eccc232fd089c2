#include "local_database.h"

#include <filesystem>
#include <system_error>

#include "db/baza_de_date.h"
#include "db/sql_text.h"
#include "util/format.h"

namespace strivex::host_app {

namespace {

// The password the module opens the file with; SQLite ignores it, the connection string keeps it.
constexpr char kLocalPassword[] = "quomar";

bool Run(BazaDeDate& local, const std::string& sql, std::string& error) {
  if (local.SQLCommand(sql, 0)) return true;
  error = "local database: " + local.LastErrorMessage() + " " + local.LastErrorDetail();
  return false;
}

}  // namespace

bool PrepareLocalDatabase(const HostOptions& o, std::string& error) {
  std::error_code ignored;
  const bool isNew = !std::filesystem::exists(o.localDb, ignored);
  BazaDeDate local;
  // Opening a missing file creates it with the schema and the default settings rows.
  if (!local.DeschidBazaLocala(o.localDb, kLocalPassword, 1)) {
    error = o.localDb + ": the local database cannot be opened";
    return false;
  }
  if (isNew) {
    const std::string password = o.password.value_or("");
    const std::pair<const char*, const std::string*> settings[] = {
        {"Adresa Server", &o.server}, {"Baza de date", &o.database}, {"Utilizator", &o.user}, {"Parola", &password}};
    for (const auto& [property, value] : settings) {
      if (!Run(local,
               Format("UPDATE Medianex_Init SET Valoare='%s' where Proprietate='%s'", EscapeSqlText(*value).c_str(),
                      property),
               error)) {
        return false;
      }
    }
    if (!Run(local,
             Format("UPDATE Medianex_Init SET Valoare='%d' where Proprietate='DirectConect'", o.relayed ? 0 : 1),
             error) ||
        !Run(local,
             Format("INSERT INTO MACHINES (ID, name) VALUES (%d, '%s')", o.machineId, EscapeSqlText(o.name).c_str()),
             error)) {
      return false;
    }
  }
  if (o.port) {
    // The module keys its settings by the low 16 bits of the MACHINES id.
    if (!local.GetRecords(Format("SELECT ID FROM MACHINES WHERE name='%s'", EscapeSqlText(o.name).c_str()), 0)) {
      error = "local database: no MACHINES row named " + o.name;
      return false;
    }
    const auto localId = static_cast<int16_t>(static_cast<uint32_t>(local.ValoareColoana("ID", 0).intVal) & 0xFFFF);
    local.InchidTabel(0);
    if (!Run(local, Format("DELETE FROM MACHINE_SETTINGS WHERE MachineID=%d AND NAME='port'", localId), error) ||
        !Run(local,
             Format("INSERT INTO MACHINE_SETTINGS (MachineID, NAME, VALUE) VALUES (%d, 'port', '%s')", localId,
                    EscapeSqlText(*o.port).c_str()),
             error)) {
      return false;
    }
  }
  return true;
}

}  // namespace strivex::host_app
