#include "protocol/code_page.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace strivex {
namespace {

using Conversions = std::vector<std::pair<std::string, std::optional<std::string>>>;

TEST(CodePage, Utf8ToWindows1250) {
  const Conversions cases{
      // Romanian with comma below and with cedilla, Polish, Czech and Slovak, Hungarian and
      // Croatian, the signs of reports
      {"ăĂâÂîÎșȘțȚşŞţŢ", "\xE3\xC3\xE2\xC2\xEE\xCE\xBA\xAA\xFE\xDE\xBA\xAA\xFE\xDE"},
      {"ąćęłńóśźżĄĆĘŁŃÓŚŹŻ",
       "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF"},
      {"čďěňřšťůžľĺŕôäČĎĚŇŘŠŤŮŽĽĹŔÔÄ",
       "\xE8\xEF\xEC\xF2\xF8\x9A\x9D\xF9\x9E\xBE\xE5\xE0\xF4\xE4\xC8\xCF\xCC\xD2\xD8\x8A\x8D\xD9"
       "\x8E\xBC\xC5\xC0\xD4\xC4"},
      {"őűöüđáéíúýçßŐŰÖÜĐÁÉÍÚÝÇ",
       "\xF5\xFB\xF6\xFC\xF0\xE1\xE9\xED\xFA\xFD\xE7\xDF\xD5\xDB\xD6\xDC\xD0\xC1\xC9\xCD\xDA\xDD"
       "\xC7"},
      {"µ°±×÷§€„”–…", "\xB5\xB0\xB1\xD7\xF7\xA7\x80\x84\x94\x96\x85"},
      // characters the code page lacks, of two, three and four bytes
      {"ñ≥Ω😀\xEF\xBF\xBF", "?????"},
      {"", ""}, {"neg 5 mmol/l", "neg 5 mmol/l"},
      // not UTF-8: a lone continuation (what the 0xC2 rule leaves of "µ"), cut short, a missing
      // continuation, overlong, a surrogate, beyond U+10FFFF, bytes never used
      {"\xB5mol/l", std::nullopt}, {"\xC4", std::nullopt}, {"\xE2\x89", std::nullopt},
      {"\xC4\x41", std::nullopt}, {"\xC0\xAF", std::nullopt}, {"\xE0\x80\xAF", std::nullopt},
      {"\xF0\x80\x80\xAF", std::nullopt}, {"\xED\xA0\x80", std::nullopt},
      {"\xF4\x90\x80\x80", std::nullopt}, {"\xF5\x80\x80\x80", std::nullopt},
      {"\xFF", std::nullopt}};
  for (const auto& [utf8, expected] : cases) EXPECT_EQ(Utf8ToWindows1250(utf8), expected) << utf8;
}

// The system's own converter judges the whole upper half of the code page.
TEST(CodePage, EveryWindows1250CharacterComesBackAsItsByte) {
  iconv_t decoder = iconv_open("UTF-8", "CP1250");
  if (decoder == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP1250 converter here";
  std::set<int> undefined;
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    char in = static_cast<char>(byte);
    char out[8];
    char* inPtr = &in;
    char* outPtr = out;
    size_t inLeft = 1, outLeft = sizeof out;
    if (iconv(decoder, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
      undefined.insert(byte);
      continue;
    }
    EXPECT_EQ(Utf8ToWindows1250(std::string(out, outPtr)), std::string(1, in)) << byte;
  }
  iconv_close(decoder);
  EXPECT_EQ(undefined, (std::set<int>{0x81, 0x83, 0x88, 0x90, 0x98}));
}

}  // namespace
}  // namespace strivex
