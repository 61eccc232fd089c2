#include "db/sqlite_engine.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "db/connection_string.h"
#include "db/result_budget.h"
#include "util/unique_fd.h"

namespace strivex {

namespace {

// One open database file, shared by the engine and the result sets read from it.
class SqliteFile {
 public:
  explicit SqliteFile(sqlite3* db) : db_(db) {}
  ~SqliteFile() { sqlite3_close_v2(db_); }
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;
  sqlite3* get() const { return db_; }

 private:
  sqlite3* db_;
};

// A prepared statement, finalized with its owner.
struct StatementFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// A message SQLite allocated, freed with its owner.
struct SqliteFree {
  void operator()(char* text) const { sqlite3_free(text); }
};

DbError ErrorOf(sqlite3* db, int code) {
  DbError error;
  error.detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  if (error.detail.starts_with("no such table") || error.detail.starts_with("no such view")) {
    error.result = kResultTableMissing;
  } else if ((code & 0xFF) == SQLITE_MISMATCH) {
    error.result = kResultConversion;
  } else {
    error.result = kResultFail;
  }
  return error;
}

DbValue ColumnValue(sqlite3_stmt* stmt, int column) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER: {
      const sqlite3_int64 v = sqlite3_column_int64(stmt, column);
      if (v >= INT32_MIN && v <= INT32_MAX) return DbValue::Int(static_cast<int32_t>(v));
      DbValue big = DbValue::Real(static_cast<double>(v), VT_DECIMAL);
      big.strVal = std::to_string(v);
      return big;
    }
    case SQLITE_FLOAT:
      return DbValue::Real(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
      const int size = sqlite3_column_bytes(stmt, column);
      return DbValue::Text(bytes ? std::string(bytes, static_cast<size_t>(size)) : std::string());
    }
    default:
      return DbValue::Empty();
  }
}

// What a value takes in memory, near enough for a budget.
size_t Footprint(const DbValue& value) { return sizeof value + value.strVal.capacity(); }

// The local tables are small: a result set reads all its rows at once and lets go of the file,
// so a set left open in a slot never holds a lock that another connection would wait for. A
// statement may still produce rows without end, so what the rows take is counted against the
// connection's budget.
class SqliteResultSet : public ResultSet {
 public:
  explicit SqliteResultSet(std::shared_ptr<ResultBudget> budget) : budget_(std::move(budget)) {}
  ~SqliteResultSet() override { Close(); }

  // Reads every row of the statement; false with `error` on failure or when the rows would not
  // fit the budget.
  bool ReadAll(sqlite3* db, sqlite3_stmt* stmt, DbError& error) {
    const size_t room = budget_->Room();
    size_t bytes = 0;
    const int columns = sqlite3_column_count(stmt);
    for (int i = 0; i < columns; ++i) {
      const char* name = sqlite3_column_name(stmt, i);
      names_.emplace_back(name ? name : "");
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      std::vector<DbValue>& row = rows_.emplace_back();
      for (int i = 0; i < columns; ++i) bytes += Footprint(row.emplace_back(ColumnValue(stmt, i)));
      if (bytes > room) {
        Close();
        error = budget_->TooLarge();
        return false;
      }
    }
    if (rc != SQLITE_DONE) error = ErrorOf(db, rc);
    if (rc != SQLITE_DONE || !budget_->Take(bytes)) {
      if (rc == SQLITE_DONE) error = budget_->TooLarge();
      Close();
      return false;
    }
    heldBytes_ = bytes;
    return true;
  }

  bool AtEnd() const override { return current_ >= rows_.size(); }
  bool Next(DbError&) override {
    if (AtEnd()) return false;
    ++current_;
    return !AtEnd();
  }
  std::optional<size_t> ColumnIndex(std::string_view name) const override {
    for (size_t i = 0; i < names_.size(); ++i) {
      if (names_[i].size() == name.size() &&
          std::equal(name.begin(), name.end(), names_[i].begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
          })) {
        return i;
      }
    }
    return std::nullopt;
  }
  DbValue Value(size_t column) const override {
    return AtEnd() || column >= rows_[current_].size() ? DbValue::Empty() : rows_[current_][column];
  }
  std::vector<std::string> ColumnNames() const override { return names_; }
  void Close() override {
    rows_.clear();
    names_.clear();  // a closed set has no fields to look up
    current_ = 0;
    budget_->Release(std::exchange(heldBytes_, 0));
  }

 private:
  std::shared_ptr<ResultBudget> budget_;
  size_t heldBytes_ = 0;  // of the budget
  std::vector<std::string> names_;
  std::vector<std::vector<DbValue>> rows_;
  size_t current_ = 0;
};

