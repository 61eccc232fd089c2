// medianex-relay's handling of one whole client session: the bytes a client sends, from its
// greeting to its last frame, against ServeConnection (the real code of the relay) over a socket
// pair, with the scripted database of scripted_engine.cpp behind it.
//
// Input: a flag byte (bit 0: a proper greeting is put in front, so most runs get past it), then
// the client's bytes.
//
// Properties: every reply is a frame the client's reader accepts (length 1 to kRelayMaxText),
// and the replies answer the requests the client completed (a name frame, then an argument frame
// of the same number), in the order they were completed, under the request's number: a value
// and a status for ValoareColoana, a one-byte status (0 or 1) for anything else, including
// unknown commands and unusable arguments; only the last request answered may go unanswered
// (the database connection was lost). Without a greeting nothing is answered.

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "connection.h"
#include "db/relay_wire.h"
#include "fuzz_check.h"
#include "socket_pair.h"
#include "util/log_files.h"

namespace {

struct Frame {
  int32_t number;
  std::string text;
};

// Whole frames at the front of `bytes`, by the wire's rules, up to the first that is not one.
std::vector<Frame> Frames(std::string_view bytes, size_t* used = nullptr) {
  std::vector<Frame> frames;
  size_t at = 0;
  while (bytes.size() - at >= strivex::kRelayHeaderSize) {
    const int32_t length = strivex::RelayHeaderField(bytes.data() + at + 4);
    if (length < 1 || length > strivex::kRelayMaxText) break;
    if (bytes.size() - at - strivex::kRelayHeaderSize < static_cast<size_t>(length)) break;
    frames.push_back({strivex::RelayHeaderField(bytes.data() + at),
                      std::string(bytes.substr(at + strivex::kRelayHeaderSize, length))});
    at += strivex::kRelayHeaderSize + static_cast<size_t>(length);
  }
  if (used) *used = at;
  return frames;
}

struct Completed {
  int32_t number;
  std::string command;
  std::string arguments;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The session's failure log goes to the working directory: keep it out of the tree and empty.
  strivex::fuzz::EnterScratchDirectory("relay");
  std::error_code ignored;
  std::filesystem::remove(strivex::kErrorLogName, ignored);
  std::filesystem::create_symlink("/dev/null", strivex::kErrorLogName, ignored);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 32 * 1024) return 0;  // the socket buffer holds the whole input
  strivex::fuzz::Input input(data, size);
  const bool greet = input.Byte() & 1;
  std::string client = greet ? strivex::RelayGreeting("fuzz") : std::string();
  client += input.Rest();

  strivex::fuzz::SocketPair pair;
  pair.Send(client);
  pair.ShutFar();
  std::string replies;
  std::thread drain([&] {
    char chunk[4096];
    for (;;) {
      const ssize_t n = ::recv(pair.Far(), chunk, sizeof chunk, 0);
      if (n <= 0) break;
      replies.append(chunk, static_cast<size_t>(n));
    }
  });
  bool greeted = false;
  // The whole session is written and its end sent before serving starts: the time-outs only
  // bound a run that would otherwise hang.
  strivex::relay::ConnectionSettings settings;
  settings.greetingTimeout = std::chrono::seconds(1);
  settings.requestTimeout = std::chrono::seconds(1);
  strivex::relay::ConnectionEvents events;
  events.onGreeting = [&](const std::string&, std::string&) {
    greeted = true;
    return true;
  };
  events.onNotice = [](const std::string&) {};
  const std::string why = strivex::relay::ServeConnection(pair.Near(), settings, events);
  ::shutdown(pair.Near(), SHUT_WR);
  drain.join();
  FUZZ_CHECK(!why.empty(), "the end of a connection has a reason");

  const std::string_view sent(client);
  if (!greeted) {
    FUZZ_CHECK(replies.empty(), "nothing is answered before a greeting");
    FUZZ_CHECK(sent.size() < strivex::kRelayGreetingSize ||
                   !strivex::RelayGreetingName(sent.substr(0, strivex::kRelayGreetingSize)),
               "a greeting is taken");
    return 0;
  }

  // The requests the client completed, in the order their second frame came.
  std::vector<Completed> completed;
  std::map<int32_t, std::string> names;
  for (Frame& frame : Frames(sent.substr(strivex::kRelayGreetingSize))) {
    const auto name = names.find(frame.number);
    if (name == names.end()) {
      names.emplace(frame.number, std::move(frame.text));
      continue;
    }
    completed.push_back({frame.number, std::move(name->second), std::move(frame.text)});
    names.erase(name);
  }

  size_t used = 0;
  const std::vector<Frame> answers = Frames(replies, &used);
  FUZZ_CHECK(used == replies.size(), "every reply is a whole frame the client accepts");
  size_t next = 0;
  for (size_t i = 0; i < completed.size() && next < answers.size(); ++i) {
    const Completed& request = completed[i];
    const std::optional<strivex::RelayOp> op = strivex::RelayOpOf(request.command, request.arguments);
    const bool value = op && strivex::RelayRepliesWithValue(*op);
    if (value) {
      FUZZ_CHECK(answers[next].number == request.number, "replies carry the request's number");
      const strivex::DbValue decoded = strivex::DecodeRelayValue(answers[next].text);
      FUZZ_CHECK(strivex::EncodeRelayValue(decoded).size() <= static_cast<size_t>(strivex::kRelayMaxText),
                 "a value reply reads back");
      ++next;
      FUZZ_CHECK(next < answers.size(), "a value is followed by its status");
    }
    FUZZ_CHECK(answers[next].number == request.number, "replies carry the request's number");
    FUZZ_CHECK(answers[next].text.size() == 1 &&
                   (answers[next].text[0] == '\0' || answers[next].text[0] == '\1'),
               "a status is one byte, 0 or 1");
    ++next;
  }
  FUZZ_CHECK(next == answers.size(), "nothing but answers to completed requests");
  return 0;
}
