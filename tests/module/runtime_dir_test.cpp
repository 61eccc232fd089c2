// The runtime folder when the session names none: one per user, private, and never a stranger's.

#include "module/runtime_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace strivex::module {
namespace {

namespace fs = std::filesystem;
using strivex::testing::TempDir;

enum class Before { kNothing, kOurOpenFolder, kLink, kFile, kFolderOfAnotherUser };

struct RuntimeCase {
  const char* what;
  const char* environment;  // $XDG_RUNTIME_DIR, or null
  Before before;
  const char* chosen;  // under the test's base ("" for none), or an absolute path
  const char* error;   // part of the error, or ""
};

const RuntimeCase kRuntimeCases[] = {
    {"the session's folder", "/run/user/1000", Before::kNothing, "/run/user/1000", ""},
    {"made when missing", nullptr, Before::kNothing, "strivex-runtime-UID", ""},
    {"an empty variable is none", "", Before::kNothing, "strivex-runtime-UID", ""},
    {"a relative variable is none", "run/user", Before::kNothing, "strivex-runtime-UID", ""},
    {"an open folder of ours is closed", nullptr, Before::kOurOpenFolder, "strivex-runtime-UID", ""},
    {"a planted link", nullptr, Before::kLink, "", "not a folder"},
    {"a planted file", nullptr, Before::kFile, "", "not a folder"},
    {"another user's folder", nullptr, Before::kFolderOfAnotherUser, "", "owned by uid"},
};

class RuntimeDirCase : public ::testing::TestWithParam<RuntimeCase> {};

TEST_P(RuntimeDirCase, IsChosenAndChecked) {
  const RuntimeCase& c = GetParam();
  TempDir base;
  const uid_t uid = ::geteuid();
  // The other user's folder is the one this uid would take, made by us under another uid's name.
  const uid_t asking = c.before == Before::kFolderOfAnotherUser ? uid + 1 : uid;
  const fs::path own = base / ("strivex-runtime-" + std::to_string(asking));
  switch (c.before) {
    case Before::kNothing: break;
    case Before::kOurOpenFolder: fs::create_directory(own); fs::permissions(own, fs::perms(0755)); break;
    case Before::kLink: fs::create_directory_symlink(base.path(), own); break;
    case Before::kFile: strivex::testing::WriteFile(own, "x"); break;
    case Before::kFolderOfAnotherUser: fs::create_directory(own); break;
  }
  const RuntimeDir got = ChooseRuntimeDir(c.environment, asking, base.path().string());
  std::string chosen = c.chosen;
  if (chosen == "strivex-runtime-UID") chosen = own.string();
  EXPECT_EQ(got.path, chosen);
  if (*c.error == '\0') {
    EXPECT_EQ(got.error, "");
  } else {
    EXPECT_NE(got.error.find(c.error), std::string::npos) << got.error;
  }
  if (got.path == own.string()) {
    struct stat info {};
    ASSERT_EQ(::lstat(own.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
  }
}

INSTANTIATE_TEST_SUITE_P(RuntimeDir, RuntimeDirCase, ::testing::ValuesIn(kRuntimeCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(RuntimeDir, EveryStartReusesTheSameFolder) {
  TempDir base;
  for (int start = 0; start < 3; ++start) {
    EXPECT_EQ(ChooseRuntimeDir(nullptr, ::geteuid(), base.path().string()).error, "");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(base.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace strivex::module
