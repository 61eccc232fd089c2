// The messages of the driver process (driver_wire.h) on whatever the other end sends, read off a
// stream with the relay's frame reader as the engine reads them.
//
// Properties: a frame decodes to a message only when encoding that message gives the frame's
// bytes back exactly (one spelling per message, so nothing is taken from bytes the fields do not
// cover); the reader never hands over a frame past its bound.

#include <string>

#include "db/driver_wire.h"
#include "db/relay_frame_reader.h"
#include "db/relay_wire.h"
#include "fuzz_check.h"
#include "socket_pair.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The socket buffer must hold the whole input, since nobody reads while it is written.
  if (size > 64 * 1024) return 0;
  constexpr size_t kBound = 16 * 1024;  // above the relay's own, below the input's size
  strivex::fuzz::SocketPair pair;
  pair.Send(std::string_view(reinterpret_cast<const char*>(data), size));
  pair.ShutFar();

  strivex::RelayFrameReader reader(pair.Near(), kBound);
  strivex::RelayFrame frame;
  while (reader.Next(frame) == strivex::RelayReadStatus::kOk) {
    FUZZ_CHECK(!frame.text.empty() && frame.text.size() <= kBound, "only lengths within the bound");
    const std::optional<strivex::DriverMessage> message = strivex::DecodeDriverMessage(frame);
    if (!message) continue;
    FUZZ_CHECK(strivex::EncodeDriverMessage(*message) == strivex::EncodeRelayFrame(frame.number, frame.text),
               "a decoded message encodes to the frame it came in");
  }
  return 0;
}
