#pragma once
// Reader of the instrument's code-translation file: NAME=VALUE lines, no sections, no comments.
// Lookups compare names case-insensitively (ASCII letters only) and answer with the first match.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace strivex {

// One NAME=VALUE line, both as written.
struct IniEntry {
  std::string name;
  std::string value;
};

// One loader per reader; not shared between threads.
class INILoader {
 public:
  // Longest line accepted, not counting its line end; a longer one ends the reading.
  static constexpr int32_t kLineLimit = 1024;

  INILoader() = default;
  virtual ~INILoader() = default;
  INILoader(const INILoader&) = delete;
  INILoader& operator=(const INILoader&) = delete;

  // Reads the file's entries. False when it is missing or cannot be opened. A lookup failure other
  // than "no such file" leaves what the operator is to be told in Failure() ("Eroare: %d la fuctia
  // FindFirstFile"): the caller tells it its own way, as a worker must not wait for a box.
  bool Load(const std::string& fileName);
  // Why the last Load failed, when the operator is to know; empty otherwise.
  const std::string& Failure() const { return failure_; }

  // True with the first matching entry's value, or false with `value` emptied.
  bool GetValue(std::string& value, std::string_view name) const;

  // The entries in the file's order (empty before a successful Load).
  const std::vector<IniEntry>& Entries() const { return entries_; }

 private:
  std::vector<IniEntry> entries_;
  std::string failure_;
};

// Builds the entries from a text already in memory (a NUL byte ends it).
std::vector<IniEntry> ParseIniText(std::string_view text);

}  // namespace strivex
