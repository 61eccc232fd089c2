// The messages between an engine and its driver process, through a real stream socket pair and
// the relay's frame reader: every kind and value type arrives as it was sent, also far past the
// relay's 1,999 bytes and the socket's buffer; malformed texts are refused.

#include "db/driver_wire.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>
#include <thread>
#include <vector>

#include "util/unique_fd.h"

namespace strivex {
namespace {

DriverMessage Message(DriverKind kind) {
  DriverMessage message;
  message.kind = kind;
  return message;
}

DriverMessage Rows(std::vector<std::string> columns, std::vector<std::vector<DbValue>> rows, BatchEnd end) {
  DriverMessage message = Message(DriverKind::kRows);
  message.set = 7;
  message.columns = std::move(columns);
  message.rows = std::move(rows);
  message.end = end;
  if (end == BatchEnd::kFailed) message.error = {kResultConversion, "22P02: bad", DbFailure::kRejected};
  return message;
}

std::vector<DriverMessage> EveryKind() {
  DriverMessage open = Message(DriverKind::kOpen);
  open.text = "Driver={SQL Server};Server=lab;Pwd=p;q";
  open.timeouts = {std::chrono::milliseconds(1500), std::chrono::milliseconds(30000)};
  DriverMessage execute = Message(DriverKind::kExecute);
  execute.text = "SELECT 'a;b', \"x\" FROM t";
  DriverMessage fetch = Message(DriverKind::kFetch);
  fetch.set = 9;
  DriverMessage closeSet = Message(DriverKind::kCloseSet);
  closeSet.set = 3;
  DriverMessage failed = Message(DriverKind::kFailed);
  failed.error = {kResultFail, "08006: gone", DbFailure::kConnectionLost};
  DbValue decimal = DbValue::Real(12345678901.5, VT_DECIMAL);
  decimal.strVal = "12345678901.50";
  const std::vector<DbValue> typed = {DbValue::Empty(),          DbValue::Int(-7),
                                      DbValue::Int(-1, VT_BOOL), DbValue::Int(12, VT_I2),
                                      DbValue::Real(2.5),        DbValue::Real(45000.25, VT_DATE),
                                      decimal,                   DbValue::Text(std::string("\xB5\0g", 3))};
  return {open,
          execute,
          fetch,
          closeSet,
          Message(DriverKind::kClose),
          Message(DriverKind::kDone),
          failed,
          Rows({}, {}, BatchEnd::kEnd),  // a statement without rows
          Rows({"a", "b", "c", "d", "e", "f", "g", "h"}, {typed, typed}, BatchEnd::kMore),
          Rows({}, {{DbValue::Text(std::string(3 << 20, 'v'))}}, BatchEnd::kFailed),
          Rows({"only"}, {}, BatchEnd::kEnd)};
}

TEST(DriverWire, EveryMessageArrivesAsSent) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  UniqueFd near(fds[0]);
  UniqueFd far(fds[1]);
  const std::vector<DriverMessage> sent = EveryKind();
  std::thread writer([&] {
    for (const DriverMessage& message : sent) {
      const std::string bytes = EncodeDriverMessage(message);
      for (size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::send(far.get(), bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return;
        at += static_cast<size_t>(n);
      }
    }
  });
  RelayFrameReader reader(near.get(), 4u << 20);
  for (const DriverMessage& expected : sent) {
    SCOPED_TRACE(static_cast<int>(expected.kind));
    RelayFrame frame;
    ASSERT_EQ(reader.Next(frame), RelayReadStatus::kOk);
    EXPECT_EQ(DecodeDriverMessage(frame), expected);
  }
  writer.join();
}

TEST(DriverWire, MalformedTextsAreRefused) {
  const std::string rows = EncodeDriverMessage(Rows({"a"}, {{DbValue::Int(1)}}, BatchEnd::kEnd)).substr(8);
  const struct {
    const char* what;
    int32_t kind;
    std::string text;
  } cases[] = {
      {"unknown kind", 99, std::string(1, '\0')},
      {"a field-less kind with a payload", 16, std::string("\0\0", 2)},
      {"a byte past the fields", 18, rows + '\0'},
      {"cut short", 18, rows.substr(0, rows.size() - 1)},
      {"a type code no engine gives", 18, std::string(rows).replace(21, 2, "\x09\x00", 2)},
      {"a width other than the columns'", 18, std::string(rows).replace(13, 4, "\x02\0\0\0", 4)},
      {"an end past kFailed", 18, std::string(rows).replace(rows.size() - 1, 1, "\x03")},
      {"a string longer than the text", 2, std::string("\xFF\0\0\0x", 5)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeDriverMessage({c.kind, c.text}), std::nullopt) << c.what;
  }
}

}  // namespace
}  // namespace strivex
