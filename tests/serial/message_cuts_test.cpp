#include "serial/message_cuts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace strivex {
namespace {

using End = MessageEnd;
using Start = MessageStart;

TEST(TornLines, OnlyLinesACutWentThroughAreTorn) {
  const std::string report = "ID proba:1\r\n---\r\n SG     1.0";
  const struct {
    std::string message;
    MessageCuts cuts;
    std::vector<std::string> torn;  // each as "text|line end"
  } cases[] = {
      {report, {Start::kLineStart, End::kStop, {}}, {" SG     1.0|"}},
      {"A\r B\r", {Start::kLineStart, End::kStop, {}}, {}},
      {"A\r\n B\r\n", {Start::kLineStart, End::kStop, {}}, {}},
      {report, {Start::kLineStart, End::kSilence, {}}, {}},
      {report, {Start::kLineStart, End::kLimit, {}}, {" SG     1.0|"}},
      {"05\r\n KET neg\r\n", {Start::kInLine, End::kSilence, {}}, {"05|\r\n"}},
      {"\n KET neg\r\n", {Start::kInLineEnd, End::kSilence, {}}, {"|\n"}},
      {"A\r\n COL \r\n B\r\n", {Start::kLineStart, End::kSilence, {8}}, {" COL |\r\n"}},
      {"A\nB\r\nC", {Start::kLineStart, End::kSilence, {2}}, {"A\nB|\r\n"}},  // LF alone ends no line
      {"A\r\nB\rC", {Start::kLineStart, End::kSilence, {0, 2, 3, 5}}, {}},
      {"AB\r\nC\r\nDE", {Start::kLineStart, End::kStop, {1, 9}}, {"AB|\r\n", "DE|"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> torn;
    for (const TornLine& line : TornLines(c.message, c.cuts)) {
      torn.push_back(c.message.substr(line.begin, line.textEnd - line.begin) + "|" +
                     c.message.substr(line.textEnd, line.end - line.textEnd));
    }
    EXPECT_EQ(torn, c.torn) << ::testing::PrintToString(c.message);
  }
  // The message after one the limit cut begins inside that line, or inside its line end.
  EXPECT_EQ(NextMessageStart(report, {Start::kLineStart, End::kLimit, {}}), Start::kInLine);
  EXPECT_EQ(NextMessageStart(report + "5\r", {Start::kLineStart, End::kLimit, {}}), Start::kInLineEnd);
  EXPECT_EQ(NextMessageStart(report, {Start::kLineStart, End::kStop, {}}), Start::kLineStart);
}

}  // namespace
}  // namespace strivex
