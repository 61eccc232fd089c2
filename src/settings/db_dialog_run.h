#pragma once
// The database settings dialog's "Testez Conectie" and OK while their login runs: on a worker, so
// that the window keeps painting, with the dialog saying it is busy, and with a cancel that lets
// the attempt go. The answer comes back on the window's thread; an abandoned attempt's answer is
// dropped there (its worker has closed what it opened by then). No Qt: the dialog only shows it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/db_engine.h"
#include "settings/db_settings_model.h"

namespace strivex {

// What an attempt came to, for the window.
struct DbDialogAnswer {
  bool connected = false;
  std::vector<std::string> boxes;  // shown in this order, on the window's thread
};

// The window's thread only, but for the work itself.
class DbDialogRun {
 public:
  using Task = std::function<void()>;
  // Runs a task on a worker; false when it cannot.
  using StartTask = std::function<bool(Task)>;
  // Queues a task onto the window's thread; never waits.
  using Post = std::function<void(Task)>;
  using Work = std::function<DbDialogAnswer()>;
  using Done = std::function<void(const DbDialogAnswer&)>;
  enum class Attempt { kNone, kTest, kApply };

  DbDialogRun(StartTask start, Post post) : start_(std::move(start)), post_(std::move(post)) {}
  // Abandons what still runs.
  ~DbDialogRun() { Abandon(); }
  DbDialogRun(const DbDialogRun&) = delete;
  DbDialogRun& operator=(const DbDialogRun&) = delete;

  // Runs `work` on a worker and then `done` with its answer on the window's thread, unless the
  // attempt was abandoned meanwhile. False, nothing started, while an attempt runs or when no
  // worker can start.
  bool Begin(Attempt attempt, Work work, Done done);
  // The attempt in progress is let go: its answer will be dropped.
  void Abandon();
  Attempt running() const;
  // What the dialog says while an attempt runs; empty when none does.
  std::string BusyText() const;

 private:
  struct Ticket {
    Attempt attempt = Attempt::kNone;
    bool over = false;  // answered or abandoned; the window's thread only
  };

  StartTask start_;
  Post post_;
  std::shared_ptr<Ticket> current_;
};

// "Testez Conectie" as a worker does it: TestDbConnection, its answer with the relayed open's
// notice, if any, before the outcome.
DbDialogAnswer TestDbConnectionAnswer(const DbConnectionFields& fields, const DbTimeouts& configured);

}  // namespace strivex
