// Runs the built strivex-cli on real files, the way scripts and the operator use it.

#include "interpret_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace strivex::cli {
namespace {

using strivex::testing::ProcessResult;
using strivex::testing::ReadFile;
using strivex::testing::RunProcess;
using strivex::testing::TempDir;
using strivex::testing::WriteFile;

const std::string kExample = "ID proba:1021\r\n------\r\n LEU neg\r\n GLU 5 mmol/l\r\n======\r\n";
const std::string kExampleOut = "1021\tS_TRV\tLEU\tneg\n1021\tS_TRV\tGLU\t5 mmol/l\n";

ProcessResult Cli(const std::vector<std::string>& args, const std::string& input = {}) {
  return RunProcess(STRIVEX_CLI_PATH, args, input);
}

// A usage or file error: nothing on stdout, exactly one "strivex-cli: ...: ..." line on stderr.
void ExpectFailureLine(const ProcessResult& r, const std::string& fragment) {
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.err.starts_with("strivex-cli: ")) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
}

class InterpretCliTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name, const std::string& bytes) {
    WriteFile(dir_ / name, bytes);
    return (dir_ / name).string();
  }
  TempDir dir_;
};

struct ReportCase {
  const char* name;
  std::string report;
  std::vector<std::string> options;
  std::string out;
  int exitCode;
  std::string err = {};
};

void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }

class InterpretReportTest : public InterpretCliTest,
                            public ::testing::WithParamInterface<ReportCase> {};

TEST_P(InterpretReportTest, PrintsResultsAndStatus) {
  const ReportCase& c = GetParam();
  std::vector<std::string> args{"interpret"};
  args.insert(args.end(), c.options.begin(), c.options.end());
  args.push_back(File("report.txt", c.report));
  const ProcessResult r = Cli(args);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(r.exitCode, c.exitCode);
}

const std::string kNotKept = "strivex-cli: result line outside a block, not kept: ";
const std::string kPatientThenId = "Pacient:77\r\nID proba:9\r\n------\r\n LEU neg\r\n===\r\n";

INSTANTIATE_TEST_SUITE_P(
    Reports, InterpretReportTest,
    ::testing::Values(
        ReportCase{"WorkedExample", kExample, {}, kExampleOut, 0},
        ReportCase{"FieldsAreEscaped", "ID proba:3\r\n---\r\n X a\tb c\\d\xb5\x7f\r\n===\r\n", {},
                   "3\tS_TRV\tX\ta\\tb c\\\\d\\xb5\\x7f\n", 0},
        ReportCase{"GroupWithoutResults", "ID proba:5\r\nSample ID:6\r\n---\r\n K 1\r\n===\r\n", {},
                   "5\tS_TRV\n6\tS_TRV\tK\t1\n", 0},
        ReportCase{"PatientIdentifiesWithoutKnownId", kPatientThenId, {},
                   "77\tS_TRV\n9\tS_TRV\tLEU\tneg\n", 0},
        ReportCase{"KnownIdIgnoresPatient", kPatientThenId, {"--request-id", "5"},
                   "9\tS_TRV\tLEU\tneg\n", 0},
        ReportCase{"KnownIdInEqualsForm", kPatientThenId, {"--request-id=-5"},
                   "9\tS_TRV\tLEU\tneg\n", 0},
        ReportCase{"LastRequestIdWins", kPatientThenId, {"--request-id", "5", "--request-id", "0"},
                   "77\tS_TRV\n9\tS_TRV\tLEU\tneg\n", 0},
        ReportCase{"ResultWithoutSampleIsUnassigned", "Pacient:77\r\n---\r\n LEU neg\r\n",
                   {"--request-id", "5"}, "-\t-\tLEU\tneg\n-\t-\t\t\n", 0},
        ReportCase{"UnassignedFollowSamplesEscaped",
                   "---\r\n X a\tb\\\xb5\r\n===\r\nID proba:3\r\n---\r\n K 1\r\n===\r\n"
                   "ID proba:0\r\n---\r\n Y galben \xc4\x83\r\n===\r\n",
                   {}, "3\tS_TRV\tK\t1\n-\t-\tX\ta\\tb\\\\\\xb5\n-\t-\tY\tgalben \\xe3\n", 0},
        // The empty line behind the last CR LF of an open block is a result of its own; its empty
        // fields still fill their columns.
        ReportCase{"OpenBlockEndsWithEmptyResult", "ID proba:8\r\n---\r\n A 1\r\n", {},
                   "8\tS_TRV\tA\t1\n8\tS_TRV\t\t\n", 0},
        ReportCase{"NoSample", "hello\r\nworld\r\n", {}, "", 1},
        ReportCase{"OnlyLinesNotKept", " LEU\tneg\r\nID proba:0\r\n GLU 5", {}, "", 1,
                   kNotKept + "' LEU\\tneg'\n" + kNotKept + "' GLU 5'\n"},
        ReportCase{"EmptyFile", "", {}, "", 1},
        ReportCase{"NulBytesAreDropped",
                   std::string("ID proba:1\r\n---\r\n A 1") + '\0' + "\r\nID proba:2\r\n",
                   {}, "1\tS_TRV\tA\t1\n2\tS_TRV\n", 0},
        ReportCase{"NulFirst", std::string("\0", 1) + kExample, {}, kExampleOut, 0},
        ReportCase{"OnlyNul", std::string("\0\0", 2), {}, "", 1},
        ReportCase{"DoubleDashEndsOptions", kPatientThenId, {"--"},
                   "77\tS_TRV\n9\tS_TRV\tLEU\tneg\n", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InterpretCliTest, IniTranslatesValues) {
  const std::string ini = File("codes.ini", "TRANSLATE=1\r\nV1=neg:negativ\r\n");
  const std::string report = File("report.txt", kExample);
  const std::string translated = "1021\tS_TRV\tLEU\tnegativ\n1021\tS_TRV\tGLU\t5 mmol/l\n";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"interpret", "--ini", ini, report}, {"interpret", report, "--ini=" + ini}}) {
    const ProcessResult r = Cli(args);
    EXPECT_EQ(r.out, translated);
    EXPECT_EQ(r.exitCode, 0);
  }
  const std::string off = File("off.ini", "TRANSLATE=0\r\nV1=neg:x\r\n");
  EXPECT_EQ(Cli({"interpret", "--ini", off, report}).out, kExampleOut);
}

