#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace strivex::sim {
namespace {

ParsedOptions Parse(const std::vector<std::string_view>& args) { return ParseOptions(args); }

TEST(OptionsTest, ValuesInBothFormsAndReportsInOrder) {
  const ParsedOptions parsed = Parse({"--port",
                                      "COM2",
                                      "--baud=2400",
                                      "--bits",
                                      "7",
                                      "--parity=mark",
                                      "--stop",
                                      "1.5",
                                      "--report",
                                      "a.txt",
                                      "--generate=3",
                                      "--report=b.txt",
                                      "--seed",
                                      "18446744073709551615",
                                      "--gap",
                                      "0.25",
                                      "--start-delay=0",
                                      "--expect-frames",
                                      "2",
                                      "--timeout",
                                      "1.5",
                                      "--frames-file=got.txt",
                                      "--no-pace",
                                      "--exit-after-send"});
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  const SimOptions& o = parsed.options;
  EXPECT_EQ(o.port, "COM2");
  EXPECT_EQ(o.line.baud, 2400u);
  EXPECT_EQ(o.line.dataBits, 7);
  EXPECT_EQ(o.line.parity, MARKPARITY);
  EXPECT_EQ(o.line.stopBits, ONE5STOPBITS);
  EXPECT_EQ(o.reports, (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(o.generate, 3);
  EXPECT_EQ(o.seed, 18446744073709551615u);
  EXPECT_EQ(o.gapSeconds, 0.25);
  EXPECT_EQ(o.startDelaySeconds, 0.0);
  EXPECT_EQ(o.expectFrames, 2);
  EXPECT_EQ(o.timeoutSeconds, 1.5);
  EXPECT_FALSE(o.pace);
  EXPECT_TRUE(o.exitAfterSend);
  EXPECT_EQ(o.framesFile, "got.txt");
}

TEST(OptionsTest, HelpNeedsNoLineAndEndsTheReading) {
  EXPECT_TRUE(Parse({"-h"}).ok());
  EXPECT_TRUE(Parse({"--help", "--bits", "9"}).options.help);
  EXPECT_TRUE(Parse({"--bits", "9", "--help"}).options.help);  // help wins over mistakes
}

struct ErrorCase {
  const char* name;
  std::vector<std::string_view> args;
  const char* fragment;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class OptionErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(OptionErrorTest, NamesTheProblem) {
  const ParsedOptions parsed = ParseOptions(GetParam().args);
  EXPECT_FALSE(parsed.ok());
  EXPECT_NE(parsed.error.find(GetParam().fragment), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, OptionErrorTest,
    ::testing::Values(
        ErrorCase{"NoLine", {}, "--pty or --port DEVICE: missing"},
        ErrorCase{"BothLines", {"--pty", "--port", "ttyS0"}, "exclude each other"},
        ErrorCase{"EmptyPort", {"--port="}, "--port: the device name is empty"},
        ErrorCase{"MissingValue", {"--pty", "--baud"}, "--baud: missing value"},
        ErrorCase{"ZeroBaud", {"--pty", "--baud", "0"}, "--baud: '0'"},
        ErrorCase{"BaudWithUnit", {"--pty", "--baud", "9600bd"}, "--baud: '9600bd'"},
        ErrorCase{"NineBits", {"--pty", "--bits", "9"}, "--bits: '9' is not 5, 6, 7 or 8"},
        ErrorCase{"FourBits", {"--pty", "--bits=4"}, "--bits: '4'"},
        ErrorCase{"UpperCaseParity", {"--pty", "--parity", "Even"}, "--parity: 'Even'"},
        ErrorCase{"ThreeStopBits", {"--pty", "--stop", "3"}, "--stop: '3'"},
        ErrorCase{"NegativeGap", {"--pty", "--gap", "-1"}, "--gap: '-1'"},
        ErrorCase{"GapNotANumber", {"--pty", "--gap", "nan"}, "--gap: 'nan'"},
        ErrorCase{"HugeTimeout", {"--pty", "--timeout", "1e9"}, "--timeout: '1e9'"},
        ErrorCase{"NegativeFrames", {"--pty", "--expect-frames", "-2"}, "--expect-frames"},
        ErrorCase{"TooManyGenerated", {"--pty", "--generate", "100001"}, "--generate"},
        ErrorCase{"NegativeSeed", {"--pty", "--seed", "-1"}, "--seed: '-1'"},
        ErrorCase{"EmptyFramesFile", {"--pty", "--frames-file="}, "--frames-file: the file name is empty"},
        ErrorCase{"FlagWithValue", {"--pty=yes"}, "--pty: takes no value"},
        ErrorCase{"UnknownOption", {"--pty", "--speed", "9600"}, "'--speed': unknown option"},
        ErrorCase{"StrayArgument", {"--pty", "report.txt"}, "'report.txt': unexpected"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace strivex::sim
