#include "connect_password.h"

#include <cstdio>
#include <cstdlib>

#include "console.h"
#include "db/connection_string.h"
#include "option_text.h"
#include "util/password_source.h"

namespace strivex::cli {

bool ApplyConnectPassword(std::string& connect, const std::optional<std::string>& passwordFile) {
  const bool own = !ConnectionValue(connect, "Pwd").value_or("").empty() ||
                   !ConnectionValue(connect, "Password").value_or("").empty();
  if (own && passwordFile) return UsageError("--password-file", "the --connect string has a password of its own");
  if (own) return true;
  const std::string program(kProgramName);
  const ResolvedPassword resolved =
      ResolvePassword({std::nullopt, passwordFile, std::getenv(kPasswordVariable)}, program.c_str());
  if (!resolved.warning.empty()) std::fprintf(stderr, "%s\n", resolved.warning.c_str());
  if (!resolved.error.empty()) {
    std::fprintf(stderr, "%s\n", resolved.error.c_str());
    return false;
  }
  if (resolved.password) connect = WithConnectionPassword(connect, *resolved.password);
  return true;
}

}  // namespace strivex::cli
