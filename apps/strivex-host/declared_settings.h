#pragma once
// The module's server settings an administrator declares in the instance file (or on the host's
// command line): written to the local database at every start, so that correcting the file and
// restarting is enough. What the file leaves out stays the dialogs' to set.

#include <string>
#include <string_view>
#include <vector>

#include "host_options.h"

namespace strivex::host_app {

// A text setting: the host's long option (the instance file's key) and the Medianex_Init row it
// sets. Adding one is a line in DeclaredSettings() (declared_settings.cpp) and one in the --help.
struct DeclaredSetting {
  std::string_view option;
  std::string_view property;
  std::string (*refusal)(const std::string& value) = nullptr;  // why a value is refused; null: any text
};

// The text settings, in the order they are written.
const std::vector<DeclaredSetting>& DeclaredSettings();
// The one of `option` (without "--"); null when it is none of them.
const DeclaredSetting* FindDeclaredSetting(std::string_view option);

// Where `option` (without "--") was given: the instance file's path; empty for the command line
// (or not given).
std::string GivenIn(const HostOptions& o, std::string_view option);

// A value to store in Medianex_Init, and where the administrator gave it.
struct DeclaredValue {
  std::string property;
  std::string value;
  std::string source;   // the instance file's path; empty: the command line
  bool secret = false;  // never shown: only that it changed
};

// What `o` declares: the text settings given, DirectConect when `relayed` was given (yes or no),
// Parola when the password or its file was (the password read into `o.password` by then).
std::vector<DeclaredValue> DeclaredValues(const HostOptions& o);

}  // namespace strivex::host_app
