#include "settings/db_dialog_run.h"

namespace strivex {

namespace {

constexpr const char* kTesting = "Testez conectarea la server... (Cancel renunta)";
constexpr const char* kApplying = "Conectez serverul cu noile setari... (Cancel inchide fereastra)";

}  // namespace

bool DbDialogRun::Begin(Attempt attempt, Work work, Done done) {
  if (running() != Attempt::kNone || attempt == Attempt::kNone) return false;
  auto ticket = std::make_shared<Ticket>();
  ticket->attempt = attempt;
  // The worker holds the ticket and the callbacks, never this object, which may be gone first.
  const bool started = start_([work = std::move(work), done = std::move(done), post = post_, ticket] {
    DbDialogAnswer answer = work();
    post([done, ticket, answer = std::move(answer)] {
      if (ticket->over) return;
      ticket->over = true;
      done(answer);
    });
  });
  if (started) current_ = std::move(ticket);
  return started;
}

void DbDialogRun::Abandon() {
  if (current_) current_->over = true;
  current_.reset();
}

DbDialogRun::Attempt DbDialogRun::running() const {
  return current_ && !current_->over ? current_->attempt : Attempt::kNone;
}

std::string DbDialogRun::BusyText() const {
  switch (running()) {
    case Attempt::kTest: return kTesting;
    case Attempt::kApply: return kApplying;
    case Attempt::kNone: break;
  }
  return {};
}

DbDialogAnswer TestDbConnectionAnswer(const DbConnectionFields& fields, const DbTimeouts& configured) {
  DbDialogAnswer answer;
  std::string notice;
  const std::string said = TestDbConnection(fields, configured, &notice);
  if (!notice.empty()) answer.boxes.push_back(notice);
  answer.boxes.push_back(said);
  answer.connected = said == kConnectionTestPassed;
  return answer;
}

}  // namespace strivex
