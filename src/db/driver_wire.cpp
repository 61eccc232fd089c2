#include "db/driver_wire.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "db/relay_wire.h"

namespace strivex {

namespace {

class Writer {
 public:
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U16(uint16_t v) { Little(v, 2); }
  void U32(uint32_t v) { Little(v, 4); }
  void U64(uint64_t v) { Little(v, 8); }
  void F64(double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    U64(bits);
  }
  void Text(std::string_view v) {
    U32(static_cast<uint32_t>(v.size()));
    out_.append(v);
  }
  std::string Take() { return std::move(out_); }

 private:
  void Little(uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
  }
  std::string out_;
};

// Reads fields off a text; once a field does not fit, every later read fails too.
class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  bool U8(uint8_t& v) {
    uint64_t wide = 0;
    if (!Little(wide, 1)) return false;
    v = static_cast<uint8_t>(wide);
    return true;
  }
  bool U16(uint16_t& v) {
    uint64_t wide = 0;
    if (!Little(wide, 2)) return false;
    v = static_cast<uint16_t>(wide);
    return true;
  }
  bool U32(uint32_t& v) {
    uint64_t wide = 0;
    if (!Little(wide, 4)) return false;
    v = static_cast<uint32_t>(wide);
    return true;
  }
  bool U64(uint64_t& v) { return Little(v, 8); }
  bool F64(double& v) {
    uint64_t bits = 0;
    if (!U64(bits)) return false;
    std::memcpy(&v, &bits, sizeof v);
    return true;
  }
  bool Text(std::string& v) {
    uint32_t size = 0;
    if (!U32(size) || size > in_.size()) return Fail();
    v.assign(in_.substr(0, size));
    in_.remove_prefix(size);
    return true;
  }
  size_t Left() const { return in_.size(); }

 private:
  bool Little(uint64_t& v, size_t bytes) {
    if (in_.size() < bytes) return Fail();
    v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(static_cast<unsigned char>(in_[i])) << (8 * i);
    in_.remove_prefix(bytes);
    return true;
  }
  bool Fail() {
    in_ = {};
    return false;
  }
  std::string_view in_;
};

// Which of a value's fields carry its payload.
enum class Payload { kNone, kInt, kReal, kRealAndText, kText, kUnknown };

Payload PayloadOf(uint16_t type) {
  switch (type) {
    case VT_EMPTY:
    case VT_NULL: return Payload::kNone;
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case VT_UI1: return Payload::kInt;
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE: return Payload::kReal;
    case VT_DECIMAL: return Payload::kRealAndText;
    case VT_BSTR: return Payload::kText;
    default: return Payload::kUnknown;
  }
}

void PutValue(Writer& out, const DbValue& value) {
  out.U16(value.type);
  switch (PayloadOf(value.type)) {
    case Payload::kInt: out.U32(static_cast<uint32_t>(value.intVal)); break;
    case Payload::kReal: out.F64(value.dblVal); break;
    case Payload::kRealAndText:
      out.F64(value.dblVal);
      out.Text(value.strVal);
      break;
    case Payload::kText: out.Text(value.strVal); break;
    case Payload::kNone:
    case Payload::kUnknown: break;
  }
}

bool GetValue(Reader& in, DbValue& value) {
  value = DbValue::Empty();
  uint32_t bits = 0;
  if (!in.U16(value.type)) return false;
  switch (PayloadOf(value.type)) {
    case Payload::kNone: return true;
    case Payload::kInt:
      if (!in.U32(bits)) return false;
      value.intVal = static_cast<int32_t>(bits);
      return true;
    case Payload::kReal: return in.F64(value.dblVal);
    case Payload::kRealAndText: return in.F64(value.dblVal) && in.Text(value.strVal);
    case Payload::kText: return in.Text(value.strVal);
    case Payload::kUnknown: return false;
  }
  return false;
}

void PutError(Writer& out, const DbError& error) {
  out.U32(error.result);
  out.U8(static_cast<uint8_t>(error.failure));
  out.Text(error.detail);
}

bool GetError(Reader& in, DbError& error) {
  uint8_t failure = 0;
  if (!in.U32(error.result) || !in.U8(failure) || !in.Text(error.detail)) return false;
  if (failure > static_cast<uint8_t>(DbFailure::kRejected)) return false;
  error.failure = static_cast<DbFailure>(failure);
  return true;
}

// The width a batch is sent with: its columns' count, or its rows' when the columns went before.
uint32_t BatchWidth(const DriverMessage& message) {
  if (!message.columns.empty() || message.rows.empty()) return static_cast<uint32_t>(message.columns.size());
  return static_cast<uint32_t>(message.rows.front().size());
}

void PutRows(Writer& out, const DriverMessage& message) {
  out.U32(message.set);
  out.U32(static_cast<uint32_t>(message.columns.size()));
  for (const std::string& name : message.columns) out.Text(name);
  out.U32(BatchWidth(message));
  out.U32(static_cast<uint32_t>(message.rows.size()));
  for (const auto& row : message.rows) {
    for (const DbValue& value : row) PutValue(out, value);
  }
  out.U8(static_cast<uint8_t>(message.end));
  if (message.end == BatchEnd::kFailed) PutError(out, message.error);
}

bool GetRows(Reader& in, DriverMessage& message) {
  uint32_t count = 0;
  if (!in.U32(message.set) || !in.U32(count)) return false;
  // Each name takes at least its length's 4 bytes: a count past that is a lie, not an allocation.
  if (count > in.Left() / 4) return false;
  message.columns.resize(count);
  for (std::string& name : message.columns) {
    if (!in.Text(name)) return false;
  }
  uint32_t width = 0;
  uint32_t rows = 0;
  if (!in.U32(width) || !in.U32(rows)) return false;
  if (!message.columns.empty() ? width != message.columns.size() : (rows == 0) != (width == 0)) return false;
  // Each value takes at least its type's 2 bytes.
  if (rows > 0 && rows > in.Left() / 2 / width) return false;
  message.rows.assign(rows, std::vector<DbValue>(width));
  for (auto& row : message.rows) {
    for (DbValue& value : row) {
      if (!GetValue(in, value)) return false;
    }
  }
  uint8_t end = 0;
  if (!in.U8(end) || end > static_cast<uint8_t>(BatchEnd::kFailed)) return false;
  message.end = static_cast<BatchEnd>(end);
  return message.end != BatchEnd::kFailed || GetError(in, message.error);
}

}  // namespace

