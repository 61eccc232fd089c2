#pragma once
// Column names are matched ignoring case, as the system's engines always did.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace strivex {

// The index of the first of `names` equal to `name` but for case.
inline std::optional<size_t> FindColumn(const std::vector<std::string>& names, std::string_view name) {
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& have = names[i];
    if (have.size() == name.size() &&
        std::equal(name.begin(), name.end(), have.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        })) {
      return i;
    }
  }
  return std::nullopt;
}

}  // namespace strivex
