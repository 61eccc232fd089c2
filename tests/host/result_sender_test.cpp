// What a failed L_RESULT_INSERT says about its row, and the statement a row becomes.

#include "host/result_sender.h"

#include <gtest/gtest.h>

namespace strivex {
namespace {

TEST(ResultSender, TellsALostConnectionFromARefusedRow) {
  const struct {
    const char* detail;
    bool connection;
  } cases[] = {
      {"08S01: [FreeTDS][SQL Server]Communication link failure", true},
      {"08001: could not connect to server: Connection refused", true},
      {"HYT00: [unixODBC]Timeout expired", true},
      {"HYT01: Connection timeout expired", true},
      {"57P01: FATAL: terminating connection due to administrator command;\nThe connection has been lost", true},
      {"57P03: FATAL: the database system is starting up", true},
      {"HY000: server closed the connection unexpectedly", true},
      {"23503: ERROR: insert or update on table \"lab_results\" violates foreign key constraint", false},
      {"22001: ERROR: value too long for type character varying(250)", false},
      {"42883: ERROR: procedure l_result_insert(integer) does not exist", false},
      {"P0001: ERROR: detail 0 does not exist", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsConnectionFailure(c.detail), c.connection) << c.detail;
}

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
