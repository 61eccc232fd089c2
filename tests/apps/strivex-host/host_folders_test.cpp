// What an instance's host makes on the disk: owner-only folders, and a logrotate configuration
// that logrotate itself reads back on real logs.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "log_rotation.h"
#include "private_folder.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace strivex::host_app {
namespace {

namespace fs = std::filesystem;

// Each instance's latest working directory is followed, quoted; a name logrotate would read as a
// pattern leaves the previous one in place. Folders made are 0700, one that was there keeps its mode.
TEST(HostFolders, PrivateAndTheirLogsRotatedFromTheLatestStart) {
  if (!fs::exists("/usr/sbin/logrotate")) GTEST_SKIP() << "no /usr/sbin/logrotate (./run setup installs it)";
  const testing::TempDir dir;
  const std::string conf = (dir / "logrotate.d").string();
  fs::create_directory(dir / "shared");
  fs::permissions(dir / "shared", fs::perms(0755));
  const struct {
    const char *name, *workdir;
    bool written, rotated;
  } starts[] = {{"bench-1", "moved away", true, false},
                {"bench-1", "state/strivex/bench-1", true, true},
                {"sala_2", "shared/sala 2", true, true},
                {"sala_2", "lab*/sala 2", false, false}};
  const mode_t previousMask = ::umask(022);
  for (const auto& start : starts) {
    EXPECT_EQ(MakePrivateFolder((dir / start.workdir).string()), "");
    EXPECT_EQ(WriteLogRotation(conf, start.name, (dir / start.workdir).string()).empty(), start.written);
    testing::WriteFile(dir / start.workdir / "_Strivex_data.log", "x\r\n");
  }
  ::umask(previousMask);
  for (const auto& [path, mode] : {std::pair{"state", 0700u}, {"state/strivex/bench-1", 0700u}, {"shared", 0755u},
                                   {"shared/sala 2", 0700u}, {"logrotate.d", 0700u},
                                   {"logrotate.d/sala_2.conf", 0600u}}) {
    struct stat info {};
    EXPECT_EQ(::stat((dir / path).c_str(), &info) == 0 ? info.st_mode & 07777 : 0, mode) << path;
  }
  const auto run = testing::RunProcess("/usr/sbin/logrotate", {"-d", "--state", (dir / "state.txt").string(), conf});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err.find("error"), std::string::npos) << run.err;
  for (const auto& start : starts) {
    const std::string considered = "considering log " + (dir / start.workdir / "_Strivex_data.log").string();
    EXPECT_EQ(run.err.find(considered) != std::string::npos, start.rotated) << start.workdir;
  }
}

}  // namespace
}  // namespace strivex::host_app
