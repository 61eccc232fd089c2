// The four programs on one command-line footing: the same exit status for the same kind of
// failure, the same error line shape, and a --version line help2man can read.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"
#include "support/unused_port.h"

namespace strivex {
namespace {

struct Program {
  const char* name;
  const char* path;
};

const Program kCli{"strivex-cli", STRIVEX_CLI_PATH};
const Program kHost{"strivex-host", STRIVEX_HOST_PATH};
const Program kRelay{"medianex-relay", STRIVEX_MEDIANEX_RELAY_PATH};
const Program kSim{"analyser-sim", STRIVEX_ANALYSER_SIM_PATH};

std::string ClosedPortConnection() {
  return "Driver={SQL Server}; Server=127.0.0.1; Port=" + std::to_string(testing::UnusedPort()) +
         "; Network=; Database=lab; Uid=u;Pwd=p";
}

TEST(ProgramOptionTest, BadInputsGiveOneStatusAndOneErrorShape) {
  const testing::TempDir dir;
  const testing::ScopedCurrentDir cwd(dir.path());
  const std::string db = ClosedPortConnection();
  const struct {
    Program program;
    std::vector<std::string> args;
    int exitCode;
  } cases[] = {
      {kCli, {"--colour"}, 2},
      {kCli, {"sql", "--slot"}, 2},
      {kCli, {"worklist", "--frames=yes"}, 2},
      {kCli, {"nosuch"}, 2},
      {kHost, {"--colour"}, 2},
      {kHost, {"--machine-id", "x", "--name", "N", "--local-db", "l.db"}, 2},
      {kHost, {"--name", "N", "--local-db", "l.db"}, 2},
      {kRelay, {"--max-clients", "0"}, 2},
      {kRelay, {"stray"}, 2},
      {kSim, {"--baud"}, 2},
      {kSim, {"--pty", "--port", "/dev/null"}, 2},
      // An unreachable database, however a command reaches it.
      {kCli, {"sql", "--connect", db, "select 1"}, 3},
      {kCli, {"worklist", "--connect", db, "--machine-id", "1"}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.program.name) + " " + ::testing::PrintToString(c.args));
    const testing::ProcessResult r = testing::RunProcess(c.program.path, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    // PROGRAM: WHAT: WHY on the first line of standard error.
    const std::string first = r.err.substr(0, r.err.find('\n'));
    EXPECT_TRUE(std::regex_match(first, std::regex(std::string(c.program.name) + ": [^:]+: .+"))) << r.err;
  }
}

TEST(ProgramOptionTest, VersionLineOfEveryProgram) {
  const std::regex line(R"((\S+) \(Strivex\) (\d+\.\d+\.\d+))");
  for (const Program& program : {kCli, kHost, kRelay, kSim}) {
    SCOPED_TRACE(program.name);
    const testing::ProcessResult r = testing::RunProcess(program.path, {"--version"});
    EXPECT_EQ(r.exitCode, 0);
    std::smatch match;
    const std::string first = r.out.substr(0, r.out.find('\n'));
    ASSERT_TRUE(std::regex_match(first, match, line)) << r.out;
    EXPECT_EQ(match[1], program.name);
    if (program.path != kHost.path) continue;
    // The host adds the module it would load and the version read from that file.
    const std::string second = r.out.substr(first.size() + 1);
    EXPECT_TRUE(std::regex_match(second, std::regex("module /\\S+ " + match[2].str() + "\n"))) << r.out;
  }
  const testing::TempDir dir;
  testing::WriteFile(dir.path() / "fake.so", "not a module");
  const testing::ProcessResult fake =
      testing::RunProcess(kHost.path, {"--version", "--module", (dir.path() / "fake.so").string()});
  EXPECT_EQ(fake.exitCode, 1) << fake.out;
}

}  // namespace
}  // namespace strivex
