// The relayed session against a scripted peer on a free local port: the bytes on the wire, reply
// matching by request number, and how failures of the connection end the operations.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "db/silent_server.h"
#include "platform/message_box.h"
#include "support/temp_dir.h"
#include "util/unique_fd.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using testing::ReadFile;
using testing::ScopedCurrentDir;
using testing::SilentServer;
using testing::TempDir;

const std::string kOk(1, '\1');
const std::string kFail(1, '\0');
constexpr int kPatienceMs = 5000;

struct Frame {
  int32_t number = -1;  // -1: nothing complete arrived
  std::string text;
};

std::string LittleEndian(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
          static_cast<char>((bits >> 16) & 0xFF), static_cast<char>((bits >> 24) & 0xFF)};
}

// The relay server's side of one connection, driven step by step by the test.
class RelayPeer {
 public:
  RelayPeer() : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_.get(), 4) != 0 ||
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      ADD_FAILURE() << "the peer cannot listen";
    }
    port_ = ntohs(address.sin_port);
  }

  uint16_t port() const { return port_; }

  bool Accept() {
    CloseConnection();
    if (!Readable(listener_.get(), kPatienceMs)) return false;
    connection_ = UniqueFd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    return connection_.valid();
  }

  // Up to `size` bytes: fewer when the client closes or goes quiet.
  std::string Read(size_t size) {
    std::string bytes;
    while (bytes.size() < size && Readable(connection_.get(), kPatienceMs)) {
      std::array<char, 4096> chunk{};
      const ssize_t got = ::recv(connection_.get(), chunk.data(), std::min(chunk.size(), size - bytes.size()), 0);
      if (got <= 0) break;
      bytes.append(chunk.data(), static_cast<size_t>(got));
    }
    return bytes;
  }

  Frame ReadFrame() {
    const std::string header = Read(8);
    if (header.size() != 8) return {};
    int32_t number = 0;
    int32_t length = 0;
    const auto byte = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(header[i])); };
    for (int i = 3; i >= 0; --i) {
      number = static_cast<int32_t>((static_cast<uint32_t>(number) << 8) | byte(i));
      length = static_cast<int32_t>((static_cast<uint32_t>(length) << 8) | byte(4 + i));
    }
    if (length < 0) return {};
    std::string text = Read(static_cast<size_t>(length));
    if (text.size() != static_cast<size_t>(length)) return {};
    return {number, text};
  }

  void Send(const std::string& bytes) {
    EXPECT_EQ(::send(connection_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  void SendFrame(int32_t number, const std::string& text) {
    Send(LittleEndian(number) + LittleEndian(static_cast<int32_t>(text.size())) + text);
  }

  // True when the client ends the connection (within the patience).
  bool SeesClose() {
    std::array<char, 64> sink{};
    while (Readable(connection_.get(), kPatienceMs)) {
      const ssize_t got = ::recv(connection_.get(), sink.data(), sink.size(), 0);
      if (got <= 0) return true;
    }
    return false;
  }
  bool Quiet() { return !Readable(connection_.get(), 200); }

  void CloseConnection() { connection_.Reset(); }

 private:
  static bool Readable(int socket, int ms) {
    pollfd entry{socket, POLLIN, 0};
    return ::poll(&entry, 1, ms) == 1;
  }

  UniqueFd listener_;
  UniqueFd connection_;
  uint16_t port_ = 0;
};

class RelayClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_ = std::make_unique<ScopedCurrentDir>(dir_.path());
    db_ = std::make_unique<BazaDeDate>();
    db_->serverAddress = "localhost:" + std::to_string(peer_.port());
  }
  void TearDown() override {
    db_.reset();
  }

  // Opens the session relayed, the peer answering the open with `status`.
  bool Open(const std::string& status = kOk) {
    auto opened = std::async(std::launch::async, [this] { return db_->DeschidConectie(kConnect, 0); });
    EXPECT_TRUE(peer_.Accept());
    greeting_ = peer_.Read(100);
    const Frame command = peer_.ReadFrame();
    const Frame argument = peer_.ReadFrame();
    EXPECT_EQ(command.text, "DeschidConectie");
    EXPECT_EQ(argument.text, kConnect);
    EXPECT_EQ(argument.number, command.number);
    peer_.SendFrame(command.number, status);
    return opened.get();
  }

  // Runs `call` while the peer takes one request and answers it with `replies`.
  template <typename Call>
  auto Serve(Call call, const std::vector<std::string>& replies, Frame& command, Frame& argument) {
    auto result = std::async(std::launch::async, call);
    command = peer_.ReadFrame();
    argument = peer_.ReadFrame();
    for (const std::string& reply : replies) peer_.SendFrame(command.number, reply);
    if (command.number < 0) peer_.CloseConnection();  // let a stuck call end rather than hang
    return result.get();
  }

  bool ErrorLogExists() const { return std::filesystem::exists(dir_ / "_acterr.log"); }

  static inline const std::string kConnect =
      "Driver={SQL Server}; Server=lab; Network=; Database=lis; Uid=u;Pwd=p";
  TempDir dir_;
  std::unique_ptr<ScopedCurrentDir> cwd_;
  platform::MessageBoxRecorder boxes_;
  RelayPeer peer_;
  std::unique_ptr<BazaDeDate> db_;
  std::string greeting_;
};

