// The database settings' OK on the module: a laboratory server of the test's own (so it may get a
// MACHINES table and a changed password), the real relay, a SQLite settings file, the analyser on
// a pseudo-terminal. Results that arrive while the session is switched are stored once each.

#include "host/server_switch.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "db/sql_text.h"
#include "host/host_record.h"
#include "host/module_core.h"
#include "host/recording_view.h"
#include "host/startup_steps.h"
#include "outbox/outbox_store.h"
#include "platform/message_box.h"
#include "support/lab_cluster.h"
#include "support/module_rig.h"
#include "support/relay_server.h"
#include "support/temp_dir.h"
#include "support/unused_port.h"
#include "support/wait_for.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using testing::LabCluster;
using testing::UnusedPort;
using testing::WaitFor;

constexpr int32_t kHostMachineId = 5;
constexpr int32_t kLocalMachineId = 7;

std::string Report(int requestId) {
  std::string report = testing::ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt");
  const std::string from = "ID proba:30512";
  report.replace(report.find(from), from.size(), "ID proba:" + std::to_string(requestId));
  return report;
}

class PrivateLabServerSwitchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    lab_ = new LabCluster();
    lab_->Query("CREATE TABLE IF NOT EXISTS dbo.MACHINES (ID integer, Name varchar(50))");
  }
  static void TearDownTestSuite() {
    delete lab_;
    lab_ = nullptr;
  }
  void SetUp() override {
    lab_->Query("DELETE FROM dbo.MACHINES");
    rig_.UseServer(lab_->ConnectionString());
  }

  DbConnectionFields LabFields() const {
    const std::string c = lab_->ConnectionString();
    return {ConnectionValue(c, "Server").value_or(""), ConnectionValue(c, "Database").value_or(""),
            ConnectionValue(c, "Uid").value_or(""), ConnectionValue(c, "Pwd").value_or(""), 1};
  }
  ServerSettings Stored() {
    BazaDeDate local;
    local.DeschidBazaLocala(rig_.LocalPath(), "quomar", 1);
    ServerSettings stored;
    ReadServerSettings(local, stored);
    return stored;
  }
  std::unique_ptr<ModuleCore> Start() {
    host_ = std::make_unique<HostRecordBuffer>(kHostMachineId, "Strivex", rig_.LocalPath(), 1);
    auto core = std::make_unique<ModuleCore>(host_->record(), view_);
    core->Initialize(0x1234);
    return core;
  }

  static LabCluster* lab_;
  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  testing::ScopedEnvironment env_{lab_->Environment()};
  testing::ModuleRig rig_{dir_.path(), kLocalMachineId};
  platform::MessageBoxRecorder boxes_;
  testing::RecordingView view_;
  std::unique_ptr<HostRecordBuffer> host_;
};

LabCluster* PrivateLabServerSwitchTest::lab_ = nullptr;

struct SwitchCase {
  const char* label;
  const char* machinesRow;  // inserted into the server's MACHINES first; null for none
  bool unreachable;         // nobody listens where the server should be
  bool connected;
  uint8_t serverUnavailable;
  int32_t machineId;  // result and host machine id afterwards
};

void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.label; }

class PrivateLabServerSwitchCases : public PrivateLabServerSwitchTest,
                                    public ::testing::WithParamInterface<SwitchCase> {};

