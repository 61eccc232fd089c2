#include "support/module_rig.h"

#include <cstdlib>
#include <stdexcept>

#include "db/baza_de_date.h"
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

}  // namespace strivex::testing
