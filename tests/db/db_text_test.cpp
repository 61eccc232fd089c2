#include <gtest/gtest.h>

#include "db/connection_string.h"
#include "db/db_error.h"
#include "db/db_value.h"
#include "db/sql_dialect.h"
#include "db/sql_text.h"

namespace strivex {
namespace {

TEST(DbError, CodesAndTexts) {
  const struct {
    uint32_t result;
    uint16_t code, stored;
    const char* text;
  } cases[] = {
      {kResultTableMissing, 3127, 3127, "IDispatch error #3127"},
      {kResultConversion, 3079, 3079, "IDispatch error #3079"},
      {kResultFail, 0, 0xFFFF, "Unspecified error"},
      {0x80040200, 0, 0xFFFF, "Unknown error 0x80040200"},
      {0x8004FFFF, 0xFDFF, 0xFDFF, "IDispatch error #65023"},
      {0x800A0CC1, 0, 0xFFFF, "Unknown error 0x800A0CC1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorCodeOf(c.result), c.code) << std::hex << c.result;
    EXPECT_EQ(StoredErrorCode(c.result), c.stored) << std::hex << c.result;
    EXPECT_EQ(ErrorText(c.result), c.text) << std::hex << c.result;
  }
  EXPECT_EQ(ResultFromSqlState("42S02"), kResultTableMissing);
  EXPECT_EQ(ResultFromSqlState("42P01"), kResultTableMissing);
  EXPECT_EQ(ResultFromSqlState("22018"), kResultConversion);
  EXPECT_EQ(ResultFromSqlState("22P02"), kResultConversion);
  EXPECT_EQ(ResultFromSqlState("42601"), kResultFail);
}

TEST(DbError, FailureKindsOfSqlStates) {
  const struct {
    const char* sqlState;
    DbFailure failure;
  } cases[] = {
      {"08001", DbFailure::kConnectionLost}, {"08S01", DbFailure::kConnectionLost},
      {"08006", DbFailure::kConnectionLost}, {"HYT00", DbFailure::kConnectionLost},
      {"HYT01", DbFailure::kConnectionLost}, {"57014", DbFailure::kConnectionLost},
      {"57P01", DbFailure::kConnectionLost}, {"57P03", DbFailure::kConnectionLost},
      {"42883", DbFailure::kRejected},       {"23502", DbFailure::kRejected},
      {"42S02", DbFailure::kRejected},       {"22P02", DbFailure::kRejected},
      {"HY000", DbFailure::kRejected},       {"28P01", DbFailure::kRejected},
      {"57000", DbFailure::kRejected},       {"", DbFailure::kRejected},
  };
  for (const auto& c : cases) EXPECT_EQ(FailureFromSqlState(c.sqlState), c.failure) << c.sqlState;
}

TEST(SqlDialect, ProcedureCallsAndBracketsForPostgres) {
  const struct {
    const char* sql;
    const char* expected;
  } cases[] = {
      {" exec L_RESULT_INSERT 1021,5,3,4,'neg',' ',1 ", "CALL L_RESULT_INSERT(1021,5,3,4,'neg',' ',1)"},
      {"EXEC P", "CALL P()"},
      {"Exec\tP 1", "CALL P(1)"},
      {"exec L_RESULT_INSERT 1,2,3,4,'[x] it''s [y]',' ',1",
       "CALL L_RESULT_INSERT(1,2,3,4,'[x] it''s [y]',' ',1)"},
      {"SELECT * FROM WORK_LIST WHERE MachineID=5 order by [RequestID]",
       "SELECT * FROM WORK_LIST WHERE MachineID=5 order by RequestID"},
      {"INSERT INTO MACHINE_SETTINGS ([MachineID],[NAME],[VALUE]) Values (5,'port','com1')",
       "INSERT INTO MACHINE_SETTINGS (MachineID,NAME,VALUE) Values (5,'port','com1')"},
      {"select 'a[b]' from t where [x]='[y]'", "select 'a[b]' from t where x='[y]'"},
      {"executive summary", "executive summary"},
      {"select exec from t", "select exec from t"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToPostgresDialect(c.sql), c.expected) << c.sql;
}

TEST(SqlText, QuotesAreDoubled) {
  EXPECT_EQ(EscapeSqlText("O'Brien"), "O''Brien");
  EXPECT_EQ(EscapeSqlText("''"), "''''");
  EXPECT_EQ(EscapeSqlText("plain \xB5"), "plain \xB5");
  EXPECT_EQ(EscapeSqlText(""), "");
}

TEST(ConnectionString, FormatsOfTheSystem) {
  EXPECT_EQ(JetConnectionString("/var/lib/lab/local.mdb", "quomar"),
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/var/lib/lab/local.mdb ;Mode=ReadWrite;"
            "Persist Security Info=False;Jet OLEDB:Database Password=quomar ;");
  EXPECT_EQ(JetConnectionString("local.mdb", ""),
            "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=local.mdb ");
  EXPECT_EQ(SqlServerConnectionString({"srv", "lab", "u", "p"}),
            "Driver={SQL Server}; Server=srv; Network=; Database=lab; Uid=u;Pwd=p");
}

TEST(ConnectionString, ValuesAndTrimming) {
  const std::string jet = JetConnectionString("/tmp/a b.db", "x");
  EXPECT_TRUE(IsJetConnectionString(jet));
  EXPECT_EQ(ConnectionValue(jet, "data source"), "/tmp/a b.db");
  EXPECT_EQ(ConnectionValue(jet, "Jet OLEDB:Database Password"), "x");
  const std::string server = SqlServerConnectionString({"127.0.0.1", "lab", "u", "p;w"});
  EXPECT_FALSE(IsJetConnectionString(server));
  EXPECT_EQ(ConnectionValue(server, "server"), "127.0.0.1");
  EXPECT_EQ(ConnectionValue(server, "Port"), std::nullopt);
  EXPECT_EQ(TrimConnectionString("Driver={SQL Server}; Server=srv; Network=; Database = lab ; Uid=u;Pwd=p;"),
            "Driver={SQL Server};Server=srv;Network=;Database=lab;Uid=u;Pwd=p");
  EXPECT_EQ(TrimConnectionString("Driver={My; Driver};Pwd={a;b}"), "Driver={My; Driver};Pwd={a;b}");
}

// Fields in, string out: the server's own settings as keys of their own, never inside Server, and
// with none of them set the string every peer knows, to the byte. The relay takes every one.
TEST(ConnectionString, ServerSettingsTravelAsKeysOfTheirOwn) {
  const struct {
    DbConnectionFields fields;
    std::string server, keys;  // Server's value; what follows Pwd
  } cases[] = {
      {{"db", "lab", "u", "p", 1, "29674", "7.4", "CP1250"}, "db",
       "; Port=29674; TDS_Version=7.4; ClientCharset=CP1250"},
      {{"db,29674", "lab", "u", "p", 1, "1433"}, "db", "; Port=29674"},  // HOST,PORT wins
      {{"db\\LIS", "lab", "u", "p"}, "db\\LIS", ""},
      {{"relay:9090", "lab", "u", "p", 0, "1433"}, "relay", "; Port=1433"},  // the relay's port stays home
      {{"db;Port=29674;TDS_Version=7.4;ClientCharset=CP1250", "lab", "u", "p"}, "db",
       "; Port=29674; TDS_Version=7.4; ClientCharset=CP1250"},
      {{"db;port = 29674;Trace=1", "lab", "u", "p", 1, "1433"}, "db", "; Port=1433"},
      {{"db", "lab", "u", "p", 1, "", "", "CP1250;Trace=1"}, "db", "; ClientCharset={CP1250;Trace=1}"},
  };
  for (const auto& c : cases) {
    const std::string built = SqlServerConnectionString(c.fields);
    EXPECT_EQ(built, "Driver={SQL Server}; Server=" + c.server + "; Network=; Database=lab; Uid=u;Pwd=p" + c.keys);
    EXPECT_EQ(RefusedConnectionReason(built, {"SQL Server"}, {}), "") << built;
  }
}

// A password that holds ';', '{' or '}' travels braced: the session, the masks and the relay's
// check all read it back whole, and none of it shows in what is logged.
TEST(ConnectionString, PasswordsWithSyntaxCharactersAreBraced) {
  const std::pair<const char*, const char*> cases[] = {
      {"a;b", "{a;b}"}, {"a{b", "{a{b}"}, {"a}b", "{a}}b}"}, {"{ab}", "{{ab}}}"}, {"x}}y", "{x}}}}y}"}, {"plain", "plain"},
  };
  const std::string head = "Driver={SQL Server}; Server=s; Network=; Database=d; Uid=u;Pwd=";
  for (const auto& [password, written] : cases) {
    SCOPED_TRACE(password);
    const std::string built = SqlServerConnectionString({"s", "d", "u", password});
    EXPECT_EQ(built, head + written);
    EXPECT_EQ(ConnectionValue(built, "Pwd"), password);
    EXPECT_EQ(MaskPasswords(built + ";Port=1"), head + "***;Port=1");
    EXPECT_EQ(MaskConnectionPassword(built + ";Port=1"), head + "***;Port=1");
    EXPECT_EQ(RefusedConnectionReason(built, {"SQL Server"}, {}), "");
    EXPECT_EQ(WithConnectionPassword(head, password), built);
  }
  EXPECT_EQ(WithConnectionPassword("Driver={SQL Server};Uid=u", "p;"), "Driver={SQL Server};Uid=u;Pwd={p;}");
  // A doubled brace that leaves the value open, or text after the closing one, is not a value.
  EXPECT_NE(RefusedConnectionReason("Driver={SQL Server};Pwd={a}}", {"SQL Server"}, {}), "");
  EXPECT_NE(RefusedConnectionReason("Driver={SQL Server};Pwd={a}};b}x;Trace=1", {"SQL Server"}, {}), "");
}

TEST(DbValue, OleDates) {
  const struct {
    int y, mo, d, h, mi, s;
    double ole;
  } cases[] = {
      {1899, 12, 30, 0, 0, 0, 0.0},   {1900, 1, 1, 0, 0, 0, 2.0},
      {2023, 3, 15, 12, 0, 0, 45000.5}, {2026, 12, 7, 18, 0, 0, 46363.75},
      {1899, 12, 29, 6, 0, 0, -1.25},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(OleDateFromParts(c.y, c.mo, c.d, c.h, c.mi, c.s), c.ole);
    const DateParts p = PartsFromOleDate(c.ole);
    EXPECT_EQ((std::array<int, 6>{p.year, p.month, p.day, p.hour, p.minute, p.second}),
              (std::array<int, 6>{c.y, c.mo, c.d, c.h, c.mi, c.s}))
        << c.ole;
  }
  EXPECT_EQ(PartsFromOleDate(45000.99999999).day, 16);  // rounds to the next midnight
}

TEST(DbValue, AsText) {
  EXPECT_EQ(DbValue::Int(42).ToText(), "42");
  EXPECT_EQ(DbValue::Real(45000.5, VT_DATE).ToText(), "45000.5");
  EXPECT_EQ(DbValue::Text("abc").ToText(), "abc");
  EXPECT_EQ(DbValue::Empty().ToText(), "");
  DbValue decimal = DbValue::Real(1.5, VT_DECIMAL);
  decimal.strVal = "1.50";
  EXPECT_EQ(decimal.ToText(), "1.50");
}

}  // namespace
}  // namespace strivex
