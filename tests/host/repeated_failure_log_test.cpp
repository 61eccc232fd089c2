// The background reconnection's failures in "_acterr.log", timed by a clock double.

#include "host/repeated_failure_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "util/timings.h"

namespace strivex {
namespace {

using std::chrono::minutes;

// Entries of the error log, without their headers.
std::vector<std::string> Entries(const std::string& log) {
  std::vector<std::string> entries;
  for (size_t at = log.find("**\r\n"); at != std::string::npos; at = log.find("**\r\n", at + 4)) {
    const size_t end = log.find("\r\n***", at + 4);
    entries.push_back(log.substr(at + 4, end == std::string::npos ? std::string::npos : end - at - 4));
  }
  return entries;
}

TEST(ReconnectLogTest, RepeatsAreCountedAndToldOncePerPeriod) {
  const auto period = timings::kRepeatedFailureSummary;
  struct Failure {
    minutes at;
    const char* entry;
  };
  const struct {
    const char* name;
    std::vector<Failure> failures;
    std::vector<int> counts;  // per entry written: 0 for a failure as it is, else the repeats told
  } cases[] = {
      {"three in a minute, told at the end", {{minutes(0), "A"}, {minutes(0), "A"}, {minutes(1), "A"}}, {0, 2}},
      {"a day of the same failure",
       {{minutes(0), "A"}, {period / 2, "A"}, {period, "A"}, {period + minutes(1), "A"}, {2 * period, "A"}},
       {0, 2, 2}},
      {"another failure ends the run", {{minutes(0), "A"}, {minutes(1), "A"}, {minutes(2), "B"}}, {0, 1, 0}},
      {"one failure alone", {{minutes(0), "A"}}, {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    const testing::ScopedCurrentDir cwd(dir.path());
    std::chrono::steady_clock::time_point now{};
    RepeatedFailureLog log([&now] { return now; });
    for (const Failure& failure : c.failures) {
      now = std::chrono::steady_clock::time_point{} + failure.at;
      log.Write(std::string("Eroare ") + failure.entry + "\nSQLSTATE line");
    }
    log.Flush();
    const std::vector<std::string> entries = Entries(testing::ReadFile(dir.path() / "_acterr.log"));
    ASSERT_EQ(entries.size(), c.counts.size()) << testing::ReadFile(dir.path() / "_acterr.log");
    for (size_t i = 0; i < entries.size(); ++i) {
      if (c.counts[i] == 0) {
        EXPECT_TRUE(entries[i].ends_with("\r\nSQLSTATE line")) << entries[i];  // written whole
      } else {
        // A summary: one line naming the failure, with its count.
        EXPECT_EQ(entries[i].find('\n'), std::string::npos) << entries[i];
        EXPECT_NE(entries[i].find(" " + std::to_string(c.counts[i]) + " "), std::string::npos) << entries[i];
        EXPECT_TRUE(entries[i].ends_with("Eroare A")) << entries[i];
      }
    }
  }
}

}  // namespace
}  // namespace strivex
