#include "db/db_session_fixture.h"

#include <unistd.h>

#include <cstdlib>

#include "db/connection_string.h"
#include "support/requirements.h"

namespace strivex::testing {

std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
  return info.param == Engine::kSqlite ? "Sqlite" : "Postgres";
}

std::string LabConnectionString() {
  const char* value = std::getenv("STRIVEX_LAB_CONNSTR");
  return value ? value : "";
}

bool LabDatabaseRequired() { return LabRequiredByRun(); }

void DbSessionTest::SetUp() {
  cwd_ = std::make_unique<ScopedCurrentDir>(dir_.path());
  scratch_ = "scratch_" + std::to_string(getpid());
  if (GetParam() == Engine::kSqlite) {
    connection_ = JetConnectionString((dir_ / "local.db").string(), "");
  } else {
    connection_ = LabConnectionString();
    if (connection_.empty())
      STRIVEX_SKIP_UNLESS_REQUIRED(LabDatabaseRequired(), "no development server (STRIVEX_LAB_CONNSTR)");
  }
  db_ = OpenSession();
  ASSERT_TRUE(db_) << ErrorLog();
  db_->SQLCommand("DROP TABLE IF EXISTS " + scratch_, 0);
  ASSERT_TRUE(db_->SQLCommand("CREATE TABLE " + scratch_ +
                                  " (id integer, name varchar(200), val varchar(2000), d timestamp)",
                              0))
      << ErrorLog();
}

void DbSessionTest::TearDown() {
  if (db_ && db_->connected.load() == 1) db_->SQLCommand("DROP TABLE IF EXISTS " + scratch_, 0);
  db_.reset();
  cwd_.reset();
}

std::unique_ptr<BazaDeDate> DbSessionTest::OpenSession() {
  auto session = std::make_unique<BazaDeDate>();
  if (!session->DeschidConectie(connection_, 1)) return nullptr;
  return session;
}

std::string DbSessionTest::ErrorLog() const { return ReadFile(dir_ / "_acterr.log"); }

int DbSessionTest::ErrorLogEntries() const {
  const std::string log = ErrorLog();
  int entries = 0;
  for (size_t at = log.find("\r\n************"); at != std::string::npos;
       at = log.find("\r\n************", at + 1)) {
    ++entries;
  }
  return entries;
}

}  // namespace strivex::testing
