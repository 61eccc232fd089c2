#pragma once
// The command line of strivex-host: which module to load, what to put in the host record and how
// to make the local database of a new installation.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace strivex::host_app {

struct HostOptions {
  bool help = false;
  std::string modulePath;  // empty: the built module (see DefaultModulePath)
  int32_t machineId = 0;
  std::string name;
  std::string localDb;
  // Server settings written into a new local database.
  std::string server;
  std::string database;
  std::string user;
  std::string password;
  bool relayed = false;
  std::optional<std::string> port;  // serial port row of the instrument, written at every start
  std::string workdir;
  bool closeEndsModule = false;
  bool serverUnavailable = false;
};

struct ParsedHostOptions {
  HostOptions options;
  std::string error;  // empty when usable
  bool ok() const { return error.empty(); }
};

// `args` excludes the program name; a value follows its option or comes after '='.
ParsedHostOptions ParseHostOptions(std::span<const std::string_view> args);

extern const std::string_view kHostUsage;

}  // namespace strivex::host_app
