#include "db/connection_string.h"
#include "db/db_engine.h"
#include "db/odbc_process_engine.h"
#include "db/sqlite_engine.h"

namespace strivex {

std::unique_ptr<DbEngine> MakeEngine(std::string_view connectionString) {
  return IsJetConnectionString(connectionString) ? MakeSqliteEngine() : MakeOdbcProcessEngine();
}

}  // namespace strivex
