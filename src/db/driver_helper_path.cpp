#include "db/driver_helper_path.h"

#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <string_view>

namespace strivex {

namespace fs = std::filesystem;

namespace {

// The file holding this code: the module, or the program it is linked into.
fs::path OwnFile() {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&DriverHelperPath), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) != 0 &&
      map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0') {
    return map->l_name;
  }
  std::error_code error;
  return fs::read_symlink("/proc/self/exe", error);  // the main program has no name of its own there
}

}  // namespace

std::string DriverHelperPath() {
  const fs::path own = fs::absolute(OwnFile()).parent_path();
  std::error_code error;
  const fs::path beside = own / STRIVEX_DRIVER_HELPER_NAME;
  if (fs::exists(beside, error)) return beside.string();
  const fs::path installed = (own / STRIVEX_BINDIR_TO_LIBDIR / STRIVEX_DRIVER_HELPER_NAME).lexically_normal();
  if (fs::exists(installed, error)) return installed.string();
  // Code in a build tree: the helper at its place in the tree, from the nearest folder above that
  // has it there. Only the place inside the tree is compiled in, so no build path is in a package.
  for (fs::path folder = own; folder.has_relative_path(); folder = folder.parent_path()) {
    const fs::path built = folder / STRIVEX_DRIVER_HELPER_IN_TREE;
    if (fs::exists(built, error)) return built.string();
  }
  return installed.string();
}

}  // namespace strivex