TEST_F(InterpretCliTest, RecordedReportMatchesItsExpectedOutput) {
  const std::string data = STRIVEX_TEST_DATA_DIR;
  const ProcessResult r = Cli({"interpret", "--ini", data + "/codes.ini",
                               data + "/reports/two-samples.txt"});
  EXPECT_EQ(r.out, ReadFile(data + "/reports/two-samples.expected"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(InterpretCliTest, EveryRecordedReportMatchesItsExpectedOutput) {
  // two-samples is read with codes.ini (above); the others without translations.
  const std::filesystem::path reports = std::filesystem::path(STRIVEX_TEST_DATA_DIR) / "reports";
  int checked = 0;
  int withUnassigned = 0;
  for (const auto& entry : std::filesystem::directory_iterator(reports)) {
    const std::filesystem::path report = entry.path();
    if (report.extension() != ".txt" || report.stem() == "two-samples") continue;
    SCOPED_TRACE(report.filename().string());
    const std::string expected = ReadFile(std::filesystem::path(report).replace_extension(".expected"));
    const ProcessResult r = Cli({"interpret", report.string()});
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.exitCode, expected.empty() ? 1 : 0);
    ++checked;
    if (expected.starts_with("-\t-\t") || expected.find("\n-\t-\t") != std::string::npos)
      ++withUnassigned;
  }
  EXPECT_GE(checked, 10);
  EXPECT_GE(withUnassigned, 4);
}

TEST_F(InterpretCliTest, DashReadsStandardInput) {
  const ProcessResult r = Cli({"interpret", "-"}, kExample);
  EXPECT_EQ(r.out, kExampleOut);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Cli({"interpret", "-"}, "").exitCode, 1);
}

TEST_F(InterpretCliTest, UnreadableFilesAndUsageErrors) {
  const std::string report = File("report.txt", kExample);
  const std::string missing = (dir_ / "missing.txt").string();
  const std::string dir = dir_.path().string();
  struct Case {
    std::vector<std::string> args;
    std::string fragment;
  };
  const std::vector<Case> cases{
      {{"interpret", dir}, "Is a directory"},
      {{"interpret", missing}, "missing.txt: No such file"},
      {{"interpret", "--ini", missing, report}, "missing.txt: No such file"},
      {{"interpret", "--ini", dir, report}, "Is a directory"},
      {{"interpret", "--ini", missing, "-"}, "No such file"},
      {{"interpret", "/proc/self/mem"}, "Input/output error"},  // opens, then fails to read
      {{"interpret", ""}, "strivex-cli: '': No such file"},
      {{"interpret", "--bogus", report}, "--bogus: unknown option"},
      {{"interpret", "-x", report}, "-x: unknown option"},
      {{"interpret", "--help=yes"}, "--help"},
      {{"interpret", report, "--ini"}, "--ini: missing value"},
      {{"interpret", report, "--request-id"}, "--request-id: missing value"},
      {{"interpret", "--request-id", "abc", report}, "--request-id: "},
      {{"interpret", "--request-id", "2147483648", report}, "--request-id: "},
      {{"interpret", "--request-id=", report}, "--request-id: "},
      {{"interpret"}, "missing FILE"},
      {{"interpret", report, report}, "unexpected extra argument"},
      {{"frobnicate"}, "frobnicate: unknown command"},
      {{"--bogus"}, "--bogus: unknown option"},
      {{"inter\x01pret"}, "inter\\x01pret"},  // names in messages are escaped too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    ExpectFailureLine(Cli(c.args), c.fragment);
  }
}

TEST_F(InterpretCliTest, PermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string report = File("locked.txt", kExample);
  ASSERT_EQ(chmod(report.c_str(), 0), 0);
  ExpectFailureLine(Cli({"interpret", report}), "Permission denied");
  ExpectFailureLine(Cli({"interpret", "--ini", report, "-"}, kExample), "Permission denied");
}

TEST_F(InterpretCliTest, HelpGoesToStdoutAndExplainsTheContract) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"interpret", "--help"}, {"interpret", "-h"},
           {"interpret", "x", "-h"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const ProcessResult r = Cli(args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    for (const char* needle : {"Usage:", "interpret", "\\xHH", "<parameter code>", "Exit status"}) {
      EXPECT_NE(r.out.find(needle), std::string::npos) << needle;
    }
    if (args.front() != "interpret") continue;
    for (const char* needle : {"- TAB - TAB <parameter code>", "unassigned result was found"}) {
      EXPECT_NE(r.out.find(needle), std::string::npos) << needle;
    }
  }
  const ProcessResult bare = Cli({});
  EXPECT_EQ(bare.exitCode, 2);
  EXPECT_EQ(bare.out, "");
  EXPECT_NE(bare.err.find("Usage:"), std::string::npos);
}

