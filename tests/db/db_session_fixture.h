#pragma once
// Sessions on both engines for the same tests: a fresh SQLite file, and the development
// PostgreSQL server named by STRIVEX_LAB_CONNSTR (skipped without it, unless
// STRIVEX_REQUIRE_LAB=1 says the server must be there, as in `./run test`).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/baza_de_date.h"
#include "platform/message_box.h"
#include "support/temp_dir.h"

namespace strivex::testing {

enum class Engine { kSqlite, kPostgres };

std::string EngineName(const ::testing::TestParamInfo<Engine>& info);

// The development server's connection string, or empty.
std::string LabConnectionString();
bool LabDatabaseRequired();

class DbSessionTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens another session on the same database.
  std::unique_ptr<BazaDeDate> OpenSession();
  // A table name no other test process uses at the same time.
  const std::string& Scratch() const { return scratch_; }
  // The error log written so far (the tests run with the temp dir as current directory).
  std::string ErrorLog() const;
  int ErrorLogEntries() const;

  TempDir dir_;
  std::unique_ptr<ScopedCurrentDir> cwd_;
  platform::MessageBoxRecorder boxes_;
  std::unique_ptr<BazaDeDate> db_;
  std::string connection_;
  std::string scratch_;
};

}  // namespace strivex::testing
