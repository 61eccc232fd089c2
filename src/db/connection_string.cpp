#include "db/connection_string.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>
#include <vector>

#include "db/server_address.h"
#include "util/format.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) { return TrimBlanks(text); }

// Where a braced value that opens at `open` ends: past the first '}' that is not doubled ("}}"
// stands for one '}' inside); npos when none closes it.
size_t BracedEnd(std::string_view text, size_t open) {
  for (size_t i = open + 1; i < text.size(); ++i) {
    if (text[i] != '}') continue;
    if (i + 1 < text.size() && text[i + 1] == '}') {
      ++i;
      continue;
    }
    return i + 1;
  }
  return std::string_view::npos;
}

// The pairs between semicolons. A value that starts with '{' runs to its closing brace, so a
// semicolon inside does not separate.
std::vector<std::string_view> Pairs(std::string_view text) {
  std::vector<std::string_view> pairs;
  size_t start = 0;
  for (;;) {
    size_t at = std::min(text.find_first_of(";=", start), text.size());
    if (at < text.size() && text[at] == '=') {
      ++at;
      while (at < text.size() && IsBlank(text[at])) ++at;
      if (at < text.size() && text[at] == '{') at = std::min(BracedEnd(text, at), text.size());
      at = std::min(text.find(';', at), text.size());
    }
    pairs.push_back(text.substr(start, at - start));
    if (at == text.size()) return pairs;
    start = at + 1;
  }
}

// A value as written, without the blanks around it; a braced one without its braces and with
// its doubled '}' single again.
std::string ValueText(std::string_view written) {
  written = Trim(written);
  if (written.empty() || written.front() != '{' || BracedEnd(written, 0) != written.size()) {
    return std::string(written);
  }
  std::string value;
  for (size_t i = 1; i + 1 < written.size(); ++i) {
    value += written[i];
    if (written[i] == '}') ++i;
  }
  return value;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The keys ODBC drivers take a password from.
bool IsOdbcPasswordKey(std::string_view key) {
  return EqualsIgnoringCase(key, "Pwd") || EqualsIgnoringCase(key, "Password");
}

}  // namespace

std::string JetConnectionString(std::string_view dataSource, std::string_view password) {
  const std::string source(dataSource);
  if (password.empty()) return Format("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=%s ", source.c_str());
  const std::string secret(password);
  return Format(
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%s ;Mode=ReadWrite;Persist Security Info=False;"
      "Jet OLEDB:Database Password=%s ;",
      source.c_str(), secret.c_str());
}

std::string OdbcValue(std::string_view value) {
  if (value.find_first_of(";{}") == std::string_view::npos) return std::string(value);
  std::string braced = "{";
  for (const char c : value) {
    braced += c;
    if (c == '}') braced += '}';
  }
  return braced + "}";
}

std::string SqlServerConnectionString(const DbConnectionFields& fields) {
  std::string address = fields.serverAddress;
  std::string port = fields.serverPort;
  std::string tdsVersion = fields.tdsVersion;
  std::string clientCharset = fields.clientCharset;
  if (const auto old = SplitOldServerSetting(fields.serverAddress)) {
    address = old->address;
    if (port.empty()) port = old->port;
    if (tdsVersion.empty()) tdsVersion = old->tdsVersion;
    if (clientCharset.empty()) clientCharset = old->clientCharset;
  }
  const AddressForm form = fields.direct == 1 ? AddressForm::kSqlServer : AddressForm::kRelay;
  // A plain name goes as it is written; one that is not an address at all too, for the driver to
  // say why it cannot be reached.
  const auto parsed = ParseServerAddress(address, form);
  if (parsed && (parsed->port != 0 || !parsed->instance.empty())) {
    address = ServerName(*parsed);
    if (form == AddressForm::kSqlServer && parsed->port != 0) port = std::to_string(parsed->port);
  }
  std::string out = Format("Driver={SQL Server}; Server=%s; Network=; Database=%s; Uid=%s;Pwd=%s",
                           OdbcValue(address).c_str(), OdbcValue(fields.database).c_str(),
                           OdbcValue(fields.user).c_str(), OdbcValue(fields.password).c_str());
  for (const auto& [key, value] : {std::pair<const char*, const std::string&>{"Port", port},
                                   {"TDS_Version", tdsVersion},
                                   {"ClientCharset", clientCharset}}) {
    if (!value.empty()) out += std::string("; ") + key + "=" + OdbcValue(value);
  }
  return out;
}

