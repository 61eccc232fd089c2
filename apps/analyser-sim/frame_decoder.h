#pragma once
// Cuts the bytes the module sends into work-list frames and everything else. A frame is
//   STX "W10000" request-id(14, left-aligned) "0" 18 spaces date(YYMMDDhhmm) disk(1)
//   position(2) sample-type(1: serum, 2: urine) "3" cup(1-5) "00100001" count(3) codes
//   ETX CR LF check
// where the check byte is the XOR of every byte after STX up to and including the LF.
// Reads may split a frame anywhere; bytes are kept until the frame is complete, and bytes
// outside frames until the next start byte or a pause.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace strivex::sim {

// One work-list frame, its fields as sent.
struct Frame {
  std::string requestId;  // without the filling spaces
  std::string date;       // YYMMDDhhmm
  char disk = '0';
  std::string position;
  char sampleType = '0';
  char cup = '0';
  std::string analysisCount;  // three digits, as sent
  std::string codes;          // the analysis codes joined, as sent
  std::string bytes;          // the frame as sent, STX to LF, without the check byte
  uint8_t checkGot = 0;   // the check byte that came
  uint8_t checkWant = 0;  // the check byte the bytes call for

  // Whether the check byte is right.
  bool CheckOk() const { return checkGot == checkWant; }
};

// Bytes that are not a frame.
struct Garbage {
  std::string bytes;
  std::string reason;  // why these bytes are not a frame
};

// What the decoder reports, in the order the bytes came.
using FrameEvent = std::variant<Frame, Garbage>;

// The XOR of all of `bytes`.
uint8_t XorOf(std::string_view bytes);

// One decoder per line, used by one thread.
class FrameDecoder {
 public:
  // Appends what `bytes` completes, in the order it was sent.
  void Feed(std::string_view bytes, std::vector<FrameEvent>& events);

  // The line has gone quiet: bytes outside a frame are reported now; an unfinished frame is
  // kept, its rest may still come.
  void Pause(std::vector<FrameEvent>& events);

  // At the end of the line: what is left over is an unfinished frame.
  void Finish(std::vector<FrameEvent>& events);

 private:
  // One event from the front of the buffer; false when more bytes are needed.
  bool TakeOne(std::vector<FrameEvent>& events);
  void Drop(size_t count, std::string reason, std::vector<FrameEvent>& events);

  std::string pending_;
};

}  // namespace strivex::sim
