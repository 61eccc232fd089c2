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
    case RelayReadStatus::kError:
      break;
  }
  return "receive failed";
}

}  // namespace

std::string ServeConnection(int fd, const std::function<void(const std::string&)>& onGreeting) {
  std::string greeting;
  if (const RelayReadStatus status = ReadGreeting(fd, greeting); status != RelayReadStatus::kOk)
    return "no greeting: " + ReadFailure(status);
  const std::optional<std::string> name = RelayGreetingName(greeting);
  if (!name) return "not a greeting";
  onGreeting(*name);

  BazaDeDate session;
  CommandRunner runner(session);
  RequestPairer pairer;
  RelayFrameReader reader(fd);
  for (;;) {
    RelayFrame frame;
    if (const RelayReadStatus status = reader.Next(frame); status != RelayReadStatus::kOk)
      return ReadFailure(status);
    const int32_t number = frame.number;
    const std::optional<Request> request = pairer.Add(std::move(frame));
    if (!request) {
      if (pairer.Pending() > kMostPendingRequests) return "too many unfinished requests";
      continue;
    }
    const CommandOutcome outcome = runner.Run(request->command, request->arguments);
    // A value and its status go out in one write, so they travel in one segment.
    std::string frames;
    for (const std::string& reply : outcome.replies) frames += EncodeRelayFrame(number, reply);
    if (!WriteAll(fd, frames)) return "send failed";
    if (outcome.endConnection) return outcome.reason;
  }
}

}  // namespace strivex::relay
