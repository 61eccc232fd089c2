// The built relay on a loopback port, driven by raw-socket clients.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "relay_fixture.h"
#include "support/helper_children.h"
#include "support/requirements.h"
#include "support/run_process.h"
#include "support/wait_for.h"

namespace strivex::testing {
namespace {

using namespace std::chrono_literals;

const std::string& kOk = kOkStatus;
const std::string& kFail = kFailStatus;

class RelayProcess : public RelayFixture {};

// The development server's connection string; empty when the run has none.
std::string LabConnection() {
  const char* lab = std::getenv("STRIVEX_LAB_CONNSTR");
  return lab != nullptr ? lab : "";
}

// Greets and opens the development server as request 1.
void OpenLab(TestClient& client, const std::string& lab) {
  ASSERT_TRUE(client.SendGreeting());
  ASSERT_TRUE(client.SendRequest(1, "DeschidConectie", lab));
  ASSERT_EQ(client.ReadFrame(), Reply(1, kOk));
}

TEST_F(RelayProcess, HelpDescribesTheOptions) {
  const ProcessResult result = RunProcess(MEDIANEX_RELAY_PATH, {"--help"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("--allow CIDR"), std::string::npos);
  EXPECT_NE(result.out.find("--max-per-address N"), std::string::npos);
  const ProcessResult bad = RunProcess(MEDIANEX_RELAY_PATH, {"--max-clients", "none"});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("--max-clients"), std::string::npos);
}

TEST_F(RelayProcess, RoundTripsEveryCommandWithExactReplies) {
  Start();
  const std::unique_ptr<TestClient> client = OpenClient(1);
  ASSERT_TRUE(client->SendRequest(2, "SQLCommand", "2;0;CREATE TABLE t (id INTEGER, name TEXT)"));
  EXPECT_EQ(client->ReadFrame(), Reply(2, kOk));
  ASSERT_TRUE(client->SendRequest(3, "SQLCommand", "2;0;INSERT INTO t VALUES (1, 'a,b;c'), (2, 'x')"));
  EXPECT_EQ(client->ReadFrame(), Reply(3, kOk));
  ASSERT_TRUE(client->SendRequest(4, "GetRecords", "2;1;SELECT id, name FROM t ORDER BY id"));
  EXPECT_EQ(client->ReadFrame(), Reply(4, kOk));
  ASSERT_TRUE(client->SendRequest(5, "ValoareColoana", "2;name,1"));
  EXPECT_EQ(ReadTwo(*client), Reply(5, "8;a,b;c") + Reply(5, kOk));
  ASSERT_TRUE(client->SendRequest(6, "NextElementTabel", "1;1"));
  EXPECT_EQ(client->ReadFrame(), Reply(6, kOk));
  ASSERT_TRUE(client->SendRequest(7, "ValoareColoana", "2;id,1"));
  EXPECT_EQ(ReadTwo(*client), Reply(7, "3;2") + Reply(7, kOk));
  ASSERT_TRUE(client->SendRequest(8, "NextElementTabel", "1;1"));
  EXPECT_EQ(client->ReadFrame(), Reply(8, kFail));
  ASSERT_TRUE(client->SendRequest(9, "DeschidTabel", "3;t,where id in (1,2) and name=',;',0"));
  EXPECT_EQ(client->ReadFrame(), Reply(9, kOk));
  ASSERT_TRUE(client->SendRequest(10, "InchidTabel", "1;1;"));
  EXPECT_EQ(client->ReadFrame(), Reply(10, kOk));
  ASSERT_TRUE(client->SendRequest(11, "InchidConectie", "0;"));
  EXPECT_EQ(client->ReadFrame(), Reply(11, kOk));
  EXPECT_TRUE(client->ClosedByServer());

  ASSERT_TRUE(relay_->WaitForOutput([&](const std::string&) {
    return relay_->err().find("disconnected") != std::string::npos;
  }, 5s));
  EXPECT_NE(relay_->err().find("connected 127.0.0.1:"), std::string::npos) << relay_->err();
  EXPECT_NE(relay_->err().find("name 'LAB01'"), std::string::npos) << relay_->err();
}

// A caller waits on every value, so a status held back until the value's acknowledgement (up to
// 40 ms of delayed ACK each) would make reading a work list take minutes. The bound is generous:
// a held-back status would need over 8 s for these calls.
TEST_F(RelayProcess, ValueAndStatusAreNotHeldBackForAnAcknowledgement) {
  Start();
  const std::unique_ptr<TestClient> client = OpenClient(1);
  ASSERT_TRUE(client->SendRequest(2, "GetRecords", "2;8;SELECT 7 AS n"));
  ASSERT_EQ(client->ReadFrame(), Reply(2, kOk));
  constexpr int kCalls = 200;
  const auto start = std::chrono::steady_clock::now();
  for (int32_t number = 3; number < 3 + kCalls; ++number) {
    ASSERT_TRUE(client->SendRequest(number, "ValoareColoana", "2;n,8"));
    ASSERT_EQ(ReadTwo(*client), Reply(number, "3;7") + Reply(number, kOk));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
}

TEST_F(RelayProcess, InterleavedRequestsAreAnsweredByNumber) {
  Start();
  const std::unique_ptr<TestClient> client = OpenClient(1);
  ASSERT_TRUE(client->Send(FrameBytes(20, "GetRecords")));
  ASSERT_TRUE(client->Send(FrameBytes(21, "SQLCommand")));
  ASSERT_TRUE(client->Send(FrameBytes(21, "2;0;CREATE TABLE u (v TEXT)")));
  EXPECT_EQ(client->ReadFrame(), Reply(21, kOk));
  ASSERT_TRUE(client->Send(FrameBytes(20, "2;3;SELECT 'p;q,r' AS v")));
  EXPECT_EQ(client->ReadFrame(), Reply(20, kOk));
  ASSERT_TRUE(client->SendRequest(22, "ValoareColoana", "2;v,3"));
  EXPECT_EQ(ReadTwo(*client), Reply(22, "8;p;q,r") + Reply(22, kOk));
}

TEST_F(RelayProcess, UnusableRequestsAnswerFailureAndKeepTheConnection) {
  Start();
  const std::unique_ptr<TestClient> client = OpenClient(1);
  ASSERT_TRUE(client->SendRequest(2, "Bogus", "1;1"));
  EXPECT_EQ(client->ReadFrame(), Reply(2, kFail));
  ASSERT_TRUE(client->SendRequest(3, "SQLCommand", "2;zero;select 1"));
  EXPECT_EQ(client->ReadFrame(), Reply(3, kFail));
  ASSERT_TRUE(client->SendRequest(4, "ValoareColoana", "2;v"));
  EXPECT_EQ(ReadTwo(*client), Reply(4, "0;") + Reply(4, kFail));
  ASSERT_TRUE(client->SendRequest(5, "GetRecords", "2;0;SELECT 1 AS one"));
  EXPECT_EQ(client->ReadFrame(), Reply(5, kOk));
}

struct HostileCase {
  const char* name;
  std::string bytes;  // sent after connecting
  bool keepOpen;      // the client then waits for the server to close instead of leaving
};

TEST_F(RelayProcess, HostileClientsLoseOnlyTheirOwnConnection) {
  Start();
  const std::string greeting = GreetingBytes("EVIL");
  const HostileCase cases[] = {
      {"length over 1999", greeting + FrameBytes(1, std::string(2000, 'a')), true},
      {"negative length", greeting + std::string("\x01\x00\x00\x00\xF0\xFF\xFF\xFF", 8), true},
      {"zero length", greeting + FrameBytes(1, ""), true},
      {"garbage instead of a greeting", std::string(100, '\x7F'), true},
      {"half greeting", greeting.substr(0, 50), false},
      {"half frame", greeting + FrameBytes(1, "SQLCommand").substr(0, 12), false},
      {"only a command name", greeting + FrameBytes(1, "SQLCommand"), false},
      {"nothing", "", false},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestClient hostile(port_);
    ASSERT_TRUE(hostile.ok());
    ASSERT_TRUE(hostile.Send(c.bytes));
    if (c.keepOpen) {
      EXPECT_TRUE(hostile.ClosedByServer());
    }
    hostile.Close();
    ExpectServing();
  }
}

TEST_F(RelayProcess, StalledClientDoesNotBlockOthers) {
  Start();
  TestClient stalled(port_);
  ASSERT_TRUE(stalled.Send(GreetingBytes("SLOW") + FrameBytes(1, "SQLCommand").substr(0, 10)));
  ExpectServing();
}

TEST_F(RelayProcess, ConnectionsBeyondTheLimitAreClosedAtOnce) {
  Start({"--max-per-address", "64"});  // default limit: 32
  std::vector<std::unique_ptr<TestClient>> crowd;
  for (int i = 0; i < 50; ++i) {
    crowd.push_back(std::make_unique<TestClient>(port_));
    ASSERT_TRUE(crowd.back()->ok());
    crowd.back()->SendGreeting("CROWD");
  }
  // Polls the whole crowd until the refusals are in, so served clients cost no waiting.
  std::vector<bool> closed(crowd.size(), false);
  int closedCount = 0;
  const auto refusedBy = std::chrono::steady_clock::now() + 10s;
  while (closedCount < 18 && std::chrono::steady_clock::now() < refusedBy) {
    for (size_t i = 0; i < crowd.size(); ++i) {
      if (!closed[i] && crowd[i]->ClosedByServer(0ms)) {
        closed[i] = true;
        ++closedCount;
      }
    }
    std::this_thread::sleep_for(20ms);
  }
  std::this_thread::sleep_for(300ms);
  for (size_t i = 0; i < crowd.size(); ++i) closedCount += !closed[i] && crowd[i]->ClosedByServer(0ms);
  EXPECT_EQ(closedCount, 18);
  crowd.clear();
  // The served ones end when their clients leave; the limit frees up again.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    TestClient probe(port_);
    probe.SendGreeting();
    if (!probe.ClosedByServer(300ms)) break;
  }
  ExpectServing();
}

TEST_F(RelayProcess, PeerOutsideTheAllowedRangesIsRefused) {
  Start({"--allow", "10.0.0.0/8"});
  TestClient client(port_);
  ASSERT_TRUE(client.ok());
  client.SendGreeting();
  EXPECT_TRUE(client.ClosedByServer());
  ASSERT_TRUE(relay_->WaitForOutput(
      [&](const std::string&) { return relay_->err().find("refused 127.0.0.1:") != std::string::npos; },
      5s))
      << relay_->err();
}

TEST_F(RelayProcess, StopsCleanlyOnSignalsWithClientsConnected) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    Start();
    const std::unique_ptr<TestClient> client = OpenClient(1);
    relay_->Signal(signal);
    EXPECT_EQ(relay_->WaitExit(10s), 0) << relay_->err();
    EXPECT_TRUE(client->ClosedByServer());
  }
}

