#include "db/odbc_process_engine.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "db/abort_target.h"
#include "db/column_lookup.h"
#include "db/driver_process.h"
#include "db/driver_wire.h"
#include "db/relay_frame_reader.h"
#include "db/result_budget.h"
#include "util/format.h"
#include "util/thread_annotations.h"
#include "util/timings.h"
#include "util/unique_fd.h"

namespace strivex {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A helper that hung up gets this long to be reaped, so that its end (a signal) can be told.
constexpr milliseconds kDeathWait{1000};

// The longest reply taken from a helper: a batch of rows holds at least one row, which may be as
// large as the results' memory room allows.
size_t ReplyBound(size_t resultLimit) {
  constexpr size_t kBatchOverhead = 1u << 20;
  constexpr size_t kUnbounded = 0x7FFFFFFF;
  return resultLimit == 0 || resultLimit > kUnbounded - kBatchOverhead ? kUnbounded : resultLimit + kBatchOverhead;
}

}  // namespace

size_t DriverDataLimit(size_t resultLimit) {
  // A helper logged in through psqlODBC maps about 9 MiB of data, its watcher's stack included.
  constexpr size_t kDriverOwn = size_t{32} << 20;
  // The driver's copy of the result, and the helper's of the values it is sending.
  constexpr size_t kCopies = 2;
  if (resultLimit == 0) return 0;
  if (resultLimit > (SIZE_MAX - kDriverOwn) / kCopies) return SIZE_MAX;
  return kDriverOwn + kCopies * resultLimit;
}

namespace {

DbError Lost(std::string detail) { return {kResultFail, std::move(detail), DbFailure::kConnectionLost}; }

// A failure the helper's data limit caused, in the words of the session's bound.
void NameTheBound(DbError& error, const ResultBudget& budget) {
  if (error.detail.starts_with(kResultTooLarge)) error = budget.TooLarge();
}

DriverMessage Call(DriverKind kind) {
  DriverMessage call;
  call.kind = kind;
  return call;
}

// The whole seconds a driver counts a wait in, at least one.
milliseconds WholeSeconds(milliseconds wait) {
  return std::chrono::ceil<std::chrono::seconds>(std::max(wait, milliseconds(1)));
}

// One connection's helper, shared by the engine and the result sets read from it. Calls take
// turns under `mutex`; a stop reaches a call in flight from any thread.
class HelperLink {
 public:
  HelperLink(std::string helperPath, size_t resultLimit)
      : helperPath_(std::move(helperPath)),
        replyBound_(ReplyBound(resultLimit)),
        dataLimit_(DriverDataLimit(resultLimit)),
        stop_(::eventfd(0, EFD_CLOEXEC)) {}
  ~HelperLink() {
    MutexLock lock(mutex);
    if (process_ && !stopped_.load()) {
      // A driver that may still speak to the server ends its session properly, if it can do so
      // at once: nobody waits for the answer, and a stop must not wait out a frozen server.
      DbError ignored;
      Send(Call(DriverKind::kClose), timings::kDriverCancelGrace, ignored);
    }
    process_.reset();
  }
  HelperLink(const HelperLink&) = delete;
  HelperLink& operator=(const HelperLink&) = delete;

  // Starts the helper; false with `error` when it cannot.
  bool Start(DbError& error) REQUIRES(mutex) {
    if (!stop_.valid()) {
      error = Lost("no event descriptor to wake a waiting call by: the process has too many open");
      return false;
    }
    std::string why;
    process_ = DriverProcess::Start(helperPath_, dataLimit_, why);
    if (!process_) {
      error = Lost(why);
      return false;
    }
    reader_.emplace(process_->socket(), replyBound_);
    return true;
  }

  // The login a helper that ran out of memory is started again with; its first answer was kDone.
  void KeepLogin(DriverMessage open, milliseconds wait) REQUIRES(mutex) {
    login_ = std::move(open);
    loginWait_ = wait;
  }
  // Counts the helpers started again after one ran out of memory: a result set of an earlier one
  // names a set the new one does not have.
  uint64_t generation() const REQUIRES(mutex) { return generation_; }
  // The bytes of the last reply's frame.
  size_t replyBytes() const REQUIRES(mutex) { return replyBytes_; }

