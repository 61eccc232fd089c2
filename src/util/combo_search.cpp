#include "util/combo_search.h"

namespace strivex {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

}  // namespace

int SelectByPrefix(const std::vector<std::string>& items, std::string_view prefix, int start) {
  const int count = static_cast<int>(items.size());
  if (count == 0) return -1;
  const int first = start < 0 || start >= count ? 0 : start + 1;
  for (int step = 0; step < count; ++step) {
    const int index = (first + step) % count;
    if (StartsWithIgnoringCase(items[static_cast<size_t>(index)], prefix)) return index;
  }
  return -1;
}

}  // namespace strivex
