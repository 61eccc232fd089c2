// Logs that cannot be written: the logging calls return as usual, and the failure is said once,
// on standard error and to the installed handler, however many entries follow. Every way works
// for root too, who writes into folders without write permission.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "util/log_files.h"

namespace strivex {
namespace {

using testing::ReadFile;
using testing::ScopedCurrentDir;
using testing::TempDir;

// Lowers the file size limit of this process, as ulimit -f would for the host, and puts it back.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit lowered = previous_;
    lowered.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~ScopedFileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &previous_); }

 private:
  rlimit previous_{};
};

// Makes the logs of the current folder (`dir`) unwritable until the returned object goes.
using Breaker = std::function<std::shared_ptr<void>(const std::filesystem::path& dir)>;

struct UnwritableCase {
  const char* name;
  Breaker breaker;
};

void PrintTo(const UnwritableCase& c, std::ostream* os) { *os << c.name; }

void WriteEveryLog(int times) {
  for (int i = 0; i < times; ++i) {
    WriteErrorLogEntry("Eroare: test");
    AppendRawLog(std::string(300, 'r'));
    WriteDataLogSessionMarker();
    DataLogBatch batch;
    batch.WriteSample(1234);
    batch.WriteResult("GLU", std::string(300, 'v'));
  }
}

class UnwritableLogTest : public ::testing::TestWithParam<UnwritableCase> {
 protected:
  TempDir tempDir_;
  const std::filesystem::path& dir_ = tempDir_.path();
  std::vector<std::string> notices_;
};

TEST_P(UnwritableLogTest, CallerGoesOnAndHearsItOnce) {
  const ScopedLogFailureHandler handler([&](const std::string& notice) { notices_.push_back(notice); });
  const ScopedCurrentDir cwd(dir_);
  {
    const std::shared_ptr<void> broken = GetParam().breaker(dir_);
    ::testing::internal::CaptureStderr();
    WriteEveryLog(3);
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(notices_.size(), 1u) << err;
    EXPECT_TRUE(notices_[0].starts_with("Nu pot scrie in fisierul jurnal _acterr.log (")) << notices_[0];
    EXPECT_TRUE(notices_[0].ends_with("). Modulul lucreaza mai departe fara el.")) << notices_[0];
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("Strivex: cannot write the log _acterr.log"), std::string::npos) << err;
  }
  // Writable again: the entries land, and a later failure is said again.
  WriteEveryLog(1);
  EXPECT_NE(ReadFile(dir_ / kErrorLogName).find("Eroare: test"), std::string::npos);
  EXPECT_NE(ReadFile(dir_ / kDataLogName).find("GLU = vvv"), std::string::npos);
  EXPECT_EQ(notices_.size(), 1u);
  const std::shared_ptr<void> again = GetParam().breaker(dir_);
  ::testing::internal::CaptureStderr();
  WriteErrorLogEntry("again");
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(notices_.size(), 2u);
}

const UnwritableCase kCases[] = {
    // A folder nobody may create files in; root is held back only by the file system itself.
    {"FolderWithoutWritePermission",
     [](const std::filesystem::path& dir) -> std::shared_ptr<void> {
       if (::geteuid() != 0) {
         ::chmod(dir.c_str(), 0500);
         return std::shared_ptr<void>(nullptr, [dir](void*) { ::chmod(dir.c_str(), 0700); });
       }
       auto back = std::make_shared<ScopedCurrentDir>("/proc");
       return back;
     }},
    // The working folder was removed under the module.
    {"FolderRemoved",
     [](const std::filesystem::path& dir) -> std::shared_ptr<void> {
       const std::filesystem::path gone = dir / "gone";
       std::filesystem::create_directory(gone);
       auto inside = std::make_shared<ScopedCurrentDir>(gone);
       std::filesystem::remove(gone);
       return inside;
     }},
    // Every log name is taken by a folder.
    {"NamesTakenByFolders",
     [](const std::filesystem::path& dir) -> std::shared_ptr<void> {
       for (const char* name : {kErrorLogName, kRawLogName, kDataLogName}) {
         std::filesystem::remove(dir / name);
         std::filesystem::create_directory(dir / name);
       }
       return std::shared_ptr<void>(nullptr, [dir](void*) {
         for (const char* name : {kErrorLogName, kRawLogName, kDataLogName}) std::filesystem::remove(dir / name);
       });
     }},
    // The file size limit: without care SIGXFSZ would end the whole host process here.
    {"FileSizeLimit",
     [](const std::filesystem::path& dir) -> std::shared_ptr<void> {
       for (const char* name : {kErrorLogName, kRawLogName, kDataLogName}) {
         std::filesystem::remove(dir / name);
         testing::WriteFile(dir / name, std::string(4096, 'x'));
       }
       // Room for what the test captures of standard error, which goes through a file.
       return std::make_shared<ScopedFileSizeLimit>(4096);
     }},
};

INSTANTIATE_TEST_SUITE_P(Ways, UnwritableLogTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace strivex