  // Sends `call` and waits up to `wait` for its reply. Past the wait, on a stop and when the
  // helper dies, the helper is ended and the call fails as a lost connection; so do all later ones.
  // A helper that died of its data limit fails the call as "result too large" instead, and a new
  // one logs in again for the later calls.
  std::optional<DriverMessage> Send(const DriverMessage& call, milliseconds wait, DbError& error) REQUIRES(mutex) {
    if (!process_) {
      error = Lost("not connected");
      return std::nullopt;
    }
    if (stopped_.load()) {
      End(std::nullopt);
      error = Lost("the call was stopped; the driver process was ended");
      return std::nullopt;
    }
    const Clock::time_point deadline = Clock::now() + wait;
    if (!SendDriverMessage(process_->socket(), call)) return Gone(call.kind == DriverKind::kOpen, error);
    RelayFrame frame;
    switch (Await(deadline, frame)) {
      case Wait::kFrame:
        replyBytes_ = frame.text.size();
        if (std::optional<DriverMessage> reply = DecodeDriverMessage(frame)) return reply;
        End(std::nullopt);
        error = Lost("the driver process gave an answer that is not one; it was ended");
        return std::nullopt;
      case Wait::kDeadline:
        End(timings::kDriverCancelGrace);
        error = Lost(Format("no answer within %lld ms; the driver process was ended",
                            static_cast<long long>(wait.count())));
        return std::nullopt;
      case Wait::kStopped:
        End(timings::kDriverCancelGrace);
        error = Lost("the call was stopped; the driver process was ended");
        return std::nullopt;
      case Wait::kGone: break;
    }
    return Gone(call.kind == DriverKind::kOpen, error);
  }

  // Stops the call in flight and every later one. Any thread; never waits on the helper, only,
  // when no call is in flight, for the kernel to reap it.
  void Stop() {
    stopped_.store(true);
    const uint64_t one = 1;
    // Fails only with the eventfd's counter full, when it is readable already.
    [[maybe_unused]] const ssize_t written = ::write(stop_.get(), &one, sizeof one);
    if (mutex.try_lock()) {
      MutexLock lock(mutex, std::adopt_lock);
      End(std::nullopt);
    }
  }

  Mutex mutex;
  DbTimeouts timeouts GUARDED_BY(mutex);

 private:
  enum class Wait { kFrame, kDeadline, kStopped, kGone };

  Wait Await(Clock::time_point deadline, RelayFrame& frame) REQUIRES(mutex) {
    for (;;) {
      const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return Wait::kDeadline;
      if (!reader_->HasBuffered()) {
        pollfd fds[3] = {{process_->socket(), POLLIN, 0}, {stop_.get(), POLLIN, 0}, {process_->pidfd(), POLLIN, 0}};
        const int ready = ::poll(fds, 3, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (ready < 0 && errno != EINTR) return Wait::kGone;
        if (ready <= 0) continue;
        // A reply that came before the helper died or the stop counts.
        if (fds[0].revents == 0) {
          if (fds[1].revents != 0) return Wait::kStopped;
          if (fds[2].revents != 0) return Wait::kGone;
          continue;
        }
      }
      switch (reader_->Next(frame, left, left)) {
        case RelayReadStatus::kOk: return Wait::kFrame;
        case RelayReadStatus::kTimedOut: return Wait::kDeadline;
        default: return Wait::kGone;
      }
    }
  }

  // The helper hung up or broke the wire: the call fails with how the helper ended.
  std::optional<DriverMessage> Gone(bool login, DbError& error) REQUIRES(mutex) {
    std::optional<std::string> end = process_->Ended(kDeathWait);
    if (!end) {
      process_->Kill();
      end = "broke off the call";
    }
    const bool outOfMemory = process_->RanOutOfMemory();
    error = Lost("the driver process " + *end);
    End(std::nullopt);
    if (outOfMemory && !login && login_ && LogInAgain(error)) {
      error = DriverOutOfMemory();
    }
    return std::nullopt;
  }

  // A new helper with the kept login; false with `error` when it cannot have one.
  bool LogInAgain(DbError& error) REQUIRES(mutex) {
    ++generation_;
    if (!Start(error)) return false;
    const std::optional<DriverMessage> reply = Send(*login_, loginWait_, error);
    if (reply && reply->kind == DriverKind::kDone) return true;
    if (reply) error = Lost("the login after the driver process ran out of memory failed: " + reply->error.detail);
    End(std::nullopt);
    return false;
  }

  // Ends the helper: with a grace, it is first asked to cancel its call and given that long.
  void End(std::optional<milliseconds> grace) REQUIRES(mutex) {
    if (!process_) return;
    if (grace) {
      process_->AskToCancel();
      pollfd fds[2] = {{process_->socket(), POLLIN, 0}, {process_->pidfd(), POLLIN, 0}};
      static_cast<void>(::poll(fds, 2, static_cast<int>(grace->count())));
    }
    process_->Kill();
    reader_.reset();
    process_.reset();
  }

  const std::string helperPath_;
  const size_t replyBound_;
  const size_t dataLimit_;
  UniqueFd stop_;  // readable once stopped
  std::atomic<bool> stopped_{false};
  std::unique_ptr<DriverProcess> process_ GUARDED_BY(mutex);
  std::optional<RelayFrameReader> reader_ GUARDED_BY(mutex);
  std::optional<DriverMessage> login_ GUARDED_BY(mutex);
  milliseconds loginWait_ GUARDED_BY(mutex){0};
  uint64_t generation_ GUARDED_BY(mutex) = 0;
  size_t replyBytes_ GUARDED_BY(mutex) = 0;
};

// A statement's rows as the helper sends them, a batch at a time; the first row is current. The
// bytes of every batch received count against the connection's budget until the set closes: the
// helper's driver holds the whole result meanwhile (psqlODBC reads it at execute time).
class HelperResultSet : public ResultSet {
 public:
  // `first`, of `bytes` on the wire, came from the link's helper of `generation`.
  HelperResultSet(std::shared_ptr<HelperLink> link, std::shared_ptr<ResultBudget> budget, uint64_t generation,
                  DriverMessage first, size_t bytes)
      : link_(std::move(link)),
        budget_(std::move(budget)),
        generation_(generation),
        set_(first.set),
        columns_(std::move(first.columns)) {
    Take(first, bytes);
  }
  ~HelperResultSet() override { Close(); }

