#pragma once
// The server password without the command line, where every local user would see it: from a
// file or from the environment. Shared by the host and the command-line tool.

#include <optional>
#include <string>

namespace strivex {

// The environment variable a password may come from.
inline constexpr const char* kPasswordVariable = "STRIVEX_PASSWORD";

// The first line of a password file, without its line end (LF or CR LF).
struct PasswordFile {
  std::string password;
  std::string error;     // why the file cannot be read; empty when it was
  bool exposed = false;  // a regular file that group or others may read
};
PasswordFile ReadPasswordFile(const std::string& path);

// Where a password may come from, the most explicit first.
struct PasswordSources {
  std::optional<std::string> given;  // on the command line or in the connection string
  std::optional<std::string> file;   // a password file's path
  const char* environment = nullptr; // the value of STRIVEX_PASSWORD, when set
};

// The password of the first source there is (nullopt when none is), or why the file cannot be
// read; `warning` says when the file is readable by others. `program` starts both texts
// ("program: --password-file FILE: why").
struct ResolvedPassword {
  std::optional<std::string> password;
  std::string error;
  std::string warning;
};
ResolvedPassword ResolvePassword(const PasswordSources& sources, const char* program);

}  // namespace strivex
