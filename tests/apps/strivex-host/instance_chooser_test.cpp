// --instance without a name: which instance files count, how the command line is completed, and
// what the host does with the chooser window's answer (a script standing in for the window).

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "instance_chooser.h"
#include "instance_chooser_run.h"
#include "support/temp_dir.h"

namespace strivex::host_app {
namespace {

using strivex::testing::ReadFile;
using strivex::testing::WriteFile;

TEST(InstanceChooser, CompletesABareInstanceOnly) {
  const struct {
    std::vector<std::string_view> args;
    std::string expected;  // the arguments with "bench" given, or "-" when left as they are
  } cases[] = {
      {{"--instance"}, "--instance=bench"},
      {{"--instance="}, "--instance=bench"},
      {{"--instance", "--server-unavailable"}, "--instance=bench --server-unavailable"},
      {{"--close-ends-module", "--instance"}, "--close-ends-module --instance=bench"},
      {{"--instance", "sala-2"}, "-"},
      {{"--instance=sala-2"}, "-"},
      {{"--name", "x", "--machine-id", "1"}, "-"},
      {{"--instance", "--help"}, "-"},
      {{"--version", "--instance"}, "-"},
      {{"--", "--instance"}, "-"},
  };
  for (const auto& c : cases) {
    const std::optional<size_t> at = BareInstanceAt(c.args);
    std::string got = "-";
    if (at) {
      got.clear();
      for (const std::string& arg : WithInstanceName(c.args, *at, "bench")) got += (got.empty() ? "" : " ") + arg;
    }
    EXPECT_EQ(got, c.expected) << c.args.front();
  }
}

class InstanceChooserRun : public ::testing::Test {
 protected:
  void SetUp() override {
    places_.userDir = (dir_ / "user").string();
    places_.systemDir = (dir_ / "etc").string();
    std::filesystem::create_directories(places_.userDir);
    std::filesystem::create_directories(places_.systemDir);
  }
  // A chooser that records its arguments and answers `answer` with `status`.
  std::string Chooser(const std::string& answer, int status) {
    const auto script = dir_ / "chooser";
    WriteFile(script, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + (dir_ / "asked").string() + "'\nprintf '" + answer +
                          "'\nexit " + std::to_string(status) + "\n");
    chmod(script.c_str(), 0755);
    return script.string();
  }
  strivex::testing::TempDir dir_;
  InstancePlaces places_;
};

TEST_F(InstanceChooserRun, StartsTheOnlyOneOrTheChosenOneOrEndsSayingWhy) {
  const struct {
    std::vector<std::string> user, system;  // instance files there
    std::string answer;
    int status;
    std::optional<int> ended;
    std::string asked;  // the chooser's arguments; "" when it did not run
    std::string named;  // the --instance given on, when the host goes on
  } cases[] = {
      {{"bench.ini"}, {}, "", 0, std::nullopt, "", "--instance=bench"},
      {{}, {"bench.ini", "example.ini.sample", "bench.ini~", "bad name.ini"}, "", 0, std::nullopt, "", "--instance=bench"},
      {{"b.ini", "a.ini"}, {"a.ini", "c.ini"}, "c\n", 0, std::nullopt, "a|b|c|", "--instance=c"},
      {{"a.ini", "b.ini"}, {}, "", 1, 0, "a|b|", ""},
      {{"a.ini", "b.ini"}, {}, "z\n", 0, 1, "a|b|", ""},
      {{"a.ini", "b.ini"}, {}, "", 3, 1, "a|b|", ""},
      {{}, {"notes.txt"}, "", 1, 2, "--message|Nu exista niciun instrument configurat.", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked);
    std::filesystem::remove_all(dir_ / "asked");
    for (const auto& [names, folder] : {std::pair{c.user, places_.userDir}, std::pair{c.system, places_.systemDir}}) {
      std::filesystem::remove_all(folder);
      std::filesystem::create_directories(folder);
      for (const std::string& name : names) WriteFile(std::filesystem::path(folder) / name, "name=x\n");
    }
    std::vector<std::string_view> args{"--instance"};
    std::vector<std::string> named;
    EXPECT_EQ(NameBareInstance(args, named, places_, Chooser(c.answer, c.status)), c.ended);
    const std::string asked = std::filesystem::exists(dir_ / "asked") ? ReadFile(dir_ / "asked") : "";
    EXPECT_EQ(asked.substr(0, c.asked.size()), c.asked);
    EXPECT_EQ(c.named.empty() ? "" : std::string(args.front()), c.named);
  }
  // With none, the window says where to write one.
  EXPECT_NE(ReadFile(dir_ / "asked").find(places_.userDir + "/\nsau, pentru toti utilizatorii, in\n    " +
                                          places_.systemDir + "/"),
            std::string::npos);
}

}  // namespace
}  // namespace strivex::host_app