TEST_F(RelayClientTest, OpenSendsTheGreetingThenRequestOne) {
  ASSERT_TRUE(Open());
  EXPECT_EQ(db_->connected.load(), 1);
  EXPECT_EQ(db_->serverIp, "127.0.0.1");
  std::array<char, 256> host{};
  ASSERT_EQ(::gethostname(host.data(), host.size() - 1), 0);
  std::string expected = "Medianex Server;Name=" + std::string(host.data());
  expected.resize(100, '\0');
  EXPECT_EQ(greeting_, expected);
  EXPECT_EQ(db_->hostName, host.data());
  EXPECT_EQ(db_->requestCounter.load(), 1);
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(RelayClientTest, OpenTakesTheStatusByte) {
  EXPECT_FALSE(Open(kFail));
  EXPECT_EQ(db_->connected.load(), 0);
  EXPECT_FALSE(ErrorLogExists());
}

TEST_F(RelayClientTest, EachOperationSendsItsCommandAndArguments) {
  ASSERT_TRUE(Open());
  // Relayed operations never wait for the busy flag; held here, it would stall any that did.
  db_->busy.store(1);
  struct Case {
    std::function<bool(BazaDeDate&)> call;
    std::string command;
    std::string argument;
    std::vector<std::string> replies;
    bool expected;
  };
  const std::vector<Case> cases{
      {[](BazaDeDate& db) { return db.SQLCommand("UPDATE t SET a = 'x;y'", 0); }, "SQLCommand",
       "2;0;UPDATE t SET a = 'x;y'", {kOk}, true},
      {[](BazaDeDate& db) { return db.SQLCommand("DELETE FROM t", 3); }, "SQLCommand", "2;3;DELETE FROM t",
       {kFail}, false},
      {[](BazaDeDate& db) { return db.DeschidTabel("Medianex_Init", 1); }, "DeschidTabel",
       "2;Medianex_Init,1", {kOk}, true},
      {[](BazaDeDate& db) { return db.DeschidTabel("Rezultate", "where id = 7", 9); }, "DeschidTabel",
       "3;Rezultate,where id = 7,9", {kOk}, true},
      {[](BazaDeDate& db) { return db.GetRecords("SELECT a, b FROM t", 8); }, "GetRecords",
       "2;8;SELECT a, b FROM t", {kOk}, true},
      {[](BazaDeDate& db) { return db.ValoareColoana("Nume", 9).strVal == "abc"; }, "ValoareColoana",
       "2;Nume,9", {"8;abc", kOk}, true},
      {[](BazaDeDate& db) { return db.NextElementTabel(1); }, "NextElementTabel", "1;1", {kOk}, true},
      {[](BazaDeDate& db) { return db.NextElementTabel(1); }, "NextElementTabel", "1;1", {kFail}, false},
      {[](BazaDeDate& db) { db.InchidTabel(8); return true; }, "InchidTabel", "1;8;", {kOk}, true},
  };
  int32_t number = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    Frame command;
    Frame argument;
    const bool result = Serve([&] { return c.call(*db_); }, c.replies, command, argument);
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(command.number, number);
    EXPECT_EQ(argument.number, number);
    EXPECT_EQ(command.text, c.command);
    EXPECT_EQ(argument.text, c.argument);
    ++number;
  }
  EXPECT_FALSE(ErrorLogExists());  // relayed failures are not logged
}

