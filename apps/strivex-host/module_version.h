#pragma once
// The version a module file carries, read from the file itself (its ".strivex_version" section):
// the host never loads a module to learn it, and the module keeps StartStrivex as its only export.

#include <string>

namespace strivex::host_app {

struct ModuleVersion {
  std::string version;  // empty when not found
  std::string error;    // why not: the file cannot be read, is no 64-bit ELF file, has no version
};

ModuleVersion ReadModuleVersion(const std::string& path);

}  // namespace strivex::host_app
