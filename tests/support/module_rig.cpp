#include "support/module_rig.h"

#include <cstdlib>
#include <stdexcept>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "db/sql_text.h"
#include "util/format.h"

namespace strivex::testing {

ModuleRig::ModuleRig(const std::filesystem::path& dir, int32_t machineRowId)
    : localPath_((dir / "local.db").string()) {
  std::filesystem::create_directory(dir / "dev");
  std::filesystem::create_symlink(pty_.slavePath(), dir / "dev" / "ttyS0");
  setenv("STRIVEX_DEVICE_DIR", (dir / "dev").c_str(), 1);
  BazaDeDate local;
  if (!local.DeschidBazaLocala(localPath_, "quomar", 1) ||
      !local.SQLCommand(Format("INSERT INTO MACHINES (ID, name) VALUES (%d, 'Strivex')", machineRowId), 0)) {
    throw std::runtime_error("cannot prepare the local database " + localPath_);
  }
}

ModuleRig::~ModuleRig() { unsetenv("STRIVEX_DEVICE_DIR"); }

void ModuleRig::UseServer(const std::string& connection) const {
  BazaDeDate local;
  local.DeschidBazaLocala(localPath_, "quomar", 1);
  const std::pair<const char*, const char*> keys[] = {
      {"Adresa Server", "Server"}, {"Baza de date", "Database"}, {"Utilizator", "Uid"}, {"Parola", "Pwd"}};
  for (const auto& [property, key] : keys) {
    local.SQLCommand(Format("UPDATE Medianex_Init SET Valoare='%s' where Proprietate='%s'",
                            EscapeSqlText(ConnectionValue(connection, key).value_or("")).c_str(), property),
                     0);
  }
}

}  // namespace strivex::testing