TEST_F(RelayClientTest, ValueRepliesByType) {
  ASSERT_TRUE(Open());
  struct Case {
    std::string reply;
    uint16_t type;
    int32_t intVal;
    double dblVal;
    std::string strVal;
  };
  const std::vector<Case> cases{
      {"8;abc", VT_BSTR, 0, 0.0, "abc"},
      {"8;   a b", VT_BSTR, 0, 0.0, "a b"},
      {"8;a;b", VT_BSTR, 0, 0.0, "a;b"},
      {"  8;x", VT_BSTR, 0, 0.0, "x"},
      {"3;42", VT_I4, 42, 0.0, ""},
      {"3;  -17", VT_I4, -17, 0.0, ""},
      {"0;", VT_EMPTY, 0, 0.0, ""},
      {"7;45000.5", VT_DATE, 0, 45000.5, ""},
      {"2;5", VT_I2, 0, 0.0, ""},
      {"5;2.5", VT_R8, 0, 0.0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    Frame command;
    Frame argument;
    const DbValue value =
        Serve([&] { return db_->ValoareColoana("c", 0); }, {c.reply, kOk}, command, argument);
    EXPECT_EQ(value.type, c.type);
    EXPECT_EQ(value.intVal, c.intVal);
    EXPECT_EQ(value.dblVal, c.dblVal);
    EXPECT_EQ(value.strVal, c.strVal);
  }
  // Both replies were taken: the next request is answered normally.
  Frame command;
  Frame argument;
  EXPECT_TRUE(Serve([&] { return db_->NextElementTabel(0); }, {kOk}, command, argument));
}

TEST_F(RelayClientTest, CloseSendsItsRequestThenEndsTheConnectionOnce) {
  ASSERT_TRUE(Open());
  Frame command;
  Frame argument;
  Serve([&] { db_->InchidConectie(); return 0; }, {kOk}, command, argument);
  EXPECT_EQ(command.number, 2);
  EXPECT_EQ(argument.number, 2);
  EXPECT_EQ(command.text, "InchidConectie");
  EXPECT_EQ(argument.text, "0;");
  EXPECT_EQ(db_->connected.load(), 0);
  EXPECT_TRUE(peer_.SeesClose());
  db_->InchidConectie();
  EXPECT_EQ(db_->requestCounter.load(), 2);  // nothing was sent
  EXPECT_EQ(db_->connected.load(), 0);
}

TEST_F(RelayClientTest, CallersOnTwoThreadsEachGetTheirOwnReply) {
  ASSERT_TRUE(Open());
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    auto a = std::async(std::launch::async, [this] { return db_->SQLCommand("a", 0); });
    auto b = std::async(std::launch::async, [this] { return db_->SQLCommand("b", 0); });
    std::vector<Frame> frames;
    for (int i = 0; i < 4; ++i) frames.push_back(peer_.ReadFrame());
    // A request's two messages are never split by another's.
    ASSERT_EQ(frames[0].number, frames[1].number);
    ASSERT_EQ(frames[2].number, frames[3].number);
    ASSERT_NE(frames[0].number, frames[2].number);
    const std::map<std::string, int32_t> numberOf{{frames[1].text, frames[1].number},
                                                  {frames[3].text, frames[3].number}};
    ASSERT_EQ(numberOf.count("2;0;a"), 1u);
    ASSERT_EQ(numberOf.count("2;0;b"), 1u);
    // Answered last request first; only "a" succeeds.
    peer_.SendFrame(frames[2].number, frames[3].text == "2;0;a" ? kOk : kFail);
    peer_.SendFrame(frames[0].number, frames[1].text == "2;0;a" ? kOk : kFail);
    EXPECT_TRUE(a.get());
    EXPECT_FALSE(b.get());
  }
}

