#pragma once
// The drop-down lists' selection by text: the first entry, looking from the one after `start` and
// wrapping around to `start` itself, whose text begins with `prefix`, ignoring ASCII case. So with
// start 0, "Standard Cup" selects "Standard Cup in Tube" before it wraps to "Standard Cup".

#include <string>
#include <string_view>
#include <vector>

namespace strivex {

// The index selected, or -1 when no entry begins with `prefix` (or the list is empty).
int SelectByPrefix(const std::vector<std::string>& items, std::string_view prefix, int start = 0);

}  // namespace strivex
