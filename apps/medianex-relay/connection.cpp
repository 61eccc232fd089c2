#include "connection.h"

#include <optional>

#include "command_runner.h"
#include "db/baza_de_date.h"
#include "frame_io.h"
#include "request_pairer.h"

namespace strivex::relay {

namespace {

// Names waiting for their arguments beyond this mean a client that never completes requests.
constexpr size_t kMostPendingRequests = 256;

std::string ReadFailure(ReadStatus status) {
  switch (status) {
    case ReadStatus::kOk:
      return "ok";
    case ReadStatus::kClosed:
      return "closed by the client";
    case ReadStatus::kTruncated:
      return "closed by the client inside a message";
    case ReadStatus::kBadLength:
      return "message length out of range";
    case ReadStatus::kError:
      break;
  }
  return "receive failed";
}

}  // namespace

std::string ServeConnection(int fd, const std::function<void(const std::string&)>& onGreeting) {
  std::string greeting;
  if (const ReadStatus status = ReadGreeting(fd, greeting); status != ReadStatus::kOk)
    return "no greeting: " + ReadFailure(status);
  const std::optional<std::string> name = GreetingName(greeting);
  if (!name) return "not a greeting";
  onGreeting(*name);

  BazaDeDate session;
  CommandRunner runner(session);
  RequestPairer pairer;
  RelayFrameReader reader(fd);
  for (;;) {
    Frame frame;
    if (const ReadStatus status = reader.Next(frame); status != ReadStatus::kOk)
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
    for (const std::string& reply : outcome.replies) frames += EncodeFrame(number, reply);
    if (!WriteAll(fd, frames)) return "send failed";
    if (outcome.endConnection) return "closed the connection";
  }
}

}  // namespace strivex::relay