TEST_F(RelayClientTest, PeerClosingFailsTheWaiterAndLaterCallsAtOnce) {
  ASSERT_TRUE(Open());
  Frame command;
  Frame argument;
  auto waiting = std::async(std::launch::async, [this] { return db_->SQLCommand("x", 0); });
  EXPECT_EQ(peer_.ReadFrame().text, "SQLCommand");
  peer_.CloseConnection();
  EXPECT_FALSE(waiting.get());
  auto later = std::async(std::launch::async, [this] {
    return db_->NextElementTabel(0) || !db_->ValoareColoana("c", 0).IsEmpty();
  });
  ASSERT_EQ(later.wait_for(2s), std::future_status::ready);
  EXPECT_FALSE(later.get());

  // A relayed reopen starts afresh: the old failure does not fail the new connection's calls,
  // and the numbers go on.
  const int32_t used = db_->requestCounter.load();
  ASSERT_TRUE(Open());
  EXPECT_TRUE(Serve([&] { return db_->SQLCommand("y", 0); }, {kOk}, command, argument));
  EXPECT_EQ(command.number, used + 2);
  EXPECT_FALSE(ErrorLogExists());
}

TEST_F(RelayClientTest, OverLongTextIsRefusedBeforeSending) {
  ASSERT_TRUE(Open());
  const std::string statement(1996, 'x');  // "2;0;" makes 2000 bytes
  EXPECT_FALSE(db_->SQLCommand(statement, 0));
  EXPECT_TRUE(peer_.Quiet());
  const std::string log = ReadFile(dir_ / "_acterr.log");
  EXPECT_NE(log.find("Eroare: textul depaseste 1999 octeti - '2;0;" + std::string(96, 'x') + "...'"),
            std::string::npos)
      << log;
  // 1999 bytes still go, under the next number.
  Frame command;
  Frame argument;
  EXPECT_TRUE(Serve([&] { return db_->SQLCommand(statement.substr(1), 0); }, {kOk}, command, argument));
  EXPECT_EQ(argument.number, 2);
  EXPECT_EQ(argument.text.size(), 1999u);
}

TEST_F(RelayClientTest, BadReplyLengthEndsTheConnection) {
  for (const int32_t length : {5000, 2000, -1, 0}) {
    SCOPED_TRACE(length);
    ASSERT_TRUE(Open());
    auto waiting = std::async(std::launch::async, [this] { return db_->SQLCommand("x", 0); });
    const Frame command = peer_.ReadFrame();
    peer_.ReadFrame();
    peer_.Send(LittleEndian(command.number) + LittleEndian(length) + std::string(64, '\1'));
    EXPECT_FALSE(waiting.get());
    EXPECT_TRUE(peer_.SeesClose());
    EXPECT_FALSE(db_->NextElementTabel(0));
  }
}

TEST_F(RelayClientTest, DestroyingASessionEndsItsReader) {
  ASSERT_TRUE(Open());
  peer_.SendFrame(77, "never collected");
  peer_.SendFrame(78, kOk);
  db_.reset();
  EXPECT_TRUE(peer_.SeesClose());
}

TEST_F(RelayClientTest, OpenFailuresBeforeAnyRequest) {
  uint16_t unused = 0;
  {
    RelayPeer gone;
    unused = gone.port();
  }
  const std::string closed = "127.0.0.1:" + std::to_string(unused);
  struct Case {
    std::string address;
    std::string notice;  // for the caller to show; the session shows nothing itself
    DbFailure failure;
    std::string reason;  // how lastErrorText begins: for strivex-cli and the logs
  };
  const std::vector<Case> cases{
      {"", "adresa web este necesara", DbFailure::kRejected, "no relay server address"},
      {"no-such-host.invalid", "Adresa IP nu poate fi gasita", DbFailure::kConnectionLost,
       "cannot find the relay's address no-such-host.invalid: "},
      {"127.0.0.1:99999", "Adresa IP nu poate fi gasita", DbFailure::kConnectionLost,
       "the relay's address '127.0.0.1:99999' is not valid: the port is not a number from 1 to 65535"},
      // Nobody listens on the port given: refused without a notice.
      {closed, "", DbFailure::kConnectionLost, "cannot connect to the relay at " + closed + ": Connection refused"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    platform::MessageBoxRecorder boxes;
    BazaDeDate db;
    db.serverAddress = c.address;
    EXPECT_FALSE(db.DeschidConectie(kConnect, 0));
    EXPECT_EQ(db.lastFailure(), c.failure) << db.lastErrorText();
    EXPECT_EQ(db.connected.load(), 0);
    EXPECT_EQ(db.direct.load(), 0);
    EXPECT_EQ(db.lastNotice(), c.notice);
    EXPECT_TRUE(db.lastErrorText().starts_with(c.reason)) << db.lastErrorText();
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_FALSE(db.SQLCommand("select 1", 0));
    EXPECT_EQ(db.lastFailure(), DbFailure::kConnectionLost);
  }
  EXPECT_FALSE(ErrorLogExists());
}

// A relay that lets the connection in but never answers, and one whose connection is never
// made, both end the open at the login time-out.
TEST_F(RelayClientTest, SilentRelayEndsTheOpenAtTheLoginTimeOut) {
  for (const SilentServer::Kind kind : {SilentServer::kMute, SilentServer::kFull}) {
    SCOPED_TRACE(kind);
    const SilentServer silent(kind);
    ASSERT_NE(silent.port(), 0);
    BazaDeDate db;
    db.serverAddress = "127.0.0.1:" + std::to_string(silent.port());
    db.SetTimeouts({1500ms, 30s});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(db.DeschidConectie(kConnect, 0));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 1s);
    EXPECT_LT(took, 5s);
    EXPECT_EQ(db.lastFailure(), DbFailure::kConnectionLost) << db.lastErrorText();
    EXPECT_EQ(db.connected.load(), 0);
  }
  EXPECT_TRUE(boxes_.Texts().empty());
  EXPECT_FALSE(ErrorLogExists());
}

