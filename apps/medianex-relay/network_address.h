#pragma once
// IPv4 listening addresses and the peer ranges allowed to connect.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace strivex::relay {

// Where the relay listens.
struct ListenAddress {
  uint32_t address = 0;  // host byte order
  uint16_t port = 0;     // 0 lets the system choose
};

// A range of peer addresses: those equal to `network` under `mask`.
struct AddressRange {
  uint32_t network = 0;  // host byte order, host bits cleared
  uint32_t mask = 0;
};

// "A.B.C.D" in host byte order; nullopt for anything else.
std::optional<uint32_t> ParseIpv4(std::string_view text);
// A host-order address as "A.B.C.D".
std::string FormatIpv4(uint32_t address);
// "A.B.C.D:PORT"; nullopt for anything else.
std::optional<ListenAddress> ParseListenAddress(std::string_view text);
// "A.B.C.D/N" or a single address "A.B.C.D"; nullopt for anything else.
std::optional<AddressRange> ParseCidr(std::string_view text);

// With no ranges only loopback peers get in: the relay runs any statement it is sent.
bool PeerAllowed(uint32_t peer, const std::vector<AddressRange>& allowed);

}  // namespace strivex::relay
