#include "db/connection_string.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "util/format.h"

namespace strivex {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The pairs between semicolons; a semicolon inside braces does not separate.
std::vector<std::string_view> Pairs(std::string_view text) {
  std::vector<std::string_view> pairs;
  size_t start = 0;
  int depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '{') ++depth;
    if (text[i] == '}' && depth > 0) --depth;
    if (text[i] == ';' && depth == 0) {
      pairs.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  pairs.push_back(text.substr(start));
  return pairs;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
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

std::string SqlServerConnectionString(std::string_view server, std::string_view database,
                                      std::string_view user, std::string_view password) {
  return Format("Driver={SQL Server}; Server=%s; Network=; Database=%s; Uid=%s;Pwd=%s",
                std::string(server).c_str(), std::string(database).c_str(),
                std::string(user).c_str(), std::string(password).c_str());
}

bool IsJetConnectionString(std::string_view connectionString) {
  const auto provider = ConnectionValue(connectionString, "Provider");
  return provider && provider->starts_with("Microsoft.Jet.OLEDB");
}

std::optional<std::string> ConnectionValue(std::string_view connectionString, std::string_view key) {
  for (std::string_view pair : Pairs(connectionString)) {
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos) continue;
    if (EqualsIgnoringCase(Trim(pair.substr(0, equals)), key)) {
      return std::string(Trim(pair.substr(equals + 1)));
    }
  }
  return std::nullopt;
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
// the same way: a brace opens a value only at its start and closes it at the next brace.
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
    std::string_view value;
    size_t next = 0;
    if (valueStart < text.size() && text[valueStart] == '{') {
      const size_t close = text.find_first_of("{}", valueStart + 1);
      if (close == std::string_view::npos || text[close] != '}') {
        why = "braces that do not enclose a whole value";
        return std::nullopt;
      }
      value = text.substr(valueStart + 1, close - valueStart - 1);
      next = close + 1;
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
    pairs.push_back({std::string(key), std::string(value)});
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
    const std::string_view key = Trim(std::string_view(out).substr(start, equals - start));
    if (!EqualsIgnoringCase(key, "Pwd") && !EqualsIgnoringCase(key, "Password")) continue;
    size_t end = std::min(out.find(';', equals), out.size());
    const size_t brace = out.find('{', equals);
    if (brace < end) end = std::min(out.find('}', brace), out.size() - 1) + 1;
    out.replace(equals + 1, end - equals - 1, "***");
  }
  return out;
}

}  // namespace strivex