// The stop does not wait out a silent relay's reply deadline.
TEST_F(RelayClientTest, AbortEndsAWaitForAReplyAtOnce) {
  db_->SetTimeouts({5s, 60s});
  ASSERT_TRUE(Open());
  auto call = std::async(std::launch::async, [this] {
    const bool result = db_->SQLCommand("UPDATE t SET a = 1", 0);
    return std::pair(result, db_->lastFailure());
  });
  peer_.ReadFrame();
  peer_.ReadFrame();
  db_->Abort();
  ASSERT_EQ(call.wait_for(3s), std::future_status::ready);
  EXPECT_EQ(call.get(), std::pair(false, DbFailure::kConnectionLost));
  EXPECT_EQ(db_->connected.load(), 0);
}

TEST_F(RelayClientTest, StatementOutcomesAsTheRelayAnswers) {
  db_->SetTimeouts({5s, 1500ms});
  struct Case {
    const char* name;
    std::vector<std::string> replies;
    bool closeAfterRequest;
    bool expected;
    DbFailure failure;
    uint8_t connected;
  };
  const Case cases[] = {
      {"success", {kOk}, false, true, DbFailure::kNone, 1},
      {"failure answered", {kFail}, false, false, DbFailure::kRejected, 1},
      {"connection ends", {}, true, false, DbFailure::kConnectionLost, 0},
      {"no answer in time", {}, false, false, DbFailure::kConnectionLost, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Open());
    // The outcome is the calling thread's own: it is read there.
    auto call = std::async(std::launch::async, [this] {
      const bool result = db_->SQLCommand("UPDATE t SET a = 1", 0);
      return std::pair(result, db_->lastFailure());
    });
    const Frame command = peer_.ReadFrame();
    peer_.ReadFrame();
    for (const std::string& reply : c.replies) peer_.SendFrame(command.number, reply);
    if (c.closeAfterRequest) peer_.CloseConnection();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(call.wait_for(5s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(call.get(), std::pair(c.expected, c.failure));
    EXPECT_EQ(db_->connected.load(), c.connected);
    if (c.connected == 0) {
      // The session let go of a connection that no longer answers; later calls end at once.
      if (!c.closeAfterRequest) {
        EXPECT_TRUE(peer_.SeesClose());
      }
      auto later = std::async(std::launch::async, [this] { return db_->NextElementTabel(0); });
      ASSERT_EQ(later.wait_for(1s), std::future_status::ready);
      EXPECT_FALSE(later.get());
    }
  }
  // A text too long to send is refused before it goes.
  ASSERT_TRUE(Open());
  EXPECT_FALSE(db_->SQLCommand(std::string(2000, 'x'), 0));
  EXPECT_EQ(db_->lastFailure(), DbFailure::kRejected);
  EXPECT_EQ(db_->connected.load(), 1);
}

}  // namespace
}  // namespace strivex
