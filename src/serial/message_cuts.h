#pragma once
// How a message of the serial line was cut, and so which of its lines arrived incomplete. A torn
// line must not be interpreted: ` SG     1.005` cut after `1.0` still reads as a valid value.
// Lines end with CR; a LF right after the CR belongs to the line end (as ReadLine reads them).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace strivex {

// Why the reader ended the message.
enum class MessageEnd : uint8_t {
  kSilence,  // the silence rule: the analyser had paused, nothing is cut
  kStop,     // a stop took the message as it stood
  kLimit,    // kMessageLimit (or memory) cut it; the bytes after it start the next message
};

// Where a message begins, after the previous message was cut at the limit.
enum class MessageStart : uint8_t {
  kLineStart,  // at the start of a line
  kInLineEnd,  // right after a CR: a LF first is the rest of that line end
  kInLine,     // inside a line: its first line is the rest of a torn one
};

// Written by the reader while it owns the message, read by the consumer after the hand-over.
struct MessageCuts {
  MessageStart start = MessageStart::kLineStart;
  MessageEnd end = MessageEnd::kSilence;
  // Offsets (bytes stored so far) at which the device was found gone, ascending. The message goes
  // on after the re-open: the line that spans such an offset holds bytes of two transmissions.
  std::vector<int32_t> losses;

  // Notes a loss at `offset` (the same offset once, however often the device goes meanwhile).
  void AddLoss(int32_t offset) {
    if (losses.empty() || losses.back() != offset) losses.push_back(offset);
  }
};

// One line not to interpret: its bytes are [begin, textEnd), its line end [textEnd, end).
struct TornLine {
  size_t begin = 0;
  size_t textEnd = 0;
  size_t end = 0;
  friend bool operator==(const TornLine&, const TornLine&) = default;
};

// The torn lines of `message`, ascending and disjoint: the last line without its line end at a
// stop or at the limit, the first line of a message that starts inside a line, and each line that
// spans a loss which did not fall on a line boundary. A LF that opens a message starting in a line
// end is returned with no text of its own. Nothing is torn by the silence rule alone.
std::vector<TornLine> TornLines(std::string_view message, const MessageCuts& cuts);

// `message` less `lines` (as TornLines gives them), each with its line end.
std::string WithoutLines(std::string_view message, std::span<const TornLine> lines);

// Where `offset` of the message lies once `lines` are removed; an offset inside a removed line
// lies where that line was.
size_t OffsetWithout(std::span<const TornLine> lines, size_t offset);

// How the message after `message` begins: inside its last line when the limit cut that line.
MessageStart NextMessageStart(std::string_view message, const MessageCuts& cuts);

}  // namespace strivex
