#include "declared_settings.h"

#include <charconv>

namespace strivex::host_app {

namespace {

std::string RefusedServerPort(const std::string& value) {
  int port = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
  if (error == std::errc() && end == value.data() + value.size() && port >= 1 && port <= 65535) return {};
  return "not a port number (1-65535): '" + value + "'";
}

// The versions of the protocol SQL Server speaks and the driver takes.
std::string RefusedTdsVersion(const std::string& value) {
  for (const char* version : {"7.0", "7.1", "7.2", "7.3", "7.4", "8.0"}) {
    if (value == version) return {};
  }
  return "expected 7.0 to 7.4 or 8.0, not '" + value + "'";
}

// The value ends up in the connection string, where ';' would start another key.
std::string RefusedCharset(const std::string& value) {
  return value.find(';') == std::string::npos ? std::string() : "no ';' in a character set: '" + value + "'";
}

}  // namespace

const std::vector<DeclaredSetting>& DeclaredSettings() {
  static const std::vector<DeclaredSetting> settings = {
      {"server", "Adresa Server"},
      {"database", "Baza de date"},
      {"user", "Utilizator"},
      {"server-port", "Port Server", RefusedServerPort},
      {"tds-version", "Versiune TDS", RefusedTdsVersion},
      {"client-charset", "Set Caractere", RefusedCharset},
  };
  return settings;
}

const DeclaredSetting* FindDeclaredSetting(std::string_view option) {
  for (const DeclaredSetting& setting : DeclaredSettings()) {
    if (setting.option == option) return &setting;
  }
  return nullptr;
}

std::string GivenIn(const HostOptions& o, std::string_view option) {
  const auto given = o.givenIn.find(option);
  return given != o.givenIn.end() ? given->second : std::string();
}

std::vector<DeclaredValue> DeclaredValues(const HostOptions& o) {
  std::vector<DeclaredValue> values;
  for (const DeclaredSetting& setting : DeclaredSettings()) {
    if (const auto given = o.settings.find(setting.option); given != o.settings.end()) {
      values.push_back({std::string(setting.property), given->second, GivenIn(o, given->first)});
    }
  }
  if (o.relayed) values.push_back({"DirectConect", *o.relayed ? "0" : "1", GivenIn(o, "relayed")});
  // --password beats the instance file's password-file (the instance file never holds a password).
  const char* password = o.givenIn.contains("password") ? "password" : "password-file";
  if (o.password && o.givenIn.contains(password)) values.push_back({"Parola", *o.password, GivenIn(o, password), true});
  return values;
}

}  // namespace strivex::host_app
