#include "outbox/outbox_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "sqlite/statement.h"
#include "sqlite/transaction.h"
#include "util/format.h"
#include "util/timings.h"
#include "util/unique_fd.h"

namespace strivex {

namespace {

// 'STRX': marks the file as an outbox, so a tool never works on some other database by mistake.
constexpr int32_t kApplicationId = 0x53545258;
// 2: rows record their instrument and who assigned a printout its request.
constexpr int32_t kFormatVersion = 2;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS messages(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  received_at TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS results(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  message_id INTEGER NOT NULL,
  sample_index INTEGER NOT NULL,
  request_id INTEGER NOT NULL,
  analysis_code BLOB NOT NULL,
  parameter_code BLOB NOT NULL,
  value BLOB NOT NULL,
  second_marker BLOB NOT NULL,
  received_at TEXT NOT NULL,
  state TEXT NOT NULL DEFAULT 'pending' CHECK (state IN ('pending', 'stored', 'rejected', 'unassigned')),
  attempts INTEGER NOT NULL DEFAULT 0,
  next_attempt_at INTEGER NOT NULL DEFAULT 0,
  stored_at INTEGER NOT NULL DEFAULT 0,
  last_error TEXT NOT NULL DEFAULT '',
  machine_id INTEGER,
  assigned_at INTEGER NOT NULL DEFAULT 0,
  assigned_by TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS results_by_state ON results(state, id);
CREATE INDEX IF NOT EXISTS results_by_sample ON results(message_id, sample_index);
)sql";

constexpr const char* kRowColumns =
    "id, message_id, sample_index, request_id, analysis_code, parameter_code, value, second_marker, "
    "received_at, state, attempts, next_attempt_at, stored_at, last_error, machine_id, assigned_at, assigned_by";

// From the first format: rows kept no instrument (NULL until a module claims them) and no
// assignment.
constexpr const char* kUpgradeFrom1 =
    "ALTER TABLE results ADD COLUMN machine_id INTEGER; "
    "ALTER TABLE results ADD COLUMN assigned_at INTEGER NOT NULL DEFAULT 0; "
    "ALTER TABLE results ADD COLUMN assigned_by TEXT NOT NULL DEFAULT ''; "
    "PRAGMA user_version=2; ";

OutboxRow ReadRow(const sqlite::Statement& stmt) {
  OutboxRow row;
  row.id = stmt.Int(0);
  row.messageId = stmt.Int(1);
  row.sampleIndex = static_cast<int32_t>(stmt.Int(2));
  row.requestId = static_cast<int32_t>(stmt.Int(3));
  row.analysisCode = stmt.Bytes(4);
  row.parameterCode = stmt.Bytes(5);
  row.value = stmt.Bytes(6);
  row.secondMarker = stmt.Bytes(7);
  row.receivedAt = stmt.Bytes(8);
  row.state = OutboxStateFromName(stmt.Bytes(9)).value_or(OutboxState::kPending);
  row.attempts = static_cast<int32_t>(stmt.Int(10));
  row.nextAttemptAt = stmt.Int(11);
  row.storedAt = stmt.Int(12);
  row.lastError = stmt.Bytes(13);
  row.machineId = static_cast<int32_t>(stmt.Int(14));
  row.assignedAt = stmt.Int(15);
  row.assignedBy = stmt.Bytes(16);
  return row;
}

std::string TimeText(const LocalTime& t) {
  return Format("%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

// New files are the owner's only: results are patients' data.
bool CreateOwnerOnly(const std::string& path, std::string& error) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (fd.valid() || errno == EEXIST) return true;
  error = Format("cannot create %s: %s", path.c_str(), std::strerror(errno));
  return false;
}

// What an open finds in the file.
struct FileLook {
  std::optional<std::string> failure;  // why the file could not be read
  int64_t appId = 0;
  int64_t tables = 0;
  int64_t version = 0;

  bool empty() const { return appId == 0 && tables == 0; }
  bool current() const { return appId == kApplicationId && version == kFormatVersion; }
};

// One statement, so one snapshot: read one by one, another process's creation of the file could
// fall between its marks and its tables.
FileLook Look(const sqlite::Connection& db) {
  sqlite::Statement stmt(db, "SELECT * FROM pragma_application_id, (SELECT count(*) FROM sqlite_master), "
                             "pragma_user_version");
  if (!stmt.ok() || !stmt.Step()) return FileLook{db.LastError().message};
  return FileLook{std::nullopt, stmt.Int(0), stmt.Int(1), stmt.Int(2)};
}

// Why the file cannot be opened as an outbox in this mode; false when it can.
bool Refuse(const FileLook& look, const std::string& path, OutboxStore::OpenMode mode, std::string& error) {
  if (look.failure) {
    error = Format("%s is not a result outbox (%s)", path.c_str(), look.failure->c_str());
  } else if (look.appId != kApplicationId && !(look.empty() && mode == OutboxStore::OpenMode::kCreate)) {
    error = Format("%s is not a result outbox", path.c_str());
  } else if (!look.empty() && (look.version > kFormatVersion || look.version < 1)) {
    error = Format("%s has outbox format %lld; this version reads 1 to %d", path.c_str(),
                   static_cast<long long>(look.version), kFormatVersion);
  } else {
    return false;
  }
  return true;
}

}  // namespace

struct OutboxStore::Handle {
  sqlite::Connection db;
  // The upload marks a row after every confirmed statement: prepared once.
  std::unique_ptr<sqlite::Statement> markStored;
  // The window shows the backlog several times a second: prepared once for the current owner.
  std::unique_ptr<sqlite::Statement> backlog;
};

// Makes the writes of its lifetime wait for the disk (synchronous FULL); the connection is NORMAL
// otherwise. The store's mutex is held.
class OutboxStore::DurableScope {
 public:
  explicit DurableScope(OutboxStore& store) : store_(store) { store_.ExecLocked("PRAGMA synchronous=FULL"); }
  ~DurableScope() {
    const std::string reason = store_.lastError_;
    store_.ExecLocked("PRAGMA synchronous=NORMAL");
    store_.lastError_ = reason;
  }
  DurableScope(const DurableScope&) = delete;
  DurableScope& operator=(const DurableScope&) = delete;

 private:
  OutboxStore& store_;
};

int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

OutboxStore::OutboxStore(std::string path, std::unique_ptr<Handle> handle)
    : path_(std::move(path)), handle_(std::move(handle)) {}

OutboxStore::~OutboxStore() = default;

std::unique_ptr<OutboxStore> OutboxStore::Open(const std::string& path, OpenMode mode, std::string& error) {
  const bool exists = ::access(path.c_str(), F_OK) == 0;
  if (!exists && mode == OpenMode::kExisting) {
    error = Format("%s: no such file", path.c_str());
    return nullptr;
  }
  if (!exists && !CreateOwnerOnly(path, error)) return nullptr;

  sqlite::Error failure;
  sqlite::Connection db = sqlite::Connection::Open(path, failure);
  if (!db.ok()) {
    error = Format("%s: %s", path.c_str(), failure.message.c_str());
    return nullptr;
  }
  db.SetBusyTimeout(timings::kOutboxBusyWait);
  // The first look refuses another database before anything is written to it, and lets a tool
  // open a current outbox without writing to it or waiting for the module's writes.
  FileLook look = Look(db);
  if (Refuse(look, path, mode, error)) return nullptr;
  auto store = std::unique_ptr<OutboxStore>(new OutboxStore(path, std::make_unique<Handle>(Handle{std::move(db), nullptr, nullptr})));
  sqlite::Connection& opened = store->handle_->db;
  std::lock_guard lock(store->mutex_);
  if (!store->ExecLocked("PRAGMA synchronous=NORMAL")) {
    error = store->lastError_;
    return nullptr;
  }
  if (look.current()) return store;

  // A new or older file: another process may be creating or upgrading it at this very moment (a
  // module and strivex-cli outbox started together), so it is looked at again under the write
  // lock and changed by whoever holds it first. The journal mode cannot change inside that
  // transaction, and SQLite answers a switch that meets another connection's lock with SQLITE_BUSY
  // at once, without waiting: the switch is tried again until the busy wait is over.
  const auto deadline = std::chrono::steady_clock::now() + timings::kOutboxBusyWait;
  opened.SetBusyTimeout(std::chrono::milliseconds(0));
  bool wal = false;
  while (!(wal = store->ExecLocked("PRAGMA journal_mode=WAL")) && opened.LastError().primary() == SQLITE_BUSY &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(timings::kOutboxWalSwitchRetry);
  }
  opened.SetBusyTimeout(timings::kOutboxBusyWait);
  if (!wal) {
    error = store->lastError_;
    return nullptr;
  }
  sqlite::Transaction change(opened, sqlite::Transaction::Lock::kImmediate);
  if (!change.ok()) {
    error = store->Note(change.error());
    return nullptr;
  }
  look = Look(opened);
  if (Refuse(look, path, mode, error)) return nullptr;
  std::string setup;
  if (look.empty()) {
    setup = Format("PRAGMA application_id=%d; PRAGMA user_version=%d; %s", kApplicationId, kFormatVersion, kSchema);
  } else if (look.version == 1) {
    setup = kUpgradeFrom1;
  }
  if (!setup.empty() && !store->ExecLocked(setup.c_str())) {
    error = store->lastError_;
    return nullptr;
  }
  if (!change.Commit()) {
    error = store->Note(change.error());
    return nullptr;
  }
  return store;
}

bool OutboxStore::ExecLocked(const char* sql) {
  sqlite::Error failure;
  if (handle_->db.Exec(sql, failure)) return true;
  Note(failure);
  return false;
}

const std::string& OutboxStore::Note(const sqlite::Error& failure) {
  lastError_ = Format("%s: %s", path_.c_str(), failure.message.c_str());
  return lastError_;
}

bool OutboxStore::Fail(const char* what) {
  lastError_ = Format("%s: %s: %s", path_.c_str(), what, handle_->db.LastError().message.c_str());
  return false;
}

std::string OutboxStore::OwnerFilter() const {
  return owner_ ? Format(" AND machine_id = %d", *owner_) : std::string();
}

bool OutboxStore::SetOwner(int32_t machineId) {
  std::lock_guard lock(mutex_);
  owner_ = machineId;
  handle_->backlog.reset();  // its text names the owner
  const DurableScope durable(*this);
  return ExecLocked(Format("UPDATE results SET machine_id = %d WHERE machine_id IS NULL", machineId).c_str());
}

std::string OutboxStore::LastError() {
  std::lock_guard lock(mutex_);
  return lastError_;
}

std::optional<int64_t> OutboxStore::AddMessage(const SampleList& samples, const LocalTime& receivedAt,
                                               std::string& error) {
  return AddMessage(samples, SampleList(), receivedAt, error);
}

std::optional<int64_t> OutboxStore::AddMessage(const SampleList& samples, const SampleList& unassigned,
                                               const LocalTime& receivedAt, std::string& error) {
  std::lock_guard lock(mutex_);
  sqlite::Connection& db = handle_->db;
  const std::string when = TimeText(receivedAt);
  // Received results are fsynced before the call returns; the marks of the upload need not be.
  const DurableScope durable(*this);
  sqlite::Transaction transaction(db, sqlite::Transaction::Lock::kImmediate);
  if (!transaction.ok()) {
    error = Note(transaction.error());
    return std::nullopt;
  }
  // The caller gets the first reason; a rollback that fails too is the latest news of the file.
  auto giveUp = [&] {
    error = lastError_;
    if (!transaction.Rollback()) Note(transaction.error());
    return std::nullopt;
  };
  auto fail = [&](const char* what) {
    Fail(what);
    return giveUp();
  };
  sqlite::Statement message(db, "INSERT INTO messages(received_at) VALUES (?)");
  if (!message.ok() || !message.Bind(1, when).Run()) return fail("cannot record the message");
  const int64_t messageId = db.LastInsertId();
  sqlite::Statement insert(db,
                           "INSERT INTO results(message_id, sample_index, request_id, analysis_code, parameter_code, "
                           "value, second_marker, received_at, state, machine_id) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  if (!insert.ok()) return fail("cannot record the results");
  // Printouts without a sample follow the samples, each under an index of its own.
  int32_t sampleIndex = 0;
  for (const SampleList* list : {&samples, &unassigned}) {
    const std::string_view state = OutboxStateName(list == &samples ? OutboxState::kPending : OutboxState::kUnassigned);
    for (const SampleRecord& sample : *list) {
      for (const GroupRecord& group : sample.groups) {
        for (const ResultRecord& result : group.results) {
          insert.Bind(1, messageId).Bind(2, int64_t{sampleIndex}).Bind(3, int64_t{list == &samples ? sample.requestId : 0});
          insert.Bind(4, group.analysisCode).Bind(5, result.parameterCode).Bind(6, result.value);
          insert.Bind(7, result.secondMarker).Bind(8, when).BindText(9, state);
          if (owner_) insert.Bind(10, int64_t{*owner_});
          else insert.BindNull(10);
          if (!insert.Run()) return fail("cannot record a result");
          insert.Reset();
        }
      }
      ++sampleIndex;
    }
  }
  if (!transaction.Commit()) {
    Note(transaction.error());
    return giveUp();
  }
  return messageId;
}

int64_t OutboxStore::AssignPrintout(int64_t messageId, int32_t sampleIndex, int32_t requestId,
                                    const char* assignedBy) {
  std::lock_guard lock(mutex_);
  const DurableScope durable(*this);
  sqlite::Statement stmt(handle_->db,
                         "UPDATE results SET request_id = ?, state = 'pending', assigned_at = ?, assigned_by = ? "
                       "WHERE message_id = ? AND sample_index = ? AND state = 'unassigned'");
  if (!stmt.ok() || !stmt.Bind(1, int64_t{requestId}).Bind(2, UnixNow()).BindText(3, assignedBy)
                             .Bind(4, messageId).Bind(5, int64_t{sampleIndex}).Run()) {
    return Fail("cannot assign the results"), 0;
  }
  return handle_->db.Changes();
}

std::vector<int64_t> OutboxStore::AssignRows(std::span<const int64_t> ids, int32_t requestId,
                                             const char* assignedBy) {
  std::lock_guard lock(mutex_);
  const DurableScope durable(*this);
  std::vector<int64_t> changed;
  sqlite::Statement stmt(handle_->db,
                         "UPDATE results SET request_id = ?, state = 'pending', assigned_at = ?, assigned_by = ? "
                       "WHERE id = ? AND state = 'unassigned'");
  if (!stmt.ok()) return Fail("cannot assign the results"), changed;
  const int64_t now = UnixNow();
  for (int64_t id : ids) {
    stmt.Bind(1, int64_t{requestId}).Bind(2, now).BindText(3, assignedBy).Bind(4, id);
    if (stmt.Run() && handle_->db.Changes() == 1) changed.push_back(id);
    stmt.Reset();
  }
  return changed;
}

std::vector<OutboxRow> OutboxStore::DuePending(int64_t now, size_t limit) {
  std::lock_guard lock(mutex_);
  std::vector<OutboxRow> rows;
  sqlite::Statement stmt(handle_->db, Format("SELECT %s FROM results WHERE state = 'pending' AND "
                                                 "next_attempt_at <= ?%s ORDER BY id LIMIT ?",
                                                 kRowColumns, OwnerFilter().c_str()));
  if (!stmt.ok()) return Fail("cannot read pending results"), rows;
  stmt.Bind(1, now).Bind(2, static_cast<int64_t>(limit));
  while (stmt.Step()) rows.push_back(ReadRow(stmt));
  return rows;
}

std::optional<int64_t> OutboxStore::NextAttemptAt() {
  std::lock_guard lock(mutex_);
  sqlite::Statement stmt(handle_->db,
                         "SELECT min(next_attempt_at) FROM results WHERE state = 'pending'" + OwnerFilter());
  if (!stmt.ok() || !stmt.Step() || stmt.ColumnType(0) == SQLITE_NULL) {
    return std::nullopt;
  }
  return stmt.Int(0);
}

bool OutboxStore::MarkStored(int64_t id, int64_t now) {
  std::lock_guard lock(mutex_);
  if (!handle_->markStored) {
    handle_->markStored = std::make_unique<sqlite::Statement>(
        handle_->db, "UPDATE results SET state = 'stored', stored_at = ?, last_error = '' WHERE id = ?");
  }
  sqlite::Statement& stmt = *handle_->markStored;
  const bool ok = stmt.ok() && stmt.Bind(1, now).Bind(2, id).Run();
  stmt.Reset();
  return ok || Fail("cannot mark a result stored");
}

bool OutboxStore::MarkRefused(int64_t id, int32_t attempts, int64_t nextAttemptAt, const std::string& serverText) {
  std::lock_guard lock(mutex_);
  sqlite::Statement stmt(handle_->db,
                         "UPDATE results SET attempts = ?, next_attempt_at = ?, last_error = ? WHERE id = ?");
  if (stmt.ok() && stmt.Bind(1, int64_t{attempts}).Bind(2, nextAttemptAt).Bind(3, serverText).Bind(4, id).Run()) {
    return true;
  }
  return Fail("cannot record a refusal");
}

bool OutboxStore::MarkRejected(int64_t id, int32_t attempts, const std::string& serverText) {
  std::lock_guard lock(mutex_);
  sqlite::Statement stmt(handle_->db,
                         "UPDATE results SET state = 'rejected', attempts = ?, last_error = ? WHERE id = ?");
  if (stmt.ok() && stmt.Bind(1, int64_t{attempts}).Bind(2, serverText).Bind(3, id).Run()) return true;
  return Fail("cannot mark a result rejected");
}

std::vector<int64_t> OutboxStore::Retry(std::span<const int64_t> ids) {
  std::lock_guard lock(mutex_);
  const DurableScope durable(*this);
  std::vector<int64_t> changed;
  sqlite::Statement stmt(handle_->db,
                         "UPDATE results SET state = 'pending', attempts = 0, next_attempt_at = 0 "
                       "WHERE id = ? AND state = 'rejected'");
  if (!stmt.ok()) return Fail("cannot put results back in line"), changed;
  for (int64_t id : ids) {
    if (stmt.Bind(1, id).Run() && handle_->db.Changes() == 1) changed.push_back(id);
    stmt.Reset();
  }
  return changed;
}

std::vector<int64_t> OutboxStore::RetryAllRejected() {
  std::vector<int64_t> ids;
  for (const OutboxRow& row : List(OutboxState::kRejected)) ids.push_back(row.id);
  return Retry(ids);
}

int64_t OutboxStore::PurgeStoredBefore(int64_t cutoff) {
  std::lock_guard lock(mutex_);
  sqlite::Statement stmt(handle_->db, "DELETE FROM results WHERE state = 'stored' AND stored_at < ?");
  if (!stmt.ok() || !stmt.Bind(1, cutoff).Run()) return Fail("cannot purge stored results"), 0;
  const int64_t removed = handle_->db.Changes();
  ExecLocked("DELETE FROM messages WHERE id NOT IN (SELECT message_id FROM results)");
  return removed;
}

OutboxStats OutboxStore::Backlog() { return Count(false); }

OutboxStats OutboxStore::Stats() { return Count(true); }

OutboxStats OutboxStore::Count(bool withStored) {
  std::lock_guard lock(mutex_);
  OutboxStats stats;
  // Without the stored rows the (state, id) index answers at once, however many are kept. The
  // second column tells the owner's rows (1) from other instruments' (0); 1 for all without one.
  const std::string mine = owner_ ? Format("machine_id IS %d", *owner_) : std::string("1");
  const auto Prepare = [&] {
    return std::make_unique<sqlite::Statement>(
        handle_->db, Format("SELECT state, %s, count(*), min(id) FROM results %s GROUP BY 1, 2", mine.c_str(),
                                  withStored ? "" : "WHERE state IN ('pending', 'rejected', 'unassigned')"));
  };
  std::unique_ptr<sqlite::Statement> once;
  if (withStored) {
    once = Prepare();
  } else if (!handle_->backlog) {
    handle_->backlog = Prepare();
  }
  sqlite::Statement& stmt = withStored ? *once : *handle_->backlog;
  if (!stmt.ok()) return Fail("cannot count results"), stats;
  while (stmt.Step()) {
    const auto state = OutboxStateFromName(stmt.Bytes(0));
    const int64_t count = stmt.Int(2);
    if (stmt.Int(1) == 0) {
      if (state != OutboxState::kStored) stats.otherMachines += count;
    } else if (state == OutboxState::kPending) {
      stats.pending = count;
      stats.oldestPendingId = stmt.Int(3);
    } else if (state == OutboxState::kStored) {
      stats.stored = count;
    } else if (state == OutboxState::kRejected) {
      stats.rejected = count;
    } else if (state == OutboxState::kUnassigned) {
      stats.unassigned = count;
    }
  }
  stmt.Reset();
  if (!withStored) return stats;
  sqlite::Statement byMachine(handle_->db,
                            "SELECT coalesce(machine_id, 0), count(*) FROM results WHERE state = 'pending' "
                            "GROUP BY 1 ORDER BY 1");
  while (byMachine.ok() && byMachine.Step()) {
    stats.pendingByMachine.emplace_back(static_cast<int32_t>(byMachine.Int(0)), byMachine.Int(1));
  }
  return stats;
}

SampleBacklog OutboxStore::BacklogOf(int64_t messageId, int32_t sampleIndex) {
  std::lock_guard lock(mutex_);
  SampleBacklog backlog;
  sqlite::Statement stmt(handle_->db,
                         "SELECT coalesce(sum(state = 'pending'), 0), coalesce(sum(state = 'rejected'), 0) "
                       "FROM results WHERE message_id = ? AND sample_index = ?");
  if (stmt.ok() && stmt.Bind(1, messageId).Bind(2, int64_t{sampleIndex}).Step()) {
    backlog.pending = stmt.Int(0);
    backlog.rejected = stmt.Int(1);
  }
  return backlog;
}

std::vector<OutboxRow> OutboxStore::List(std::optional<OutboxState> state) {
  std::lock_guard lock(mutex_);
  std::vector<OutboxRow> rows;
  const std::string where = state ? " WHERE state = ?" : "";
  sqlite::Statement stmt(handle_->db, Format("SELECT %s FROM results%s ORDER BY id", kRowColumns, where.c_str()));
  if (!stmt.ok()) return Fail("cannot list results"), rows;
  if (state) stmt.BindText(1, OutboxStateName(*state));
  while (stmt.Step()) rows.push_back(ReadRow(stmt));
  return rows;
}

std::optional<OutboxRow> OutboxStore::Row(int64_t id) {
  std::lock_guard lock(mutex_);
  sqlite::Statement stmt(handle_->db, Format("SELECT %s FROM results WHERE id = ?", kRowColumns));
  if (stmt.ok() && stmt.Bind(1, id).Step()) return ReadRow(stmt);
  return std::nullopt;
}

}  // namespace strivex
