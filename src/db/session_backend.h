#pragma once
// The two ways a BazaDeDate reaches its database, behind one face: directly through an engine
// (DirectBackend) or through medianex-relay (RelayedBackend). The session picks one when it
// opens and hands every slot operation to it; the session has already checked the slot number.
// Each backend keeps its own rules on logging, the busy flag and the stored error code.

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "db/db_error.h"
#include "db/db_value.h"

namespace strivex {

// The operations both backends carry out; see the top of this file.
class SessionBackend {
 public:
  virtual ~SessionBackend() = default;

  // The slot operations of BazaDeDate, with its contracts (see baza_de_date.h); `slot` is 0 to 9
  // and any thread may call them.
  virtual bool SQLCommand(const std::string& sql, int slot) = 0;  // a statement into a slot
  virtual bool DeschidTabel(const std::string& table, int slot) = 0;  // a whole table
  // A table with a clause.
  virtual bool DeschidTabel(const std::string& table, const std::string& clause, int slot) = 0;
  virtual bool GetRecords(const std::string& sql, int slot) = 0;  // a selection, no busy flag
  virtual DbValue ValoareColoana(const std::string& column, int slot) = 0;  // type 0: no value
  virtual bool NextElementTabel(int slot) = 0;  // false past the last row
  virtual void InchidTabel(int slot) = 0;  // closes the slot's set
  virtual std::vector<std::string> ColumnNames(int slot) = 0;  // the slot's columns
  virtual bool RowAvailable(int slot) = 0;  // whether the slot has a current row
  virtual std::string RowReadFailure(int slot) = 0;  // why its set stopped short; empty if it did not
  // Ends an open connection (BazaDeDate::InchidConectie calls it only while connected is 1);
  // false when it could not, and the session is to stay as it is.
  virtual bool Close() = 0;
  // Ends at once what waits on the server (a login, a statement, a reply): it fails as a lost
  // connection, as does everything after it until the next open. Any thread; never waits.
  virtual void Abort() = 0;
};

// Where a session's error-log entries go instead of straight to "_acterr.log" (the background
// reconnection summarises its repeated failures).
using ErrorLogWriter = std::function<void(const std::string& entry)>;

// A session's failures as "_acterr.log" gets them, and the last one kept for operator tools.
// Any thread may write and read.
class FailureLog {
 public:
  // Appends `message` to the error log (the system's fixed format) and keeps it with the
  // driver's own words from `error`. `addedLine`, when not empty, follows the message in the
  // same entry; without one, a driver's crash (kDriverKilledBySignal) does.
  void Write(const std::string& message, const DbError& error, const std::string& addedLine = {});
  // Sends the entries to `writer` from now on; an empty one sends them to the log again.
  void SetWriter(ErrorLogWriter writer);
  // The message of the last entry written; empty before the first.
  std::string LastMessage() const;
  // The driver's words for that entry; empty before the first.
  std::string LastDetail() const;

 private:
  mutable std::mutex mutex_;
  std::string message_;
  std::string detail_;
  ErrorLogWriter writer_;
};

// The outcome of each thread's last statement or open on a session: threads that share a session
// each read their own. Any thread; a thread reads what it recorded itself.
class OutcomeLog {
 public:
  // Keeps the calling thread's outcome: kNone with no text for a success. `notice`: what the
  // operator is to be told of it, for the caller to show; empty for most failures.
  void Record(DbFailure failure, std::string text = {}, std::string notice = {});
  // The calling thread's last outcome; kNone when it recorded none.
  DbFailure Failure() const;
  // The text kept with it.
  std::string Text() const;
  // The operator's notice kept with it.
  std::string Notice() const;

 private:
  struct Entry {
    std::thread::id thread;
    DbFailure failure = DbFailure::kNone;
    std::string text;
    std::string notice;
  };
  // Threads come and go (every std::async is a new one): the longest unheard-of go first.
  static constexpr size_t kMostThreads = 16;

  const Entry* Find() const;  // the calling thread's, or null; with the mutex held

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;  // the most recently recorded last
};

}  // namespace strivex
