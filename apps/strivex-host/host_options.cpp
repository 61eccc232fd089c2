#include "host_options.h"

#include <charconv>
#include <utility>

#include <vector>

#include "command_line.h"
#include "declared_settings.h"
#include "host/host_record.h"
#include "instance_file.h"

namespace strivex::host_app {

const std::string_view kHostUsage =
    "strivex-host - host process of the Strivex instrument interface module\n"
    "\n"
    "Usage: strivex-host --machine-id N --name NAME --local-db FILE [OPTIONS]\n"
    "       strivex-host --instance NAME [OPTIONS]\n"
    "       strivex-host --instance [OPTIONS]\n"
    "       strivex-host --version\n"
    "\n"
    "Loads the Strivex module, starts it with a host record and passes commands to it.\n"
    "\n"
    "Options:\n"
    "  --instance NAME        Take the options from the instance file NAME.ini in\n"
    "                         $XDG_CONFIG_HOME/strivex, else /etc/strivex; options given\n"
    "                         here override it. When NAME already runs, its window is shown\n"
    "                         and this host exits 0. Without NAME, start the only instance\n"
    "                         file there, or choose one of several in a window.\n"
    "  --module PATH          Load this module (default: libstrivex.so beside the program, or\n"
    "                         the installed one).\n"
    "  --machine-id N         Start the instrument whose id in the laboratory database is N.\n"
    "  --name NAME            Give the instrument this name (at most 50 bytes).\n"
    "  --local-db FILE        Use this local database of the installation, created when\n"
    "                         missing.\n"
    "  --workdir DIR          Run in DIR, where the logs and NAME.ini live.\n"
    "  --close-ends-module    Make the window's close button end the module (else it hides\n"
    "                         the window).\n"
    "  --server-unavailable   Start without the laboratory database.\n"
    "  --allow-root           Run even as root, which is refused otherwise: an instrument's\n"
    "                         module belongs to its lab user's session.\n"
    "  -h, --help             Print this help and exit.\n"
    "  --version              Print the host's version, and the module it would load with\n"
    "                         that module's version, and exit.\n"
    "\n"
    "Settings of the module, given here or in the instance file: the administrator's\n"
    "declaration, written into the local database at every start (a change is logged on\n"
    "standard error, a password only as changed) and shown read-only in the module's\n"
    "dialogs. What neither gives stays as the operator sets it in the dialogs.\n"
    "  --server S             Connect to the laboratory server at this address.\n"
    "  --database D           Use this database on it.\n"
    "  --user U               Log in as this user.\n"
    "  --password-file FILE   Read the password from the first line of FILE (keep it\n"
    "                         chmod 600).\n"
    "  --password P           Log in with this password, which every local user can read\n"
    "                         (ps). It does not go together with --password-file. With\n"
    "                         neither, a new local database takes the environment variable\n"
    "                         STRIVEX_PASSWORD.\n"
    "  --server-port N        Connect to this TCP port of the server (1-65535).\n"
    "  --tds-version V        Make the driver speak this protocol version: 7.0 to 7.4 or 8.0.\n"
    "  --client-charset C     Make the driver convert texts to this character set (CP1250).\n"
    "  --relayed              Reach the server through the relay (in the instance file:\n"
    "                         relayed = yes or no).\n"
    "  --port NAME            Read the instrument on this serial port, as given: COM1, ttyUSB0\n"
    "                         or a device path (/dev/serial/by-id/...).\n"
    "\n"
    "Commands on standard input, one a line:\n"
    "  show      Show the module's window.\n"
    "  hide      Hide it.\n"
    "  close     Press the window's close button.\n"
    "  status    Print the host record's fields, key=value.\n"
    "  help      List the commands.\n"
    "SIGINT and SIGTERM shut the module down.\n"
    "\n"
    "Exit status:\n"
    "  0  the module has shut down\n"
    "  1  the module could not be loaded or started, or the working directory not entered\n"
    "  2  usage error, the instance file or password file cannot be used, or run as root\n"
    "     without --allow-root\n"
    "  3  the local database cannot be opened or prepared\n"
    "(errors: one line 'strivex-host: WHAT: WHY' on standard error)\n";

namespace {

bool ParseInt(std::string_view text, int32_t& value) {
  const char* end = text.data() + text.size();
  auto [at, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && at == end;
}

constexpr app::LongOption kOptions[] = {
    {"module", true},       {"machine-id", true}, {"name", true},   {"local-db", true},
    {"password", true},     {"password-file", true}, {"port", true}, {"workdir", true},
    {"relayed"},            {"close-ends-module"}, {"server-unavailable"}, {"instance", true},
    {"allow-root"},
};

// kOptions and the server's text settings.
const std::vector<app::LongOption>& AllOptions() {
  static const std::vector<app::LongOption> all = [] {
    std::vector<app::LongOption> options(std::begin(kOptions), std::end(kOptions));
    for (const DeclaredSetting& setting : DeclaredSettings()) options.push_back({setting.option, true});
    return options;
  }();
  return all;
}

// The option's field, for those whose value is kept as given.
std::string* TextField(std::string_view name, HostOptions& o) {
  if (name == "--module") return &o.modulePath;
  if (name == "--name") return &o.name;
  if (name == "--local-db") return &o.localDb;
  if (name == "--workdir") return &o.workdir;
  return nullptr;
}

}  // namespace

HostOptionKind KindOfHostOption(std::string_view name) {
  for (const app::LongOption& option : AllOptions()) {
    if (option.name == name) return {true, option.takesValue};
  }
  return {};
}

std::string ApplyHostOption(std::string_view name, const std::optional<std::string>& option, HostOptions& o) {
  if (!option) {
    if (name == "--relayed") {
      o.relayed = true;
    } else if (name == "--allow-root") {
      o.allowRoot = true;
    } else {
      (name == "--close-ends-module" ? o.closeEndsModule : o.serverUnavailable) = true;
    }
    return {};
  }
  const std::string& value = *option;
  if (const DeclaredSetting* setting = FindDeclaredSetting(name.substr(2))) {
    if (setting->refusal != nullptr) {
      if (std::string why = setting->refusal(value); !why.empty()) return std::string(name) + ": " + why;
    }
    o.settings.insert_or_assign(std::string(setting->option), value);
  } else if (std::string* field = TextField(name, o)) {
    *field = value;
  } else if (name == "--machine-id") {
    if (!ParseInt(value, o.machineId)) return "--machine-id: not a number: '" + value + "'";
  } else if (name == "--port") {
    o.port = value;
  } else if (name == "--instance") {
    o.instance = value;
  } else {
    (name == "--password" ? o.password : o.passwordFile) = value;
  }
  return {};
}

namespace {

// The instance file of the last --instance under the options; why it cannot be used, or empty.
std::string ReadInstance(const app::CommandLine& line, const InstancePlaces& places, HostOptions& o,
                         bool& haveMachineId, std::string& file) {
  const app::ParsedOption* given = nullptr;
  for (const app::ParsedOption& option : line.options) {
    if (option.name == "--instance") given = &option;
  }
  if (given == nullptr) return {};
  o.instance = *given->value;
  if (!IsInstanceName(o.instance)) {
    return "--instance: '" + o.instance + "': letters, digits, '-' and '_' only";
  }
  std::string error;
  file = FindInstanceFile(o.instance, places, error);
  if (file.empty()) return "--instance " + o.instance + ": " + error;
  const InstanceFile read = LoadInstanceFile(file, o.instance, places, o);
  haveMachineId = read.machineId;
  return read.error;
}

}  // namespace

ParsedHostOptions ParseHostOptions(std::span<const std::string_view> args, const InstancePlaces& places) {
  ParsedHostOptions parsed;
  HostOptions& o = parsed.options;
  const app::CommandLine line = app::ParseCommandLine(args, AllOptions(), {.version = true});
  o.help = line.help;
  o.version = line.version;
  if (o.help) return parsed;
  if (o.version) {
    // --version names the module --module would load.
    for (const app::ParsedOption& option : line.options) {
      if (option.name == "--module") o.modulePath = *option.value;
    }
    return parsed;
  }
  // Known before anything else is read: root is refused before a file of root's is looked at.
  for (const app::ParsedOption& option : line.options) o.allowRoot = o.allowRoot || option.name == "--allow-root";
  if (!line.ok()) {
    parsed.error = line.error->what + ": " + line.error->why;
    return parsed;
  }
  bool haveMachineId = false;
  std::string instanceFile;
  parsed.error = ReadInstance(line, places, o, haveMachineId, instanceFile);
  if (!parsed.ok()) return parsed;
  // A password given here replaces the file's password file rather than clashing with it.
  const std::optional<std::string> filePasswordFile = std::exchange(o.passwordFile, std::nullopt);
  for (const app::ParsedOption& option : line.options) {
    parsed.error = ApplyHostOption(option.name, option.value, o);
    if (!parsed.ok()) return parsed;
    o.givenIn.insert_or_assign(option.name.substr(2), std::string());
    haveMachineId = haveMachineId || option.name == "--machine-id";
  }
  if (!o.password && !o.passwordFile) o.passwordFile = filePasswordFile;
  // Missing values are the file's to give when there is one.
  const std::string missing = instanceFile.empty() ? "--" : instanceFile + ": ";
  if (!line.operands.empty()) {
    parsed.error = "'" + line.operands.front() + "': unexpected argument";
  } else if (!haveMachineId) {
    parsed.error = missing + "machine-id: required (see --help)";
  } else if (o.name.empty()) {
    parsed.error = missing + "name: required (see --help)";
  } else if (o.name.size() >= HostRecord::kInstrumentNameWidth) {
    parsed.error = "--name: longer than 50 bytes";
  } else if (o.localDb.empty()) {
    parsed.error = "--local-db: required (see --help)";
  } else if (o.password && o.passwordFile) {
    parsed.error = "--password and --password-file: give one of them";
  }
  return parsed;
}

std::string RootRefusal(uid_t effectiveUid, bool allowRoot) {
  if (effectiveUid != 0 || allowRoot) return {};
  return "refusing to run as root: an instrument's module runs in its lab user's session "
         "(systemctl --user start strivex@NAME); give --allow-root to run it as root anyway";
}

}  // namespace strivex::host_app
