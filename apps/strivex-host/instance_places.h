#pragma once
// Where one instance per instrument finds its files: the instance file (the user's before the
// system's), the default working directory and the folder of the running hosts' sockets.

#include <string>
#include <string_view>

namespace strivex::host_app {

struct InstancePlaces {
  std::string userDir;     // $XDG_CONFIG_HOME/strivex/instances (default ~/.config/...)
  std::string systemDir;   // /etc/strivex/instances
  std::string stateDir;    // $XDG_STATE_HOME/strivex (default ~/.local/state/...): working directories
  std::string runtimeDir;  // $XDG_RUNTIME_DIR/strivex; empty when the session has none
  std::string home;        // what "~/" in the instance file stands for

  static InstancePlaces FromEnvironment();
};

// Letters, digits, '-' and '_': the name becomes a unit instance, a file and a folder name.
bool IsInstanceName(std::string_view name);

// The instance file of `name`: the user's when it exists, else the system's. Empty, with `error`
// naming both places, when neither exists.
std::string FindInstanceFile(const std::string& name, const InstancePlaces& places, std::string& error);

}  // namespace strivex::host_app
