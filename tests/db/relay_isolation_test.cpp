// Clients of the real medianex-relay whose ODBC sessions go wrong, the relay running as a process
// of its own: logins that hang and a driver that crashes cost their own clients only; the relay
// and a client connected before go on, and a new client logs in at once.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "db_session_fixture.h"
#include "platform/message_box.h"
#include "silent_server.h"
#include "support/lab_cluster.h"
#include "support/relay_server.h"
#include "support/requirements.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;

// The lab's connection string with another server address.
std::string AtServer(std::string connection, const std::string& server) {
  const size_t at = connection.find("Server=") + 7;
  return connection.replace(at, connection.find(';', at) - at, server);
}

bool OpenRelayed(BazaDeDate& session, const std::string& relay, const std::string& connection) {
  session.serverAddress = relay;
  session.SetTimeouts({20s, 20s});
  return session.DeschidConectie(connection, 0);
}

TEST(RelayIsolationTest, HangingLoginsAndACrashingDriverCostTheirOwnClientsOnly) {
  const std::string lab = testing::LabConnectionString();
  if (lab.empty()) STRIVEX_SKIP_UNLESS_REQUIRED(testing::LabDatabaseRequired(), "no development database");
  const testing::TempDir dir;
  const testing::ScopedCurrentDir cwd(dir.path());
  const platform::MessageBoxRecorder boxes;
  // The relay's drivers: the lab's "SQL Server" and one that crashes in SQLExecDirect.
  std::ofstream(dir.path() / "odbcinst.ini") << testing::ReadFile(std::string(std::getenv("ODBCSYSINI")) + "/odbcinst.ini")
                                             << "\n[Crashing]\nDriver=" STRIVEX_CRASHING_ODBC_DRIVER "\n";
  const testing::ScopedEnvironment drivers({{"ODBCSYSINI", dir.path().string()}});
  // Connections are let in there and never answered, beside the lab's port; on an address no other
  // test listens on, as tests run side by side.
  const testing::SilentServer silent(testing::SilentServer::kMute, "127.0.0.3",
                                     static_cast<uint16_t>(std::atoi(std::getenv("PGPORT"))));
  ASSERT_NE(silent.port(), 0);
  testing::RelayServer relay(STRIVEX_MEDIANEX_RELAY_PATH, 0, {"--allow-driver", "Crashing"});
  ASSERT_EQ(relay.failure(), "");

  const struct {
    const char* name;
    std::string connection;
    bool hangs;  // else its statement crashes the driver
  } cases[] = {
      {"two logins that hang", AtServer(lab, "127.0.0.3"), true},
      {"a driver that crashes", "Driver={Crashing};", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BazaDeDate before;
    ASSERT_TRUE(OpenRelayed(before, relay.address(), lab)) << relay.process().err();
    std::vector<std::future<void>> troubled;
    for (int i = 0; i < (c.hangs ? 2 : 1); ++i) {
      troubled.push_back(std::async(std::launch::async, [&c, &relay] {
        BazaDeDate session;
        if (OpenRelayed(session, relay.address(), c.connection)) {
          EXPECT_FALSE(session.SQLCommand("SELECT 1", 0));
        }
      }));
    }
    if (c.hangs) std::this_thread::sleep_for(500ms);  // both logins are under way
    else troubled.front().wait();

    const auto start = std::chrono::steady_clock::now();
    BazaDeDate after;
    EXPECT_TRUE(OpenRelayed(after, relay.address(), lab)) << relay.process().err();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    // Both go on while the troubled clients' calls fail, and after.
    for (int round = 0; round < 2; ++round) {
      EXPECT_TRUE(after.SQLCommand("SELECT 1", 0)) << after.lastErrorText();
      EXPECT_TRUE(before.SQLCommand("SELECT 1", 0)) << before.lastErrorText();
      for (auto& call : troubled) call.wait();
    }
    EXPECT_EQ(relay.process().WaitExit(0ms), std::nullopt) << relay.process().err();
    if (!c.hangs) {
      // The relay's log tells the administrator how the driver ended.
      EXPECT_TRUE(testing::WaitFor(
          [&] {
            relay.process().WaitForOutput([](const std::string&) { return false; }, 50ms);
            return relay.process().err().find("driver process was killed by signal SIGSEGV") != std::string::npos;
          },
          2s))
          << relay.process().err();
    }
  }
}

}  // namespace
}  // namespace strivex
