#include "serial/message_cuts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace strivex {
namespace {

MessageCuts Cuts(MessageEnd end, std::vector<int32_t> losses = {},
                 MessageStart start = MessageStart::kLineStart) {
  MessageCuts cuts;
  cuts.start = start;
  cuts.end = end;
  cuts.losses = std::move(losses);
  return cuts;
}

// Each torn line as "text|line end".
std::vector<std::string> Rendered(std::string_view message, const std::vector<TornLine>& lines) {
  std::vector<std::string> out;
  for (const TornLine& line : lines) {
    out.push_back(std::string(message.substr(line.begin, line.textEnd - line.begin)) + "|" +
                  std::string(message.substr(line.textEnd, line.end - line.textEnd)));
  }
  return out;
}

TEST(TornLines, OnlyLinesACutWentThroughAreTorn) {
  const std::string report = "ID proba:1\r\n---\r\n SG     1.0";
  const struct {
    const char* name;
    std::string message;
    MessageCuts cuts;
    std::vector<std::string> torn;
  } cases[] = {
      {"stop mid-line", report, Cuts(MessageEnd::kStop), {" SG     1.0|"}},
      {"stop after CR", "A\r B\r", Cuts(MessageEnd::kStop), {}},
      {"stop after CR LF", "A\r\n B\r\n", Cuts(MessageEnd::kStop), {}},
      {"silence after a line without its end", report, Cuts(MessageEnd::kSilence), {}},
      {"limit mid-line", report, Cuts(MessageEnd::kLimit), {" SG     1.0|"}},
      {"rest of a line the limit cut", "05\r\n KET neg\r\n",
       Cuts(MessageEnd::kSilence, {}, MessageStart::kInLine), {"05|\r\n"}},
      {"rest of a line end the limit cut", "\n KET neg\r\n",
       Cuts(MessageEnd::kSilence, {}, MessageStart::kInLineEnd), {"|\n"}},
      {"loss mid-line, completed by the next line end", "A\r\n COL \r\n B\r\n",
       Cuts(MessageEnd::kSilence, {8}), {" COL |\r\n"}},
      {"loss mid-line, LF alone is no line end", "A\nB\r\nC", Cuts(MessageEnd::kSilence, {2}),
       {"A\nB|\r\n"}},
      {"losses on line boundaries", "A\r\nB\rC", Cuts(MessageEnd::kSilence, {0, 2, 3, 5}), {}},
      {"loss and stop in one line", "A\r\n SG 1.0", Cuts(MessageEnd::kStop, {6}), {" SG 1.0|"}},
      {"two losses, first and last line", "AB\r\nC\r\nDE", Cuts(MessageEnd::kSilence, {1, 9}),
       {"AB|\r\n", "DE|"}},
      {"continuation that is the whole message at a stop", "05",
       Cuts(MessageEnd::kStop, {}, MessageStart::kInLine), {"05|"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Rendered(c.message, TornLines(c.message, c.cuts)), c.torn) << c.name;
  }
}

TEST(TornLines, RemovedWithTheirLineEndsTheOtherLinesStayWhole) {
  const std::string message = "A\r\n COL \r\n B\r\n SG 1.0";
  const std::vector<TornLine> torn = TornLines(message, Cuts(MessageEnd::kStop, {8}));
  EXPECT_EQ(WithoutLines(message, torn), "A\r\n B\r\n");
}

TEST(TornLines, TheNextMessageStartsInsideALineOnlyAfterTheLimitCutOne) {
  const struct {
    std::string message;
    MessageEnd end;
    MessageStart next;
  } cases[] = {
      {"A\r\n SG 1.0", MessageEnd::kLimit, MessageStart::kInLine},
      {"A\r\n SG 1.005\r", MessageEnd::kLimit, MessageStart::kInLineEnd},
      {"A\r\n SG 1.005\r\n", MessageEnd::kLimit, MessageStart::kLineStart},
      {"A\r\n SG 1.0", MessageEnd::kStop, MessageStart::kLineStart},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NextMessageStart(c.message, Cuts(c.end)), c.next) << c.message;
  }
}

}  // namespace
}  // namespace strivex
