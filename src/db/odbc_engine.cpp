#include "db/odbc_engine.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "db/abort_target.h"
#include "db/connection_string.h"
#include "db/driver_wire.h"
#include "db/sql_dialect.h"
#include "util/format.h"

namespace strivex {

namespace {

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// A wait as the ODBC attributes take it: whole seconds, at least one (0 would mean no limit).
SQLULEN Seconds(std::chrono::milliseconds wait) {
  return static_cast<SQLULEN>(std::max<std::chrono::milliseconds::rep>(1, (wait.count() + 999) / 1000));
}

SQLPOINTER AsAttribute(SQLULEN value) { return reinterpret_cast<SQLPOINTER>(value); }

// The first diagnostic record of a handle as an error: its SQLSTATE decides the result code.
DbError DiagnosticOf(SQLSMALLINT handleType, SQLHANDLE handle) {
  DbError error;
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[1024] = {};
  SQLSMALLINT length = 0;
  if (Succeeded(SQLGetDiagRec(handleType, handle, 1, state, &native, text, sizeof text, &length))) {
    const std::string sqlState(reinterpret_cast<char*>(state));
    error.result = ResultFromSqlState(sqlState);
    error.detail = sqlState + ": " + reinterpret_cast<char*>(text);
    error.failure = FailureFromSqlState(sqlState);
  } else {
    error.detail = "the driver gave no diagnostic";
  }
  return error;
}

// An ODBC handle of one type, freed with its owner.
class OdbcHandle {
 public:
  explicit OdbcHandle(SQLSMALLINT type) : type_(type) {}
  ~OdbcHandle() { Reset(); }
  OdbcHandle(OdbcHandle&& other) noexcept
      : type_(other.type_), handle_(std::exchange(other.handle_, nullptr)) {}
  OdbcHandle& operator=(OdbcHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      type_ = other.type_;
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;

  // Allocates a new handle under `parent`; false (and none held) when the driver refuses.
  bool Allocate(SQLHANDLE parent) {
    Reset();
    if (Succeeded(SQLAllocHandle(type_, parent, &handle_))) return true;
    handle_ = nullptr;
    return false;
  }
  SQLHANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr; }
  void Reset() {
    if (handle_ != nullptr) SQLFreeHandle(type_, handle_);
    handle_ = nullptr;
  }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = nullptr;
};

// Environment and connection handles, shared by the engine and its open result sets; every call
// on them or on their statements holds the mutex, so that calls take turns. Calls have no
// deadline here: the engine runs in a helper process that its parent ends at the deadline
// (odbc_process_engine.h).
class OdbcConnection {
 public:
  OdbcConnection() {
    if (env_.Allocate(SQL_NULL_HANDLE)) {
      SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
      dbc_.Allocate(env_.get());
    }
  }
  // The connection ends before its handles go (the connection handle before the environment's).
  ~OdbcConnection() { Disconnect(); }
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  bool Connect(const std::string& connectionString, const DbTimeouts& timeouts, DbError& error) {
    std::lock_guard lock(mutex);
    if (!dbc_.valid()) {
      error = {kResultFail, "the ODBC driver manager could not be started"};
      return false;
    }
    // psqlODBC bounds the login with the first (libpq's connect_timeout); FreeTDS takes the
    // connection time-out for its network reads.
    querySeconds_ = Seconds(timeouts.query);
    SQLSetConnectAttr(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT, AsAttribute(Seconds(timeouts.login)), 0);
    SQLSetConnectAttr(dbc_.get(), SQL_ATTR_CONNECTION_TIMEOUT, AsAttribute(querySeconds_), 0);
    std::string trimmed = TrimConnectionString(connectionString);
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnect(dbc_.get(), nullptr, reinterpret_cast<SQLCHAR*>(trimmed.data()), SQL_NTS,
                                          out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    if (!Succeeded(rc)) {
      error = DiagnosticOf(SQL_HANDLE_DBC, dbc_.get());
      error.result = kResultFail;  // a refused connection has no code of its own
      return false;
    }
    connected_ = true;
    SQLCHAR dbms[128] = {};
    SQLSMALLINT dbmsLength = 0;
    SQLGetInfo(dbc_.get(), SQL_DBMS_NAME, dbms, sizeof dbms, &dbmsLength);
    postgres_ = std::strstr(reinterpret_cast<char*>(dbms), "PostgreSQL") != nullptr;
    return true;
  }

  void Disconnect() {
    std::lock_guard lock(mutex);
    if (connected_) SQLDisconnect(dbc_.get());
    connected_ = false;
  }

  // Asks the driver to stop the statement in flight, from any thread: a live server then ends it
  // rather than run it to its end. The statement and every later one fail as a lost connection.
  void Cancel() {
    cancelled_.store(true);
    std::lock_guard lock(runningMutex_);
    if (running_ != SQL_NULL_HSTMT) SQLCancel(running_);
  }
  bool cancelled() const { return cancelled_.load(); }

  // While it lives (with the mutex held), `stmt` is the statement Cancel stops.
  class Running {
   public:
    Running(OdbcConnection& connection, SQLHSTMT stmt) : connection_(connection) { Set(stmt); }
    ~Running() { Set(SQL_NULL_HSTMT); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

   private:
    void Set(SQLHSTMT stmt) {
      std::lock_guard lock(connection_.runningMutex_);
      connection_.running_ = stmt;
    }
    OdbcConnection& connection_;
  };

  // A failure after a cancel, or on a connection the driver knows is gone, is a lost connection.
  void Classify(DbError& error) const {
    if (cancelled()) {
      error.failure = DbFailure::kConnectionLost;
      error.detail = "the statement was cancelled (" + error.detail + ")";
    } else if (Dead()) {
      error.failure = DbFailure::kConnectionLost;
    }
  }

  bool connected() const { return connected_; }
  bool postgres() const { return postgres_; }
  SQLHDBC dbc() const { return dbc_.get(); }
  SQLULEN querySeconds() const { return querySeconds_; }
  // Whether the driver knows the connection is gone; called with the mutex held. The SQLSTATE of
  // the failure that revealed it need not say so (psqlODBC gives the server's 57P01, say).
  bool Dead() const {
    SQLUINTEGER dead = SQL_CD_FALSE;
    return Succeeded(SQLGetConnectAttr(dbc_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
           dead == SQL_CD_TRUE;
  }

  std::mutex mutex;

 private:
  OdbcHandle env_{SQL_HANDLE_ENV};
  OdbcHandle dbc_{SQL_HANDLE_DBC};
  bool connected_ = false;
  bool postgres_ = false;
  SQLULEN querySeconds_ = 0;
  std::atomic<bool> cancelled_{false};
  std::mutex runningMutex_;                // never held across a driver call but SQLCancel
  SQLHSTMT running_ = SQL_NULL_HSTMT;  // under runningMutex_
};

struct Column {
  std::string name;
  SQLSMALLINT sqlType = 0;
};

// Reads one column of the current row; false with `error` when the driver fails.
bool ReadText(SQLHSTMT stmt, SQLUSMALLINT column, std::string& text, bool& isNull, DbError& error) {
  text.clear();
  isNull = false;
  char buffer[4096];
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) return true;
    if (!Succeeded(rc)) {
      error = DiagnosticOf(SQL_HANDLE_STMT, stmt);
      return false;
    }
    if (indicator == SQL_NULL_DATA) {
      isNull = true;
      return true;
    }
    const size_t got = (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer))
                           ? sizeof buffer - 1
                           : static_cast<size_t>(indicator);
    // The whole length, when the driver tells it: appending by doubling would take twice the value.
    if (text.empty() && indicator != SQL_NO_TOTAL && indicator > 0) text.reserve(static_cast<size_t>(indicator));
    text.append(buffer, got);
    if (rc == SQL_SUCCESS) return true;  // SQL_SUCCESS_WITH_INFO: more of a long text follows
  }
}

bool ReadValue(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT sqlType, DbValue& value, DbError& error) {
  SQLLEN indicator = 0;
  value = DbValue::Empty();
  switch (sqlType) {
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_INTEGER:
    case SQL_BIT: {
      SQLINTEGER v = 0;
      if (!Succeeded(SQLGetData(stmt, column, SQL_C_SLONG, &v, 0, &indicator))) break;
      if (indicator == SQL_NULL_DATA) return true;
      if (sqlType == SQL_BIT) value = DbValue::Int(v ? -1 : 0, VT_BOOL);
      else value = DbValue::Int(v, sqlType == SQL_INTEGER ? VT_I4 : VT_I2);
      return true;
    }
    case SQL_BIGINT: {
      SQLBIGINT v = 0;
      if (!Succeeded(SQLGetData(stmt, column, SQL_C_SBIGINT, &v, 0, &indicator))) break;
      if (indicator == SQL_NULL_DATA) return true;
      if (v >= INT32_MIN && v <= INT32_MAX) {
        value = DbValue::Int(static_cast<int32_t>(v));
      } else {
        value = DbValue::Real(static_cast<double>(v), VT_DECIMAL);
        value.strVal = std::to_string(v);
      }
      return true;
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: {
      double v = 0;
      if (!Succeeded(SQLGetData(stmt, column, SQL_C_DOUBLE, &v, 0, &indicator))) break;
      if (indicator != SQL_NULL_DATA) value = DbValue::Real(v);
      return true;
    }
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT t{};
      if (!Succeeded(SQLGetData(stmt, column, SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &indicator))) break;
      if (indicator == SQL_NULL_DATA) return true;
      const double second = t.second + t.fraction / 1e9;
      value = DbValue::Real(sqlType == SQL_TYPE_TIME
                                ? OleDateFromParts(1899, 12, 30, t.hour, t.minute, second)
                                : OleDateFromParts(t.year, t.month, t.day, t.hour, t.minute, second),
                            VT_DATE);
      return true;
    }
    default: {
      std::string text;
      bool isNull = false;
      if (!ReadText(stmt, column, text, isNull, error)) return false;
      if (isNull) return true;
      if (sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL) {
        value = DbValue::Real(std::strtod(text.c_str(), nullptr), VT_DECIMAL);
        value.strVal = std::move(text);
      } else {
        value = DbValue::Text(std::move(text));
      }
      return true;
    }
  }
  error = DiagnosticOf(SQL_HANDLE_STMT, stmt);
  return false;
}

class OdbcResultSet : public ResultSet {
 public:
  OdbcResultSet(std::shared_ptr<OdbcConnection> connection, OdbcHandle stmt, std::vector<Column> columns)
      : connection_(std::move(connection)), stmt_(std::move(stmt)), columns_(std::move(columns)) {}
  ~OdbcResultSet() override { Close(); }

