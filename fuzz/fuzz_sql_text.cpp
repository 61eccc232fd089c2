// EscapeSqlText, the quoting of every text the module places in a statement.
//
// Property: for any text, SELECT '<escaped text>' on SQLite gives back exactly the text (its
// bytes, in any encoding) and nothing else: one statement, one row, one column. NUL bytes are
// left out: no statement text carries one (the drivers take C strings), so a NUL could only
// shorten a statement, never quote it wrongly.

#include <sqlite3.h>

#include <string>

#include "db/sql_text.h"
#include "fuzz_check.h"

namespace {

sqlite3* Database() {
  static sqlite3* db = [] {
    sqlite3* opened = nullptr;
    FUZZ_CHECK(sqlite3_open_v2(":memory:", &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr) ==
                   SQLITE_OK,
               "in-memory SQLite opens");
    // Whatever the fuzzer writes, it must not reach a file through ATTACH.
    sqlite3_limit(opened, SQLITE_LIMIT_ATTACHED, 0);
    return opened;
  }();
  return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::erase(text, '\0');
  const std::string escaped = strivex::EscapeSqlText(text);
  FUZZ_CHECK(escaped.size() >= text.size(), "escaping never drops a byte");
  const std::string sql = "SELECT '" + escaped + "'";

  sqlite3_stmt* statement = nullptr;
  const char* tail = nullptr;
  FUZZ_CHECK(sqlite3_prepare_v2(Database(), sql.c_str(), static_cast<int>(sql.size() + 1), &statement,
                                &tail) == SQLITE_OK,
             "the quoted text is a valid literal");
  FUZZ_CHECK(tail != nullptr && *tail == '\0', "the literal ends where the statement does");
  FUZZ_CHECK(sqlite3_column_count(statement) == 1, "one column");
  FUZZ_CHECK(sqlite3_step(statement) == SQLITE_ROW, "one row");
  const auto* got = static_cast<const char*>(sqlite3_column_blob(statement, 0));
  const int length = sqlite3_column_bytes(statement, 0);
  FUZZ_CHECK(std::string_view(got ? got : "", static_cast<size_t>(length)) == text,
             "the literal reads back as the text");
  FUZZ_CHECK(sqlite3_step(statement) == SQLITE_DONE, "only one row");
  sqlite3_finalize(statement);
  return 0;
}
