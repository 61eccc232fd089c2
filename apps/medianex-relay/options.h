#pragma once
// The command line of the relay server.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "network_address.h"

namespace strivex::relay {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct RelayOptions {
  bool help = false;
  ListenAddress listen{0x7F000001u, 9081};
  std::vector<AddressRange> allowed;
  int maxClients = 32;
};

struct ParsedOptions {
  RelayOptions options;
  std::string error;  // empty when the command line is usable

  bool ok() const { return error.empty(); }
};

// `args` excludes the program name; values follow their option or come after '='.
ParsedOptions ParseOptions(std::span<const std::string_view> args);

extern const std::string_view kUsage;

}  // namespace strivex::relay