  // Fetches the first or next row and reads all its columns; called with the mutex held.
  bool FetchLocked(DbError& error) {
    row_.clear();
    atEnd_ = true;
    if (!stmt_.valid()) return true;
    const SQLRETURN rc = SQLFetch(stmt_.get());
    if (rc == SQL_NO_DATA) return true;
    if (!Succeeded(rc)) {
      error = DiagnosticOf(SQL_HANDLE_STMT, stmt_.get());
      return false;
    }
    row_.resize(columns_.size());
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (!ReadValue(stmt_.get(), static_cast<SQLUSMALLINT>(i + 1), columns_[i].sqlType, row_[i], error)) {
        row_.clear();
        return false;
      }
    }
    atEnd_ = false;
    return true;
  }

  bool AtEnd() const override { return atEnd_; }
  bool Next(DbError& error) override {
    if (atEnd_) return false;
    std::lock_guard lock(connection_->mutex);
    const OdbcConnection::Running running(*connection_, stmt_.get());
    if (FetchLocked(error)) return !atEnd_;
    connection_->Classify(error);
    return false;
  }
  std::optional<size_t> ColumnIndex(std::string_view name) const override {
    for (size_t i = 0; i < columns_.size(); ++i) {
      const std::string& have = columns_[i].name;
      if (have.size() == name.size() &&
          std::equal(name.begin(), name.end(), have.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
          })) {
        return i;
      }
    }
    return std::nullopt;
  }
  DbValue Value(size_t column) const override {
    return atEnd_ || column >= row_.size() ? DbValue::Empty() : row_[column];
  }
  std::vector<std::string> ColumnNames() const override {
    std::vector<std::string> names;
    for (const Column& column : columns_) names.push_back(column.name);
    return names;
  }
  void Close() override {
    // Only freeing the statement needs the connection's lock.
    std::unique_lock<std::mutex> lock;
    if (stmt_.valid()) lock = std::unique_lock(connection_->mutex);
    CloseLocked();
  }
  // Close, for a caller that holds the mutex or has no statement.
  void CloseLocked() {
    stmt_.Reset();
    atEnd_ = true;
    row_.clear();
    columns_.clear();  // a closed set has no fields to look up
  }

