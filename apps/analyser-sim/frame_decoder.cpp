#include "frame_decoder.h"

#include <algorithm>
#include <optional>

namespace strivex::sim {

namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';

// Offsets inside the frame body (the bytes between STX and ETX).
constexpr size_t kRequestAt = 6;
constexpr size_t kRequestWidth = 14;
constexpr size_t kSpacesAt = 21;
constexpr size_t kSpacesWidth = 18;
constexpr size_t kDateAt = 39;
constexpr size_t kDiskAt = 49;
constexpr size_t kPositionAt = 50;
constexpr size_t kSampleTypeAt = 52;
constexpr size_t kCupAt = 54;
constexpr size_t kCountAt = 63;
constexpr size_t kCodesAt = 66;

// Longer than any work list; a start byte this far from an end byte is not a frame.
constexpr size_t kLongestFrame = 8192;

bool Digits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Two digits from `low` to `high`.
bool InRange(std::string_view two, int low, int high) {
  const int value = (two[0] - '0') * 10 + (two[1] - '0');
  return value >= low && value <= high;
}

// YYMMDDhhmm of a real month, day, hour and minute (the day is not matched to its month).
bool ValidDate(std::string_view date) {
  return InRange(date.substr(2, 2), 1, 12) && InRange(date.substr(4, 2), 1, 31) &&
         InRange(date.substr(6, 2), 0, 23) && InRange(date.substr(8, 2), 0, 59);
}

bool Printable(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// The fields of a frame body, or the reason it is not one.
std::optional<Frame> ParseBody(std::string_view body, std::string& reason) {
  if (body.size() < kCodesAt) {
    reason = "frame too short";
    return std::nullopt;
  }
  if (body.substr(0, kRequestAt) != "W10000") reason = "does not begin with W10000";
  const std::string_view request = body.substr(kRequestAt, kRequestWidth);
  const size_t idEnd = std::min(request.find(' '), request.size());
  if (idEnd == 0 || request.find_first_not_of(' ', idEnd) != request.npos || !Printable(request)) {
    reason = "request id is not left-aligned text";
  }
  if (body[kRequestAt + kRequestWidth] != '0') reason = "no 0 after the request id";
  if (body.substr(kSpacesAt, kSpacesWidth).find_first_not_of(' ') != std::string_view::npos)
    reason = "the 18 spaces after the request id are not spaces";
  if (!Digits(body.substr(kDateAt, 10))) {
    reason = "date is not 10 digits";
  } else if (!ValidDate(body.substr(kDateAt, 10))) {
    reason = "date is not a month, day, hour and minute";
  }
  if (!Digits(body.substr(kDiskAt, 1)) || !Digits(body.substr(kPositionAt, 2)))
    reason = "disk or position is not digits";
  if (body[kSampleTypeAt] != '1' && body[kSampleTypeAt] != '2')
    reason = "sample type is not 1 or 2";
  if (body[kSampleTypeAt + 1] != '3') reason = "no 3 after the sample type";
  // 0 stands for an entry without a cup type.
  if (body[kCupAt] < '0' || body[kCupAt] > '5') reason = "cup type is not 0 to 5";
  if (body.substr(kCupAt + 1, 8) != "00100001") reason = "no 00100001 after the cup type";
  if (!Digits(body.substr(kCountAt, 3))) reason = "analysis count is not 3 digits";
  if (!Printable(body.substr(kCodesAt))) reason = "analysis codes are not printable text";
  if (!reason.empty()) return std::nullopt;

  Frame frame;
  frame.requestId = request.substr(0, idEnd);
  frame.date = body.substr(kDateAt, 10);
  frame.disk = body[kDiskAt];
  frame.position = body.substr(kPositionAt, 2);
  frame.sampleType = body[kSampleTypeAt];
  frame.cup = body[kCupAt];
  frame.analysisCount = body.substr(kCountAt, 3);
  frame.codes = body.substr(kCodesAt);
  return frame;
}

}  // namespace

uint8_t XorOf(std::string_view bytes) {
  uint8_t check = 0;
  for (const char c : bytes) check ^= static_cast<uint8_t>(c);
  return check;
}

void FrameDecoder::Feed(std::string_view bytes, std::vector<FrameEvent>& events) {
  pending_.append(bytes);
  while (!pending_.empty() && TakeOne(events)) {
  }
}

void FrameDecoder::Pause(std::vector<FrameEvent>& events) {
  if (!pending_.empty() && pending_.front() != kStx) Drop(pending_.size(), "no start byte", events);
}

void FrameDecoder::Finish(std::vector<FrameEvent>& events) {
  if (!pending_.empty()) Drop(pending_.size(), "unfinished frame", events);
}

void FrameDecoder::Drop(size_t count, std::string reason, std::vector<FrameEvent>& events) {
  events.emplace_back(Garbage{pending_.substr(0, count), std::move(reason)});
  pending_.erase(0, count);
}

bool FrameDecoder::TakeOne(std::vector<FrameEvent>& events) {
  if (pending_.front() != kStx) {
    // Held until a start byte or a pause ends it, so one run of noise gives one report.
    const size_t stx = pending_.find(kStx);
    if (stx == std::string::npos) return false;
    Drop(stx, "no start byte", events);
    return true;
  }
  const size_t etx = pending_.find(kEtx, 1);
  const size_t nextStx = pending_.find(kStx, 1);
  if (nextStx < etx) {
    Drop(nextStx, "start byte without end byte", events);
    return true;
  }
  if (etx == std::string::npos) {
    if (pending_.size() <= kLongestFrame) return false;
    Drop(pending_.size(), "start byte without end byte", events);
    return true;
  }
  // ETX must be followed by CR LF and the check byte; judge what has arrived of them so far.
  const std::string_view tail = std::string_view(pending_).substr(etx + 1, 2);
  if (!std::string_view("\r\n").starts_with(tail)) {
    Drop(etx + 1, "no CR LF after the end byte", events);
    return true;
  }
  const size_t checkAt = etx + 3;
  if (pending_.size() <= checkAt) return false;

  const std::string_view whole = std::string_view(pending_).substr(0, checkAt + 1);
  std::string reason;
  std::optional<Frame> frame = ParseBody(whole.substr(1, etx - 1), reason);
  if (!frame) {
    Drop(whole.size(), std::move(reason), events);
    return true;
  }
  frame->bytes = whole.substr(0, checkAt);
  frame->checkGot = static_cast<uint8_t>(whole[checkAt]);
  frame->checkWant = XorOf(whole.substr(1, checkAt - 1));
  events.emplace_back(std::move(*frame));
  pending_.erase(0, whole.size());
  return true;
}

}  // namespace strivex::sim
