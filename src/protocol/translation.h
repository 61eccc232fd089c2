#pragma once
// One value translation of the code-translation file: a result value equal to `from` (whole, with
// case) is stored as `to`. The list keeps the file's order; the first equal pair wins.

#include <string>
#include <vector>

namespace strivex {

struct TranslationEntry {
  std::string from;
  std::string to;

  friend bool operator==(const TranslationEntry&, const TranslationEntry&) = default;
};

// The translations in the file's order.
using TranslationList = std::vector<TranslationEntry>;

}  // namespace strivex
