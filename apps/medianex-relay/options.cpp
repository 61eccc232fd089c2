#include "options.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <optional>

#include "command_line.h"
#include "db/connection_string.h"

namespace strivex::relay {

const std::string_view kUsage =
    "medianex-relay - relay server of the Strivex relayed database sessions\n"
    "\n"
    "Usage: medianex-relay [--listen ADDRESS:PORT] [--allow CIDR ...] [--max-clients N]\n"
    "                      [--max-per-address N] [--greeting-timeout S] [--request-timeout S]\n"
    "                      [--allow-driver NAME ...] [--local-db-dir DIR] [--allow-key NAME ...]\n"
    "                      [--max-result-mb N]\n"
    "       medianex-relay --version\n"
    "\n"
    "Serves relayed database sessions: each client sends a greeting, then requests that the\n"
    "relay runs on a database session of that client's own, opened with the connection string\n"
    "the client sends.\n"
    "\n"
    "Options:\n"
    "  --listen ADDRESS:PORT  Listen on this IPv4 address and port (default 127.0.0.1:9081).\n"
    "                         Port 0 lets the system choose one.\n"
    "  --allow CIDR           Let peers in this range connect (A.B.C.D/N or A.B.C.D). Repeat\n"
    "                         it for more ranges. Without it only loopback peers are let in.\n"
    "  --max-clients N        Serve at most N clients at once, 1 to 1024 (default 32). More\n"
    "                         are disconnected at once, except that when the relay is full an\n"
    "                         address holding less than its fair share takes back the idlest\n"
    "                         place of an address holding more.\n"
    "  --max-per-address N    Accept at most N connections from one address, 1 to 1024\n"
    "                         (default 8). More are refused.\n"
    "  --greeting-timeout S   Close a connection that has not greeted within S seconds\n"
    "                         (default 5).\n"
    "  --request-timeout S    Give a request once begun S seconds to arrive whole, and a reply\n"
    "                         S seconds to be taken (default 60). Idle clients and running\n"
    "                         statements are not limited.\n"
    "  --allow-driver NAME    Let clients open this registered ODBC driver name besides\n"
    "                         'SQL Server'. Repeat it for more. A library path is never let in.\n"
    "  --local-db-dir DIR     Let clients open local database files inside DIR. By default\n"
    "                         they open none.\n"
    "  --allow-key NAME       Let clients' connection strings hold this key besides the\n"
    "                         built-in list. Repeat it for more.\n"
    "  --max-result-mb N      Let the result sets of one client's session hold at most N MiB\n"
    "                         in memory, 1 to 4096 (default 32). A statement whose result\n"
    "                         would pass it fails.\n"
    "  -h, --help             Print this help and exit.\n"
    "  --version              Print the version and exit.\n"
    "\n"
    "The relay runs any statement its clients send, so keep it on loopback or a trusted range.\n"
    "It refuses connection strings that name a driver by path or hold a key outside its list\n"
    "(the module's login keys and a few FreeTDS settings, logged at start; --allow-key adds\n"
    "one): other keys make the driver manager or a driver set the relay's environment, load\n"
    "libraries or write files.\n"
    "\n"
    "Standard output: 'listening on ADDRESS:PORT' once the socket is ready. Standard error:\n"
    "one line per connection and disconnection; refusals once a minute per address, with a\n"
    "count of those refused meanwhile.\n"
    "\n"
    "Exit status:\n"
    "  0  ended by SIGINT or SIGTERM\n"
    "  1  the socket cannot be opened, or another failure\n"
    "  2  usage error\n"
    "(errors: one line 'medianex-relay: WHAT: WHY' on standard error)\n";

namespace {

constexpr int kMostClients = 1024;
constexpr int kMostResultMb = 4096;
constexpr int kMostSeconds = 24 * 3600;

std::optional<int> ParseCount(std::string_view text, int most = kMostClients) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < 1 || value > most) return std::nullopt;
  return value;
}

