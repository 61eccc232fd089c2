#include "instance_places.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace strivex::host_app {

namespace {

// $VARIABLE/sub when the variable is an absolute path (others are to be ignored), else
// HOME/fallback/sub; empty without either.
std::string BaseDir(const char* variable, const std::string& home, const char* fallback, const char* sub) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return std::string(value) + sub;
  return home.empty() ? std::string() : home + "/" + fallback + sub;
}

}  // namespace

InstancePlaces InstancePlaces::FromEnvironment() {
  InstancePlaces places;
  const char* home = std::getenv("HOME");
  places.home = home != nullptr ? home : "";
  places.userDir = BaseDir("XDG_CONFIG_HOME", places.home, ".config", "/strivex");
  places.systemDir = "/etc/strivex";
  places.stateDir = BaseDir("XDG_STATE_HOME", places.home, ".local/state", "/strivex");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') places.runtimeDir = std::string(runtime) + "/strivex";
  return places;
}

bool IsInstanceName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letterOrDigit && c != '-' && c != '_') return false;
  }
  return true;
}

std::string FindInstanceFile(const std::string& name, const InstancePlaces& places, std::string& error) {
  const std::string fileName = name + ".ini";
  std::error_code ignored;
  for (const std::string& dir : {places.userDir, places.systemDir}) {
    const std::string file = dir + "/" + fileName;
    if (!dir.empty() && std::filesystem::exists(file, ignored)) return file;
  }
  error = "no " + fileName + " in " + (places.userDir.empty() ? "" : places.userDir + " or ") + places.systemDir;
  return {};
}

}  // namespace strivex::host_app
