#include "db/odbc_engine.h"

#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "db/connection_string.h"
#include "db/sql_dialect.h"

namespace strivex {

namespace {

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

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
  } else {
    error.detail = "the driver gave no diagnostic";
  }
  return error;
}

// Environment and connection handles, shared by the engine and its open result sets; every call
// on them or on their statements holds the mutex, so the upload thread and the user-interface
// thread can share one connection.
class OdbcConnection {
 public:
  OdbcConnection() {
    if (Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
      SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
      if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) dbc_ = SQL_NULL_HDBC;
    }
  }
  ~OdbcConnection() {
    Disconnect();
    if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  bool Connect(const std::string& connectionString, DbError& error) {
    std::lock_guard lock(mutex);
    if (dbc_ == SQL_NULL_HDBC) {
      error = {kResultFail, "the ODBC driver manager could not be started"};
      return false;
    }
    std::string trimmed = TrimConnectionString(connectionString);
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc =
        SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(trimmed.data()), SQL_NTS, out,
                         sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    if (!Succeeded(rc)) {
      error = DiagnosticOf(SQL_HANDLE_DBC, dbc_);
      error.result = kResultFail;  // a refused connection has no code of its own
      return false;
    }
    connected_ = true;
    SQLCHAR dbms[128] = {};
    SQLSMALLINT dbmsLength = 0;
    SQLGetInfo(dbc_, SQL_DBMS_NAME, dbms, sizeof dbms, &dbmsLength);
    postgres_ = std::strstr(reinterpret_cast<char*>(dbms), "PostgreSQL") != nullptr;
    return true;
  }

  void Disconnect() {
    std::lock_guard lock(mutex);
    if (connected_) SQLDisconnect(dbc_);
    connected_ = false;
  }

  bool connected() const { return connected_; }
  bool postgres() const { return postgres_; }
  SQLHDBC dbc() const { return dbc_; }

  std::mutex mutex;

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  bool postgres_ = false;
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
  OdbcResultSet(std::shared_ptr<OdbcConnection> connection, SQLHSTMT stmt, std::vector<Column> columns)
      : connection_(std::move(connection)), stmt_(stmt), columns_(std::move(columns)) {}
  ~OdbcResultSet() override { Close(); }

  // Fetches the first or next row and reads all its columns; called with the mutex held.
  bool FetchLocked(DbError& error) {
    row_.clear();
    atEnd_ = true;
    if (stmt_ == SQL_NULL_HSTMT) return true;
    const SQLRETURN rc = SQLFetch(stmt_);
    if (rc == SQL_NO_DATA) return true;
    if (!Succeeded(rc)) {
      error = DiagnosticOf(SQL_HANDLE_STMT, stmt_);
      return false;
    }
    row_.resize(columns_.size());
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (!ReadValue(stmt_, static_cast<SQLUSMALLINT>(i + 1), columns_[i].sqlType, row_[i], error)) {
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
    return FetchLocked(error) && !atEnd_;
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
    if (stmt_ != SQL_NULL_HSTMT) {
      std::lock_guard lock(connection_->mutex);
      SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
      stmt_ = SQL_NULL_HSTMT;
    }
    atEnd_ = true;
    row_.clear();
    columns_.clear();  // a closed set has no fields to look up
  }

 private:
  std::shared_ptr<OdbcConnection> connection_;
  SQLHSTMT stmt_;
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
  bool Open(const std::string& connectionString, DbError& error) override {
    Close();
    auto connection = std::make_shared<OdbcConnection>();
    if (!connection->Connect(connectionString, error)) return false;
    if (connection->postgres()) {
      // The development server keeps UTF8; the module's bytes are Windows-1250.
      DbError ignored;
      if (SQLHSTMT stmt = Run(*connection, "SET client_encoding TO 'WIN1250'", ignored)) {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      }
    }
    connection_ = std::move(connection);
    return true;
  }

  std::unique_ptr<ResultSet> Execute(const std::string& sql, DbError& error) override {
    if (!connection_) {
      error = {kResultFail, "not connected"};
      return nullptr;
    }
    std::lock_guard lock(connection_->mutex);
    SQLHSTMT stmt = Run(*connection_, connection_->postgres() ? ToPostgresDialect(sql) : sql, error);
    if (stmt == SQL_NULL_HSTMT) return nullptr;
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    if (columns <= 0) {
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      return std::make_unique<OdbcResultSet>(connection_, SQLHSTMT{SQL_NULL_HSTMT}, std::vector<Column>{});
    }
    auto set = std::make_unique<OdbcResultSet>(connection_, stmt, DescribeColumns(stmt, columns));
    if (!set->FetchLocked(error)) return nullptr;
    return set;
  }

  // The connection ends when the last result set read from it goes, as result sets keep
  // their connection alive.
  void Close() override { connection_.reset(); }

 private:
  // Executes a statement; its handle, or null with `error` set. Called with the mutex held.
  static SQLHSTMT Run(OdbcConnection& connection, const std::string& sql, DbError& error) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, connection.dbc(), &stmt))) {
      error = DiagnosticOf(SQL_HANDLE_DBC, connection.dbc());
      return SQL_NULL_HSTMT;
    }
    std::string text = sql;
    const SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()),
                                       static_cast<SQLINTEGER>(text.size()));
    if (!Succeeded(rc) && rc != SQL_NO_DATA) {
      error = DiagnosticOf(SQL_HANDLE_STMT, stmt);
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      return SQL_NULL_HSTMT;
    }
    return stmt;
  }

  std::shared_ptr<OdbcConnection> connection_;
};

}  // namespace

std::unique_ptr<DbEngine> MakeOdbcEngine() { return std::make_unique<OdbcEngine>(); }

}  // namespace strivex