DbError DriverOutOfMemory() {
  return {kResultFail, std::string(kResultTooLarge) + ": the driver process ran out of memory", DbFailure::kRejected};
}

std::string EncodeDriverMessage(const DriverMessage& message) {
  Writer out;
  switch (message.kind) {
    case DriverKind::kOpen:
      out.Text(message.text);
      out.U64(static_cast<uint64_t>(message.timeouts.login.count()));
      out.U64(static_cast<uint64_t>(message.timeouts.query.count()));
      break;
    case DriverKind::kExecute: out.Text(message.text); break;
    case DriverKind::kFetch:
    case DriverKind::kCloseSet: out.U32(message.set); break;
    case DriverKind::kFailed: PutError(out, message.error); break;
    case DriverKind::kRows: PutRows(out, message); break;
    case DriverKind::kClose:
    case DriverKind::kDone: out.U8(0); break;
  }
  const std::string text = out.Take();
  return EncodeRelayFrame(static_cast<int32_t>(message.kind), text);
}

std::optional<DriverMessage> DecodeDriverMessage(const RelayFrame& frame) {
  DriverMessage message;
  message.kind = static_cast<DriverKind>(frame.number);
  Reader in(frame.text);
  bool ok = false;
  switch (message.kind) {
    case DriverKind::kOpen: {
      uint64_t login = 0;
      uint64_t query = 0;
      ok = in.Text(message.text) && in.U64(login) && in.U64(query);
      message.timeouts.login = std::chrono::milliseconds(static_cast<int64_t>(login));
      message.timeouts.query = std::chrono::milliseconds(static_cast<int64_t>(query));
      break;
    }
    case DriverKind::kExecute: ok = in.Text(message.text); break;
    case DriverKind::kFetch:
    case DriverKind::kCloseSet: ok = in.U32(message.set); break;
    case DriverKind::kFailed: ok = GetError(in, message.error); break;
    case DriverKind::kRows: ok = GetRows(in, message); break;
    case DriverKind::kClose:
    case DriverKind::kDone: {
      uint8_t zero = 1;
      ok = in.U8(zero) && zero == 0;
      break;
    }
  }
  if (!ok || in.Left() != 0) return std::nullopt;
  return message;
}

bool SendDriverMessage(int fd, const DriverMessage& message) {
  const std::string bytes = EncodeDriverMessage(message);
  for (size_t at = 0; at < bytes.size();) {
    const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n > 0) at += static_cast<size_t>(n);
    else if (n < 0 && errno != EINTR) return false;
  }
  return true;
}

}  // namespace strivex
