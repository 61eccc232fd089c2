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

int32_t DecodeInt32(const unsigned char* bytes) {
  const uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                         static_cast<uint32_t>(bytes[2]) << 16 |
                         static_cast<uint32_t>(bytes[3]) << 24;
  return static_cast<int32_t>(value);
}

void AppendInt32(std::string& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(bits >> shift & 0xFF));
}

}  // namespace

FrameRead ReadFrame(int fd) {
  FrameRead result;
  unsigned char header[8];
  result.status = ReadExact(fd, reinterpret_cast<char*>(header), sizeof header);
  if (result.status != ReadStatus::kOk) return result;
  result.frame.number = DecodeInt32(header);
  const int32_t length = DecodeInt32(header + 4);
  if (length < 1 || length > kMaxFrameText) {
    result.status = ReadStatus::kBadLength;
    return result;
  }
  result.frame.text.resize(static_cast<size_t>(length));
  result.status = ReadExact(fd, result.frame.text.data(), result.frame.text.size());
  if (result.status == ReadStatus::kClosed) result.status = ReadStatus::kTruncated;
  return result;
}

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
