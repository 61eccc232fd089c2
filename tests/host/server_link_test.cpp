// The server link's bookkeeping of work in flight: timed from any clock reading (the steady
// clock's epoch is the machine's boot), and left clean by work that throws.

#include "host/server_link.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "db/baza_de_date.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using TimePoint = std::chrono::steady_clock::time_point;

TEST(ServerLinkTest, WorkInFlightIsSeenAtAnyClockReadingAndEndsEvenWhenItThrows) {
  for (const auto started : {TimePoint{}, TimePoint{} + 1s}) {
    SCOPED_TRACE(started.time_since_epoch().count());
    ServerLink link([started] { return started; });
    BazaDeDate session;
    link.Attach(&session);
    std::optional<TimePoint> seen;
    bool overdue = false;
    EXPECT_THROW(link.Run(
                     [&](ServerLink::Scope&) -> bool {
                       seen = link.WorkSince();
                       overdue = link.Overdue(started + 10s, 5s);
                       throw std::runtime_error("driver");
                     },
                     ServerLink::Needs::kAlways),
                 std::runtime_error);
    EXPECT_EQ(seen, started);
    EXPECT_TRUE(overdue);
    EXPECT_FALSE(link.WorkSince());
    // The lock was given back: the window's try finds it free.
    EXPECT_EQ(link.TryRun([](ServerLink::Scope&) { return true; }, 0ms, ServerLink::Needs::kAlways).outcome,
              LinkOutcome::kApplied);
  }
}

}  // namespace
}  // namespace strivex
