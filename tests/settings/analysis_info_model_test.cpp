#include "settings/analysis_info_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "protocol/records.h"
#include "protocol/strivex_interpretor.h"

namespace strivex {
namespace {

using Rows = std::vector<AnalysisInfoRow>;
// An empty result list stands for an analysis that was requested but not measured.
using Group = std::pair<std::string, std::vector<std::pair<std::string, std::string>>>;

std::unique_ptr<SampleRecord> MakeSample(int32_t id, const std::string& patient, const std::vector<Group>& groups) {
  auto sample = std::make_unique<SampleRecord>(id);
  sample->patientName = patient;
  for (const auto& [code, results] : groups) {
    GroupRecord& group = sample->groups.emplace_back(code);
    for (const auto& [parameter, value] : results) {
      ResultRecord& result = group.results.emplace_back();
      result.parameterCode = parameter;
      result.value = value;
    }
  }
  return sample;
}

TEST(AnalysisInfoTest, SampleFromTheAnalyserShowsOneRowPerResult) {
  StrivexInterpretor interpretor;
  ASSERT_EQ(interpretor.Interpret("ID proba:1234\r\n----------------\r\n GLU NEG\r\n PH 6.0\r\n================\r\n",
                                  0, 0, {}),
            1);
  const AnalysisInfo info = BuildAnalysisInfo(interpretor.Samples().head());
  EXPECT_FALSE(info.error);
  EXPECT_EQ(info.code, "1234");
  EXPECT_EQ(info.rows, (Rows{{"Grup(S_TRV)Ref(GLU)", "NEG"}, {"Grup(S_TRV)Ref(PH)", "6.0"}}));
}

struct InfoCase {
  const char* name;
  int32_t id;
  std::string patient;
  std::vector<Group> groups;
  std::string code;
  Rows rows;
};

void PrintTo(const InfoCase& c, std::ostream* os) { *os << c.name; }

class AnalysisInfoRowsTest : public ::testing::TestWithParam<InfoCase> {};

TEST_P(AnalysisInfoRowsTest, ListsGroupsAndResultsInOrder) {
  const InfoCase& c = GetParam();
  const auto sample = MakeSample(c.id, c.patient, c.groups);
  const AnalysisInfo info = BuildAnalysisInfo(sample.get());
  EXPECT_FALSE(info.error);
  EXPECT_EQ(info.code, c.code);
  EXPECT_EQ(info.patientName, c.patient);
  EXPECT_EQ(info.rows, c.rows);
}

INSTANTIATE_TEST_SUITE_P(
    AnalysisInfo, AnalysisInfoRowsTest,
    ::testing::Values(
        InfoCase{"TwoGroupsOfTwo", 7, "Popescu Ion",
                 {{"A", {{"a1", "1"}, {"a2", "2"}}}, {"B", {{"b1", "3"}, {"b2", "4"}}}}, "7",
                 {{"Grup(A)Ref(a1)", "1"}, {"Grup(A)Ref(a2)", "2"}, {"Grup(B)Ref(b1)", "3"}, {"Grup(B)Ref(b2)", "4"}}},
        InfoCase{"GroupWithoutResults", 8, "X", {{"S_TRV", {}}, {"B", {{"b", "v"}}}}, "8",
                 {{"S_TRV", "cerere"}, {"Grup(B)Ref(b)", "v"}}},
        InfoCase{"EmptyPatientName", 9, "", {{"S_TRV", {{"GLU", "NEG"}}}}, "9", {{"Grup(S_TRV)Ref(GLU)", "NEG"}}},
        InfoCase{"NoGroups", -3, "Y", {}, "-3", {}},
        // Texts pass through as bytes (Windows-1250), neither cut nor converted.
        InfoCase{"SingleByteTexts", 10, "\xBA" "erban", {{"S_TRV", {{"ERY", "5 \xB5l"}}}}, "10",
                 {{"Grup(S_TRV)Ref(ERY)", "5 \xB5l"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AnalysisInfoTest, NoSampleIsAnErrorWithNothingToShow) {
  const AnalysisInfo info = BuildAnalysisInfo(nullptr);
  ASSERT_TRUE(info.error);
  EXPECT_EQ(*info.error, "Nu pot Afisa");
  EXPECT_TRUE(info.rows.empty());
  EXPECT_EQ(info.code, "");
}

}  // namespace
}  // namespace strivex
