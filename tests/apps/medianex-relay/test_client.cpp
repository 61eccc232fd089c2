#include "test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace strivex::testing {

namespace {

void PutLe32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::string FrameBytes(int32_t number, std::string_view text) {
  std::string out;
  PutLe32(out, static_cast<uint32_t>(number));
  PutLe32(out, static_cast<uint32_t>(text.size()));
  out.append(text);
  return out;
}

std::string GreetingBytes(std::string_view name) {
  std::string greeting = "Medianex Server;Name=" + std::string(name);
  greeting.resize(100, '\0');
  return greeting;
}

TestClient::TestClient(uint16_t port, const char* from) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  if (!fd_.valid()) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (from != nullptr && (::inet_pton(AF_INET, from, &address.sin_addr) != 1 ||
                          ::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)) {
    Close();
    return;
  }
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) Close();
}

void TestClient::Close() { fd_.Reset(); }

bool TestClient::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string TestClient::Read(size_t count, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + timeout;
  std::string bytes;
  while (bytes.size() < count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd_.get(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::recv(fd_.get(), buffer, std::min(sizeof buffer, count - bytes.size()), 0);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

std::string TestClient::ReadFrame(std::chrono::milliseconds timeout) {
  std::string header = Read(8, timeout);
  if (header.size() < 8) return {};
  uint32_t length = 0;
  for (int i = 3; i >= 0; --i) length = length << 8 | static_cast<unsigned char>(header[4 + i]);
  if (length > 100000) return header;
  return header + Read(length, timeout);
}

bool TestClient::ClosedByServer(std::chrono::milliseconds timeout) {
  pollfd p{fd_.get(), POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char byte = 0;
  const ssize_t n = ::recv(fd_.get(), &byte, 1, 0);
  return n == 0 || (n < 0 && errno == ECONNRESET);
}

size_t TestClient::Unread() const {
  int count = 0;
  return ::ioctl(fd_.get(), FIONREAD, &count) == 0 ? static_cast<size_t>(count) : 0;
}

}  // namespace strivex::testing
