#include "frame_io.h"

#include <sys/socket.h>

#include <cerrno>

namespace strivex::relay {

namespace {

constexpr std::string_view kGreetingPrefix = "Medianex Server;Name=";

// kOk when all `size` bytes came; kClosed only when the peer closed before the first one.
ReadStatus ReadExact(int fd, char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::recv(fd, data + done, size - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ReadStatus::kError;
    }
    if (n == 0) return done == 0 ? ReadStatus::kClosed : ReadStatus::kTruncated;
    done += static_cast<size_t>(n);
  }
  return ReadStatus::kOk;
}

void AppendInt32(std::string& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(bits >> shift & 0xFF));
}

}  // namespace

ReadStatus ReadGreeting(int fd, std::string& greeting) {
  greeting.assign(kGreetingSize, '\0');
  return ReadExact(fd, greeting.data(), greeting.size());
}

std::optional<std::string> GreetingName(std::string_view greeting) {
  if (!greeting.starts_with(kGreetingPrefix)) return std::nullopt;
  std::string_view name = greeting.substr(kGreetingPrefix.size());
  name = name.substr(0, name.find('\0'));
  return std::string(name);
}

std::string EncodeFrame(int32_t number, std::string_view text) {
  std::string out;
  out.reserve(8 + text.size());
  AppendInt32(out, number);
  AppendInt32(out, static_cast<int32_t>(text.size()));
  out.append(text);
  return out;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace strivex::relay
