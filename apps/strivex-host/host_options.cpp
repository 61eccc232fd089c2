#include "host_options.h"

#include <charconv>
#include <limits>

#include "host/host_record.h"

namespace strivex::host_app {

const std::string_view kHostUsage =
    "Usage: strivex-host --machine-id N --name NAME --local-db FILE [OPTIONS]\n"
    "Loads the Strivex module, starts it with a host record and passes commands to it.\n"
    "\n"
    "  --module PATH          the module library (default: the built libstrivex.so)\n"
    "  --machine-id N         the instrument's id in the laboratory database\n"
    "  --name NAME            the instrument's name (at most 50 bytes)\n"
    "  --local-db FILE        the installation's local database; created when missing\n"
    "  --server S             for a new local database: the laboratory server's address,\n"
    "  --database D             database,\n"
    "  --user U                 user\n"
    "  --password-file FILE     and password: the first line of FILE (keep it chmod 600)\n"
    "  --password P           the password itself, where every local user can read it (ps);\n"
    "                         not together with --password-file. With neither, the password\n"
    "                         is the environment variable STRIVEX_PASSWORD (else empty)\n"
    "  --relayed              for a new local database: reach the server through the relay\n"
    "  --port NAME            set the instrument's serial port in the local database, as\n"
    "                         given: COM1, ttyUSB0 or a device path (/dev/serial/by-id/...)\n"
    "  --workdir DIR          run in DIR (the logs and NAME.ini live there)\n"
    "  --close-ends-module    the window's close button ends the module (else it hides it)\n"
    "  --server-unavailable   start without the laboratory database\n"
    "  -h, --help             print this help and exit\n"
    "\n"
    "Commands on standard input, one a line:\n"
    "  show      show the module's window\n"
    "  hide      hide it\n"
    "  close     press the window's close button\n"
    "  status    print the host record's fields, key=value\n"
    "  help      list the commands\n"
    "The host exits 0 once the module has shut down; SIGINT and SIGTERM shut it down.\n";

namespace {

bool ParseInt(std::string_view text, int32_t& value) {
  const char* end = text.data() + text.size();
  auto [at, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && at == end;
}

}  // namespace

ParsedHostOptions ParseHostOptions(std::span<const std::string_view> args) {
  ParsedHostOptions parsed;
  HostOptions& o = parsed.options;
  bool haveMachineId = false;
  // Help whatever else the line holds, mistakes included.
  for (std::string_view arg : args) {
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      return parsed;
    }
  }
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    std::optional<std::string_view> inlineValue;
    if (const size_t equals = name.find('='); name.starts_with("--") && equals != std::string_view::npos) {
      inlineValue = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    auto flag = [&](bool& target) {
      if (inlineValue) {
        parsed.error = std::string(name) + " takes no value";
        return;
      }
      target = true;
    };
    auto value = [&](std::string& target) {
      if (inlineValue) {
        target = *inlineValue;
      } else if (i + 1 < args.size()) {
        target = args[++i];
      } else {
        parsed.error = std::string(name) + " needs a value";
      }
    };
    if (name == "--module") {
      value(o.modulePath);
    } else if (name == "--machine-id") {
      std::string text;
      value(text);
      if (parsed.ok() && !ParseInt(text, o.machineId)) parsed.error = "--machine-id: not a number: '" + text + "'";
      haveMachineId = true;
    } else if (name == "--name") {
      value(o.name);
    } else if (name == "--local-db") {
      value(o.localDb);
    } else if (name == "--server") {
      value(o.server);
    } else if (name == "--database") {
      value(o.database);
    } else if (name == "--user") {
      value(o.user);
    } else if (name == "--password" || name == "--password-file") {
      std::string text;
      value(text);
      (name == "--password" ? o.password : o.passwordFile) = text;
    } else if (name == "--port") {
      std::string port;
      value(port);
      o.port = port;
    } else if (name == "--workdir") {
      value(o.workdir);
    } else if (name == "--relayed") {
      flag(o.relayed);
    } else if (name == "--close-ends-module") {
      flag(o.closeEndsModule);
    } else if (name == "--server-unavailable") {
      flag(o.serverUnavailable);
    } else {
      parsed.error = "unknown option '" + std::string(args[i]) + "'";
    }
    if (!parsed.ok()) return parsed;
  }
  if (!haveMachineId) {
    parsed.error = "--machine-id is required (see --help)";
  } else if (o.name.empty()) {
    parsed.error = "--name is required (see --help)";
  } else if (o.name.size() >= HostRecord::kInstrumentNameWidth) {
    parsed.error = "--name: longer than 50 bytes";
  } else if (o.localDb.empty()) {
    parsed.error = "--local-db is required (see --help)";
  } else if (o.password && o.passwordFile) {
    parsed.error = "--password and --password-file: give one of them";
  }
  return parsed;
}

}  // namespace strivex::host_app
