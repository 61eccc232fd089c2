#pragma once
// The command line of strivex-host: which module to load, what to put in the host record and how
// to make the local database of a new installation.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace strivex::host_app {

// What the command line asked for.
struct HostOptions {
  bool help = false;
  bool version = false;
  std::string modulePath;  // empty: the built module (see DefaultModulePath)
  int32_t machineId = 0;  // host record offset 16
  std::string name;       // the instrument's name, host record offset 20
  std::string localDb;    // the local database's path, host record offset 76
  // Server settings written into a new local database.
  std::string server;
  std::string database;
  std::string user;
  std::optional<std::string> password;      // --password; the seeded one once resolved (main)
  std::optional<std::string> passwordFile;  // --password-file
  bool relayed = false;  // DirectConect 0: sessions through medianex-relay
  std::optional<std::string> port;  // serial port row of the instrument, written at every start
  std::string workdir;            // the module's working directory (its logs land there)
  bool closeEndsModule = false;   // host record offset 74
  bool serverUnavailable = false; // host record offset 71
};

// The options, or why the command line is not usable.
struct ParsedHostOptions {
  HostOptions options;
  std::string error;  // empty when usable
  bool ok() const { return error.empty(); }
};

// `args` excludes the program name; a value follows its option or comes after '='.
ParsedHostOptions ParseHostOptions(std::span<const std::string_view> args);

// The --help text.
extern const std::string_view kHostUsage;

}  // namespace strivex::host_app