  // False once a batch did not fit the budget: the set is then closed.
  bool fits() const { return fits_; }

  bool AtEnd() const override { return rows_.empty(); }
  bool Next(DbError& error) override {
    if (rows_.empty()) return false;
    rows_.pop_front();
    if (rows_.empty() && end_ == BatchEnd::kMore) {
      MutexLock lock(link_->mutex);
      end_ = BatchEnd::kEnd;  // unless the reply says otherwise
      if (link_->generation() != generation_) {
        error = {kResultFail, "the result set was lost with its driver process", DbFailure::kRejected};
        return false;
      }
      DriverMessage fetch = Call(DriverKind::kFetch);
      fetch.set = set_;
      std::optional<DriverMessage> reply = link_->Send(fetch, link_->timeouts.query, error);
      if (reply && reply->kind != DriverKind::kRows) error = reply->error;
      if (!reply || reply->kind != DriverKind::kRows) {
        NameTheBound(error, *budget_);
        return false;
      }
      if (!Take(*reply, link_->replyBytes())) {
        LetGo();
        Forget();
        error = budget_->TooLarge();
        return false;
      }
    }
    if (!rows_.empty()) return true;
    if (end_ == BatchEnd::kFailed) error = error_;
    return false;
  }
  std::optional<size_t> ColumnIndex(std::string_view name) const override { return FindColumn(columns_, name); }
  DbValue Value(size_t column) const override {
    return rows_.empty() || column >= rows_.front().size() ? DbValue::Empty() : rows_.front()[column];
  }
  std::vector<std::string> ColumnNames() const override { return columns_; }
  void Close() override {
    if (end_ == BatchEnd::kMore) {
      MutexLock lock(link_->mutex);
      LetGo();
    }
    Forget();
  }

 private:
  // Lets the helper free the set's statement, which it holds while more rows may come.
  void LetGo() REQUIRES(link_->mutex) {
    if (end_ == BatchEnd::kMore && link_->generation() == generation_) {
      DriverMessage close = Call(DriverKind::kCloseSet);
      close.set = set_;
      DbError ignored;
      link_->Send(close, link_->timeouts.query, ignored);
    }
    end_ = BatchEnd::kEnd;
  }

  void Forget() {
    end_ = BatchEnd::kEnd;
    rows_.clear();
    columns_.clear();
    budget_->Release(std::exchange(held_, 0));
  }

