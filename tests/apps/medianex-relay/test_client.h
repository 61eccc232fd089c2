#pragma once
// A raw-socket client of the relay, written apart from the server's own frame code so the tests
// check the bytes on the wire rather than the server against itself.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "util/unique_fd.h"

namespace strivex::testing {

// Frame bytes as a client writes them: little-endian number and length, then the text.
std::string FrameBytes(int32_t number, std::string_view text);
std::string GreetingBytes(std::string_view name);

class TestClient {
 public:
  // Connects to 127.0.0.1:`port`, from the loopback address `from` when given (another one
  // plays another client machine); ok() tells whether it worked.
  explicit TestClient(uint16_t port, const char* from = nullptr);
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool ok() const { return fd_.valid(); }
  bool Send(std::string_view bytes);
  bool SendGreeting(std::string_view name = "LAB01") { return Send(GreetingBytes(name)); }
  bool SendRequest(int32_t number, std::string_view command, std::string_view arguments) {
    return Send(FrameBytes(number, command) + FrameBytes(number, arguments));
  }
  // Exactly `count` bytes, or fewer when the server closed or `timeout` passed.
  std::string Read(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // One reply frame as raw bytes (header included); empty when none came.
  std::string ReadFrame(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Whether the server closed the connection within `timeout` (no byte arrived before it).
  bool ClosedByServer(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Bytes received and not read yet.
  size_t Unread() const;
  void Close();

 private:
  UniqueFd fd_;
};

}  // namespace strivex::testing
