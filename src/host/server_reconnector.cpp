#include "host/server_reconnector.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "host/host_record.h"
#include "host/module_view.h"
#include "host/startup_steps.h"
#include "util/format.h"
#include "util/log_files.h"

namespace strivex {

namespace {

constexpr const char* kServerUnreachable = "Nu pot accesa baza de date de pe server !";
// How often a connected session is looked at when nobody reports it lost.
constexpr auto kWatchPeriod = timings::kServerWatchPeriod;

}  // namespace

bool ServerReconnector::Pause(std::chrono::milliseconds delay) {
  // Reports of the same loss must not cut the back-off short; only a stop does.
  const auto until = std::chrono::steady_clock::now() + delay;
  for (auto now = std::chrono::steady_clock::now(); !stop_.load() && now < until; now = std::chrono::steady_clock::now()) {
    parts_.upload.serverLost().WaitFor(until - now);
  }
  return !stop_.load();
}

std::chrono::milliseconds NextReconnectDelay(std::chrono::milliseconds delay, const ReconnectPolicy& policy) {
  return std::min(delay * 2, policy.longest);
}

ServerReconnector::ServerReconnector(const ReconnectParts& parts, std::string connectionString, uint8_t direct,
                                     bool operatorTold, ReconnectPolicy policy)
    : parts_(parts), policy_(policy), operatorTold_(operatorTold), failures_(policy_.clock) {
  parts_.server.SetTarget(std::move(connectionString), direct);
}

ServerReconnector::~ServerReconnector() { Stop(); }

void ServerReconnector::Start() {
  if (thread_.joinable()) return;
  stop_.store(false);
  try {
    thread_ = std::thread([this] {
      RunWorker(kReconnectionWorker, [this] { Run(); }, &parts_.workers,
                [this](std::chrono::milliseconds backOff) { return Pause(backOff); });
    });
  } catch (const std::system_error&) {
    // Without the thread the module works as before: no reconnection.
  }
}

void ServerReconnector::RequestStop() {
  stop_.store(true);
  parts_.upload.serverLost().Notify();
}

void ServerReconnector::Stop() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
}

bool ServerReconnector::TryOnce() {
  const LinkResult result = parts_.server.Run(
      [this](ServerLink::Scope& link) {
        BazaDeDate& session = link.session();
        if (session.connected.load() == 1) return true;
        attempts_.fetch_add(1);
        // The session's entries of this attempt go through the summary; nobody else uses the
        // session while the link's lock is held.
        session.SetErrorLogWriter([this](const std::string& entry) { failures_.Write(entry); });
        const bool opened = session.DeschidConectie(link.target(), link.targetDirect());
        session.SetErrorLogWriter({});
        if (!opened) {
          // The relay client writes nothing of a failed open; the background attempts are logged
          // in either mode, without the password.
          if (link.targetDirect() != 1)
            failures_.Write(Format("Eroare: %s la deschidere conectie ->%s", session.lastErrorText().c_str(),
                                   MaskPasswords(link.target()).c_str()));
          return false;
        }
        if (parts_.shown.HostAttached()) {
          link.machineIds().result = link.machineIds().host;
          parts_.shown.SetServerUnavailable(false);
        }
        if (link.codes().investigation.empty()) {
          link.codes().replacement.clear();
          LoadCodeLists(session, link.machineIds().result, link.codes());
        }
        return true;
      },
      ServerLink::Needs::kAlways);
  return result.outcome == LinkOutcome::kApplied;
}

void ServerReconnector::LogRestored(std::chrono::steady_clock::time_point since) {
  failures_.Flush();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(policy_.clock() - since).count();
  WriteErrorLogEntry(Format("Conexiune restabilita dupa %d s", static_cast<int>(seconds)));
}

void ServerReconnector::Run() {
  auto delay = policy_.first;
  std::optional<std::chrono::steady_clock::time_point> outageSince;
  while (!stop_.load()) {
    if (parts_.server.Connected()) {
      // Brought back by someone else (the database settings).
      if (outageSince) LogRestored(*outageSince);
      outageSince.reset();
      delay = policy_.first;
      parts_.upload.serverLost().WaitFor(kWatchPeriod);
      continue;
    }
    if (!outageSince) outageSince = policy_.clock();
    // Not at once: the start-up has just failed, or a server that is restarting refuses the
    // first connections.
    if (!Pause(delay)) break;
    parts_.shown.SetServerUnavailable(true);
    if (TryOnce()) {
      // At once: the next loss may come before this thread looks again.
      LogRestored(*outageSince);
      outageSince.reset();
      operatorTold_ = false;
      delay = policy_.first;
      parts_.shown.RequestRepaint();
      parts_.upload.wake().Notify();
      continue;
    }
    if (stop_.load()) break;  // a login cut by the stop is no outage to tell of
    if (!operatorTold_ && parts_.shown.view() != nullptr) {
      parts_.shown.view()->NotifyOperator(kServerUnreachable);
      operatorTold_ = true;
    }
    delay = NextReconnectDelay(delay, policy_);
  }
}

}  // namespace strivex
