#include "host/server_reconnector.h"

#include <algorithm>
#include <mutex>
#include <system_error>

#include "db/baza_de_date.h"
#include "host/host_record.h"
#include "host/module_view.h"
#include "host/startup_steps.h"

namespace strivex {

namespace {

constexpr const char* kServerUnreachable = "Nu pot accesa baza de date de pe server !";
// How often a connected session is looked at when nobody reports it lost.
constexpr auto kWatchPeriod = timings::kServerWatchPeriod;

bool Connected(const ModuleContext& context) {
  return context.serverSession != nullptr && context.serverSession->connected.load() == 1;
}

}  // namespace

bool ServerReconnector::Pause(std::chrono::milliseconds delay) {
  // Reports of the same loss must not cut the back-off short; only a stop does.
  const auto until = std::chrono::steady_clock::now() + delay;
  for (auto now = std::chrono::steady_clock::now(); !stop_.load() && now < until; now = std::chrono::steady_clock::now()) {
    context_.serverLost.WaitFor(until - now);
  }
  return !stop_.load();
}

std::chrono::milliseconds NextReconnectDelay(std::chrono::milliseconds delay, const ReconnectPolicy& policy) {
  return std::min(delay * 2, policy.longest);
}

ServerReconnector::ServerReconnector(ModuleContext& context, std::string connectionString, uint8_t direct,
                                     bool operatorTold, ReconnectPolicy policy)
    : context_(context),
      connectionString_(std::move(connectionString)),
      direct_(direct),
      policy_(policy),
      operatorTold_(operatorTold) {}

ServerReconnector::~ServerReconnector() { Stop(); }

void ServerReconnector::Start() {
  if (thread_.joinable() || context_.serverSession == nullptr) return;
  stop_.store(false);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // Without the thread the module works as before: no reconnection.
  }
}

void ServerReconnector::RequestStop() {
  stop_.store(true);
  context_.serverLost.Notify();
}

void ServerReconnector::Stop() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
}

void ServerReconnector::Retarget(std::string connectionString, uint8_t direct) {
  connectionString_ = std::move(connectionString);
  direct_ = direct;
}

bool ServerReconnector::TryOnce() {
  std::lock_guard lock(context_.serverMutex);
  BazaDeDate& session = *context_.serverSession;
  if (session.connected.load() == 1) return true;
  attempts_.fetch_add(1);
  if (!session.DeschidConectie(connectionString_, direct_)) return false;
  context_.serverValid = 1;
  if (context_.host != nullptr) {
    context_.resultMachineId = context_.hostMachineId;
    context_.host->SetFlag(HostRecord::kServerUnavailable, 0);
  }
  if (context_.investigationCodes.empty()) {
    context_.replacementCodes.clear();
    LoadCodeLists(session, context_.resultMachineId, context_);
  }
  return true;
}

void ServerReconnector::Run() {
  auto delay = policy_.first;
  while (!stop_.load()) {
    if (Connected(context_)) {
      delay = policy_.first;
      context_.serverLost.WaitFor(kWatchPeriod);
      continue;
    }
    // Not at once: the start-up has just failed, or a server that is restarting refuses the
    // first connections.
    if (!Pause(delay)) break;
    if (context_.host != nullptr) context_.host->SetFlag(HostRecord::kServerUnavailable, 1);
    if (TryOnce()) {
      operatorTold_ = false;
      delay = policy_.first;
      context_.statusRepaint.store(1);
      context_.uploadWake.Notify();
      continue;
    }
    if (!operatorTold_ && context_.view != nullptr) {
      context_.view->NotifyOperator(kServerUnreachable);
      operatorTold_ = true;
    }
    delay = NextReconnectDelay(delay, policy_);
  }
}

}  // namespace strivex