 private:
  std::shared_ptr<OdbcConnection> connection_;
  OdbcHandle stmt_;
  std::vector<Column> columns_;
  std::vector<DbValue> row_;
  bool atEnd_ = true;
};

std::vector<Column> DescribeColumns(SQLHSTMT stmt, SQLSMALLINT count) {
  std::vector<Column> columns;
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
    SQLCHAR name[256] = {};
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeCol(stmt, i, name, sizeof name, &nameLength, &type, &size, &digits, &nullable);
    columns.push_back({reinterpret_cast<char*>(name), type});
  }
  return columns;
}

class OdbcEngine : public DbEngine {
 public:
  bool Open(const std::string& connectionString, const DbTimeouts& timeouts, DbError& error) override {
    Close();
    auto connection = std::make_shared<OdbcConnection>();
    live_.Set(connection);  // from now on Abort reaches the login too, once the driver returns from it
    if (!connection->Connect(connectionString, timeouts, error)) return false;
    if (connection->postgres()) {
      // The development server keeps UTF8; the module's bytes are Windows-1250.
      DbError ignored;
      std::lock_guard lock(connection->mutex);
      Run(*connection, "SET client_encoding TO 'WIN1250'", ignored);
    }
    if (connection->cancelled()) {
      error = {kResultFail, "the login was cancelled", DbFailure::kConnectionLost};
      return false;
    }
    connection_ = std::move(connection);
    return true;
  }