bool IsJetConnectionString(std::string_view connectionString) {
  const auto provider = ConnectionValue(connectionString, "Provider");
  return provider && provider->starts_with("Microsoft.Jet.OLEDB");
}

std::optional<std::string> ConnectionValue(std::string_view connectionString, std::string_view key) {
  for (std::string_view pair : Pairs(connectionString)) {
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos) continue;
    if (EqualsIgnoringCase(Trim(pair.substr(0, equals)), key)) return ValueText(pair.substr(equals + 1));
  }
  return std::nullopt;
}

std::string WithConnectionPassword(std::string_view connectionString, std::string_view password) {
  std::string out;
  bool placed = false;
  bool first = true;
  for (std::string_view pair : Pairs(connectionString)) {
    if (!first) out += ';';
    first = false;
    const size_t equals = pair.find('=');
    if (equals != std::string_view::npos && IsOdbcPasswordKey(Trim(pair.substr(0, equals)))) {
      out += pair.substr(0, equals + 1);
      out += OdbcValue(password);
      placed = true;
    } else {
      out += pair;
    }
  }
  if (!placed) {
    const std::string_view written = Trim(out);
    if (!written.empty() && written.back() != ';') out += ';';
    out += "Pwd=" + OdbcValue(password);
  }
  return out;
}

std::optional<std::string> KeyOutside(std::string_view connectionString,
                                      std::span<const std::string_view> allowed) {
  for (std::string_view pair : Pairs(connectionString)) {
    const std::string_view key = Trim(pair.substr(0, pair.find('=')));
    if (key.empty() && pair.find('=') == std::string_view::npos) continue;
    const auto listed = [key](std::string_view name) { return EqualsIgnoringCase(name, key); };
    if (std::none_of(allowed.begin(), allowed.end(), listed)) return std::string(key);
  }
  return std::nullopt;
}

std::string MaskPasswords(std::string_view connectionString) {
  std::string out;
  bool first = true;
  for (std::string_view pair : Pairs(connectionString)) {
    if (!first) out += ';';
    first = false;
    const size_t equals = pair.find('=');
    const std::string_view key = equals == std::string_view::npos ? std::string_view{} : Trim(pair.substr(0, equals));
    const bool secret = EqualsIgnoringCase(key, "pwd") ||
                        (key.size() >= 8 && EqualsIgnoringCase(key.substr(key.size() - 8), "password"));
    if (!secret) {
      out += pair;
      continue;
    }
    out += pair.substr(0, equals + 1);
    out += "***";
  }
  return out;
}

std::string MaskPasswordIn(std::string_view text, std::string_view connectionString) {
  std::string out(text);
  for (const char* key : {"Pwd", "Password"}) {
    const std::string secret = ConnectionValue(connectionString, key).value_or("");
    if (secret.empty()) continue;
    for (size_t at = out.find(secret); at != std::string::npos; at = out.find(secret, at + 3)) {
      out.replace(at, secret.size(), "***");
    }
  }
  return out;
}

std::string TrimConnectionString(std::string_view connectionString) {
  std::string out;
  for (std::string_view pair : Pairs(connectionString)) {
    pair = Trim(pair);
    if (pair.empty()) continue;
    if (!out.empty()) out += ';';
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos) {
      out += pair;
      continue;
    }
    out += Trim(pair.substr(0, equals));
    out += '=';
    out += Trim(pair.substr(equals + 1));
  }
  return out;
}

namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool HasBrace(std::string_view text) { return text.find_first_of("{}") != std::string_view::npos; }

struct StrictPair {
  std::string key;    // as written, without the blanks around it
  std::string value;  // without the blanks around it and without its braces
};

