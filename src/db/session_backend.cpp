#include "db/session_backend.h"

#include <algorithm>
#include <utility>

#include "util/log_files.h"

namespace strivex {

void FailureLog::Write(const std::string& message, const DbError& error, const std::string& addedLine) {
  // A driver that crashed is told by its signal: the fixed message cannot say it, and an
  // administrator must see that the driver, not the server, failed.
  const std::string& added =
      addedLine.empty() && error.detail.starts_with(kDriverKilledBySignal) ? error.detail : addedLine;
  const std::string entry = added.empty() ? message : message + "\n" + added;
  ErrorLogWriter writer;
  {
    std::lock_guard lock(mutex_);
    message_ = message;
    detail_ = error.detail;
    writer = writer_;
  }
  if (writer) writer(entry);
  else WriteErrorLogEntry(entry);
}

void FailureLog::SetWriter(ErrorLogWriter writer) {
  std::lock_guard lock(mutex_);
  writer_ = std::move(writer);
}

std::string FailureLog::LastMessage() const {
  std::lock_guard lock(mutex_);
  return message_;
}

std::string FailureLog::LastDetail() const {
  std::lock_guard lock(mutex_);
  return detail_;
}

void OutcomeLog::Record(DbFailure failure, std::string text, std::string notice) {
  const std::thread::id self = std::this_thread::get_id();
  std::lock_guard lock(mutex_);
  const auto own = std::find_if(entries_.begin(), entries_.end(),
                                [self](const Entry& entry) { return entry.thread == self; });
  if (own != entries_.end()) entries_.erase(own);
  else if (entries_.size() >= kMostThreads) entries_.erase(entries_.begin());
  entries_.push_back({self, failure, std::move(text), std::move(notice)});
}

const OutcomeLog::Entry* OutcomeLog::Find() const {
  const std::thread::id self = std::this_thread::get_id();
  const auto own = std::find_if(entries_.begin(), entries_.end(),
                                [self](const Entry& entry) { return entry.thread == self; });
  return own == entries_.end() ? nullptr : &*own;
}

DbFailure OutcomeLog::Failure() const {
  std::lock_guard lock(mutex_);
  const Entry* own = Find();
  return own ? own->failure : DbFailure::kNone;
}

std::string OutcomeLog::Text() const {
  std::lock_guard lock(mutex_);
  const Entry* own = Find();
  return own ? own->text : std::string();
}

std::string OutcomeLog::Notice() const {
  std::lock_guard lock(mutex_);
  const Entry* own = Find();
  return own ? own->notice : std::string();
}

}  // namespace strivex
