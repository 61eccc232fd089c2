#include "driver_service.h"

#include <array>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "db/driver_wire.h"
#include "db/relay_frame_reader.h"

namespace strivex::helper {

namespace {

// As many result sets as a session has slots.
constexpr size_t kOpenSets = 10;
// A batch ends after the row that brings it to these; one round trip a batch keeps a large
// result's cost near that of reading it in process, while a batch stays small beside the memory
// the result itself takes.
constexpr size_t kBatchBytes = 64 * 1024;
constexpr size_t kBatchRows = 1000;
// Calls carry statements and connection strings: far below this.
constexpr size_t kLongestCall = 16u << 20;

size_t SizeOf(const DbValue& value) { return sizeof value + value.strVal.size(); }

DriverMessage Reply(DriverKind kind) {
  DriverMessage reply;
  reply.kind = kind;
  return reply;
}

DriverMessage Failed(DbError error) {
  DriverMessage reply = Reply(DriverKind::kFailed);
  reply.error = std::move(error);
  return reply;
}

DriverMessage OutOfMemory() { return Failed(DriverOutOfMemory()); }

class Service {
 public:
  explicit Service(DbEngine& engine) : engine_(engine) {}

  DriverMessage Answer(const DriverMessage& call) {
    switch (call.kind) {
      case DriverKind::kOpen: {
        CloseSets();
        DbError error;
        return engine_.Open(call.text, call.timeouts, error) ? Reply(DriverKind::kDone) : Failed(error);
      }
      case DriverKind::kExecute: return Execute(call.text);
      case DriverKind::kFetch:
        if (call.set >= kOpenSets || !sets_[call.set]) {
          return Failed({kResultFail, "no such result set", DbFailure::kRejected});
        }
        return Guarded(call.set, [&] { return Batch(call.set, false); });
      case DriverKind::kCloseSet:
        if (call.set < kOpenSets) sets_[call.set].reset();
        return Reply(DriverKind::kDone);
      case DriverKind::kClose:
        CloseSets();
        engine_.Close();
        return Reply(DriverKind::kDone);
      default: return Failed({kResultFail, "not a call", DbFailure::kRejected});
    }
  }

 private:
  DriverMessage Execute(const std::string& sql) {
    size_t slot = 0;
    while (slot < kOpenSets && sets_[slot]) ++slot;
    if (slot == kOpenSets) return Failed({kResultFail, "ten result sets are open already", DbFailure::kRejected});
    return Guarded(slot, [&] {
      DbError error;
      sets_[slot] = engine_.Execute(sql, error);
      return sets_[slot] ? Batch(slot, true) : Failed(error);
    });
  }

  // The answer `read` gives about the set in `slot`; the set is let go when an allocation fails.
  template <typename Read>
  DriverMessage Guarded(size_t slot, Read read) {
    try {
      return read();
    } catch (const std::bad_alloc&) {
      sets_[slot].reset();
      return OutOfMemory();
    }
  }

  // The rows of the set in `slot` from its current one (a statement's first batch) or from the
  // one after; the set is let go once it has given its last row or failed.
  DriverMessage Batch(size_t slot, bool first) {
    ResultSet& set = *sets_[slot];
    DriverMessage reply = Reply(DriverKind::kRows);
    reply.set = static_cast<uint32_t>(slot);
    const std::vector<std::string> names = set.ColumnNames();
    if (first) reply.columns = names;
    DbError error{0, {}, DbFailure::kNone};
    const auto advance = [&] { return set.Next(error) || error.failure == DbFailure::kNone; };
    size_t bytes = 0;
    bool going = first || advance();
    while (going && !set.AtEnd()) {
      std::vector<DbValue>& row = reply.rows.emplace_back();
      for (size_t column = 0; column < names.size(); ++column) {
        row.push_back(set.Value(column));
        bytes += SizeOf(row.back());
      }
      if (bytes >= kBatchBytes || reply.rows.size() >= kBatchRows) {
        reply.end = BatchEnd::kMore;
        return reply;
      }
      going = advance();
    }
    if (!going) {
      reply.end = BatchEnd::kFailed;
      reply.error = error;
    }
    sets_[slot].reset();
    return reply;
  }

  void CloseSets() {
    for (auto& set : sets_) set.reset();
  }

  DbEngine& engine_;
  std::array<std::unique_ptr<ResultSet>, kOpenSets> sets_;
};

}  // namespace

void ServeDriverCalls(int fd, DbEngine& engine, bool (*allocationFailed)()) {
  RelayFrameReader reader(fd, kLongestCall);
  Service service(engine);
  for (;;) {
    RelayFrame frame;
    if (reader.Next(frame) != RelayReadStatus::kOk) return;
    const std::optional<DriverMessage> call = DecodeDriverMessage(frame);
    if (!call) return;
    DriverMessage reply = service.Answer(*call);
    // The driver words a refused allocation its own way, if at all.
    if (allocationFailed() && reply.kind == DriverKind::kFailed) reply = OutOfMemory();
    bool sent = false;
    try {
      sent = SendDriverMessage(fd, reply);
    } catch (const std::bad_alloc&) {
      sent = SendDriverMessage(fd, OutOfMemory());
    }
    if (!sent) return;
  }
}

}  // namespace strivex::helper
