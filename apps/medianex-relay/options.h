#pragma once
// The command line of the relay server.

#include <chrono>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/relay_wire.h"
#include "util/timings.h"
#include "network_address.h"
#include "program_output.h"

namespace strivex::relay {

inline constexpr int kExitOk = app::kExitOk;            // ended by SIGINT or SIGTERM, or --help
inline constexpr int kExitFailure = app::kExitFailed;  // the socket cannot be opened, or another failure
inline constexpr int kExitUsage = app::kExitUsage;     // a bad command line

// What the command line asks for.
struct RelayOptions {
  bool help = false;                                     // print the usage and exit
  bool version = false;                                  // print the version and exit
  ListenAddress listen{0x7F000001u, kRelayDefaultPort};  // 127.0.0.1:9081 unless told
  std::vector<AddressRange> allowed;                     // none: loopback peers only
  int maxClients = 32;                                   // served at once; more are closed
  // Connections from one address, waiting or served: a lab PC runs several instruments' modules
  // besides dialogs and command-line sessions.
  int maxPerAddress = 8;
  // A connection that has not greeted by then is closed, so silent ones cannot hold the slots.
  std::chrono::milliseconds greetingTimeout{timings::kRelayGreetingTimeout};
  // A request once begun must arrive whole within this; an idle client between requests waits
  // as long as it likes, and a running statement is not limited by it. Also bounds how long a
  // reply may wait for a client that does not read.
  std::chrono::milliseconds requestTimeout{timings::kRelayRequestTimeout};
  // Registered ODBC driver names a client's connection string may use ("SQL Server" always).
  std::vector<std::string> drivers{"SQL Server"};
  // Where clients may open local database files; empty: nowhere.
  std::string localDbDir;
  // Connection-string keys clients may use besides the built-in list (kAllowedConnectionKeys).
  std::vector<std::string> keys;
  // What the result sets of one client's session may hold in memory, in MiB.
  int maxResultMb = 32;

  size_t maxResultBytes() const { return static_cast<size_t>(maxResultMb) << 20; }
};

// The options, or why the command line is unusable.
struct ParsedOptions {
  RelayOptions options;
  std::string error;  // empty when the command line is usable

  bool ok() const { return error.empty(); }  // whether the command line is usable
};

// `args` excludes the program name; values follow their option or come after '='.
ParsedOptions ParseOptions(std::span<const std::string_view> args);

// The text --help prints, ending with a line break.
extern const std::string_view kUsage;

// The log line naming every connection-string key clients may use.
std::string AllowedKeysLine(const RelayOptions& options);

}  // namespace strivex::relay
