#include "relay_fixture.h"

#include <chrono>
#include <csignal>
#include <optional>

#include "db/connection_string.h"

namespace strivex::testing {

using namespace std::chrono_literals;

std::string ReadTwo(TestClient& client) {
  std::string first = client.ReadFrame();
  return first + client.ReadFrame();
}

void RelayFixture::Start(std::vector<std::string> extra) {
  std::vector<std::string> args = {"--listen", "127.0.0.1:0", "--local-db-dir", dir_.path().string()};
  args.insert(args.end(), extra.begin(), extra.end());
  relay_ = std::make_unique<BackgroundProcess>(MEDIANEX_RELAY_PATH, args);
  const std::optional<std::string> line = relay_->ReadLine(10s);
  ASSERT_TRUE(line) << relay_->err();
  const std::string prefix = "listening on 127.0.0.1:";
  ASSERT_EQ(line->rfind(prefix, 0), 0u) << *line;
  port_ = static_cast<uint16_t>(std::stoi(line->substr(prefix.size())));
}

void RelayFixture::TearDown() {
  if (!relay_ || relay_->WaitExit(0ms)) return;
  relay_->Signal(SIGTERM);
  EXPECT_EQ(relay_->WaitExit(20s), 0) << relay_->err();
}

std::string RelayFixture::LocalDb() const { return JetConnectionString((dir_ / "local.db").string(), ""); }

std::unique_ptr<TestClient> RelayFixture::OpenClient(int32_t number, const char* from) {
  auto client = std::make_unique<TestClient>(port_, from);
  EXPECT_TRUE(client->ok());
  EXPECT_TRUE(client->SendGreeting());
  EXPECT_TRUE(client->SendRequest(number, "DeschidConectie", LocalDb()));
  EXPECT_EQ(client->ReadFrame(), Reply(number, kOkStatus));
  return client;
}

void RelayFixture::ExpectServing() {
  const std::unique_ptr<TestClient> client = OpenClient(41);
  ASSERT_TRUE(client->SendRequest(42, "GetRecords", "2;8;SELECT 7 AS n"));
  EXPECT_EQ(client->ReadFrame(), Reply(42, kOkStatus));
  ASSERT_TRUE(client->SendRequest(43, "ValoareColoana", "2;n,8"));
  EXPECT_EQ(ReadTwo(*client), Reply(43, "3;7") + Reply(43, kOkStatus));
}

bool RelayFixture::WaitForLog(const std::string& text, std::chrono::milliseconds timeout) {
  return relay_->WaitForOutput([&](const std::string&) { return relay_->err().find(text) != std::string::npos; },
                               timeout);
}

}  // namespace strivex::testing
