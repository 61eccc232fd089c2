#pragma once
// The built relay on a loopback port the system picks, for tests that drive it with raw-socket
// clients. Local database files are served from the test's own folder.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/background_process.h"
#include "support/temp_dir.h"
#include "test_client.h"

namespace strivex::testing {

inline const std::string kOkStatus("\x01", 1);
inline const std::string kFailStatus("\x00", 1);

inline std::string Reply(int32_t number, const std::string& text) { return FrameBytes(number, text); }
// A value reply and its status, in the order they arrived.
std::string ReadTwo(TestClient& client);

class RelayFixture : public ::testing::Test {
 protected:
  // Starts the relay with `extra` options; the port comes from its first output line.
  void Start(std::vector<std::string> extra = {});
  // Every run ends the way an operator ends it, so a sanitizer report or a stuck client thread
  // shows as a failed exit.
  void TearDown() override;

  std::string LocalDb() const;
  // Greets from `from`, opens the local file and checks the status bytes.
  std::unique_ptr<TestClient> OpenClient(int32_t number = 1, const char* from = nullptr);
  // A fresh client still gets served: the relay survived whatever came before.
  void ExpectServing();
  // Waits until the relay's standard error holds `text`.
  bool WaitForLog(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(5));

  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};
  std::unique_ptr<BackgroundProcess> relay_;
  uint16_t port_ = 0;
};

}  // namespace strivex::testing
