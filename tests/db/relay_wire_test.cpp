// The relay's wire as both ends use it: frame and greeting bytes, the argument formats of every
// command (statements and names full of the formats' own separators), and value replies.

#include "db/relay_wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace strivex {
namespace {

TEST(RelayWire, FramesAreLittleEndianNumberAndLengthThenText) {
  const struct {
    int32_t number;
    std::string text;
    std::string bytes;
  } cases[] = {
      {1, "0;", std::string("\x01\x00\x00\x00\x02\x00\x00\x00" "0;", 10)},
      {-2, std::string(1, '\0'), std::string("\xFE\xFF\xFF\xFF\x01\x00\x00\x00\x00", 9)},
      {0x01020304, "x", std::string("\x04\x03\x02\x01\x01\x00\x00\x00x", 9)},
      {7, std::string(1999, 'a'), std::string("\x07\x00\x00\x00\xCF\x07\x00\x00", 8) + std::string(1999, 'a')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(EncodeRelayFrame(c.number, c.text), c.bytes);
    // The header the client writes ahead of the text on its own, and what the reader takes from it.
    const auto header = RelayFrameHeader(c.number, static_cast<int32_t>(c.text.size()));
    EXPECT_EQ(std::string(header.data(), header.size()), c.bytes.substr(0, 8));
    EXPECT_EQ(RelayHeaderField(header.data()), c.number);
    EXPECT_EQ(RelayHeaderField(header.data() + 4), static_cast<int32_t>(c.text.size()));
  }
}

TEST(RelayWire, GreetingIsOneHundredBytesAndNamesTheClient) {
  std::string expected = "Medianex Server;Name=LAB01";
  expected.resize(100, '\0');
  EXPECT_EQ(RelayGreeting("LAB01"), expected);
  EXPECT_EQ(RelayGreeting(std::string(200, 'n')).size(), 100u);
  EXPECT_EQ(RelayGreetingName(RelayGreeting("LAB01")), "LAB01");
  EXPECT_EQ(RelayGreetingName(RelayGreeting("")), "");
  EXPECT_EQ(RelayGreetingName(std::string(100, 'x')), std::nullopt);
  EXPECT_EQ(RelayGreetingName("Medianex Server;Nam"), std::nullopt);
}

// Every request the client makes reaches the server's session in the same parts, under the
// command name the server knows, with the text of each format's byte layout.
TEST(RelayWire, EveryRequestDecodesToWhatWasEncoded) {
  const struct {
    RelayRequest request;
    const char* command;
    const char* arguments;
  } cases[] = {
      {{RelayOp::kOpen, 0, {}, "Driver={SQL Server}; Server=lab; Uid=u;Pwd=p,q"}, "DeschidConectie",
       "Driver={SQL Server}; Server=lab; Uid=u;Pwd=p,q"},
      {{RelayOp::kStatement, 0, {}, "UPDATE t SET a = 'x;y,z'"}, "SQLCommand", "2;0;UPDATE t SET a = 'x;y,z'"},
      {{RelayOp::kStatement, 3, {}, ""}, "SQLCommand", "2;3;"},
      {{RelayOp::kRecords, 8, {}, "SELECT a, b FROM t; SELECT 2"}, "GetRecords",
       "2;8;SELECT a, b FROM t; SELECT 2"},
      {{RelayOp::kTable, 1, "Medianex_Init", {}}, "DeschidTabel", "2;Medianex_Init,1"},
      {{RelayOp::kTableClause, 9, "Rezultate", "where id in (7,8) and n=';,'"}, "DeschidTabel",
       "3;Rezultate,where id in (7,8) and n=';,',9"},
      {{RelayOp::kTableClause, 4, "T", ""}, "DeschidTabel", "3;T,,4"},
      {{RelayOp::kValue, 9, "a,b;c", {}}, "ValoareColoana", "2;a,b;c,9"},
      {{RelayOp::kNext, 1, {}, {}}, "NextElementTabel", "1;1"},
      {{RelayOp::kCloseTable, 8, {}, {}}, "InchidTabel", "1;8;"},
      {{RelayOp::kClose, 0, {}, {}}, "InchidConectie", "0;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(RelayCommandName(c.request.op), c.command);
    const std::string arguments = EncodeRelayArguments(c.request);
    EXPECT_EQ(arguments, c.arguments);
    const std::optional<RelayOp> op = RelayOpOf(c.command, arguments);
    ASSERT_EQ(op, c.request.op);
    const std::optional<RelayRequest> decoded = DecodeRelayArguments(*op, arguments);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->slot, c.request.slot);
    EXPECT_EQ(decoded->name, c.request.name);
    EXPECT_EQ(decoded->text, c.request.text);
    EXPECT_EQ(RelayRepliesWithValue(*op), c.request.op == RelayOp::kValue);
  }
  EXPECT_EQ(RelayOpOf("Bogus", "1;1"), std::nullopt);
  EXPECT_EQ(RelayOpOf("", ""), std::nullopt);
  EXPECT_EQ(RelayOpOf("DeschidTabel", "t,1"), RelayOp::kTable);  // then refused by its format
}

struct ArgumentCase {
  RelayOp op;
  const char* text;
  bool ok;
  int slot;
  const char* name;
  const char* statementOrClause;
};

// Texts a client might send: the fixed parts are found where they cannot be ambiguous, and only
// the session's slots 0 to 9 are let through.
TEST(RelayWire, ArgumentTextsThatDoNotFitTheirFormatAreRefused) {
  constexpr RelayOp S = RelayOp::kStatement, N = RelayOp::kTable, T = RelayOp::kTableClause,
                    One = RelayOp::kNext;
  const ArgumentCase cases[] = {
      // slot, then a statement that ends wherever the text does
      {S, "2;0;select 1", true, 0, "", "select 1"},
      {S, "2;9;insert into t values (1,'a;b'); select 2", true, 9, "",
       "insert into t values (1,'a;b'); select 2"},
      {S, "2;3;", true, 3, "", ""},
      {S, "2;1;;", true, 1, "", ";"},
      {S, "2;10;select 1", false, 0, "", ""},
      {S, "2;-1;select 1", false, 0, "", ""},
      {S, "2;x;select 1", false, 0, "", ""},
      {S, "2; 1;select 1", false, 0, "", ""},
      {S, "2;1", false, 0, "", ""},
      {S, "3;1;select 1", false, 0, "", ""},
      {S, "2", false, 0, "", ""},
      {S, "", false, 0, "", ""},
      // name, then a slot after the last comma
      {N, "2;MACHINES,9", true, 9, "MACHINES", ""},
      {N, "2;a,b;c,0", true, 0, "a,b;c", ""},
      {RelayOp::kValue, "2;Valoare,8", true, 8, "Valoare", ""},
      {N, "2;MACHINES,", false, 0, "", ""},
      {N, "2;,1", false, 0, "", ""},
      {N, "2;MACHINES", false, 0, "", ""},
      {N, "2;MACHINES,1x", false, 0, "", ""},
      {N, "1;MACHINES,1", false, 0, "", ""},
      // table to the first comma, clause, slot after the last comma
      {T, "3;MACHINES,where [name]='AX',9", true, 9, "MACHINES", "where [name]='AX'"},
      {T, "3;T,where a in (1,2) and b=';,',0", true, 0, "T", "where a in (1,2) and b=';,'"},
      {T, "3;T,,4", true, 4, "T", ""},
      {T, "3;T,where x=1", false, 0, "", ""},
      {T, "3;T,9", false, 0, "", ""},
      {T, "3;,where x=1,2", false, 0, "", ""},
      {T, "2;T,where x=1,2", false, 0, "", ""},
      // a single slot, with or without a closing ';'
      {One, "1;4", true, 4, "", ""},
      {RelayOp::kCloseTable, "1;4;", true, 4, "", ""},
      {One, "1;", false, 0, "", ""},
      {One, "1;4;;", false, 0, "", ""},
      {One, "1;12", false, 0, "", ""},
      {One, "0;", false, 0, "", ""},
      {RelayOp::kCloseTable, "2;1;", false, 0, "", ""},
  };
  for (const ArgumentCase& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<RelayRequest> parsed = DecodeRelayArguments(c.op, c.text);
    ASSERT_EQ(parsed.has_value(), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(parsed->op, c.op);
    EXPECT_EQ(parsed->slot, c.slot);
    EXPECT_EQ(parsed->name, c.name);
    EXPECT_EQ(parsed->text, c.statementOrClause);
  }
}

TEST(RelayWire, ValueRepliesCarryTypeAndText) {
  DbValue decimal = DbValue::Real(1.5, VT_DECIMAL);
  decimal.strVal = "1.50";
  const struct {
    DbValue value;
    std::string reply;
    DbValue read;  // what the client makes of it
  } cases[] = {
      {DbValue::Text("a,b;c"), "8;a,b;c", DbValue::Text("a,b;c")},
      {DbValue::Int(-17), "3;-17", DbValue::Int(-17)},
      {DbValue::Real(45000.5, VT_DATE), "7;45000.5", DbValue::Real(45000.5, VT_DATE)},
      {DbValue::Empty(), "0;", DbValue::Empty()},
      {decimal, "14;1.50", DbValue{VT_DECIMAL, 0, 0.0, {}}},
      {DbValue::Text(std::string(3000, 'v')), "8;" + std::string(1997, 'v'),
       DbValue::Text(std::string(1997, 'v'))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply.substr(0, 20));
    EXPECT_EQ(EncodeRelayValue(c.value), c.reply);
    const DbValue read = DecodeRelayValue(c.reply);
    EXPECT_EQ(read.type, c.read.type);
    EXPECT_EQ(read.intVal, c.read.intVal);
    EXPECT_EQ(read.dblVal, c.read.dblVal);
    EXPECT_EQ(read.strVal, c.read.strVal);
  }
}

}  // namespace
}  // namespace strivex
