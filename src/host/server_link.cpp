#include "host/server_link.h"

#include "db/baza_de_date.h"

namespace strivex {

namespace {

bool Open(const BazaDeDate* session) { return session != nullptr && session->connected.load() == 1; }

}  // namespace

class ServerLink::InFlight {
 public:
  explicit InFlight(ServerLink& link) : link_(link) {
    link_.workSince_.store(link_.clock_().time_since_epoch().count());
  }
  ~InFlight() { link_.workSince_.store(kNoWork); }
  InFlight(const InFlight&) = delete;
  InFlight& operator=(const InFlight&) = delete;

 private:
  ServerLink& link_;
};

bool ServerLink::Connected() const { return Open(session_.load()); }

LinkResult ServerLink::Run(const Work& work, Needs needs) {
  // Checked before the lock too: a lost session is not waited for behind a whole login.
  if (aborted_.load() || (needs == Needs::kConnected && !Connected())) return {};
  MutexLock lock(mutex_);
  return RunLocked(work, needs);
}

LinkResult ServerLink::TryRun(const Work& work, std::chrono::milliseconds wait, Needs needs) {
  if (aborted_.load() || (needs == Needs::kConnected && !Connected())) return {};
  if (!mutex_.try_lock_for(wait)) return {LinkOutcome::kBusy, {}};
  const MutexLock lock(mutex_, std::adopt_lock);
  return RunLocked(work, needs);
}

LinkResult ServerLink::RunLocked(const Work& work, Needs needs) {
  BazaDeDate* session = session_.load();
  // Aborted while this thread waited for the lock.
  if (aborted_.load() || session == nullptr || (needs == Needs::kConnected && !Open(session))) return {};
  Scope scope(*session, codes_, ids_, target_, targetDirect_);
  bool applied = false;
  {
    const InFlight inFlight(*this);
    applied = work(scope);
  }
  if (applied) return {LinkOutcome::kApplied, {}};
  LinkResult result;
  result.serverText = session->lastErrorText();
  if (result.serverText.empty()) result.serverText = session->LastErrorMessage();
  if (session->lastFailure() == DbFailure::kConnectionLost || !Open(session)) {
    // A dead connection is closed, so that the reconnection opens a new one.
    if (session->connected.load() == 1) session->InchidConectie();
    result.outcome = LinkOutcome::kConnectionLost;
  } else {
    result.outcome = LinkOutcome::kRefused;
  }
  return result;
}

void ServerLink::Abort() {
  aborted_.store(true);
  if (BazaDeDate* session = session_.load()) session->Abort();
}

std::optional<std::chrono::steady_clock::time_point> ServerLink::WorkSince() const {
  const auto since = workSince_.load();
  if (since == kNoWork) return std::nullopt;
  return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(since));
}

bool ServerLink::Overdue(std::chrono::steady_clock::time_point now, std::chrono::milliseconds threshold) const {
  const auto since = WorkSince();
  return since && now - *since > threshold;
}

void ServerLink::SetCodes(CodeLists codes) {
  MutexLock lock(mutex_);
  codes_ = std::move(codes);
}

void ServerLink::SetMachineIds(MachineIds ids) {
  MutexLock lock(mutex_);
  ids_ = ids;
}

MachineIds ServerLink::Ids() {
  MutexLock lock(mutex_);
  return ids_;
}

void ServerLink::SetTarget(std::string connectionString, uint8_t direct) {
  MutexLock lock(mutex_);
  target_ = std::move(connectionString);
  targetDirect_ = direct;
}

}  // namespace strivex
