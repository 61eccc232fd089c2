#include "module_version.h"

#include <elf.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

namespace strivex::host_app {

namespace {

constexpr std::string_view kSectionName = ".strivex_version";
constexpr std::string_view kMarker = "strivex-module-version=";
// A module is a few MiB; a section table or name table beyond this is a damaged file.
constexpr uint64_t kMostTableBytes = 1 << 20;

bool ReadAt(std::ifstream& file, uint64_t offset, void* to, uint64_t size) {
  file.seekg(static_cast<std::streamoff>(offset));
  file.read(static_cast<char*>(to), static_cast<std::streamsize>(size));
  return static_cast<uint64_t>(file.gcount()) == size;
}

std::string Section(std::ifstream& file, const Elf64_Shdr& header) {
  if (header.sh_size > kMostTableBytes) return {};
  std::string bytes(header.sh_size, '\0');
  return ReadAt(file, header.sh_offset, bytes.data(), bytes.size()) ? bytes : std::string();
}

}  // namespace

ModuleVersion ReadModuleVersion(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {{}, std::strerror(errno)};
  Elf64_Ehdr elf{};
  if (!ReadAt(file, 0, &elf, sizeof elf) || std::memcmp(elf.e_ident, ELFMAG, SELFMAG) != 0 ||
      elf.e_ident[EI_CLASS] != ELFCLASS64 || elf.e_shentsize != sizeof(Elf64_Shdr) ||
      elf.e_shstrndx >= elf.e_shnum || uint64_t{elf.e_shnum} * sizeof(Elf64_Shdr) > kMostTableBytes) {
    return {{}, "not a 64-bit ELF file"};
  }
  std::vector<Elf64_Shdr> sections(elf.e_shnum);
  if (!ReadAt(file, elf.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) {
    return {{}, "the section table is cut short"};
  }
  const std::string names = Section(file, sections[elf.e_shstrndx]);
  for (const Elf64_Shdr& section : sections) {
    if (section.sh_name >= names.size() || names.c_str() + section.sh_name != kSectionName) continue;
    const std::string text = Section(file, section);
    const std::string_view version(text.c_str());  // up to the terminator
    if (!version.starts_with(kMarker) || version.size() == kMarker.size()) break;
    return {std::string(version.substr(kMarker.size())), {}};
  }
  return {{}, "no Strivex module version in the file"};
}

}  // namespace strivex::host_app