TEST_F(InterpretCliTest, LargeInputs) {
  // 50 MB without a line end: one over-long line, skipped, and nothing behind it.
  const std::string noise(50 << 20, '\xb5');
  const ProcessResult junk = Cli({"interpret", File("junk.bin", noise)});
  EXPECT_EQ(junk.exitCode, 1);
  EXPECT_EQ(junk.out, "");
  const ProcessResult behind = Cli({"interpret", File("behind.bin", noise + "\r\n" + kExample)});
  EXPECT_EQ(behind.exitCode, 0);
  EXPECT_EQ(behind.out, kExampleOut);

  std::string report = "ID proba:42\r\n---\r\n";
  for (int i = 0; i < 100000; ++i) report += " P" + std::to_string(i) + " \xb5 x\r\n";
  const ProcessResult big = Cli({"interpret", File("big.txt", report + "===\r\n")});
  EXPECT_EQ(big.exitCode, 0);
  EXPECT_EQ(std::count(big.out.begin(), big.out.end(), '\n'), 100000);
  EXPECT_TRUE(big.out.ends_with("42\tS_TRV\tP99999\t\\xb5 x\n"));
}

struct RequestIdCase {
  std::string text;
  std::optional<int32_t> value;
};

TEST(ParseRequestIdTest, AcceptsOnlyWholeDecimal32BitNumbers) {
  const std::vector<RequestIdCase> cases{
      {"0", 0}, {"-1", -1}, {"+5", 5}, {"007", 7}, {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1}, {"", std::nullopt}, {"+", std::nullopt},
      {"-", std::nullopt}, {"+-1", std::nullopt}, {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt}, {"12x", std::nullopt}, {" 1", std::nullopt},
      {"1 ", std::nullopt}, {"0x10", std::nullopt}, {"1e3", std::nullopt}};
  for (const RequestIdCase& c : cases) EXPECT_EQ(ParseRequestId(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace strivex::cli
