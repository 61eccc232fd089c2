#include "util/log_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace strivex {
namespace {

using testing::ReadFile;
using testing::ScopedCurrentDir;
using testing::TempDir;

LocalTime At(int day, int month, int year, int hour, int minute, int second) {
  LocalTime t;
  t.wDay = static_cast<uint16_t>(day);
  t.wMonth = static_cast<uint16_t>(month);
  t.wYear = static_cast<uint16_t>(year);
  t.wHour = static_cast<uint16_t>(hour);
  t.wMinute = static_cast<uint16_t>(minute);
  t.wSecond = static_cast<uint16_t>(second);
  return t;
}

class LogFilesTest : public ::testing::Test {
 protected:
  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};
};

TEST_F(LogFilesTest, ErrorEntryHasUnpaddedDayFirstHeaderAndCrLf) {
  ScopedClock clock(At(5, 3, 2024, 9, 7, 3));
  WriteErrorLogEntry("Eroare: Unspecified error la deschidere conectie");
  WriteErrorLogEntry("second\nline");
  EXPECT_EQ(ReadFile(dir_ / "_acterr.log"),
            "\r\n************5/3/2024 ora 9:7:3**************"
            "\r\nEroare: Unspecified error la deschidere conectie"
            "\r\n************5/3/2024 ora 9:7:3**************"
            "\r\nsecond\r\nline");
}

TEST_F(LogFilesTest, SessionMarkerUsesBackslashes) {
  ScopedClock clock(At(12, 11, 2025, 14, 30, 0));
  WriteDataLogSessionMarker();
  EXPECT_EQ(ReadFile(dir_ / "_Strivex_data.log"),
            "\r\n\r\n****Sesiune Noua ->12\\11\\2025 ora 14:30:0<-****");
}

TEST_F(LogFilesTest, BatchLinesCarryDateWithZeroTime) {
  ScopedClock clock(At(1, 2, 2026, 16, 45, 12));
  {
    DataLogBatch batch;
    batch.WriteSample(1234);
    batch.WriteResult("GLU", "NEG");
    batch.WriteResult("PH", "6.0");
  }
  EXPECT_EQ(ReadFile(dir_ / "_Strivex_data.log"),
            "\r\n Id Analiza = 1234\r\n 1/2/2026 0:0\r\nGLU = NEG\r\nPH = 6.0");
}

TEST_F(LogFilesTest, RawLogIsByteExactAndConcatenated) {
  const std::string first("ID proba:1\r\n\xC2\xB5\n\0x", 17);
  const std::string second("\rmore", 5);
  AppendRawLog(first);
  AppendRawLog(second);
  AppendRawLog("");
  EXPECT_EQ(ReadFile(dir_ / "_Strivex.log"), first + second);
}

TEST_F(LogFilesTest, DeletedLogIsCreatedAgain) {
  AppendRawLog("a");
  std::filesystem::remove(dir_ / "_Strivex.log");
  AppendRawLog("b");
  EXPECT_EQ(ReadFile(dir_ / "_Strivex.log"), "b");
}

TEST_F(LogFilesTest, LogThatIsADirectoryIsSkipped) {
  // Works for root too: a directory cannot be opened for writing.
  std::filesystem::create_directory(dir_ / "_acterr.log");
  WriteErrorLogEntry("lost");
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "_acterr.log"));
}

// The logs hold patients' results: new ones are the owner's alone whatever the umask, while a
// log an administrator opened up keeps its mode.
TEST_F(LogFilesTest, NewLogsAreOwnerOnlyExistingOnesKeepTheirMode) {
  const mode_t previous = umask(022);
  WriteErrorLogEntry("x");
  AppendRawLog("x");
  WriteDataLogSessionMarker();
  chmod((dir_ / "_acterr.log").c_str(), 0644);
  WriteErrorLogEntry("again");
  umask(previous);
  const std::pair<const char*, mode_t> cases[] = {{"_Strivex.log", 0600}, {"_Strivex_data.log", 0600}, {"_acterr.log", 0644}};
  for (const auto& [name, mode] : cases) {
    struct stat info {};
    ASSERT_EQ(stat((dir_ / name).c_str(), &info), 0) << name;
    EXPECT_EQ(info.st_mode & 0777, mode) << name;
  }
}

}  // namespace
}  // namespace strivex
