// analyser-sim's decoder of the work-list frames the module sends.
//
// Input: a choice byte (the size of the reads the bytes arrive in, and where a pause falls),
// then the bytes on the line.
//
// Properties: the decoder neither loses nor invents a byte (its events, frames with their check
// byte and garbage, are the input in order); how the reads split the bytes changes nothing;
// a frame's check verdict is right (CheckOk exactly when the byte after the LF is the XOR of the
// bytes from after STX to the LF), so a frame with a wrong check byte is never passed as good;
// every reported frame has the layout: STX, the fixed fields, ETX CR LF.

#include <string>
#include <variant>
#include <vector>

#include "frame_decoder.h"
#include "fuzz_check.h"

namespace {

using strivex::sim::FrameDecoder;
using strivex::sim::FrameEvent;

// The bytes behind the events, in order.
std::string Replay(const std::vector<FrameEvent>& events) {
  std::string bytes;
  for (const FrameEvent& event : events) {
    if (const auto* frame = std::get_if<strivex::sim::Frame>(&event)) {
      bytes += frame->bytes;
      bytes += static_cast<char>(frame->checkGot);
    } else {
      bytes += std::get<strivex::sim::Garbage>(event).bytes;
    }
  }
  return bytes;
}

bool SameEvents(const std::vector<FrameEvent>& a, const std::vector<FrameEvent>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].index() != b[i].index()) return false;
    if (const auto* fa = std::get_if<strivex::sim::Frame>(&a[i])) {
      const auto& fb = std::get<strivex::sim::Frame>(b[i]);
      if (fa->bytes != fb.bytes || fa->checkGot != fb.checkGot || fa->requestId != fb.requestId ||
          fa->codes != fb.codes) {
        return false;
      }
    } else {
      const auto& ga = std::get<strivex::sim::Garbage>(a[i]);
      const auto& gb = std::get<strivex::sim::Garbage>(b[i]);
      if (ga.bytes != gb.bytes || ga.reason != gb.reason) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  strivex::fuzz::Input input(data, size);
  const uint8_t choice = input.Byte();
  const std::string_view line = input.Rest();

  std::vector<FrameEvent> whole;
  FrameDecoder one;
  one.Feed(line, whole);
  one.Finish(whole);
  FUZZ_CHECK(Replay(whole) == line, "no byte lost or invented");
  for (const FrameEvent& event : whole) {
    const auto* frame = std::get_if<strivex::sim::Frame>(&event);
    if (!frame) continue;
    const std::string& bytes = frame->bytes;
    FUZZ_CHECK(bytes.size() >= 70 && bytes.front() == '\x02' && bytes.ends_with("\x03\r\n"),
               "a frame is STX, the fields, ETX CR LF");
    FUZZ_CHECK(bytes.find('\x03') == bytes.size() - 3 && bytes.find('\x02', 1) == std::string::npos,
               "one start and one end byte a frame");
    FUZZ_CHECK(frame->checkWant == strivex::sim::XorOf(std::string_view(bytes).substr(1)),
               "the check byte called for is the XOR after STX");
    FUZZ_CHECK(frame->CheckOk() == (frame->checkGot == strivex::sim::XorOf(std::string_view(bytes).substr(1))),
               "a wrong check byte is never passed as good");
    FUZZ_CHECK(!frame->requestId.empty() && frame->requestId.find(' ') == std::string::npos,
               "a request id is left-aligned text");
    FUZZ_CHECK(frame->date.size() == 10 && frame->position.size() == 2 && frame->analysisCount.size() == 3,
               "fixed fields have their widths");
    FUZZ_CHECK((frame->sampleType == '1' || frame->sampleType == '2') && frame->cup >= '0' && frame->cup <= '5',
               "sample and cup types are in range");
  }

  // The same bytes in reads of 1 to 16 bytes.
  const size_t step = (choice & 15) + 1;
  std::vector<FrameEvent> pieces;
  FrameDecoder split;
  for (size_t at = 0; at < line.size(); at += step) split.Feed(line.substr(at, step), pieces);
  split.Finish(pieces);
  FUZZ_CHECK(SameEvents(pieces, whole), "the reads' sizes change nothing");

  // A pause anywhere may report noise earlier, never lose or invent a byte.
  const size_t pauseAt = line.empty() ? 0 : (choice * 131u) % (line.size() + 1);
  std::vector<FrameEvent> paused;
  FrameDecoder withPause;
  withPause.Feed(line.substr(0, pauseAt), paused);
  withPause.Pause(paused);
  withPause.Feed(line.substr(pauseAt), paused);
  withPause.Finish(paused);
  FUZZ_CHECK(Replay(paused) == line, "a pause loses no byte");
  return 0;
}
