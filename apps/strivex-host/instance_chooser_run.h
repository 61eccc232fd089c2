#pragma once
// The desktop entry's --instance without a name, settled before the options are read: one
// instance starts at once; several are offered in the chooser window; none is told there.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instance_places.h"

namespace strivex::host_app {

// When `args` give --instance without a name, names it in `named` and points `args` there. The
// host's exit status when it must end instead: no instance, the list closed, or the window not
// shown (each said on standard error); nullopt to go on. `chooser` is the window's program.
std::optional<int> NameBareInstance(std::vector<std::string_view>& args, std::vector<std::string>& named,
                                    const InstancePlaces& places, const std::string& chooser);

}  // namespace strivex::host_app
