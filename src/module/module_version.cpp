// The module's version as text in a section of its own, so a host reads it from the file without
// loading the module or a second export (StartStrivex stays the only one).

#include "strivex_version.h"

namespace {

// "strivex-module-version=" marks the text; the section holds nothing else.
[[gnu::used, gnu::section(".strivex_version")]] constexpr char kModuleVersion[] =
    "strivex-module-version=" STRIVEX_VERSION_TEXT;

}  // namespace
