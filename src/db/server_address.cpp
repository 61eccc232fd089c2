#include "db/server_address.h"

#include "db/connection_string.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

// What no host or instance name holds: the connection string's syntax, blanks and the separators
// of both forms (a ':' in a SQL Server name or a ',' in a relay's is a mistyped port).
bool PlainName(std::string_view name) { return name.find_first_of(";={}, \t:\\") == std::string_view::npos; }

}  // namespace

std::optional<uint16_t> ParsePort(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

std::optional<ServerAddress> ParseServerAddress(std::string_view text, AddressForm form, AddressProblem* problem) {
  const auto fail = [problem](AddressProblem why) -> std::optional<ServerAddress> {
    if (problem != nullptr) *problem = why;
    return std::nullopt;
  };
  if (problem != nullptr) *problem = AddressProblem::kNone;
  text = TrimBlanks(text);
  ServerAddress address;
  const size_t portAt = text.find(form == AddressForm::kRelay ? ':' : ',');
  if (portAt != std::string_view::npos) {
    const auto port = ParsePort(text.substr(portAt + 1));
    if (!port) return fail(AddressProblem::kBadPort);
    address.port = *port;
    text = TrimBlanks(text.substr(0, portAt));
  }
  if (const size_t instanceAt = text.find('\\');
      form == AddressForm::kSqlServer && instanceAt != std::string_view::npos) {
    address.instance = text.substr(instanceAt + 1);
    text = text.substr(0, instanceAt);
    if (address.instance.empty() || !PlainName(address.instance)) return fail(AddressProblem::kBadHost);
  }
  if (text.empty()) return fail(AddressProblem::kNoHost);
  if (!PlainName(text)) return fail(AddressProblem::kBadHost);
  address.host = text;
  return address;
}

std::string ServerName(const ServerAddress& address) {
  return address.instance.empty() ? address.host : address.host + "\\" + address.instance;
}

const char* AddressProblemText(AddressProblem problem) {
  switch (problem) {
    case AddressProblem::kNone:
      return "";
    case AddressProblem::kNoHost:
      return "no host name";
    case AddressProblem::kBadHost:
      return "a character no host name holds (port, TDS version and character set have settings of their own)";
    case AddressProblem::kBadPort:
      return "the port is not a number from 1 to 65535";
  }
  return "";
}

std::optional<OldServerSetting> SplitOldServerSetting(std::string_view text) {
  const size_t end = text.find(';');
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view rest = text.substr(end + 1);
  return OldServerSetting{std::string(TrimBlanks(text.substr(0, end))), ConnectionValue(rest, "Port").value_or(""),
                          ConnectionValue(rest, "TDS_Version").value_or(""),
                          ConnectionValue(rest, "ClientCharset").value_or("")};
}

}  // namespace strivex
