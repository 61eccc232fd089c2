// The statement an outbox row becomes: its codes mapped by first match, its texts escaped.

#include "host/result_sender.h"

#include <gtest/gtest.h>

namespace strivex {
namespace {

TEST(ResultSender, MapsByFirstMatchAndEscapesTheTexts) {
  const std::vector<InvestigationCodeEntry> codes = {
      {1, "S_TRV", 1, "LEU"}, {2, "S_TRV", 13, "GLU"}, {3, "OTHER", 7, "SG"}, {4, "X", 9, "SG"}};
  const struct {
    const char* analysis;
    const char* parameter;
    int32_t investigation, detail;
  } cases[] = {{"S_TRV", "LEU", 1, 1}, {"S_TRV", "SG", 1, 7}, {"OTHER", "GLU", 3, 13}, {"NONE", "NOPE", 0, 0},
               {"s_trv", "leu", 0, 0}};
  for (const auto& c : cases) {
    const CodeIds ids = MapCodes(codes, c.analysis, c.parameter);
    EXPECT_EQ(ids.investigationId, c.investigation) << c.analysis;
    EXPECT_EQ(ids.detailId, c.detail) << c.parameter;
  }
  EXPECT_EQ(ResultStatement(30512, 5, {1, 7}, "O'Brien", " "), " exec L_RESULT_INSERT 30512,5,1,7,'O''Brien',' ',1 ");
}

}  // namespace
}  // namespace strivex
