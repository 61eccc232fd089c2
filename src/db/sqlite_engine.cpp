#include "db/sqlite_engine.h"

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
#include "sqlite/statement.h"
#include "util/unique_fd.h"

namespace strivex {

namespace {

DbError ErrorOf(const sqlite::Error& failure) {
  DbError error;
  error.detail = failure.message;
  if (error.detail.starts_with("no such table") || error.detail.starts_with("no such view")) {
    error.result = kResultTableMissing;
  } else if (failure.primary() == SQLITE_MISMATCH) {
    error.result = kResultConversion;
  } else {
    error.result = kResultFail;
  }
  return error;
}

DbValue ColumnValue(const sqlite::Statement& stmt, int column) {
  switch (stmt.ColumnType(column)) {
    case SQLITE_INTEGER: {
      const int64_t v = stmt.Int(column);
      if (v >= INT32_MIN && v <= INT32_MAX) return DbValue::Int(static_cast<int32_t>(v));
      DbValue big = DbValue::Real(static_cast<double>(v), VT_DECIMAL);
      big.strVal = std::to_string(v);
      return big;
    }
    case SQLITE_FLOAT:
      return DbValue::Real(stmt.Real(column));
    case SQLITE_TEXT:
    case SQLITE_BLOB:
      return DbValue::Text(stmt.Bytes(column));
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
  bool ReadAll(sqlite::Statement& stmt, DbError& error) {
    const size_t room = budget_->Room();
    size_t bytes = 0;
    const int columns = stmt.ColumnCount();
    for (int i = 0; i < columns; ++i) names_.push_back(stmt.ColumnName(i));
    while (stmt.Step()) {
      std::vector<DbValue>& row = rows_.emplace_back();
      for (int i = 0; i < columns; ++i) bytes += Footprint(row.emplace_back(ColumnValue(stmt, i)));
      if (bytes > room) {
        Close();
        error = budget_->TooLarge();
        return false;
      }
    }
    if (stmt.failed()) error = ErrorOf(stmt.error());
    if (stmt.failed() || !budget_->Take(bytes)) {
      if (!stmt.failed()) error = budget_->TooLarge();
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
    sqlite::Error failure;
    sqlite::Connection db = sqlite::Connection::Open(*source, failure);
    if (!db.ok()) {
      error = ErrorOf(failure);
      return false;
    }
    Confine(db.get());
    // Nor may one value pass what all the sets may hold: SQLite builds a value whole.
    if (resultLimit_ != 0)
      sqlite3_limit(db.get(), SQLITE_LIMIT_LENGTH, static_cast<int>(std::min<size_t>(resultLimit_, INT32_MAX)));
    db.SetBusyTimeout(std::chrono::milliseconds(5000));
    if (isNew && !db.Exec(LocalSchemaSql(), failure)) {
      error = {kResultFail, failure.message};
      return false;
    }
    // A file that is not a database fails here rather than at the first statement.
    if (!db.Exec("SELECT count(*) FROM sqlite_master", failure)) {
      error = ErrorOf(failure);
      return false;
    }
    db_ = std::move(db);
    budget_ = std::make_shared<ResultBudget>(resultLimit_);
    return true;
  }

  std::unique_ptr<ResultSet> Execute(const std::string& sql, DbError& error) override {
    if (!db_.ok()) {
      error = {kResultFail, "not connected", DbFailure::kConnectionLost};
      return nullptr;
    }
    sqlite::Statement stmt(db_, sql);
    if (!stmt.ok()) {
      error = ErrorOf(stmt.error());
      return nullptr;
    }
    auto set = std::make_unique<SqliteResultSet>(budget_);
    if (!stmt.empty() && !set->ReadAll(stmt, error)) return nullptr;
    return set;
  }

  void Close() override { db_ = sqlite::Connection(); }

 private:
  size_t resultLimit_ = 0;
  sqlite::Connection db_;
  std::shared_ptr<ResultBudget> budget_;
};

}  // namespace

std::unique_ptr<DbEngine> MakeSqliteEngine() { return std::make_unique<SqliteEngine>(); }

}  // namespace strivex
