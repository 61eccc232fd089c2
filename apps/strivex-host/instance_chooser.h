#pragma once
// --instance without a name, as the desktop entry gives it: the instance files there are to choose
// from, and what to tell the operator when there is none.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "instance_places.h"

namespace strivex::host_app {

// The instances whose files exist, the user's and the system's, each name once, sorted. Files
// whose name is not an instance name (a sample, a backup) are not instances.
std::vector<std::string> ListInstances(const InstancePlaces& places);

// Where in `args` --instance is given without a name (last, "--instance=", or followed by another
// option); nullopt when it is not, or when --help or --version asks for no start.
std::optional<size_t> BareInstanceAt(std::span<const std::string_view> args);

// `args` with `name` given to the --instance at `at`.
std::vector<std::string> WithInstanceName(std::span<const std::string_view> args, size_t at,
                                          const std::string& name);

// For the operator, in the window: no instance file exists, and where to write one.
std::string NoInstanceText(const InstancePlaces& places);

}  // namespace strivex::host_app
