// Refusals said once a minute per address, the ones left unsaid counted in the next line.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "network_address.h"
#include "refusal_log.h"

namespace strivex::relay {
namespace {

struct Step {
  int second;           // since the first refusal
  const char* address;  // refused from here; nullptr: the accept loop's periodic look
  std::vector<std::string> lines;
};

TEST(RefusalLog, OneLinePerAddressPerMinuteWithTheUnsaidCounted) {
  const std::string unsaid = "refused 1 more connection from 10.0.0.1 within a minute (the last: full)";
  const Step steps[] = {
      {0, "10.0.0.1", {"refused 10.0.0.1:1: full"}},
      {1, "10.0.0.1", {}},
      {2, "10.0.0.2", {"refused 10.0.0.2:1: full"}},
      {59, nullptr, {}},
      {60, nullptr, {unsaid}},
      {61, "10.0.0.1", {}},
      {121, "10.0.0.1", {"refused 10.0.0.1:1: full; " + unsaid}},
  };
  RefusalLog log;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.second);
    const RefusalLog::Clock::time_point now{std::chrono::seconds(1000 + step.second)};
    std::vector<std::string> lines;
    if (step.address == nullptr) {
      lines = log.Due(now);
    } else if (auto line = log.Refused(*ParseIpv4(step.address), std::string(step.address) + ":1", "full", now)) {
      lines.push_back(*line);
    }
    EXPECT_EQ(lines, step.lines);
  }
}

}  // namespace
}  // namespace strivex::relay