// The switch itself, on sessions and a context built as the start-up builds them (no workers).
TEST_P(PrivateLabServerSwitchCases, FindsTheMachineIdAndStoresTheFieldsWhateverHappens) {
  const SwitchCase& c = GetParam();
  if (c.machinesRow != nullptr) lab_->Query(std::string("INSERT INTO dbo.MACHINES VALUES ") + c.machinesRow);
  HostRecordBuffer buffer(kHostMachineId, "Strivex", rig_.LocalPath(), 1);
  HostRecord host = buffer.record();
  BazaDeDate local, server;
  ASSERT_TRUE(local.DeschidBazaLocala(rig_.LocalPath(), "quomar", 1));
  ASSERT_TRUE(server.DeschidConectie(lab_->ConnectionString(), 1));
  ModuleContext context;
  context.shown.Attach(nullptr, &host);
  context.server.Attach(&server);
  context.reception.SetInstrument("Strivex", kLocalMachineId);
  context.server.SetMachineIds({kHostMachineId, kHostMachineId});

  DbConnectionFields fields = LabFields();
  testing::EnvironmentVariables port;
  if (c.unreachable) port.emplace_back("PGPORT", std::to_string(UnusedPort()));
  bool connected = false;
  {
    const testing::ScopedEnvironment env(port);
    context.server.Run(
        [&](ServerLink::Scope& link) {
          connected = SwitchServerLocked(context.shown, context.reception, link, local, fields);
          return true;
        },
        ServerLink::Needs::kAlways);
  }
  EXPECT_EQ(connected, c.connected);
  EXPECT_EQ(server.connected.load(), c.connected ? 1 : 0);
  EXPECT_EQ(host.Flag(HostRecord::kServerUnavailable), c.serverUnavailable);
  EXPECT_EQ(context.server.Ids().result, c.machineId);
  EXPECT_EQ(context.server.Ids().host, c.machineId);
  const ServerSettings stored = Stored();
  EXPECT_EQ(stored.serverAddress, fields.serverAddress);
  EXPECT_EQ(stored.databaseName, fields.database);
  EXPECT_EQ(stored.password, fields.password);
  EXPECT_EQ(stored.directConect, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, PrivateLabServerSwitchCases,
    ::testing::Values(
        SwitchCase{"InstrumentOnServer", "(9, 'Strivex')", false, true, 0, 9},
        // The server answers but does not know the instrument: the local database's id.
        SwitchCase{"NoRowOnServer", "(9, 'Other')", false, true, 1, kLocalMachineId},
        // Nothing changes but the flag; the typed values are kept for the next start.
        SwitchCase{"Unreachable", nullptr, true, false, 1, kHostMachineId}),
    [](const auto& info) { return std::string(info.param.label); });

// OK on the running module with "Folosesc ServMedianex": the relay carries the session, and the
// next start goes through it too.
TEST_F(PrivateLabServerSwitchTest, RelayedChoiceIsUsedAtOnceAndAtTheNextStart) {
  const testing::RelayServer relay(STRIVEX_MEDIANEX_RELAY_PATH);
  ASSERT_TRUE(relay.failure().empty()) << relay.failure();
  lab_->Query("INSERT INTO dbo.MACHINES VALUES (5, 'Strivex')");
  DbConnectionFields fields = LabFields();
  fields.direct = 0;
  fields.serverAddress = relay.address();
  {
    auto core = Start();
    ASSERT_EQ(core->serverSession()->direct.load(), 1);
    EXPECT_TRUE(core->SwitchServer(fields));
    EXPECT_EQ(core->serverSession()->direct.load(), 0);
    EXPECT_EQ(host_->record().Flag(HostRecord::kServerUnavailable), 0);
    EXPECT_EQ(core->StatusNow(0).serverDatabase, fields.database);
    core->ShutdownModule();
  }
  EXPECT_EQ(Stored().directConect, 0);
  auto again = Start();
  EXPECT_EQ(again->serverSession()->direct.load(), 0);
  EXPECT_EQ(again->serverSession()->connected.load(), 1);
  again->ShutdownModule();
  EXPECT_TRUE(boxes_.Texts().empty()) << boxes_.Texts().front();
}

// A password with a quote is a password like any other: stored, read back, and logged in with.
TEST_F(PrivateLabServerSwitchTest, PasswordWithAQuoteWorksNowAndAtTheNextStart) {
  const DbConnectionFields original = LabFields();
  DbConnectionFields quoted = original;
  quoted.password = "pa'ss";
  const auto changePassword = [&](const std::string& current, const std::string& next) {
    BazaDeDate session;
    return session.DeschidConectie(
               SqlServerConnectionString({original.serverAddress, original.database, original.user, current}), 1) &&
           session.SQLCommand("ALTER ROLE CURRENT_USER PASSWORD '" + EscapeSqlText(next) + "'", 0);
  };
  ASSERT_TRUE(changePassword(original.password, quoted.password));
  // The suite's other tests log in with the original password.
  struct Restore {
    std::function<bool()> back;
    ~Restore() { EXPECT_TRUE(back()); }
  } restore{[&] { return changePassword(quoted.password, original.password); }};
  {
    auto core = Start();  // with the old stored password: no server
    EXPECT_EQ(core->serverSession()->connected.load(), 0);
    EXPECT_TRUE(core->SwitchServer(quoted));
    core->ShutdownModule();
  }
  EXPECT_EQ(Stored().password, "pa'ss");
  auto again = Start();
  EXPECT_EQ(again->serverSession()->connected.load(), 1);
  again->ShutdownModule();
}

// Reports keep arriving while the operator presses OK again and again, to a server that answers
// and to one that does not: every result is stored, once.
TEST_F(PrivateLabServerSwitchTest, ResultsArrivingWhileOkReconnectsAreStoredOnce) {
  auto core = Start();
  ASSERT_EQ(core->serverSession()->connected.load(), 1);
  constexpr int kFirst = 43000;
  constexpr int kReports = 3;
  std::atomic<bool> sent{false};
  std::thread analyser([&] {
    for (int id = kFirst; id < kFirst + kReports; ++id) {
      rig_.pty().Write(Report(id));
      WaitFor([&] { return view_.RowCount() == static_cast<size_t>(id - kFirst + 1); }, 15s);
    }
    sent.store(true);
  });
  DbConnectionFields good = LabFields();
  DbConnectionFields missingDatabase = good;
  missingDatabase.database = "nu_exista";
  int switches = 0;
  while (!sent.load()) {
    const bool toGood = switches % 3 != 1;
    EXPECT_EQ(core->SwitchServer(toGood ? good : missingDatabase), toGood);
    ++switches;
    std::this_thread::sleep_for(200ms);
  }
  analyser.join();
  ASSERT_EQ(view_.RowCount(), static_cast<size_t>(kReports));
  EXPECT_TRUE(core->SwitchServer(good));
  ASSERT_TRUE(WaitFor([&] { return core->outbox()->Stats().stored == 12 * kReports; }, 60s))
      << core->outbox()->Stats().pending << " pending, " << core->outbox()->Stats().rejected << " rejected";
  std::map<std::string, int> perRequest;
  for (const auto& row : lab_->Query("SELECT request_id, count(*) FROM lab_results WHERE request_id >= 43000 "
                                     "AND request_id < 43100 GROUP BY request_id")) {
    perRequest[row[0]] = std::stoi(row[1]);
  }
  EXPECT_EQ(perRequest, (std::map<std::string, int>{{"43000", 12}, {"43001", 12}, {"43002", 12}}));
  EXPECT_GT(switches, 10);
  EXPECT_EQ(core->context().upload.backlog().rejected, 0);
  core->ShutdownModule();
}

}  // namespace
}  // namespace strivex
