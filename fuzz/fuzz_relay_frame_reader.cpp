// The relay's frame reader (both ends read frames with it) on whatever a peer sends.
//
// Properties: a frame is accepted only with a length from 1 to kRelayMaxText (the refused ones
// end the stream as kBadLength, and only when the header really says so); the accepted frames,
// encoded again, are exactly the bytes that came, in order; what is left after them explains the
// status: nothing for kClosed, a header of a refused length for kBadLength, a frame cut short
// for kTruncated.

#include <string>

#include "db/relay_frame_reader.h"
#include "db/relay_wire.h"
#include "fuzz_check.h"
#include "socket_pair.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The socket buffer must hold the whole input, since nobody reads while it is written.
  if (size > 64 * 1024) return 0;
  const std::string_view stream(reinterpret_cast<const char*>(data), size);
  strivex::fuzz::SocketPair pair;
  pair.Send(stream);
  pair.ShutFar();

  strivex::RelayFrameReader reader(pair.Near());
  std::string consumed;
  strivex::RelayReadStatus status;
  for (;;) {
    strivex::RelayFrame frame;
    status = reader.Next(frame);
    if (status != strivex::RelayReadStatus::kOk) break;
    FUZZ_CHECK(!frame.text.empty() && frame.text.size() <= static_cast<size_t>(strivex::kRelayMaxText),
               "only lengths from 1 to kRelayMaxText are accepted");
    consumed += strivex::EncodeRelayFrame(frame.number, frame.text);
    FUZZ_CHECK(stream.starts_with(consumed), "frames are the bytes that came, in order");
  }
  const std::string_view left = stream.substr(consumed.size());
  switch (status) {
    case strivex::RelayReadStatus::kClosed:
      FUZZ_CHECK(left.empty(), "closed only between frames");
      break;
    case strivex::RelayReadStatus::kBadLength: {
      FUZZ_CHECK(left.size() >= strivex::kRelayHeaderSize, "a refused length was read whole");
      const int32_t length = strivex::RelayHeaderField(left.data() + 4);
      FUZZ_CHECK(length < 1 || length > strivex::kRelayMaxText, "refused only a length out of range");
      break;
    }
    case strivex::RelayReadStatus::kTruncated: {
      FUZZ_CHECK(!left.empty(), "a cut frame left bytes behind");
      if (left.size() >= strivex::kRelayHeaderSize) {
        const int32_t length = strivex::RelayHeaderField(left.data() + 4);
        FUZZ_CHECK(length >= 1 && length <= strivex::kRelayMaxText &&
                       left.size() < strivex::kRelayHeaderSize + static_cast<size_t>(length),
                   "a frame cut short");
      }
      break;
    }
    default:
      FUZZ_CHECK(false, "a local socket pair does not fail");
  }
  return 0;
}
