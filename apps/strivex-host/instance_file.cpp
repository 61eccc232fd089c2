#include "instance_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "host/host_record.h"
#include "ini_lines.h"

namespace strivex::host_app {

namespace {

namespace fs = std::filesystem;

bool IsPathKey(std::string_view key) {
  return key == "workdir" || key == "local-db" || key == "password-file" || key == "module";
}

std::string HomeExpanded(const std::string& value, const std::string& home) {
  if (value == "~") return home;
  return value.starts_with("~/") && !home.empty() ? home + value.substr(1) : value;
}

// Why a yes/no value is neither; `yes` tells which it is.
std::string ParseYesNo(const std::string& value, bool& yes) {
  if (value == "yes" || value == "true" || value == "1") {
    yes = true;
  } else if (value == "no" || value == "false" || value == "0") {
    yes = false;
  } else {
    return "expected yes or no, not '" + value + "'";
  }
  return {};
}

// Why the setting cannot be taken; the option's own checks give the rest.
std::string ApplySetting(const IniSetting& setting, const InstancePlaces& places, HostOptions& o) {
  const std::string& key = setting.key;
  if (key == "password") return "password: not kept here; name a password-file (chmod 600)";
  const HostOptionKind kind = KindOfHostOption(key);
  if (!kind.known || key == "instance") return "'" + key + "': unknown setting";
  if (key == "allow-root") return "allow-root: only on the command line";
  std::optional<std::string> value;
  if (!kind.takesValue) {
    bool yes = false;
    if (std::string why = ParseYesNo(setting.value, yes); !why.empty()) return key + ": " + why;
    // "no" is the default of every switch, but for the relay an administrator's answer either way.
    if (!yes && key == "relayed") o.relayed = false;
    if (!yes) return {};
  } else {
    value = IsPathKey(key) ? HomeExpanded(setting.value, places.home) : setting.value;
  }
  if (key == "workdir" && !value->empty() && !fs::path(*value).is_absolute()) {
    return "workdir: not an absolute path: '" + *value + "'";
  }
  if (key == "name" && value->size() >= HostRecord::kInstrumentNameWidth) return "name: longer than 50 bytes";
  std::string why = ApplyHostOption("--" + key, value, o);
  return why.starts_with("--") ? why.substr(2) : why;
}

}  // namespace

InstanceFile ApplyInstanceText(std::string_view text, const std::string& file, const std::string& name,
                               const InstancePlaces& places, HostOptions& o) {
  InstanceFile result;
  const IniLines lines = ParseIniLines(text);
  if (!lines.error.empty()) {
    result.error = file + ":" + std::to_string(lines.errorLine) + ": " + lines.error;
    return result;
  }
  std::map<std::string, int> seen;
  for (const IniSetting& setting : lines.settings) {
    std::string why;
    if (const auto [first, added] = seen.emplace(setting.key, setting.line); !added) {
      why = "'" + setting.key + "': given twice (first on line " + std::to_string(first->second) + ")";
    } else {
      why = ApplySetting(setting, places, o);
      o.givenIn.insert_or_assign(setting.key, file);
    }
    if (!why.empty()) {
      result.error = file + ":" + std::to_string(setting.line) + ": " + why;
      return result;
    }
  }
  result.machineId = seen.contains("machine-id");
  if (o.workdir.empty()) {
    if (places.stateDir.empty()) {
      result.error = file + ": workdir: required where HOME is not set";
      return result;
    }
    o.workdir = places.stateDir + "/" + name;
  }
  if (o.localDb.empty()) o.localDb = "local.db";
  // Relative to the folder the module runs in, not to wherever the host was started from.
  if (fs::path(o.localDb).is_relative()) o.localDb = (fs::path(o.workdir) / o.localDb).string();
  if (o.passwordFile && fs::path(*o.passwordFile).is_relative()) {
    o.passwordFile = (fs::path(o.workdir) / *o.passwordFile).string();
  }
  return result;
}

InstanceFile LoadInstanceFile(const std::string& file, const std::string& name, const InstancePlaces& places,
                              HostOptions& o) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) return {file + ": cannot read it: " + std::strerror(errno), false};
  return ApplyInstanceText(text.str(), file, name, places, o);
}

}  // namespace strivex::host_app
