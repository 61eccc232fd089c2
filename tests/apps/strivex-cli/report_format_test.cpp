#include "report_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace strivex::cli {
namespace {

ResultRecord& AddResult(GroupRecord& group, const std::string& code, const std::string& value) {
  ResultRecord& result = group.results.emplace_back();
  result.parameterCode = code;
  result.value = value;
  return result;
}

TEST(ReportFormatTest, SamplesGroupsAndResultsInListOrder) {
  SampleList samples;
  SampleRecord& first = samples.emplace_back(1021);
  GroupRecord& urine = first.groups.emplace_back("S_TRV");
  AddResult(urine, "LEU", "neg");
  AddResult(urine, "GLU", "5 mmol/l");
  first.groups.emplace_back("EMPTY");
  samples.emplace_back(7);  // no group: nothing to print
  SampleRecord& last = samples.emplace_back(-3);
  AddResult(last.groups.emplace_back("S\tX"), "B\\L", std::string("\xb5\0", 2));

  EXPECT_EQ(FormatReport(samples),
            "1021\tS_TRV\tLEU\tneg\n"
            "1021\tS_TRV\tGLU\t5 mmol/l\n"
            "1021\tEMPTY\n"
            "-3\tS\\tX\tB\\\\L\t\\xb5\\x00\n");
}

TEST(ReportFormatTest, UnassignedResultsFollowTheSamples) {
  SampleList samples;
  AddResult(samples.emplace_back(5).groups.emplace_back("S_TRV"), "A", "1");
  SampleList unassigned;
  AddResult(unassigned.emplace_back(0).groups.emplace_back("S_TRV"), "LEU", "75 Leu/ul");
  SampleRecord& second = unassigned.emplace_back(0);
  AddResult(second.groups.emplace_back("S_TRV"), "X\t", "\xb5\\");
  second.groups.emplace_back("EMPTY");  // no result, so no line

  const std::string loose = "-\t-\tLEU\t75 Leu/ul\n-\t-\tX\\t\t\\xb5\\\\\n";
  EXPECT_EQ(FormatReport(samples, unassigned), "5\tS_TRV\tA\t1\n" + loose);
  EXPECT_EQ(FormatReport(SampleList(), unassigned), loose);
}

TEST(ReportFormatTest, StreamedReportEqualsFormattedOneAcrossChunks) {
  // Large enough for several chunk flushes inside a single sample.
  SampleList samples;
  GroupRecord& group = samples.emplace_back(2147483647).groups.emplace_back("S_TRV");
  for (int i = 0; i < 20000; ++i)
    AddResult(group, "P" + std::to_string(i), "v\n" + std::to_string(i));
  samples.emplace_back(-2147483647 - 1).groups.emplace_back("S_TRV");

  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(WriteReport(file, samples));
  std::string written(static_cast<size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  EXPECT_EQ(std::fread(written.data(), 1, written.size(), file), written.size());
  std::fclose(file);

  const std::string expected = FormatReport(samples);
  EXPECT_GT(expected.size(), 300000u);
  EXPECT_EQ(written, expected);
  EXPECT_TRUE(expected.ends_with("2147483647\tS_TRV\tP19999\tv\\n19999\n-2147483648\tS_TRV\n"));
}

TEST(ReportFormatTest, WriteErrorIsReported) {
  std::FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  SampleList samples;
  AddResult(samples.emplace_back(1).groups.emplace_back("S_TRV"), "LEU", "neg");
  EXPECT_FALSE(WriteReport(full, samples) && std::fflush(full) == 0);
  std::fclose(full);
}

}  // namespace
}  // namespace strivex::cli