  // Takes a batch of `bytes` in; false, keeping none of its rows, when they do not fit the budget.
  // A statement's answer without columns holds nothing: a statement that took effect is never
  // refused.
  bool Take(DriverMessage& batch, size_t bytes) {
    end_ = batch.end;
    error_ = std::move(batch.error);
    if (!columns_.empty()) {
      if (!budget_->Take(bytes)) {
        fits_ = false;
        return false;
      }
      held_ += bytes;
    }
    for (auto& row : batch.rows) rows_.push_back(std::move(row));
    return true;
  }

  std::shared_ptr<HelperLink> link_;
  std::shared_ptr<ResultBudget> budget_;
  const uint64_t generation_;
  uint32_t set_;
  std::vector<std::string> columns_;
  std::deque<std::vector<DbValue>> rows_;
  BatchEnd end_ = BatchEnd::kEnd;
  DbError error_;  // when end_ is kFailed: why the row after the last one could not be read
  size_t held_ = 0;  // of the budget
  bool fits_ = true;
};

class OdbcProcessEngine : public DbEngine {
 public:
  explicit OdbcProcessEngine(std::string helperPath) : helperPath_(std::move(helperPath)) {}

  void LimitResults(size_t bytes) override { resultLimit_ = bytes; }

  bool Open(const std::string& connectionString, const DbTimeouts& timeouts, DbError& error) override {
    Close();
    auto link = std::make_shared<HelperLink>(helperPath_, resultLimit_);
    live_.Set(link);
    // A stop that came between the engine's making and its first Open is this Open's.
    const bool first = !std::exchange(opened_, true);
    if (first && aborted_.load()) link->Stop();
    MutexLock lock(link->mutex);
    link->timeouts = timeouts;
    if (!link->Start(error)) return false;
    DriverMessage open = Call(DriverKind::kOpen);
    open.text = connectionString;
    open.timeouts = timeouts;
    const milliseconds wait = WholeSeconds(timeouts.login) + timings::kDriverLoginGrace;
    const std::optional<DriverMessage> reply = link->Send(open, wait, error);
    if (!reply) return false;
    if (reply->kind != DriverKind::kDone) {
      error = reply->error;
      return false;
    }
    link->KeepLogin(std::move(open), wait);
    budget_ = std::make_shared<ResultBudget>(resultLimit_);
    connection_ = std::move(link);
    return true;
  }

  std::unique_ptr<ResultSet> Execute(const std::string& sql, DbError& error) override {
    const std::shared_ptr<HelperLink> link = connection_;
    if (!link) {
      error = Lost("not connected");
      return nullptr;
    }
    DriverMessage execute = Call(DriverKind::kExecute);
    execute.text = sql;
    std::optional<DriverMessage> reply;
    size_t bytes = 0;
    uint64_t generation = 0;
    {
      // Not held past here: a set that does not fit lets go of its statement under it.
      MutexLock lock(link->mutex);
      reply = link->Send(execute, link->timeouts.query, error);
      bytes = link->replyBytes();
      generation = link->generation();
    }
    if (reply && reply->kind != DriverKind::kRows) error = reply->error;
    if (!reply || reply->kind != DriverKind::kRows) {
      NameTheBound(error, *budget_);
      return nullptr;
    }
    auto set = std::make_unique<HelperResultSet>(link, budget_, generation, std::move(*reply), bytes);
    if (set->fits()) return set;
    error = budget_->TooLarge();
    return nullptr;
  }

  // The helper ends when the last result set read from its connection goes.
  void Close() override {
    connection_.reset();
    live_.Set(nullptr);
  }

  // Set before the connection is read, as Open publishes it before reading the flag: one of the
  // two sees the other.
  void Abort() override {
    aborted_.store(true);
    if (const std::shared_ptr<HelperLink> live = live_.Get()) live->Stop();
  }

 private:
  const std::string helperPath_;
  size_t resultLimit_ = 0;
  std::shared_ptr<HelperLink> connection_;
  std::shared_ptr<ResultBudget> budget_;  // the connection's
  AbortTarget<HelperLink> live_;
  std::atomic<bool> aborted_{false};
  bool opened_ = false;  // Open runs alone
};

}  // namespace

std::unique_ptr<DbEngine> MakeOdbcProcessEngine(std::string helperPath) {
  return std::make_unique<OdbcProcessEngine>(std::move(helperPath));
}

}  // namespace strivex
