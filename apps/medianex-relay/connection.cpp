#include "connection.h"

#include <optional>

#include "command_runner.h"
#include "db/baza_de_date.h"
#include "db/relay_wire.h"
#include "frame_io.h"
#include "request_pairer.h"

namespace strivex::relay {

namespace {

// Names waiting for their arguments beyond this mean a client that never completes requests.
constexpr size_t kMostPendingRequests = 256;

std::string Seconds(std::chrono::milliseconds wait) {
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count()) + " s";
}

std::string ReadFailure(RelayReadStatus status) {
  switch (status) {
    case RelayReadStatus::kOk:
      return "ok";
    case RelayReadStatus::kClosed:
      return "closed by the client";
    case RelayReadStatus::kTruncated:
      return "closed by the client inside a message";
    case RelayReadStatus::kBadLength:
      return "message length out of range";
    case RelayReadStatus::kTimedOut:
      return "timed out";
    case RelayReadStatus::kError:
      break;
  }
  return "receive failed";
}

// Shows the owner the session for as long as it lives.
class PublishedSession {
 public:
  PublishedSession(const ConnectionEvents& events, BazaDeDate& session) : events_(events) {
    if (events_.onSession) events_.onSession(&session);
  }
  ~PublishedSession() {
    if (events_.onSession) events_.onSession(nullptr);
  }
  PublishedSession(const PublishedSession&) = delete;
  PublishedSession& operator=(const PublishedSession&) = delete;

 private:
  const ConnectionEvents& events_;
};

}  // namespace

std::string ServeConnection(int fd, const ConnectionSettings& settings, const ConnectionEvents& events) {
  std::string greeting;
  const RelayReadStatus greeted = ReadGreeting(fd, greeting, settings.greetingTimeout);
  if (greeted == RelayReadStatus::kTimedOut) return "no greeting within " + Seconds(settings.greetingTimeout);
  if (greeted != RelayReadStatus::kOk) return "no greeting: " + ReadFailure(greeted);
  const std::optional<std::string> name = RelayGreetingName(greeting);
  if (!name) return "not a greeting";
  if (std::string refusal; events.onGreeting && !events.onGreeting(*name, refusal)) return refusal;

  BazaDeDate session;
  const PublishedSession published(events, session);
  CommandRunner runner(session, settings.policy);
  RequestPairer pairer;
  RelayFrameReader reader(fd);
  bool idle = true;
  auto answered = std::chrono::steady_clock::now();
  for (;;) {
    if (pairer.Pending() == 0 && !reader.HasBuffered()) {
      if (!idle && events.onIdle) events.onIdle(answered);
      idle = true;
      // Idle between requests as long as it likes; a begun request must come whole.
      WaitForBytes(fd);
    }
    if (idle) {
      if (events.onRequest && !events.onRequest()) return "place taken back";
      idle = false;
    }
    RelayFrame frame;
    const RelayReadStatus status = reader.Next(frame, settings.requestTimeout, settings.requestTimeout);
    if (status == RelayReadStatus::kTimedOut)
      return "request not received whole within " + Seconds(settings.requestTimeout);
    if (status != RelayReadStatus::kOk) return ReadFailure(status);
    const int32_t number = frame.number;
    const std::optional<Request> request = pairer.Add(std::move(frame));
    if (!request) {
      if (pairer.Pending() > kMostPendingRequests) return "too many unfinished requests";
      continue;
    }
    const CommandOutcome outcome = runner.Run(request->command, request->arguments);
    if (!outcome.notice.empty() && events.onNotice) events.onNotice(outcome.notice);
    // A value and its status go out in one write, so they travel in one segment.
    std::string frames;
    for (const std::string& reply : outcome.replies) frames += EncodeRelayFrame(number, reply);
    answered = std::chrono::steady_clock::now();
    const WriteStatus written = WriteAll(fd, frames, answered + settings.requestTimeout);
    if (written == WriteStatus::kTimedOut) return "reply not taken within " + Seconds(settings.requestTimeout);
    if (written != WriteStatus::kOk) return "send failed";
    if (outcome.endConnection) return outcome.reason;
  }
}

}  // namespace strivex::relay
