// FreeTDS, the production driver, given the module's string for a server on another port with a
// TDS version and a character set, from strivex-cli and through medianex-relay at RELAYHOST:PORT.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>
#include <string>
#include <thread>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "support/lab_cluster.h"
#include "support/relay_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "util/unique_fd.h"

namespace strivex {
namespace {

// A server's end of one TDS connection: PRELOGIN answered with encryption off, the LOGIN7 kept
// and acknowledged, each later request kept and answered with an empty DONE, until the client goes.
void ServeTds(int listener, std::string& login, std::string& requests) {
  const UniqueFd peer(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
  const timeval limit{10, 0};
  ::setsockopt(peer.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  const auto read = [&](size_t size) {
    std::string data(size, '\0');
    return ::recv(peer.get(), data.data(), size, MSG_WAITALL) == static_cast<ssize_t>(size) ? data : "";
  };
  const auto packet = [&] {  // the header's bytes 2-3 give the length, header included
    const std::string header = read(8);
    return header.empty() ? "" : read(static_cast<uint8_t>(header[2]) * 256 + static_cast<uint8_t>(header[3]) - 8);
  };
  const auto reply = [&](const std::string& payload) {
    const std::string all = std::string{4, 1, 0, static_cast<char>(payload.size() + 8), 0, 0, 1, 0} + payload;
    ::send(peer.get(), all.data(), all.size(), MSG_NOSIGNAL);
  };
  const std::string done("\xFD\0\0\0\0\0\0\0\0\0\0\0\0", 13);
  if (packet().empty()) return;
  reply(std::string("\0\0\x0B\0\x06\x01\0\x11\0\x01\xFF\x0F\0\x07\xD0\0\0\x02", 18));  // ENCRYPT_NOT_SUP
  login = packet();
  reply(std::string("\xAD\x0C\0\x01\x74\0\0\x04\x01X\0\x0F\0\0\0", 15) + done);  // LOGINACK
  for (std::string request = packet(); !request.empty(); request = packet()) {
    requests += request;
    reply(done);
  }
}

TEST(FreeTdsLogin, TheServersPortVersionAndCharacterSetReachTheDriver) {
  constexpr const char* kFreeTds = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";
  if (!std::filesystem::exists(kFreeTds)) GTEST_SKIP() << "FreeTDS (tdsodbc) is not installed";
  testing::TempDir dir;
  const testing::ScopedCurrentDir cwd(dir.path());
  // "SQL Server" is FreeTDS, without the machine's freetds.conf, for strivex-cli and the relay.
  testing::WriteFile(dir / "odbcinst.ini", std::string("[SQL Server]\nDriver = ") + kFreeTds + "\n");
  testing::WriteFile(dir / "freetds.conf", "");
  const testing::ScopedEnvironment env(
      {{"ODBCSYSINI", dir.path().string()}, {"FREETDSCONF", (dir / "freetds.conf").string()}});
  testing::RelayServer relay(STRIVEX_MEDIANEX_RELAY_PATH);
  ASSERT_EQ(relay.failure(), "");
  // 0x9A is s with caron in Windows-1250 only; the server is to get it as UTF-16LE.
  const std::string statement = "select 'a\x9A" "b'", arrived("a\0\x61\x01" "b\0", 6);
  for (const uint8_t direct : {1, 0}) {
    SCOPED_TRACE(direct);
    const UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    auto* named = reinterpret_cast<sockaddr*>(&address);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener.get(), named, size) | ::listen(listener.get(), 1) |
                  ::getsockname(listener.get(), named, &size),
              0);
    std::string login, requests;
    std::thread server(ServeTds, listener.get(), std::ref(login), std::ref(requests));
    const std::string connection = SqlServerConnectionString({direct ? "127.0.0.1" : relay.address(), "lab", "u", "p",
                                                              direct, std::to_string(ntohs(address.sin_port)), "7.4",
                                                              "CP1250"});
    if (direct) {
      testing::RunProcess(STRIVEX_CLI_PATH, {"sql", "--connect", connection, "--exec", statement});
    } else {
      BazaDeDate session;
      session.serverAddress = relay.address();
      EXPECT_TRUE(session.DeschidConectie(connection, 0)) << relay.process().err();
      session.SQLCommand(statement, 0);
      session.InchidConectie();
    }
    ::shutdown(listener.get(), SHUT_RDWR);  // for a driver that never came
    server.join();
    EXPECT_EQ(login.find(std::string("\x04\0\0\x74", 4)), 4u) << "no TDS 7.4 login on the configured port";
    EXPECT_NE(requests.find(arrived), std::string::npos) << "not converted from Windows-1250";
  }
}

}  // namespace
}  // namespace strivex
