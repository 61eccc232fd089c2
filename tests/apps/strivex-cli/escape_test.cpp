#include "escape.h"

#include <gtest/gtest.h>

#include <string>

namespace strivex::cli {
namespace {

struct EscapeCase {
  const char* name;
  std::string field;
  std::string escaped;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

class EscapeFieldTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeFieldTest, Escapes) { EXPECT_EQ(EscapeField(GetParam().field), GetParam().escaped); }

INSTANTIATE_TEST_SUITE_P(
    Bytes, EscapeFieldTest,
    ::testing::Values(EscapeCase{"Empty", "", ""},
                      EscapeCase{"PrintableEdgesStay", " ~5 mmol/l", " ~5 mmol/l"},
                      EscapeCase{"Backslash", "a\\b", "a\\\\b"},
                      EscapeCase{"EscapeLookalikeIsNotTakenAsEscape", "\\x41\\t", "\\\\x41\\\\t"},
                      EscapeCase{"NamedControls", "\t\r\n", "\\t\\r\\n"},
                      EscapeCase{"NulInsideField", std::string("a\0b", 3), "a\\x00b"},
                      EscapeCase{"OtherControls", "\x01\x1f\x0b", "\\x01\\x1f\\x0b"},
                      EscapeCase{"Delete", "\x7f", "\\x7f"},
                      EscapeCase{"HighBytesLowerCaseHex", "\xb5\xc2\xff\x80",
                                 "\\xb5\\xc2\\xff\\x80"},
                      EscapeCase{"Mixed", "5\xb5mol\t\\", "5\\xb5mol\\t\\\\"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EscapeFieldTest, EveryByteGivesOnePrintableTabFreeToken) {
  for (int b = 0; b < 256; ++b) {
    const std::string escaped = EscapeField(std::string(1, static_cast<char>(b)));
    SCOPED_TRACE(b);
    for (const char c : escaped) EXPECT_TRUE(c >= 0x20 && c <= 0x7E);
    if (b >= 0x20 && b <= 0x7E && b != '\\') {
      EXPECT_EQ(escaped.size(), 1u);
    } else {
      EXPECT_EQ(escaped.front(), '\\');
    }
  }
}

}  // namespace
}  // namespace strivex::cli
