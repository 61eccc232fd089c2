// What an instance's host makes on the disk, and whether it starts at all: owner-only folders,
// the logrotate configuration that logrotate itself reads back, and no start as root unless asked.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host_options.h"
#include "log_rotation.h"
#include "private_folder.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "util/log_files.h"

namespace strivex::host_app {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(HostRoot, RefusedUnlessAllowedOnTheCommandLine) {
  const struct {
    uid_t euid;
    std::vector<std::string_view> args;
    bool refused;
  } cases[] = {
      {0, {"--machine-id", "1", "--name", "X", "--local-db", "l.db"}, true},
      {0, {"--machine-id", "1", "--name", "X", "--local-db", "l.db", "--allow-root"}, false},
      {0, {"--instance", "none-here"}, true},
      // Root's own instance files are not looked for before the answer.
      {0, {"--allow-root", "--instance", "none-here"}, false},
      {1000, {"--machine-id", "1", "--name", "X", "--local-db", "l.db"}, false},
  };
  const testing::TempDir dir;
  const InstancePlaces places{(dir / "user").string(), (dir / "etc").string(), (dir / "state").string(), "",
                              dir.path().string()};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(&c - cases));
    const std::string why = RootRefusal(c.euid, ParseHostOptions(c.args, places).options.allowRoot);
    EXPECT_EQ(!why.empty(), c.refused) << why;
    if (c.refused) {
      EXPECT_NE(why.find("--allow-root"), std::string::npos) << why;
    }
  }
}

TEST(HostFolders, MadeOwnerOnlyAndThoseThatExistLeftAlone) {
  const struct {
    const char* made;    // under the test's folder
    const char* before;  // a folder there already (0755), a file with "=" in front, or ""
    const char* error;   // part of the error, or ""
  } cases[] = {
      {"state/strivex/bench-1", "", ""},
      {"shared/bench-1", "shared", ""},
      {"taken/bench-1", "=taken", "taken"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.made);
    const testing::TempDir dir;
    const std::string before = c.before;
    if (before.starts_with("=")) testing::WriteFile(dir / before.substr(1), "x");
    if (!before.empty() && !before.starts_with("=")) {
      fs::create_directory(dir / before);
      fs::permissions(dir / before, fs::perms(0755));
    }
    const mode_t previousMask = ::umask(022);
    const std::string why = MakePrivateFolder((dir / c.made).string());
    ::umask(previousMask);
    if (*c.error != '\0') {
      EXPECT_NE(why.find(c.error), std::string::npos) << why;
      continue;
    }
    ASSERT_EQ(why, "");
    // Each folder the call made is 0700; the one that was there keeps its mode.
    for (fs::path at = c.made; !at.empty(); at = at.parent_path()) {
      EXPECT_EQ(ModeOf(dir / at), at == fs::path(before) ? 0755u : 0700u) << at;
    }
  }
}

bool HaveLogrotate() {
  return fs::exists("/usr/sbin/logrotate");
}

// logrotate reads what the host wrote, on real logs, in folders whose names need quoting.
TEST(HostLogRotation, LogrotateReadsTheConfigurationOfEveryInstance) {
  if (!HaveLogrotate()) GTEST_SKIP() << "no /usr/sbin/logrotate (./run setup installs it)";
  const testing::TempDir dir;
  const std::string confDir = (dir / "config/strivex/logrotate.d").string();
  const std::vector<std::pair<std::string, fs::path>> instances = {
      {"bench-1", dir / "state/strivex/bench-1"}, {"sala_2", dir / "lab folders/sala 2"}};
  for (const auto& [name, workdir] : instances) {
    ASSERT_EQ(MakePrivateFolder(workdir.string()), "");
    for (const char* log : {kErrorLogName, kRawLogName, kDataLogName}) testing::WriteFile(workdir / log, "entry\r\n");
    ASSERT_EQ(WriteLogRotation(confDir, name, workdir.string()), "");
  }
  EXPECT_EQ(ModeOf(confDir), 0700u);
  EXPECT_EQ(ModeOf(confDir + "/bench-1.conf"), 0600u);
  const std::string state = (dir / "config/strivex/logrotate.state").string();
  const auto debug = testing::RunProcess("/usr/sbin/logrotate", {"-d", "--state", state, confDir});
  EXPECT_EQ(debug.exitCode, 0) << debug.err;
  EXPECT_EQ(debug.err.find("error"), std::string::npos) << debug.err;
  for (const auto& [name, workdir] : instances) {
    for (const char* log : {kErrorLogName, kRawLogName, kDataLogName}) {
      EXPECT_NE(debug.err.find("considering log " + (workdir / log).string()), std::string::npos) << debug.err;
    }
  }
  // A forced run renames each log and creates nothing: the module makes a log at its next entry.
  const auto forced = testing::RunProcess("/usr/sbin/logrotate", {"-f", "--state", state, confDir});
  EXPECT_EQ(forced.exitCode, 0) << forced.err;
  for (const auto& [name, workdir] : instances) {
    for (const char* log : {kErrorLogName, kRawLogName, kDataLogName}) {
      EXPECT_FALSE(fs::exists(workdir / log)) << workdir / log;
      EXPECT_EQ(testing::ReadFile(workdir / (std::string(log) + ".1")), "entry\r\n");
    }
  }
}

// The instance file moves the working directory: the next start's configuration follows it.
// A name logrotate would read as a pattern leaves the previous configuration as it was.
TEST(HostLogRotation, FollowsTheWorkingDirectoryOfTheLatestStart) {
  const testing::TempDir dir;
  const std::string confDir = (dir / "logrotate.d").string();
  const struct {
    const char* workdir;
    const char* error;     // part of the error, or ""
    const char* followed;  // the working directory in the configuration afterwards
  } starts[] = {
      {"/srv/lab/bench-1", "", "/srv/lab/bench-1"},
      {"/srv/lab2/bench-1", "", "/srv/lab2/bench-1"},
      {"/srv/lab*/bench-1", "patterns", "/srv/lab2/bench-1"},
      {"/srv/\"lab\"/bench-1", "quotes", "/srv/lab2/bench-1"},
  };
  for (const auto& start : starts) {
    SCOPED_TRACE(start.workdir);
    const std::string why = WriteLogRotation(confDir, "bench-1", start.workdir);
    EXPECT_EQ(why.empty(), *start.error == '\0') << why;
    EXPECT_NE(why.find(start.error), std::string::npos) << why;
    const std::string config = testing::ReadFile(confDir + "/bench-1.conf");
    EXPECT_NE(config.find("\"" + std::string(start.followed) + "/" + kErrorLogName + "\""), std::string::npos)
        << config;
    EXPECT_EQ(testing::Occurrences(config, "/bench-1/"), 3u) << config;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << "a temporary left";
}

}  // namespace
}  // namespace strivex::host_app
