#pragma once
// A fresh directory under $TMPDIR, removed with everything in it at the end of the test, and a
// guard that makes it the current directory (the logs are written by bare name).

#include <filesystem>
#include <string>

namespace strivex::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::filesystem::path& dir);
  ~ScopedCurrentDir();
  ScopedCurrentDir(const ScopedCurrentDir&) = delete;
  ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

 private:
  std::filesystem::path previous_;
};

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);
// How many times `part` appears in `text` (overlapping ones too): log entries, say.
size_t Occurrences(const std::string& text, const std::string& part);

}  // namespace strivex::testing