// A key as a connection string can hold it, and not one the string could split differently.
bool UsableKey(std::string_view key) {
  if (key.empty() || key.front() == ' ' || key.back() == ' ') return false;
  return std::none_of(key.begin(), key.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::string_view("=;{}").find(c) != std::string_view::npos;
  });
}

std::optional<std::chrono::milliseconds> ParseSeconds(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < 1 || value > kMostSeconds) return std::nullopt;
  return std::chrono::seconds(value);
}

std::string Invalid(std::string_view option, std::string_view value) {
  return std::string(option) + ": invalid value '" + std::string(value) + "'";
}

}  // namespace

constexpr app::LongOption kOptions[] = {
    {"listen", true},       {"allow", true},        {"max-clients", true},    {"greeting-timeout", true},
    {"request-timeout", true}, {"allow-driver", true}, {"local-db-dir", true}, {"max-per-address", true},
    {"allow-key", true},    {"max-result-mb", true},
};

ParsedOptions ParseOptions(std::span<const std::string_view> args) {
  ParsedOptions parsed;
  RelayOptions& options = parsed.options;
  const app::CommandLine line = app::ParseCommandLine(args, kOptions, {.version = true});
  options.help = line.help;
  options.version = line.version;
  if (options.help || options.version) return parsed;
  if (!line.ok()) {
    parsed.error = line.error->what + ": " + line.error->why;
    return parsed;
  }
  if (!line.operands.empty()) {
    parsed.error = "'" + line.operands.front() + "': unexpected argument";
    return parsed;
  }
  for (const app::ParsedOption& option : line.options) {
    const std::string_view name = option.name;
    const std::string_view value = *option.value;
    if (name == "--listen") {
      const std::optional<ListenAddress> listen = ParseListenAddress(value);
      if (!listen) parsed.error = Invalid(name, value);
      else options.listen = *listen;
    } else if (name == "--allow") {
      const std::optional<AddressRange> range = ParseCidr(value);
      if (!range) parsed.error = Invalid(name, value);
      else options.allowed.push_back(*range);
    } else if (name == "--max-clients") {
      const std::optional<int> count = ParseCount(value);
      if (!count) parsed.error = Invalid(name, value);
      else options.maxClients = *count;
    } else if (name == "--max-per-address") {
      const std::optional<int> count = ParseCount(value);
      if (!count) parsed.error = Invalid(name, value);
      else options.maxPerAddress = *count;
    } else if (name == "--greeting-timeout" || name == "--request-timeout") {
      const std::optional<std::chrono::milliseconds> timeout = ParseSeconds(value);
      if (!timeout) parsed.error = Invalid(name, value);
      else (name == "--greeting-timeout" ? options.greetingTimeout : options.requestTimeout) = *timeout;
    } else if (name == "--allow-driver") {
      // A path here would let any client load that library.
      if (value.empty() || LooksLikeDriverPath(value) || value.find_first_of("{};") != std::string_view::npos)
        parsed.error = Invalid(name, value);
      else options.drivers.emplace_back(value);
    } else if (name == "--allow-key") {
      if (!UsableKey(value)) parsed.error = Invalid(name, value);
      else options.keys.emplace_back(value);
    } else if (name == "--max-result-mb") {
      const std::optional<int> mb = ParseCount(value, kMostResultMb);
      if (!mb) parsed.error = Invalid(name, value);
      else options.maxResultMb = *mb;
    } else {
      if (value.empty() || value.front() != '/') parsed.error = Invalid(name, value) + " (an absolute path)";
      else options.localDbDir = std::string(value);
    }
    if (!parsed.ok()) return parsed;
  }
  return parsed;
}

std::string AllowedKeysLine(const RelayOptions& options) {
  std::string line = "connection-string keys allowed:";
  for (const std::string_view key : kAllowedConnectionKeys) line += " " + std::string(key);
  for (const std::string& key : options.keys) line += " " + key;
  return line;
}

}  // namespace strivex::relay
