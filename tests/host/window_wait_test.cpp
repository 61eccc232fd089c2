// The window and the server's reconnection never wait on each other: a reconnection logging in to
// a server that never answers, the window's server actions meanwhile, and the relayed
// reconnection's log and notices. The development server, a mute listener beside it, the real relay.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "db/db_session_fixture.h"
#include "db/silent_server.h"
#include "host/module_core.h"
#include "host/recording_view.h"
#include "host/server_reconnector.h"
#include "support/module_rig.h"
#include "support/relay_server.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::WaitFor;

class ReconnectWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lab_ = testing::LabConnectionString();
    if (lab_.empty()) {
      if (testing::LabDatabaseRequired()) FAIL() << "STRIVEX_LAB_CONNSTR is not set";
      GTEST_SKIP() << "no development server";
    }
  }
  DbConnectionFields LabFields(const std::string& server) const {
    return {server, ConnectionValue(lab_, "Database").value_or(""), ConnectionValue(lab_, "Uid").value_or(""),
            ConnectionValue(lab_, "Pwd").value_or(""), 1};
  }

  std::string lab_;
  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  testing::ModuleRig rig_{dir_.path(), 5};
  testing::RecordingView view_;
};

// The module's stored server is a listener that lets connections in and never answers (beside the
// development server's port, on another loopback address). While the reconnection is inside such
// a login, the window confirms a request code and applies new database settings: both return at
// once, and the switch is done once the reconnection's login has run out.
TEST_F(ReconnectWindowTest, WindowActionsReturnAtOnceWhileTheReconnectionLogsInToASilentServer) {
  constexpr auto kLogin = 3s;
  const char* port = std::getenv("PGPORT");
  ASSERT_NE(port, nullptr);
  const testing::SilentServer silent(testing::SilentServer::kMute, "127.0.0.2",
                                     static_cast<uint16_t>(std::atoi(port)));
  ASSERT_NE(silent.port(), 0);
  const DbConnectionFields mute = LabFields("127.0.0.2");
  rig_.UseServer(SqlServerConnectionString(mute));
  {
    BazaDeDate local;
    local.DeschidBazaLocala(rig_.LocalPath(), "", 1);
    local.SQLCommand("INSERT INTO Medianex_Init (Proprietate, Valoare) VALUES ('Timeout Conectare', '3')", 0);
  }
  HostRecordBuffer host(5, "Strivex", rig_.LocalPath(), 1);
  ModuleCore core(host.record(), view_);
  core.Initialize(0x1234);
  ASSERT_FALSE(core.context().server.Connected());

  // The window's thread is this one; what workers post to it waits here until it is run.
  std::mutex postedMutex;
  std::vector<DbDialogRun::Task> posted;
  DbDialogRun settings([&](DbDialogRun::Task task) { return core.background().Start(std::move(task)); },
                       [&](DbDialogRun::Task task) {
                         std::lock_guard lock(postedMutex);
                         posted.push_back(std::move(task));
                       });
  std::optional<DbDialogAnswer> switched;
  const struct {
    const char* name;
    std::function<void()> act;
  } actions[] = {
      {"request code",
       [&] {
         view_.SetRequestCodeText("1021");
         core.ConfirmRequestCode();
       }},
      {"database settings",
       [&] {
         settings.Begin(
             DbDialogRun::Attempt::kApply, [&] { return core.SwitchServerForDialog(LabFields("127.0.0.1")); },
             [&](const DbDialogAnswer& answer) { switched = answer; });
       }},
  };
  Clock::time_point switchAsked;
  for (const auto& action : actions) {
    SCOPED_TRACE(action.name);
    ASSERT_TRUE(WaitFor(
        [&] {
          const LinkResult probe = core.context().server.TryRun([](ServerLink::Scope&) { return true; }, 0ms,
                                                                ServerLink::Needs::kAlways);
          return probe.outcome == LinkOutcome::kBusy;
        },
        20s))
        << "the reconnection never tried";
    switchAsked = Clock::now();
    action.act();
    EXPECT_LT(Clock::now() - switchAsked, 1s);
  }
  EXPECT_EQ(view_.PatientTexts().back(), "1021") << "taken as typed without the server";

  const auto answered = [&] {
    std::lock_guard lock(postedMutex);
    return !posted.empty();
  };
  ASSERT_TRUE(WaitFor(answered, 2 * kLogin + 10s));
  for (const auto& task : posted) task();
  const auto took = Clock::now() - switchAsked;
  ASSERT_TRUE(switched);
  EXPECT_TRUE(switched->connected);
  EXPECT_LT(took, 2 * kLogin + 2s) << "more than the reconnection's login and its own";
  EXPECT_TRUE(core.context().server.Connected());
  core.ShutdownModule();
}