// Creates the file owner-only and empty; SQLite then sees a new database.
bool CreateEmptyFile(const std::string& path) {
  const UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  return file.valid() || errno == EEXIST;
}

// Local files stay inside the folder they were opened from: no statement may open, create or
// load another file (VACUUM attaches its target, INTO or not), nor move the process's temporary
// files.
int Authorize(void*, int action, const char* first, const char* second, const char*, const char*) {
  const auto named = [](const char* name, std::initializer_list<const char*> denied) {
    return name != nullptr && std::any_of(denied.begin(), denied.end(), [name](const char* d) {
             return sqlite3_stricmp(name, d) == 0;
           });
  };
  switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
      return SQLITE_DENY;
    case SQLITE_FUNCTION:  // the tokenizer function takes a pointer to code
      return named(second, {"load_extension", "fts3_tokenizer"}) ? SQLITE_DENY : SQLITE_OK;
    case SQLITE_PRAGMA:
      return named(first, {"temp_store_directory", "data_store_directory"}) ? SQLITE_DENY : SQLITE_OK;
    default:
      return SQLITE_OK;
  }
}

void Confine(sqlite3* db) {
  sqlite3_set_authorizer(db, Authorize, nullptr);
  sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
}

class SqliteEngine : public DbEngine {
 public:
  void LimitResults(size_t bytes) override { resultLimit_ = bytes; }

  // The local file has no login; waits for another connection's lock end after 5 s as always.
  bool Open(const std::string& connectionString, const DbTimeouts&, DbError& error) override {
    Close();
    const auto source = ConnectionValue(connectionString, "Data Source");
    if (!source || source->empty()) {
      error = {kResultFail, "no Data Source in the connection string"};
      return false;
    }
    const bool isNew = ::access(source->c_str(), F_OK) != 0;
    if (isNew && !CreateEmptyFile(*source)) {
      error = {kResultFail, std::string("cannot create ") + *source + ": " + std::strerror(errno)};
      return false;
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(source->c_str(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    auto file = std::make_shared<SqliteFile>(db);  // a failed open still gives a handle to close
    if (rc != SQLITE_OK) {
      error = ErrorOf(db, rc);
      return false;
    }
    Confine(db);
    // Nor may one value pass what all the sets may hold: SQLite builds a value whole.
    if (resultLimit_ != 0)
      sqlite3_limit(db, SQLITE_LIMIT_LENGTH, static_cast<int>(std::min<size_t>(resultLimit_, INT32_MAX)));
    sqlite3_busy_timeout(db, 5000);
    if (isNew) {
      char* text = nullptr;
      const int created = sqlite3_exec(db, LocalSchemaSql(), nullptr, nullptr, &text);
      const std::unique_ptr<char, SqliteFree> message(text);
      if (created != SQLITE_OK) {
        error = {kResultFail, message ? message.get() : "cannot create the schema"};
        return false;
      }
    }
    // A file that is not a database fails here rather than at the first statement.
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK) {
      error = ErrorOf(db, sqlite3_errcode(db));
      return false;
    }
    file_ = std::move(file);
    budget_ = std::make_shared<ResultBudget>(resultLimit_);
    return true;
  }

  std::unique_ptr<ResultSet> Execute(const std::string& sql, DbError& error) override {
    if (!file_) {
      error = {kResultFail, "not connected", DbFailure::kConnectionLost};
      return nullptr;
    }
    sqlite3_stmt* prepared = nullptr;
    const int rc =
        sqlite3_prepare_v2(file_->get(), sql.c_str(), static_cast<int>(sql.size()), &prepared, nullptr);
    const Statement stmt(prepared);
    if (rc != SQLITE_OK) {
      error = ErrorOf(file_->get(), rc);
      return nullptr;
    }
    auto set = std::make_unique<SqliteResultSet>(budget_);
    if (stmt && !set->ReadAll(file_->get(), stmt.get(), error)) return nullptr;
    return set;
  }

  void Close() override { file_.reset(); }

 private:
  size_t resultLimit_ = 0;
  std::shared_ptr<SqliteFile> file_;
  std::shared_ptr<ResultBudget> budget_;
};

}  // namespace

std::unique_ptr<DbEngine> MakeSqliteEngine() { return std::make_unique<SqliteEngine>(); }

}  // namespace strivex
