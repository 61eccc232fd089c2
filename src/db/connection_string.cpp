#include "db/connection_string.h"

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

}  // namespace strivex
