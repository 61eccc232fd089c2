#include "serial/message_cuts.h"

#include <algorithm>

namespace strivex {

namespace {

// Where the message's own first line begins: behind a LF that ends the previous message's line.
size_t FirstLineStart(std::string_view message, const MessageCuts& cuts) {
  return cuts.start == MessageStart::kInLineEnd && message.starts_with('\n') ? 1 : 0;
}

// Whether a line begins at `offset` (the byte before it ends a line).
bool IsLineStart(std::string_view message, size_t first, size_t offset) {
  if (offset <= first) return true;
  if (message[offset - 1] == '\r') return true;
  return message[offset - 1] == '\n' && offset >= 2 && message[offset - 2] == '\r';
}

// The line that begins at `begin` and holds the byte at `inside` (or ends there).
TornLine LineFrom(std::string_view message, size_t begin, size_t inside) {
  TornLine line{begin, std::min(message.find('\r', inside), message.size()), 0};
  line.end = line.textEnd;
  if (line.end < message.size()) {
    ++line.end;
    if (line.end < message.size() && message[line.end] == '\n') ++line.end;
  }
  return line;
}

// The line that `offset`, which is no line start, falls in.
TornLine LineAround(std::string_view message, size_t first, size_t offset) {
  size_t begin = first;
  if (const size_t cr = message.rfind('\r', offset - 1); cr != std::string_view::npos) {
    begin = cr + 1;
    if (message[begin] == '\n') ++begin;  // a line start would be `offset` itself
  }
  return LineFrom(message, begin, offset);
}

}  // namespace

std::vector<TornLine> TornLines(std::string_view message, const MessageCuts& cuts) {
  std::vector<TornLine> lines;
  const size_t first = FirstLineStart(message, cuts);
  if (first == 1) lines.push_back({0, 0, 1});
  if (cuts.start == MessageStart::kInLine && !message.empty()) lines.push_back(LineFrom(message, 0, 0));
  for (const int32_t loss : cuts.losses) {
    const auto offset = static_cast<size_t>(loss);
    if (loss >= 0 && offset <= message.size() && !IsLineStart(message, first, offset)) {
      lines.push_back(LineAround(message, first, offset));
    }
  }
  if (cuts.end != MessageEnd::kSilence && !IsLineStart(message, first, message.size())) {
    lines.push_back(LineAround(message, first, message.size()));
  }
  std::sort(lines.begin(), lines.end(), [](const TornLine& a, const TornLine& b) { return a.begin < b.begin; });
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  return lines;
}

std::string WithoutLines(std::string_view message, std::span<const TornLine> lines) {
  std::string kept;
  kept.reserve(message.size());
  size_t from = 0;
  for (const TornLine& line : lines) {
    kept.append(message.substr(from, line.begin - from));
    from = line.end;
  }
  kept.append(message.substr(std::min(from, message.size())));
  return kept;
}

size_t OffsetWithout(std::span<const TornLine> lines, size_t offset) {
  size_t removed = 0;
  for (const TornLine& line : lines) {
    if (line.begin >= offset) break;
    if (line.end > offset) return line.begin - removed;
    removed += line.end - line.begin;
  }
  return offset - removed;
}

MessageStart NextMessageStart(std::string_view message, const MessageCuts& cuts) {
  if (cuts.end != MessageEnd::kLimit || message.empty()) return MessageStart::kLineStart;
  if (message.back() == '\r') return MessageStart::kInLineEnd;
  return IsLineStart(message, FirstLineStart(message, cuts), message.size()) ? MessageStart::kLineStart
                                                                             : MessageStart::kInLine;
}

}  // namespace strivex
