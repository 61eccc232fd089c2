#include "instance_chooser.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace strivex::host_app {

namespace {

constexpr std::string_view kOption = "--instance";

}  // namespace

std::vector<std::string> ListInstances(const InstancePlaces& places) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  for (const std::string& dir : {places.userDir, places.systemDir}) {
    if (dir.empty()) continue;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
      const fs::path& file = it->path();
      std::error_code ignored;
      if (file.extension() != ".ini" || !fs::is_regular_file(file, ignored)) continue;
      if (IsInstanceName(file.stem().string())) names.push_back(file.stem().string());
    }
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

std::optional<size_t> BareInstanceAt(std::span<const std::string_view> args) {
  // Help and version answer without starting anything.
  for (const std::string_view arg : args) {
    if (arg == "--") break;  // operands follow
    if (arg == "-h" || arg == "--help" || arg == "--version") return std::nullopt;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") return std::nullopt;
    if (args[i] == "--instance=") return i;
    if (args[i] != kOption) continue;
    if (i + 1 == args.size() || args[i + 1].starts_with("-")) return i;
    ++i;  // its name
  }
  return std::nullopt;
}

std::vector<std::string> WithInstanceName(std::span<const std::string_view> args, size_t at,
                                          const std::string& name) {
  std::vector<std::string> named(args.begin(), args.end());
  named[at] = std::string(kOption) + "=" + name;
  return named;
}

std::string NoInstanceText(const InstancePlaces& places) {
  std::string text = "Nu exista niciun instrument configurat.\n\nScrieti fisierul instrumentului, NUME.ini, in\n";
  if (!places.userDir.empty()) text += "    " + places.userDir + "/\nsau, pentru toti utilizatorii, in\n";
  text += "    " + places.systemDir + "/\n\n";
  text += "Un model comentat: " + places.systemDir + "/example.ini.sample";
  return text;
}

}  // namespace strivex::host_app