// Through the relay: the relay goes away twice and comes back. Each outage is one notice to the
// operator and, in "_acterr.log", its first failure, the count of the repeats and the restored
// connection, however many attempts it takes.
TEST_F(ReconnectWindowTest, RelayedReconnectionSummarisesItsFailuresAndTellsOncePerOutage) {
  std::vector<std::unique_ptr<testing::RelayServer>> relays;
  relays.push_back(std::make_unique<testing::RelayServer>(STRIVEX_MEDIANEX_RELAY_PATH));
  ASSERT_TRUE(relays.back()->failure().empty()) << relays.back()->failure();
  const uint16_t relayPort = relays.back()->port();
  BazaDeDate session;
  session.serverAddress = relays.back()->address();
  ASSERT_TRUE(session.DeschidConectie(lab_, 0)) << session.lastErrorText();
  HostRecordBuffer buffer(5, "Strivex", rig_.LocalPath(), 1);
  HostRecord host = buffer.record();
  ModuleContext context;
  context.shown.Attach(&view_, &host);
  context.server.Attach(&session);
  ServerReconnector reconnector(context.ForReconnection(), lab_, 0, false, {50ms, 200ms});
  reconnector.Start();

  constexpr int kOutages = 2;
  for (int outage = 1; outage <= kOutages; ++outage) {
    SCOPED_TRACE(outage);
    relays.back()->Stop();
    // The next statement finds the relay gone; the link closes the session and the
    // reconnection is told.
    context.server.Run([](ServerLink::Scope& link) { return link.session().GetRecords("SELECT 1 AS one", 1); });
    context.upload.serverLost().Notify();
    const int64_t before = reconnector.Attempts();
    ASSERT_TRUE(WaitFor([&] { return reconnector.Attempts() >= before + 4; }, 20s));
    EXPECT_TRUE(WaitFor([&] { return view_.Notices().size() == static_cast<size_t>(outage); }, 5s));
    relays.push_back(std::make_unique<testing::RelayServer>(STRIVEX_MEDIANEX_RELAY_PATH, relayPort));
    ASSERT_TRUE(relays.back()->failure().empty()) << relays.back()->failure();
    ASSERT_TRUE(WaitFor([&] { return context.server.Connected(); }, 20s));
  }
  reconnector.Stop();
  const std::string log = testing::ReadFile(dir_.path() / "_acterr.log");
  const std::string failed = "la deschidere conectie";
  size_t lines = 0;
  for (size_t at = log.find(failed); at != std::string::npos; at = log.find(failed, at + 1)) ++lines;
  ASSERT_GE(reconnector.Attempts() - kOutages, 2 * kOutages) << "each outage repeats its failure";
  EXPECT_EQ(lines, static_cast<size_t>(2 * kOutages)) << log;
  size_t restored = 0;
  for (size_t at = log.find("restabilita"); at != std::string::npos; at = log.find("restabilita", at + 1)) ++restored;
  EXPECT_EQ(restored, static_cast<size_t>(kOutages)) << log;
  EXPECT_EQ(view_.Notices().size(), static_cast<size_t>(kOutages));
  context.server.Attach(nullptr);
}

}  // namespace
}  // namespace strivex
