#pragma once
// The relay's wire unit on a stream socket: little-endian int32 request number, int32 length,
// then that many text bytes (read with RelayFrameReader). Also the fixed-size greeting that
// precedes the frames.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "db/relay_frame_reader.h"

namespace strivex::relay {

inline constexpr int32_t kMaxFrameText = kRelayMaxText;
inline constexpr size_t kGreetingSize = 100;

using Frame = RelayFrame;
using ReadStatus = RelayReadStatus;

// Reads the 100-byte greeting; the status tells why there is none.
ReadStatus ReadGreeting(int fd, std::string& greeting);

// The client's name from "Medianex Server;Name=%s" up to the first NUL; nullopt for anything
// that does not start with that text.
std::optional<std::string> GreetingName(std::string_view greeting);

std::string EncodeFrame(int32_t number, std::string_view text);

// Writes every byte (no SIGPIPE); false when the peer is gone.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace strivex::relay
