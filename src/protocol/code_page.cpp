#include "protocol/code_page.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

namespace strivex {

namespace {

constexpr char kMissing = '?';

// The characters of the bytes 0x80-0xFF; 0 where Windows-1250 defines none.
constexpr std::array<char16_t, 128> kHighHalf = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x0000, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 0x88
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 0x98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // 0xA0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // 0xA8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // 0xB8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // 0xC0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // 0xC8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // 0xD0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // 0xD8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // 0xE0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // 0xE8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // 0xF0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // 0xF8
};

// Romanian text is written with comma below; the code page has only the cedilla forms, which
// the laboratory's staff read as the same letters.
constexpr std::pair<char32_t, char32_t> kCommaBelow[] = {
    {0x0218, 0x015E}, {0x0219, 0x015F}, {0x021A, 0x0162}, {0x021B, 0x0163}};

char ByteOf(char32_t codePoint) {
  if (codePoint < 0x80) return static_cast<char>(codePoint);
  for (const auto& [comma, cedilla] : kCommaBelow) {
    if (codePoint == comma) codePoint = cedilla;
  }
  const auto* hit = std::find(kHighHalf.begin(), kHighHalf.end(), codePoint);
  return hit == kHighHalf.end() ? kMissing : static_cast<char>(0x80 + (hit - kHighHalf.begin()));
}

bool IsAscii(char c) { return static_cast<unsigned char>(c) < 0x80; }

// The code point at `pos`, moving past it; no value when the bytes there are not well-formed.
std::optional<char32_t> NextCodePoint(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  // Lead bytes 0xC0, 0xC1 and 0xF5 and above only ever start overlong or too large forms.
  struct Form {
    unsigned char firstLead, lastLead;
    size_t length;
    char32_t smallest;  // below it the form is overlong
  };
  static constexpr Form kForms[] = {
      {0xC2, 0xDF, 2, 0x80}, {0xE0, 0xEF, 3, 0x800}, {0xF0, 0xF4, 4, 0x10000}};
  const auto* form = std::find_if(std::begin(kForms), std::end(kForms), [&](const Form& f) {
    return lead >= f.firstLead && lead <= f.lastLead;
  });
  if (form == std::end(kForms)) return std::nullopt;
  const size_t length = form->length;
  char32_t codePoint = lead & (0x7Fu >> length);
  if (text.size() - pos < length) return std::nullopt;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0u) != 0x80u) return std::nullopt;
    codePoint = codePoint << 6 | (next & 0x3Fu);
  }
  const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
  if (codePoint < form->smallest || codePoint > 0x10FFFF || surrogate) return std::nullopt;
  pos += length;
  return codePoint;
}

}  // namespace

std::optional<std::string> Utf8ToWindows1250(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const std::optional<char32_t> codePoint = NextCodePoint(utf8, pos);
    if (!codePoint) return std::nullopt;
    out += ByteOf(*codePoint);
  }
  return out;
}

void ToServerCodePage(std::string& value) {
  if (std::all_of(value.begin(), value.end(), IsAscii)) return;
  if (std::optional<std::string> converted = Utf8ToWindows1250(value)) {
    value = std::move(*converted);
    return;
  }
  for (char& c : value) {
    if (!IsAscii(c) && kHighHalf[static_cast<unsigned char>(c) - 0x80u] == 0) c = kMissing;
  }
}

}  // namespace strivex
