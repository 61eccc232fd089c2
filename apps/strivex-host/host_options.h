#pragma once
// The command line of strivex-host: which module to load, what to put in the host record and what
// to write into the local database at each start.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "instance_places.h"

namespace strivex::host_app {

// What the command line asked for.
struct HostOptions {
  bool help = false;
  bool version = false;
  std::string instance;    // --instance: the options come from this instrument's instance file
  std::string modulePath;  // empty: the built module (see DefaultModulePath)
  int32_t machineId = 0;  // host record offset 16
  std::string name;       // the instrument's name, host record offset 20
  std::string localDb;    // the local database's path, host record offset 76
  // The server's text settings given (DeclaredSettings), by option name: "server" -> "lab-sql".
  std::map<std::string, std::string, std::less<>> settings;
  std::optional<std::string> password;      // --password; the one read once resolved (main)
  std::optional<std::string> passwordFile;  // --password-file
  std::optional<bool> relayed;  // given: DirectConect 0 (yes, through medianex-relay) or 1
  // Where each option was given (without "--"): the instance file's path, or empty for the command
  // line. The server settings given are the administrator's, written at every start.
  std::map<std::string, std::string, std::less<>> givenIn;
  std::optional<std::string> port;  // serial port row of the instrument, written at every start
  std::string workdir;            // the module's working directory (its logs land there)
  bool closeEndsModule = false;   // host record offset 74
  bool serverUnavailable = false; // host record offset 71
  bool allowRoot = false;         // --allow-root, on the command line only
};

// The options, or why the command line is not usable.
struct ParsedHostOptions {
  HostOptions options;
  std::string error;  // empty when usable
  bool ok() const { return error.empty(); }
};

// `args` excludes the program name; a value follows its option or comes after '='. With
// --instance the instance file (found in `places`) is read first and the other options override
// its values.
ParsedHostOptions ParseHostOptions(std::span<const std::string_view> args,
                                   const InstancePlaces& places = InstancePlaces::FromEnvironment());

// The long options by name (without "--"), for the instance file, whose keys are theirs.
struct HostOptionKind {
  bool known = false;
  bool takesValue = false;
};
HostOptionKind KindOfHostOption(std::string_view name);

// Sets the option `name` (with "--") to `value` (nullopt for a switch); why it cannot be, or empty.
std::string ApplyHostOption(std::string_view name, const std::optional<std::string>& value, HostOptions& o);

// Why a host with this effective uid must not start, or empty. As root the module would not be
// the lab user's: another runtime folder lets a second module of a running instance start, and
// its files would be left to root.
std::string RootRefusal(uid_t effectiveUid, bool allowRoot);

// The --help text.
extern const std::string_view kHostUsage;

}  // namespace strivex::host_app
