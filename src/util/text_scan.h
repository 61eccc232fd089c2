#pragma once
// Position-based scanners over single-byte texts. The boundary rules (limits, what a failed call
// leaves behind, where the position moves) decide what the report and INI parsers accept, so they
// are kept to the byte. A text ends at the end of its view; callers that hold C texts cut them at
// the first NUL themselves.

#include <cstdint>
#include <string>
#include <string_view>

namespace strivex {

// One line from `pos` up to a carriage return or the end of the text. A LF right after the CR is
// part of the line end; any other LF is an ordinary byte. A line ended by CR may hold `limit`
// bytes, the last line of a text without a final CR `limit - 1` (the end counts as one byte).
// Fails (empty line, position unchanged) when `pos` lies beyond the end or the line is too long.
bool ReadLine(std::string_view text, int32_t& pos, std::string& line, int32_t limit);
// ReadLine without a copy: `line` points into `text`.
bool ReadLineView(std::string_view text, int32_t& pos, std::string_view& line, int32_t limit);

// One token: leading spaces (byte 32 only) are skipped, then bytes up to `separator` or the end.
// Fails with an empty token when `pos` lies beyond the end, when only spaces are left (position
// then at the end) or when the token would exceed `limit` bytes (position unchanged).
bool NextToken(std::string_view text, int32_t& pos, std::string& token, int32_t limit, char separator);
// NextToken without a copy: `token` points into `text`.
bool NextTokenView(std::string_view text, int32_t& pos, std::string_view& token, int32_t limit,
                   char separator);

// The n-th token counted from `pos` (NextToken n times); empty token and false if any call fails.
bool NthToken(std::string_view text, int32_t& pos, std::string& token, int32_t limit, int32_t count,
              char separator);

// Replaces every non-overlapping occurrence, left to right; replacements are not rescanned.
// An empty pattern matches nothing.
void ReplaceAll(std::string& text, std::string_view pattern, std::string_view replacement);

// Removes every occurrence of one byte (the interpreter's 0xC2 clean-up, without the general case).
void RemoveByte(std::string& text, char byte);

// PadText's side that pads before the text.
inline constexpr int kPadLeft = 1;
// Pads to `width` with `fill` before the text (side 1) or after it (any other side); texts of
// `width` or more bytes stay as they are.
void PadText(std::string& text, char fill, int32_t width, int side);

// The text without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view text);

// a-z to A-Z; every other byte unchanged.
void ToUpperAscii(std::string& text);

// Leading white space, optional sign, decimal digits up to the first other byte; 0 without digits.
// Out-of-range values saturate at the 32-bit limits instead of wrapping to another number.
int32_t ParseDecimal(std::string_view text);

}  // namespace strivex
