#include "util/text_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace strivex {
namespace {

struct Step {
  bool ok;
  std::string out;
  int32_t posAfter;
};

struct ScanCase {
  const char* name;
  std::string text;
  int32_t limit;
  std::vector<Step> steps;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class ReadLineTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ReadLineTest, ReadsLinesInOrder) {
  const ScanCase& c = GetParam();
  int32_t pos = 0;
  std::string line = "stale";
  for (size_t i = 0; i < c.steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    EXPECT_EQ(ReadLine(c.text, pos, line, c.limit), c.steps[i].ok);
    EXPECT_EQ(line, c.steps[i].out);
    EXPECT_EQ(pos, c.steps[i].posAfter);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadLineTest,
    ::testing::Values(
        ScanCase{"LoneLineFeedStaysInLine", "A\r\nB\nC", 300,
                 {{true, "A", 3}, {true, "B\nC", 7}, {false, "", 7}}},
        ScanCase{"CrOnlyAndEmptyLines", "A\r\rB\r", 300,
                 {{true, "A", 2}, {true, "", 3}, {true, "B", 5}, {true, "", 6}, {false, "", 6}}},
        ScanCase{"LineWithCrMayHoldLimit", "ABCD\r", 4, {{true, "ABCD", 5}, {true, "", 6}}},
        ScanCase{"LastLineMayHoldLimitMinusOne", "ABCD", 4, {{false, "", 0}, {false, "", 0}}},
        ScanCase{"LastLineJustFits", "ABC", 4, {{true, "ABC", 4}, {false, "", 4}}},
        ScanCase{"EmptyTextGivesOneEmptyLine", "", 300, {{true, "", 1}, {false, "", 1}}},
        ScanCase{"TooLongSecondLineStops", "ok\r" + std::string(301, 'x') + "\rmore", 300,
                 {{true, "ok", 3}, {false, "", 3}}},
        ScanCase{"CrLfCrLf", "\r\n\r\n", 300, {{true, "", 2}, {true, "", 4}, {true, "", 5}}},
        ScanCase{"LfBeforeCrIsOrdinary", "\n\r\n", 300, {{true, "\n", 3}, {true, "", 4}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct TokenCase {
  const char* name;
  std::string text;
  int32_t limit;
  char separator;
  std::vector<Step> steps;
};

void PrintTo(const TokenCase& c, std::ostream* os) { *os << c.name; }

class NextTokenTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(NextTokenTest, ReadsTokensInOrder) {
  const TokenCase& c = GetParam();
  int32_t pos = 0;
  std::string token = "stale";
  for (size_t i = 0; i < c.steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    EXPECT_EQ(NextToken(c.text, pos, token, c.limit, c.separator), c.steps[i].ok);
    EXPECT_EQ(token, c.steps[i].out);
    EXPECT_EQ(pos, c.steps[i].posAfter);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, NextTokenTest,
    ::testing::Values(
        TokenCase{"KeyAndValue", "  ID proba: 123", 300, ':',
                  {{true, "ID proba", 11}, {true, "123", 16}, {false, "", 16}}},
        TokenCase{"SpaceBeforeSeparatorKept", "ID proba :1", 300, ':', {{true, "ID proba ", 10}}},
        TokenCase{"EmptyTokenBetweenSeparators", "a::b", 300, ':',
                  {{true, "a", 2}, {true, "", 3}, {true, "b", 5}, {false, "", 5}}},
        TokenCase{"TooLongLeavesPosition", "ABCD", 3, ':', {{false, "", 0}, {false, "", 0}}},
        TokenCase{"TooLongAfterSpacesLeavesPosition", "a:  ABCD", 3, ':',
                  {{true, "a", 2}, {false, "", 2}, {false, "", 2}}},
        TokenCase{"LimitIsInclusive", "ABC:", 3, ':', {{true, "ABC", 4}, {false, "", 4}}},
        TokenCase{"OnlySpacesLeft", "x:   ", 300, ':', {{true, "x", 2}, {false, "", 5}}},
        TokenCase{"TrailingSpacesKept", " neg  :", 300, ':', {{true, "neg  ", 7}}},
        TokenCase{"EmptyText", "", 300, ':', {{false, "", 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NextToken, PositionBeyondEndFailsAndStays) {
  int32_t pos = 4;
  std::string token = "x";
  EXPECT_FALSE(NextToken("abc", pos, token, 10, ':'));
  EXPECT_EQ(token, "");
  EXPECT_EQ(pos, 4);
}

TEST(NthToken, PicksDottedParts) {
  const struct {
    int32_t n;
    bool ok;
    const char* token;
  } cases[] = {{1, true, "10"}, {4, true, "3"}, {5, false, ""}, {0, true, ""}};
  for (const auto& c : cases) {
    int32_t pos = 0;
    std::string token = "stale";
    EXPECT_EQ(NthToken("10.1.2.3", pos, token, 300, c.n, '.'), c.ok) << c.n;
    EXPECT_EQ(token, c.token) << c.n;
  }
}

TEST(ReplaceAll, ReplacesWithoutOverlapOrRescan) {
  const struct {
    std::string text, pattern, replacement, expected;
  } cases[] = {
      {"\xC2\xB5mol", "\xC2", "", "\xB5mol"},
      {"aaa", "aa", "b", "ba"},
      {"abab", "ab", "abab", "abababab"},
      {"none", "x", "y", "none"},
      {"keep", "", "y", "keep"},
      {"", "a", "b", ""},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    ReplaceAll(text, c.pattern, c.replacement);
    EXPECT_EQ(text, c.expected) << c.text;
  }
}

TEST(PadText, PadsOnTheChosenSide) {
  const struct {
    std::string text;
    char fill;
    int32_t width;
    int side;
    std::string expected;
  } cases[] = {
      {"7", '0', 2, kPadLeft, "07"},
      {"123", '0', 2, kPadLeft, "123"},
      {"12", '0', 3, kPadLeft, "012"},
      {"R1", ' ', 14, 0, "R1            "},
      {"R1", ' ', 4, 2, "R1  "},
      {"", '0', 0, kPadLeft, ""},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    PadText(text, c.fill, c.width, c.side);
    EXPECT_EQ(text, c.expected) << c.text;
  }
}

TEST(ToUpperAscii, OnlyAsciiLettersChange) {
  std::string text = "Pacient 12:;az{`\xE3\xB5";
  ToUpperAscii(text);
  EXPECT_EQ(text, "PACIENT 12:;AZ{`\xE3\xB5");
}

TEST(ParseDecimal, ReadsLikeTheCConversion) {
  const struct {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"1021", 1021},  {"  42abc", 42},        {"-7", -7},       {"+8", 8},
      {"abc", 0},      {"", 0},                {"\t15", 15},     {"- 5", 0},
      {"2147483647", 2147483647},              {"99999999999", 2147483647},
      {"-2147483648", -2147483647 - 1},        {"-99999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace strivex
