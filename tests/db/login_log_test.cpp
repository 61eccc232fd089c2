// A failed login's "_acterr.log" entry carries the driver's SQLSTATE and words, never the password.

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "db/baza_de_date.h"
#include "support/temp_dir.h"
#include "support/unused_port.h"

namespace strivex {
namespace {

TEST(LoginLogTest, FailedLoginEntryHasTheSqlStateAndNoPassword) {
  const testing::TempDir dir;
  const testing::ScopedCurrentDir cwd(dir.path());
  // A closed local port (or, without the development environment, a driver that cannot load).
  const std::string secret = "Zq7secret";
  const std::string connection = "Driver={SQL Server}; Server=127.0.0.1; Port=" +
                                 std::to_string(testing::UnusedPort()) + "; Network=; Database=lab; Uid=u;Pwd=" + secret;
  BazaDeDate session;
  ASSERT_FALSE(session.DeschidConectie(connection, 1));
  const std::string log = testing::ReadFile(dir.path() / "_acterr.log");
  const std::string message = session.LastErrorMessage();
  const size_t at = log.find(message + "\r\n");
  ASSERT_NE(at, std::string::npos) << log;
  const std::string added = log.substr(at + message.size() + 2);
  EXPECT_TRUE(std::regex_search(added, std::regex("^[0-9A-Z]{5}: \\S"))) << added;
  EXPECT_EQ(log.find(secret), std::string::npos) << log;
}

}  // namespace
}  // namespace strivex
