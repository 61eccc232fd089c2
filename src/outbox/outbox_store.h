#pragma once
// The durable outbox of results: "_Strivex_outbox.db" beside the logs, SQLite in WAL mode. The
// processing thread commits each message's results here before anything else happens to them; the
// upload thread sends pending rows oldest first and marks a row stored only after the server has
// confirmed its statement. Every call is safe from any thread (one connection behind a mutex);
// other processes (strivex-cli outbox) may open the same file at the same time.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "outbox/outbox_row.h"
#include "protocol/records.h"
#include "util/local_time.h"

namespace strivex {

namespace sqlite {
struct Error;
}

inline constexpr const char* kOutboxFileName = "_Strivex_outbox.db";

// Where a sample's results stand: the received list greys a row until both are 0.
struct SampleBacklog {
  int64_t pending = 0;
  int64_t rejected = 0;
};

class OutboxStore {
 public:
  enum class OpenMode {
    kCreate,    // the module: creates the file (0600) when it is missing
    kExisting,  // administrators' tools: refuses a missing file or one that is not an outbox
  };

  // Null with the reason in error when the file cannot be opened, created or recognised. A file
  // of the first format gains the columns of the current one as it is opened. Processes opening a
  // new or older file at the same moment wait for each other: it is created or upgraded once.
  static std::unique_ptr<OutboxStore> Open(const std::string& path, OpenMode mode, std::string& error);
  ~OutboxStore();
  OutboxStore(const OutboxStore&) = delete;
  OutboxStore& operator=(const OutboxStore&) = delete;

  // The module's instrument: from now on new rows are written as its, and only its rows are due,
  // timed and counted (the others' in OutboxStats::otherMachines). Rows written before rows
  // recorded their instrument become its. False (the reason in LastError) when they could not be
  // claimed; the owner is set all the same. Tools set none and see every row.
  bool SetOwner(int32_t machineId);

  // Writes every result of every sample in one transaction, fsynced before it returns; the
  // message's id, or nullopt (nothing written) with the reason. Operators' changes (Retry,
  // Assign...) are fsynced too; the upload's marks are not.
  std::optional<int64_t> AddMessage(const SampleList& samples, const LocalTime& receivedAt, std::string& error);
  // The same, with the message's printouts that have no sample: their results are kept as
  // unassigned, each printout under its own sample index after the samples'.
  std::optional<int64_t> AddMessage(const SampleList& samples, const SampleList& unassigned,
                                    const LocalTime& receivedAt, std::string& error);

  // Gives one printout's unassigned results a request id, keeping when and by whom (`assignedBy`,
  // one of the kAssigned... words); they are then sent like any other. How many rows changed.
  int64_t AssignPrintout(int64_t messageId, int32_t sampleIndex, int32_t requestId, const char* assignedBy);
  // The same by row ids (administrators' tools); the ids that were changed.
  std::vector<int64_t> AssignRows(std::span<const int64_t> ids, int32_t requestId, const char* assignedBy);

  // Pending rows whose next attempt is due at `now` (unix seconds), oldest first.
  std::vector<OutboxRow> DuePending(int64_t now, size_t limit);
  // The earliest next attempt of any pending row, nullopt when nothing is pending.
  std::optional<int64_t> NextAttemptAt();

  // The server confirmed the row. Written without waiting for the disk: losing this mark in a
  // power cut only sends the row once more, and the wait would widen the duplicate window.
  bool MarkStored(int64_t id, int64_t now);
  // The server refused the row: try again at nextAttemptAt, or keep it rejected (final).
  bool MarkRefused(int64_t id, int32_t attempts, int64_t nextAttemptAt, const std::string& serverText);
  bool MarkRejected(int64_t id, int32_t attempts, const std::string& serverText);

  // Puts rejected rows back in line (attempts start again); the ids that were changed.
  std::vector<int64_t> Retry(std::span<const int64_t> ids);
  std::vector<int64_t> RetryAllRejected();

  // Removes stored rows confirmed before cutoff (unix seconds); how many went.
  int64_t PurgeStoredBefore(int64_t cutoff);

  // Every count, stored rows included (they are many after a month: for tools).
  OutboxStats Stats();
  // Pending, rejected and unassigned only (stored stays 0): cheap at any size, for the upload.
  OutboxStats Backlog();
  SampleBacklog BacklogOf(int64_t messageId, int32_t sampleIndex);
  // Every row, or the rows in one state, oldest first.
  std::vector<OutboxRow> List(std::optional<OutboxState> state);
  std::optional<OutboxRow> Row(int64_t id);

  const std::string& path() const { return path_; }
  // The reason of the last failed call, for the logs.
  std::string LastError();

 private:
  struct Handle;
  OutboxStore(std::string path, std::unique_ptr<Handle> handle);

  class DurableScope;
  bool ExecLocked(const char* sql);
  // Keeps SQLite's reason, after the file's path, as the last error; returns it.
  const std::string& Note(const sqlite::Error& failure);
  OutboxStats Count(bool withStored);
  bool Fail(const char* what);
  // " AND machine_id = <owner>" while there is an owner, else nothing. The mutex is held.
  std::string OwnerFilter() const;

  std::string path_;
  std::mutex mutex_;
  std::optional<int32_t> owner_;
  std::unique_ptr<Handle> handle_;
  std::string lastError_;
};

// Seconds since the epoch from the system clock: what the outbox's times are counted in.
int64_t UnixNow();

}  // namespace strivex
