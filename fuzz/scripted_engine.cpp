// The database behind the relay in the session target: no driver, no file, no network. The fuzz
// target links this MakeEngine in place of the real one (engine_factory.cpp is then never taken
// from strivex_core), so a hostile connection string or statement cannot load a library, write
// a file or reach a host. The engine answers by words in the text, so the fuzzer finds every
// kind of answer: "fail" refuses, "lost" loses the connection; a statement gives (its length
// % 4) rows of an integer, a text (the statement itself, long ones included), a date and a NULL.

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>

#include "db/db_engine.h"

namespace strivex {

namespace {

class ScriptedRows final : public ResultSet {
 public:
  ScriptedRows(std::string sql, int rows) : sql_(std::move(sql)), left_(rows) {}
  bool AtEnd() const override { return left_ <= 0; }
  bool Next(DbError& error) override {
    if (left_ <= 0) return false;
    if (--left_ == 1 && sql_.find("lost") != std::string::npos) {
      error = DbError{kResultFail, "lost while reading", DbFailure::kConnectionLost};
      left_ = 0;
      return false;
    }
    return left_ > 0;
  }
  std::optional<size_t> ColumnIndex(std::string_view name) const override {
    const auto names = ColumnNames();
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i].size() == name.size() &&
          std::equal(name.begin(), name.end(), names[i].begin(),
                     [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
        return i;
      }
    }
    return std::nullopt;
  }
  DbValue Value(size_t column) const override {
    if (left_ <= 0) return DbValue::Empty();
    switch (column) {
      case 0: return DbValue::Int(left_);
      case 1: return DbValue::Text(sql_);
      case 2: return DbValue::Real(45000.5 + left_, VT_DATE);
      default: return DbValue::Empty();
    }
  }
  std::vector<std::string> ColumnNames() const override {
    if (closed_) return {};
    return {"id", "text", "moment", "nothing"};
  }
  void Close() override {
    closed_ = true;
    left_ = 0;
  }

 private:
  std::string sql_;
  int left_;
  bool closed_ = false;
};

class ScriptedEngine final : public DbEngine {
 public:
  bool Open(const std::string& connectionString, const DbTimeouts&, DbError& error) override {
    open_ = false;
    if (connectionString.find("fail") != std::string::npos) {
      error = DbError{kResultFail, "refused", DbFailure::kRejected};
      return false;
    }
    if (connectionString.find("lost") != std::string::npos) {
      error = DbError{kResultFail, "no answer", DbFailure::kConnectionLost};
      return false;
    }
    open_ = true;
    return true;
  }
  std::unique_ptr<ResultSet> Execute(const std::string& sql, DbError& error) override {
    if (!open_ || sql.find("lost") == 0) {
      open_ = false;
      error = DbError{kResultFail, "connection lost", DbFailure::kConnectionLost};
      return nullptr;
    }
    if (sql.find("fail") != std::string::npos) {
      error = DbError{kResultTableMissing, "no such table", DbFailure::kRejected};
      return nullptr;
    }
    return std::make_unique<ScriptedRows>(sql, static_cast<int>(sql.size() % 4));
  }
  void Close() override { open_ = false; }

 private:
  bool open_ = false;
};

}  // namespace

std::unique_ptr<DbEngine> MakeEngine(std::string_view) { return std::make_unique<ScriptedEngine>(); }

}  // namespace strivex
