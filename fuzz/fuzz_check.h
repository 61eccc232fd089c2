#pragma once
// What the fuzz targets share: a property check that stops the run with the input kept, and a
// cursor that takes the target's choices (cut points, flags) off the front of the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

// A broken property is a finding like a crash: libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(condition, what)                                                          \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "property broken at %s:%d: %s (%s)\n", __FILE__, __LINE__, what, \
                   #condition);                                                              \
      std::abort();                                                                          \
    }                                                                                        \
  } while (0)

namespace strivex::fuzz {

// The input as a stream of choices followed by the bytes under test.
class Input {
 public:
  Input(const uint8_t* data, size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  // One byte of choice; 0 when the input is used up.
  uint8_t Byte() {
    if (rest_.empty()) return 0;
    const auto b = static_cast<uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return b;
  }
  // Two bytes of choice, least significant first.
  uint16_t Word() {
    const uint16_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }
  // The bytes up to the first `separator` (which is consumed), or all that is left.
  std::string_view Until(char separator) {
    const size_t at = rest_.find(separator);
    const std::string_view part = rest_.substr(0, at);
    rest_.remove_prefix(at == std::string_view::npos ? rest_.size() : at + 1);
    return part;
  }
  // Everything not yet taken.
  std::string_view Rest() const { return rest_; }

 private:
  std::string_view rest_;
};

// Moves the process into a fresh directory of its own under the temporary directory, removed at
// exit, for targets whose code writes files into the working directory. Corpus and artifact paths
// given to the fuzzer must then be absolute.
// Memory-backed /dev/shm is preferred unless TMPDIR says otherwise: a target that writes a file
// an input runs several times faster there.
inline void EnterScratchDirectory(const std::string& name) {
  static std::filesystem::path dir;
  std::error_code error;
  const bool shm = std::getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm", error);
  dir = (shm ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path()) /
        ("strivex-fuzz-" + name + "-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  });
}

}  // namespace strivex::fuzz
