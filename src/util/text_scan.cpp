#include "util/text_scan.h"

#include <cstring>
#include <limits>

namespace strivex {

namespace {

int32_t Length(std::string_view text) {
  // Positions are 32-bit; texts beyond that would need a different scanner.
  return text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max() - 1)
             ? std::numeric_limits<int32_t>::max() - 1
             : static_cast<int32_t>(text.size());
}

}  // namespace

bool ReadLineView(std::string_view text, int32_t& pos, std::string_view& line, int32_t limit) {
  const int32_t length = Length(text);
  line = {};
  if (pos < 0 || pos > length) return false;
  const char* begin = text.data() + pos;
  const auto rest = static_cast<size_t>(length - pos);
  const void* cr = rest ? std::memchr(begin, '\r', rest) : nullptr;
  if (cr == nullptr) {
    // The end of the text counts as one character of the line.
    const int32_t taken = length - pos;
    if (taken + 1 > limit) return false;
    line = std::string_view(begin, static_cast<size_t>(taken));
    pos = length + 1;
    return true;
  }
  const auto taken = static_cast<int32_t>(static_cast<const char*>(cr) - begin);
  if (taken > limit) return false;
  line = std::string_view(begin, static_cast<size_t>(taken));
  pos += taken + 1;
  if (pos < length && text[static_cast<size_t>(pos)] == '\n') ++pos;
  return true;
}

bool ReadLine(std::string_view text, int32_t& pos, std::string& line, int32_t limit) {
  std::string_view view;
  const bool ok = ReadLineView(text, pos, view, limit);
  line.assign(view);
  return ok;
}

bool NextTokenView(std::string_view text, int32_t& pos, std::string_view& token, int32_t limit,
                   char separator) {
  const int32_t length = Length(text);
  token = {};
  if (pos < 0 || pos > length) return false;
  int32_t start = pos;
  while (start < length && text[static_cast<size_t>(start)] == ' ') ++start;
  if (start == length) {
    pos = length;
    return false;
  }
  // Tokens are short: a plain loop beats a library call per token.
  int32_t end = start;
  while (end < length && text[static_cast<size_t>(end)] != separator) ++end;
  const int32_t taken = end - start;
  if (taken > limit) return false;
  const char* begin = text.data() + start;
  token = std::string_view(begin, static_cast<size_t>(taken));
  pos = start + taken + 1;  // behind the separator, or one past the end
  return true;
}

bool NextToken(std::string_view text, int32_t& pos, std::string& token, int32_t limit,
               char separator) {
  std::string_view view;
  const bool ok = NextTokenView(text, pos, view, limit, separator);
  token.assign(view);
  return ok;
}

bool NthToken(std::string_view text, int32_t& pos, std::string& token, int32_t limit, int32_t count,
              char separator) {
  std::string_view view;
  for (int32_t i = 0; i < count; ++i) {
    if (!NextTokenView(text, pos, view, limit, separator)) {
      token.clear();
      return false;
    }
  }
  token.assign(view);
  return true;
}

void ReplaceAll(std::string& text, std::string_view pattern, std::string_view replacement) {
  if (pattern.empty()) return;
  size_t hit = text.find(pattern);
  if (hit == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  size_t from = 0;
  for (; hit != std::string::npos; hit = text.find(pattern, from)) {
    out.append(text, from, hit - from);
    out.append(replacement);
    from = hit + pattern.size();
  }
  out.append(text, from, std::string::npos);
  text = std::move(out);
}

void RemoveByte(std::string& text, char byte) {
  std::erase(text, byte);
}

void PadText(std::string& text, char fill, int32_t width, int side) {
  if (width < 0 || text.size() >= static_cast<size_t>(width)) return;
  const size_t missing = static_cast<size_t>(width) - text.size();
  if (side == kPadLeft) {
    text.insert(0, missing, fill);
  } else {
    text.append(missing, fill);
  }
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

void ToUpperAscii(std::string& text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

int32_t ParseDecimal(std::string_view text) {
  size_t i = 0;
  // Like the C conversions: any white space before the number is skipped.
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kCap) value = kCap;
  }
  if (negative) return static_cast<int32_t>(-value);
  return value >= kCap ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(value);
}

}  // namespace strivex