TEST_F(RelayProcess, StopEndsTheDriverProcessOfAStatementInFlight) {
  const std::string lab = LabConnection();
  if (lab.empty()) STRIVEX_SKIP_UNLESS_REQUIRED(LabRequiredByRun(), "no development server (STRIVEX_LAB_CONNSTR)");
  Start();
  TestClient client(port_);
  ASSERT_NO_FATAL_FAILURE(OpenLab(client, lab));
  const std::vector<pid_t> helpers = HelperChildPids(std::to_string(relay_->pid()));
  ASSERT_EQ(helpers.size(), 1u);
  ASSERT_TRUE(client.SendRequest(2, "SQLCommand", "2;0;SELECT pg_sleep(60)"));
  std::this_thread::sleep_for(300ms);  // the statement runs

  const auto start = std::chrono::steady_clock::now();
  relay_->Signal(SIGTERM);
  EXPECT_EQ(relay_->WaitExit(10s), 0) << relay_->err();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_TRUE(WaitFor([&] { return ::kill(helpers.front(), 0) != 0; }, 2s)) << "the helper outlived the relay";
}

TEST_F(RelayProcess, RelaysToTheDevelopmentServer) {
  const std::string lab = LabConnection();
  if (lab.empty()) STRIVEX_SKIP_UNLESS_REQUIRED(LabRequiredByRun(), "no development server (STRIVEX_LAB_CONNSTR)");
  Start();
  TestClient client(port_);
  ASSERT_NO_FATAL_FAILURE(OpenLab(client, lab));
  ASSERT_TRUE(client.SendRequest(2, "GetRecords", "2;8;SELECT 42 AS n, 'a,b;c' AS s"));
  EXPECT_EQ(client.ReadFrame(), Reply(2, kOk));
  ASSERT_TRUE(client.SendRequest(3, "ValoareColoana", "2;n,8"));
  EXPECT_EQ(ReadTwo(client), Reply(3, "3;42") + Reply(3, kOk));
  ASSERT_TRUE(client.SendRequest(4, "ValoareColoana", "2;s,8"));
  EXPECT_EQ(ReadTwo(client), Reply(4, "8;a,b;c") + Reply(4, kOk));
  ASSERT_TRUE(client.SendRequest(5, "InchidConectie", "0;"));
  EXPECT_EQ(client.ReadFrame(), Reply(5, kOk));
  EXPECT_TRUE(client.ClosedByServer());
}

}  // namespace
}  // namespace strivex::testing
