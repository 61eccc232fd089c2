// The server password from a file or the environment: the first line only, a warning for a file
// others can read, and the most explicit source winning.

#include "util/password_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace strivex {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(PasswordSource, FileGivesItsFirstLineAndSaysWhoMayReadIt) {
  const struct {
    const char* name;
    std::string bytes;
    mode_t mode;
    std::string password;
    bool exposed;
  } cases[] = {
      {"line end", "s;e}c{\n", 0600, "s;e}c{", false},
      {"windows line end, more lines", "pw \r\nsecond\n", 0400, "pw ", false},
      {"no line end", "pw", 0640, "pw", true},
      {"empty", "", 0604, "", true},
  };
  const TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir / c.name, c.bytes);
    chmod((dir / c.name).c_str(), c.mode);
    const PasswordFile file = ReadPasswordFile((dir / c.name).string());
    EXPECT_EQ(file.error, "");
    EXPECT_EQ(file.password, c.password);
    EXPECT_EQ(file.exposed, c.exposed);
  }
  WriteFile(dir / "endless", std::string(9000, 'x'));
  EXPECT_NE(ReadPasswordFile((dir / "endless").string()).error, "");
}

TEST(PasswordSource, GivenBeatsFileBeatsEnvironment) {
  const TempDir dir;
  const std::string file = (dir / "pw").string();
  WriteFile(file, "from file\n");
  chmod(file.c_str(), 0644);
  const std::string missing = (dir / "missing").string();
  const struct {
    PasswordSources sources;
    std::optional<std::string> password;
    std::string error;
    std::string warning;
  } cases[] = {
      {{"given", file, "env"}, "given", "", ""},
      {{std::nullopt, file, "env"}, "from file", "", "prog: --password-file " + file + ": other users can read it"},
      {{std::nullopt, std::nullopt, "env"}, "env", "", ""},
      {{std::nullopt, std::nullopt, nullptr}, std::nullopt, "", ""},
      {{std::nullopt, missing, "env"}, std::nullopt, "prog: --password-file " + missing + ": No such file or directory", ""},
  };
  for (const auto& c : cases) {
    const ResolvedPassword resolved = ResolvePassword(c.sources, "prog");
    EXPECT_EQ(resolved.password, c.password);
    EXPECT_EQ(resolved.error, c.error);
    EXPECT_TRUE(resolved.warning.starts_with(c.warning)) << resolved.warning;
    EXPECT_EQ(resolved.warning.empty(), c.warning.empty());
  }
}

}  // namespace
}  // namespace strivex