// The pairs as an ODBC reader splits them, or why the string is not one every reader splits
// the same way: a brace opens a value only at its start and closes it at the next brace that is
// not doubled ("}}" stands for '}' inside, a '{' inside is plain text, as the driver manager and
// the drivers read them).
std::optional<std::vector<StrictPair>> SplitStrictly(std::string_view text, std::string& why) {
  std::vector<StrictPair> pairs;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t end = std::min(text.find_first_of(";=", at), text.size());
    const std::string_view key = Trim(text.substr(at, end - at));
    if (end == text.size() || text[end] == ';') {
      if (!key.empty()) {
        why = "a part without '=': '" + std::string(key) + "'";
        return std::nullopt;
      }
      at = end + 1;
      continue;
    }
    if (key.empty() || HasBrace(key)) {
      why = "a malformed key";
      return std::nullopt;
    }
    size_t valueStart = end + 1;
    while (valueStart < text.size() && IsBlank(text[valueStart])) ++valueStart;
    std::string value;
    size_t next = 0;
    if (valueStart < text.size() && text[valueStart] == '{') {
      next = BracedEnd(text, valueStart);
      if (next == std::string_view::npos) {
        why = "braces that do not enclose a whole value";
        return std::nullopt;
      }
      value = ValueText(text.substr(valueStart, next - valueStart));
      while (next < text.size() && IsBlank(text[next])) ++next;
      if (next < text.size() && text[next] != ';') {
        why = "braces that do not enclose a whole value";
        return std::nullopt;
      }
    } else {
      next = std::min(text.find(';', valueStart), text.size());
      value = Trim(text.substr(valueStart, next - valueStart));
      if (HasBrace(value)) {
        why = "braces that do not enclose a whole value";
        return std::nullopt;
      }
    }
    pairs.push_back({std::string(key), std::move(value)});
    at = next + 1;
  }
  return pairs;
}

}  // namespace

bool LooksLikeDriverPath(std::string_view driver) {
  const std::string upper = Upper(Trim(driver));
  return upper.find_first_of("/\\") != std::string::npos || upper.ends_with(".SO") ||
         upper.find(".SO.") != std::string::npos;
}

std::string RefusedConnectionReason(std::string_view connectionString,
                                    const std::vector<std::string>& allowedDrivers,
                                    const std::vector<std::string>& extraKeys) {
  for (const char c : connectionString) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "a control character";
  }
  std::string why;
  const std::optional<std::vector<StrictPair>> pairs = SplitStrictly(connectionString, why);
  if (!pairs) return why;
  std::vector<std::string> seen;
  const StrictPair* driver = nullptr;
  for (const StrictPair& pair : *pairs) {
    const std::string key = Upper(pair.key);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) return "key " + pair.key + " given twice";
    seen.push_back(key);
    const auto listed = [&pair](std::string_view name) { return EqualsIgnoringCase(name, pair.key); };
    if (std::none_of(kAllowedConnectionKeys.begin(), kAllowedConnectionKeys.end(), listed) &&
        std::none_of(extraKeys.begin(), extraKeys.end(), listed))
      return "key " + pair.key + " not allowed (see --allow-key)";
    if (key == "DRIVER") driver = &pair;
  }
  if (driver == nullptr) return "no Driver key";
  if (LooksLikeDriverPath(driver->value)) return "driver given as a path";
  const bool allowed = std::any_of(allowedDrivers.begin(), allowedDrivers.end(), [&](const std::string& name) {
    return EqualsIgnoringCase(name, driver->value);
  });
  if (!allowed) return "driver '" + driver->value + "' not allowed";
  return {};
}

std::string MaskConnectionPassword(std::string_view connectionString) {
  std::string out(connectionString);
  // Every pair start, so a password hides however a reader groups braces.
  for (size_t start = 0; start < out.size(); ++start) {
    if (start > 0 && out[start - 1] != ';') continue;
    const size_t equals = out.find('=', start);
    if (equals == std::string::npos) break;
    if (!IsOdbcPasswordKey(Trim(std::string_view(out).substr(start, equals - start)))) continue;
    size_t end = std::min(out.find(';', equals), out.size());
    const size_t brace = out.find('{', equals);
    if (brace < end) end = std::min(BracedEnd(out, brace), out.size());
    out.replace(equals + 1, end - equals - 1, "***");
  }
  return out;
}

}  // namespace strivex
