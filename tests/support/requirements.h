#pragma once
// What a test run must have. `./run test` always runs the development database and gives the
// window tests the offscreen platform, so there a test that finds either missing fails instead
// of skipping: STRIVEX_REQUIRE_LAB=1 and STRIVEX_REQUIRE_DISPLAY=1 say so. A plain ctest run
// without them may skip, and `./run test` counts the skips in one line at the end.

#include <cstdlib>
#include <string_view>

namespace strivex::testing {

inline bool EnvironmentSaysOne(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && std::string_view(value) == "1";
}

// Whether the development database must be reachable (STRIVEX_REQUIRE_LAB_DB is the old name).
inline bool LabRequiredByRun() {
  return EnvironmentSaysOne("STRIVEX_REQUIRE_LAB") || EnvironmentSaysOne("STRIVEX_REQUIRE_LAB_DB");
}

// Whether a display (Xvfb or Qt's offscreen platform) must be usable.
inline bool DisplayRequiredByRun() { return EnvironmentSaysOne("STRIVEX_REQUIRE_DISPLAY"); }

}  // namespace strivex::testing

// In a test body or SetUp: skips with `reason`, or fails with it when the run requires `required`.
#define STRIVEX_SKIP_UNLESS_REQUIRED(required, reason)        \
  do {                                                        \
    if (required) FAIL() << (reason) << " (required by this run)"; \
    GTEST_SKIP() << (reason);                                 \
  } while (false)
