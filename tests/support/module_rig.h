#pragma once
// A machine for the module in a test: COM1, the module's default port, is a pseudo-terminal
// (found through STRIVEX_DEVICE_DIR), and a local database in `dir` knows the instrument "Strivex"
// with the given MACHINES id.

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/pty_pair.h"

namespace strivex::testing {

class ModuleRig {
 public:
  // Throws std::runtime_error when the local database cannot be prepared.
  ModuleRig(const std::filesystem::path& dir, int32_t machineRowId);
  ~ModuleRig();
  ModuleRig(const ModuleRig&) = delete;
  ModuleRig& operator=(const ModuleRig&) = delete;

  std::string LocalPath() const { return localPath_; }
  // Points the local database's server settings (Medianex_Init) at the server of a connection
  // string in the module's format.
  void UseServer(const std::string& connection) const;
  PtyPair& pty() { return pty_; }

 private:
  PtyPair pty_;
  std::string localPath_;
};

}  // namespace strivex::testing