  std::unique_ptr<ResultSet> Execute(const std::string& sql, DbError& error) override {
    if (!connection_) {
      error = {kResultFail, "not connected", DbFailure::kConnectionLost};
      return nullptr;
    }
    std::lock_guard lock(connection_->mutex);
    if (connection_->cancelled()) {
      error = {kResultFail, "the connection's statements were cancelled", DbFailure::kConnectionLost};
      return nullptr;
    }
    OdbcHandle stmt = NewStatement(*connection_, error);
    if (!stmt.valid()) return nullptr;
    std::unique_ptr<OdbcResultSet> set;
    bool read = false;
    try {
      const OdbcConnection::Running running(*connection_, stmt.get());
      read = ExecuteAndFetch(stmt, sql, set, error);
    } catch (const std::bad_alloc&) {
      // Caught here: unwound, the set's own Close would wait for the mutex held here.
      error = DriverOutOfMemory();
    }
    if (read) return set;
    if (set) set->CloseLocked();  // the set's own Close would wait for the mutex held here
    connection_->Classify(error);
    return nullptr;
  }

  // The connection ends when the last result set read from it goes, as result sets keep
  // their connection alive.
  void Close() override {
    connection_.reset();
    live_.Set(nullptr);
  }

  void Abort() override {
    if (const std::shared_ptr<OdbcConnection> live = live_.Get()) live->Cancel();
  }

 private:
  // Runs `stmt` and reads the first row into `set`, which takes the handle when the statement has
  // rows; false with `error`. Called with the mutex held.
  bool ExecuteAndFetch(OdbcHandle& stmt, const std::string& sql, std::unique_ptr<OdbcResultSet>& set,
                       DbError& error) {
    if (!ExecDirect(stmt, connection_->postgres() ? ToPostgresDialect(sql) : sql, error)) return false;
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt.get(), &columns);
    if (columns <= 0) {
      set = std::make_unique<OdbcResultSet>(connection_, OdbcHandle(SQL_HANDLE_STMT), std::vector<Column>{});
      return true;
    }
    std::vector<Column> described = DescribeColumns(stmt.get(), columns);
    set = std::make_unique<OdbcResultSet>(connection_, std::move(stmt), std::move(described));
    return set->FetchLocked(error);
  }

  // A statement handle bounded by the query time-out, or none with `error` set. Called with the
  // mutex held.
  static OdbcHandle NewStatement(OdbcConnection& connection, DbError& error) {
    OdbcHandle stmt(SQL_HANDLE_STMT);
    if (!stmt.Allocate(connection.dbc())) {
      error = DiagnosticOf(SQL_HANDLE_DBC, connection.dbc());
      if (connection.Dead()) error.failure = DbFailure::kConnectionLost;
      return stmt;
    }
    SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT, AsAttribute(connection.querySeconds()), 0);
    return stmt;
  }

  // Executes `sql` on `stmt`; false with `error` set.
  static bool ExecDirect(const OdbcHandle& stmt, const std::string& sql, DbError& error) {
    std::string text = sql;
    const SQLRETURN rc = SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(text.data()),
                                       static_cast<SQLINTEGER>(text.size()));
    if (Succeeded(rc) || rc == SQL_NO_DATA) return true;
    error = DiagnosticOf(SQL_HANDLE_STMT, stmt.get());
    return false;
  }

  // Executes a statement whose rows nobody reads. Called with the mutex held.
  static void Run(OdbcConnection& connection, const std::string& sql, DbError& error) {
    const OdbcHandle stmt = NewStatement(connection, error);
    if (stmt.valid()) ExecDirect(stmt, sql, error);
  }

  std::shared_ptr<OdbcConnection> connection_;
  AbortTarget<OdbcConnection> live_;
};

}  // namespace

std::unique_ptr<DbEngine> MakeOdbcEngine() { return std::make_unique<OdbcEngine>(); }

}  // namespace strivex
