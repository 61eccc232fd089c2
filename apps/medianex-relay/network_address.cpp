#include "network_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>

namespace strivex::relay {

namespace {

template <typename Int>
std::optional<Int> ParseDecimal(std::string_view text, Int highest) {
  Int value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > highest)
    return std::nullopt;
  return value;
}

constexpr AddressRange kLoopback{0x7F000000u, 0xFF000000u};

}  // namespace

std::optional<uint32_t> ParseIpv4(std::string_view text) {
  in_addr parsed{};
  if (text.size() > 15 || inet_pton(AF_INET, std::string(text).c_str(), &parsed) != 1)
    return std::nullopt;
  return ntohl(parsed.s_addr);
}

std::string FormatIpv4(uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xFF) + "." +
         std::to_string(address >> 8 & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::optional<uint32_t> address = ParseIpv4(text.substr(0, colon));
  const std::optional<uint16_t> port = ParseDecimal<uint16_t>(text.substr(colon + 1), 65535);
  if (!address || !port) return std::nullopt;
  return ListenAddress{*address, *port};
}

std::optional<AddressRange> ParseCidr(std::string_view text) {
  const size_t slash = text.find('/');
  const std::optional<uint32_t> address = ParseIpv4(text.substr(0, slash));
  if (!address) return std::nullopt;
  int bits = 32;
  if (slash != std::string_view::npos) {
    const std::optional<int> parsed = ParseDecimal<int>(text.substr(slash + 1), 32);
    if (!parsed) return std::nullopt;
    bits = *parsed;
  }
  const uint32_t mask = bits == 0 ? 0u : ~0u << (32 - bits);
  return AddressRange{*address & mask, mask};
}

bool PeerAllowed(uint32_t peer, const std::vector<AddressRange>& allowed) {
  const auto contains = [peer](const AddressRange& range) {
    return (peer & range.mask) == range.network;
  };
  if (allowed.empty()) return contains(kLoopback);
  return std::any_of(allowed.begin(), allowed.end(), contains);
}

}  // namespace strivex::relay
