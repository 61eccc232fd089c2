#pragma once
// The relay's wire unit on a stream socket: little-endian int32 request number, int32 length,
// then that many text bytes. Also the fixed-size greeting that precedes the frames.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace strivex::relay {

// The longest text a frame may carry: the clients keep at most this much per message.
inline constexpr int32_t kMaxFrameText = 1999;
inline constexpr size_t kGreetingSize = 100;

struct Frame {
  int32_t number = 0;
  std::string text;
};

enum class ReadStatus {
  kOk,
  kClosed,     // orderly close before the first byte of a unit
  kTruncated,  // the peer closed inside a unit
  kBadLength,  // length < 1 or > kMaxFrameText: the stream cannot be resynchronised
  kError,      // the socket failed
};

struct FrameRead {
  ReadStatus status = ReadStatus::kError;
  Frame frame;
};

// Blocks until a whole frame came or the stream cannot give one.
FrameRead ReadFrame(int fd);

// Reads the 100-byte greeting; the status tells why there is none.
ReadStatus ReadGreeting(int fd, std::string& greeting);

// The client's name from "Medianex Server;Name=%s" up to the first NUL; nullopt for anything
// that does not start with that text.
std::optional<std::string> GreetingName(std::string_view greeting);

std::string EncodeFrame(int32_t number, std::string_view text);

// Writes every byte (no SIGPIPE); false when the peer is gone.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace strivex::relay
