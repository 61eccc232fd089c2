#include "util/timings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "db/baza_de_date.h"
#include "host/server_reconnector.h"
#include "outbox/retry_rules.h"
#include "serial/reader_thread.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;

// The timings the laboratory sees, read where the code takes them (the defaults of the override
// points and what a fresh session uses), against the values docs/developers.md documents.
TEST(Timings, DefaultsTheCodeReadsAreTheDocumentedValues) {
  const BazaDeDate session;
  const struct {
    const char* what;
    std::chrono::milliseconds actual;
    std::chrono::milliseconds documented;
  } cases[] = {
      {"login of a fresh session", session.Timeouts().login, 5s},
      {"statement of a fresh session", session.Timeouts().query, 30s},
      {"first reconnection", ReconnectPolicy{}.first, 1s},
      {"longest reconnection pause", ReconnectPolicy{}.longest, 30s},
      {"refused row's retry delay", std::chrono::seconds(RetryPolicy{}.delaySeconds), 60s},
      {"stored rows kept", std::chrono::seconds(kStoredKeptSeconds), 30 * 24h},
      {"stored rows purged every", std::chrono::seconds(kPurgePeriodSeconds), 24h},
      {"line silence (whole seconds)", std::chrono::seconds(SilenceRule::kSeconds), 3s},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.documented) << c.what;
  EXPECT_EQ(RetryPolicy{}.maxRetries, 3);
}

TEST(Timings, DefaultBackOffDoublesFromOneSecondUpToThirty) {
  const std::vector<std::chrono::milliseconds> expected = {1s, 2s, 4s, 8s, 16s, 30s, 30s};
  std::vector<std::chrono::milliseconds> delays{ReconnectPolicy{}.first};
  while (delays.size() < expected.size()) delays.push_back(NextReconnectDelay(delays.back(), ReconnectPolicy{}));
  EXPECT_EQ(delays, expected);
}

}  // namespace
}  // namespace strivex
