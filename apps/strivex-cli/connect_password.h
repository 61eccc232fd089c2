#pragma once
// The server password of --connect kept off the command line, where every local user would see
// it: from --password-file or from STRIVEX_PASSWORD.

#include <optional>
#include <string>

namespace strivex::cli {

// Gives `connect` the first line of `passwordFile`, or else the value of STRIVEX_PASSWORD, as its
// Pwd when the string has no password of its own (no Pwd, or an empty one); a string with its
// own password beats the variable and is refused together with a file. False after printing why.
bool ApplyConnectPassword(std::string& connect, const std::optional<std::string>& passwordFile);

}  // namespace strivex::cli
