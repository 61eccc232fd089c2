// A laboratory server that stops answering without going away (its processes stopped: its kernel
// still accepts and acknowledges): logins and statements end by their deadline or by the stop.

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "db/baza_de_date.h"
#include "platform/message_box.h"
#include "support/lab_cluster.h"
#include "support/temp_dir.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;

TEST(PrivateLabFrozenServerTest, LoginsAndStatementsEndAsLostByTheirDeadlineOrTheAbort) {
  const testing::TempDir dir;
  const testing::ScopedCurrentDir cwd(dir.path());
  const platform::MessageBoxRecorder boxes;
  testing::LabCluster lab;
  const testing::ScopedEnvironment env(lab.Environment());
  const struct {
    const char* name;
    bool login;  // else a statement on an open session
    DbTimeouts timeouts;
    std::chrono::milliseconds abortAfter;  // 0: never
  } cases[] = {
      {"statement past its deadline", false, {5s, 2s}, 0ms},
      {"statement cut by the stop", false, {5s, 60s}, 500ms},
      {"login during the stop ends by its time-out", true, {3s, 60s}, 500ms},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BazaDeDate session;
    session.SetTimeouts(c.timeouts);
    ASSERT_TRUE(c.login || session.DeschidConectie(lab.ConnectionString(), 1)) << session.lastErrorText();
    lab.Freeze();
    auto call = std::async(std::launch::async, [&] {
      const bool ok = c.login ? session.DeschidConectie(lab.ConnectionString(), 1) : session.SQLCommand("SELECT 1", 0);
      return std::pair(ok, session.lastFailure());
    });
    if (c.abortAfter > 0ms) {
      std::this_thread::sleep_for(c.abortAfter);
      session.Abort();
    }
    const bool ended = call.wait_for(10s) == std::future_status::ready;  // the deadline, with room
    lab.Thaw();
    ASSERT_TRUE(ended);
    EXPECT_EQ(call.get(), std::pair(false, DbFailure::kConnectionLost)) << session.lastErrorText();
    EXPECT_EQ(session.connected.load(), 0);
    // A cut connection leaves nothing behind: once thawed, the session opens again and works.
    ASSERT_TRUE(session.DeschidConectie(lab.ConnectionString(), 1)) << session.lastErrorText();
    EXPECT_TRUE(session.SQLCommand("SELECT 1", 0)) << session.lastErrorText();
  }
}

}  // namespace
}  // namespace strivex
