// Generated pages must read back through the module's interpreter as the samples they claim.

#include "report_generator.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "protocol/strivex_interpretor.h"

namespace strivex::sim {
namespace {

struct Interpreted {
  std::vector<int32_t> ids;
  std::vector<std::vector<std::string>> codes;   // per sample
  std::vector<std::vector<std::string>> values;  // per sample
};

Interpreted Interpret(const std::string& report) {
  StrivexInterpretor interpretor;
  interpretor.Interpret(report, 0, 0, {});
  Interpreted out;
  for (const auto& sample : interpretor.Samples()) {
    out.ids.push_back(sample.requestId);
    out.codes.emplace_back();
    out.values.emplace_back();
    for (const auto& result : sample.groups.head()->results) {
      out.codes.back().push_back(result.parameterCode);
      out.values.back().push_back(result.value);
    }
  }
  return out;
}

const std::vector<std::string> kCodes = {"LEU", "NIT", "URO", "PRO", "pH",  "BLD",
                                         "SG",  "KET", "BIL", "GLU", "ASC", "COL"};

TEST(ReportGeneratorTest, FixedReportHasSequentialIdsAndAllResults) {
  const std::string report = GenerateReport(3, 14);
  EXPECT_EQ(report, GenerateReport(3, 14));
  const Interpreted got = Interpret(report);
  EXPECT_EQ(got.ids, (std::vector<int32_t>{100000, 100001, 100002}));
  ASSERT_EQ(got.codes.size(), 3u);
  EXPECT_EQ(got.codes[2].size(), 14u);
  EXPECT_EQ(got.values[0][2], "3.2 \xB5mol/l");  // the UTF-8 lead byte is dropped
  EXPECT_EQ(got.values[0][5], "ca 10");          // the unit is a third token
}

TEST(ReportGeneratorTest, EachPageIsOneSampleWithTheTwelveParameters) {
  ReportGenerator generator(42);
  for (int page = 0; page < 50; ++page) {
    const GeneratedReport report = generator.Next();
    const Interpreted got = Interpret(report.text);
    ASSERT_EQ(got.ids, std::vector<int32_t>{report.sampleId});
    EXPECT_EQ(got.codes[0], kCodes);
    for (const std::string& value : got.values[0]) {
      EXPECT_FALSE(value.empty());
      EXPECT_EQ(value.find('\xC2'), std::string::npos) << value;
    }
  }
}

TEST(ReportGeneratorTest, SeedFixesTheSequenceAndIdsDoNotRepeat) {
  ReportGenerator first(7), again(7), other(8);
  std::set<int32_t> ids;
  bool differs = false;
  for (int page = 0; page < 2000; ++page) {
    const GeneratedReport report = first.Next();
    EXPECT_EQ(report.text, again.Next().text);
    differs = differs || other.Next().text != report.text;
    EXPECT_GE(report.sampleId, 1);
    EXPECT_LE(report.sampleId, 999'999);
    ids.insert(report.sampleId);
  }
  EXPECT_TRUE(differs);
  EXPECT_EQ(ids.size(), 2000u);
}

}  // namespace
}  // namespace strivex::sim
