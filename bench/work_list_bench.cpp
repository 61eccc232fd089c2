// Reading the 10,000-row work list value by value, as the work-list dialog does: through the
// direct session, and through a relayed session with medianex-relay on loopback in front of the
// same server. Relayed, every ValoareColoana and NextElementTabel is a round trip to the relay.
// The floor for those round trips: the same requests and replies, byte for byte, sent back and
// forth between two processes over loopback TCP on one CPU, with nothing else done at either end.

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

#include "db/baza_de_date.h"
#include "db/relay_wire.h"
#include "lab_session.h"
#include "one_cpu.h"
#include "support/relay_server.h"
#include "util/format.h"
#include "util/unique_fd.h"

namespace strivex::bench {
namespace {

constexpr int kWorkListSlot = 9;
constexpr const char* kColumns[] = {"RequestID",   "SampleCode",  "PacientName",
                                    "AnalyseCode", "RequestDate", "MachineID"};
constexpr int kColumnCount = static_cast<int>(std::size(kColumns));

// medianex-relay on a free loopback port, with a relayed session through it.
struct RelayedSession {
  testing::RelayServer relay{STRIVEX_MEDIANEX_RELAY_PATH};
  BazaDeDate db;

  ~RelayedSession() { db.InchidConectie(); }
};

// Relay and client on one CPU: each call is a round trip, and a wake-up across CPUs costs more
// than the work at either end. The relay's threads and the client's reader inherit the pinning.
RelayedSession* Relayed(benchmark::State& state) {
  static std::unique_ptr<RelayedSession> session;
  static std::string failure;
  if (!session && failure.empty()) {
    auto opened = std::make_unique<RelayedSession>();
    failure = LabConnectionString().empty() ? "no STRIVEX_LAB_CONNSTR" : opened->relay.failure();
    opened->db.serverAddress = opened->relay.address();
    const OneCpu cpu;
    if (failure.empty() && !cpu.Pin(opened->relay.process().pid()))
      failure = "cannot put medianex-relay on the benchmark's CPU";
    if (failure.empty() && !opened->db.DeschidConectie(LabConnectionString(), 0))
      failure = "cannot connect through medianex-relay: " + opened->relay.process().err();
    if (failure.empty()) session = std::move(opened);
  }
  if (!session) state.SkipWithError(failure.c_str());
  return session.get();
}

// One pass over the selection, every column of every row; the rows read, or -1 on failure.
int64_t ReadWorkList(BazaDeDate& db) {
  const std::string clause = Format("WHERE MachineID=%d order by [RequestID]", kMachineId);
  if (!db.DeschidTabel("WORK_LIST", clause, kWorkListSlot)) return -1;
  int64_t rows = 0;
  do {
    for (const char* column : kColumns) {
      DbValue value = db.ValoareColoana(column, kWorkListSlot);
      benchmark::DoNotOptimize(value);
    }
    ++rows;
  } while (db.NextElementTabel(kWorkListSlot));
  db.InchidTabel(kWorkListSlot);
  return rows;
}

void RunWorkList(benchmark::State& state, BazaDeDate& db) {
  int64_t rows = 0;
  for (auto _ : state) {
    const int64_t read = ReadWorkList(db);
    if (read != kWorkListRows) {
      const std::string why = read < 0 ? "DeschidTabel failed: " + db.LastErrorDetail()
                                       : Format("the selection holds %lld rows, not %d",
                                                static_cast<long long>(read), kWorkListRows);
      state.SkipWithError(why.c_str());
      return;
    }
    rows += read;
  }
  state.SetItemsProcessed(rows);
  state.counters["calls_per_second"] =
      benchmark::Counter(static_cast<double>(rows * kColumnCount), benchmark::Counter::kIsRate);
}

// Reading is the client's work, not round trips: the server prepares the whole selection while
// the driver takes it in, so here client and server process may use different CPUs.
void BM_ValoareColoanaWorkList(benchmark::State& state) {
  LabSession* session = Session(state);
  if (!session || !EnsureWorkList(session->db, state)) return;
  OneCpu::Release(session->serverPid);
  RunWorkList(state, session->db);
}

void BM_ValoareColoanaWorkListRelayed(benchmark::State& state) {
  LabSession* direct = Session(state);
  if (!direct || !EnsureWorkList(direct->db, state)) return;
  RelayedSession* relayed = Relayed(state);
  if (!relayed) return;
  const OneCpu cpu;
  RunWorkList(state, relayed->db);
}

// Every round trip of one relayed pass over the selection: the bytes of each request and of its
// reply as the relayed session and the relay write them (DeschidTabel and InchidTabel left out).
struct RoundTrips {
  std::string requests, replies;
  std::vector<std::pair<size_t, size_t>> sizes;  // request, reply

  void Add(const RelayRequest& request, const std::string& reply) {
    const std::string bytes = EncodeRelayFrame(1, RelayCommandName(request.op)) +
                              EncodeRelayFrame(1, EncodeRelayArguments(request));
    requests += bytes;
    replies += reply;
    sizes.emplace_back(bytes.size(), reply.size());
  }
};

// Read from the direct session, so the values (and so the replies' sizes) are the relay's own.
bool RecordRoundTrips(BazaDeDate& db, RoundTrips& trips) {
  const std::string clause = Format("WHERE MachineID=%d order by [RequestID]", kMachineId);
  if (!db.DeschidTabel("WORK_LIST", clause, kWorkListSlot)) return false;
  const std::string ok = EncodeRelayFrame(1, RelayStatusText(true));
  do {
    for (const char* column : kColumns) {
      const DbValue value = db.ValoareColoana(column, kWorkListSlot);
      trips.Add({RelayOp::kValue, kWorkListSlot, column, {}}, EncodeRelayFrame(1, EncodeRelayValue(value)) + ok);
    }
    trips.Add({RelayOp::kNext, kWorkListSlot, {}, {}}, ok);
  } while (db.NextElementTabel(kWorkListSlot));
  db.InchidTabel(kWorkListSlot);
  return true;
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

bool ReceiveAll(int fd, char* into, size_t size) {
  while (size > 0) {
    const ssize_t got = ::recv(fd, into, size, 0);
    if (got <= 0) return false;
    into += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

// A connected loopback TCP pair with TCP_NODELAY at both ends, as the relay and its clients use.
bool LoopbackPair(UniqueFd& client, UniqueFd& server) {
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (!listener.valid() || ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener.get(), 1) != 0 ||
      ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return false;
  }
  client = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!client.valid() || ::connect(client.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return false;
  server = UniqueFd(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
  const int one = 1;
  return server.valid() && ::setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0 &&
         ::setsockopt(server.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0;
}

void BM_LoopbackPingPong(benchmark::State& state) {
  LabSession* session = Session(state);
  if (!session || !EnsureWorkList(session->db, state)) return;
  RoundTrips trips;
  if (!RecordRoundTrips(session->db, trips)) {
    state.SkipWithError(("DeschidTabel failed: " + session->db.LastErrorDetail()).c_str());
    return;
  }
  UniqueFd client, server;
  if (!LoopbackPair(client, server)) {
    state.SkipWithError("cannot connect a loopback pair");
    return;
  }
  const OneCpu cpu;  // the answering process is forked on it
  const pid_t answerer = ::fork();
  if (answerer == 0) {
    // Only system calls on memory made before the fork: this process has none of the others'
    // threads.
    client.Reset();
    std::string request(4096, '\0');
    for (;;) {
      size_t at = 0;
      for (const auto& [asked, answered] : trips.sizes) {
        if (asked > request.size() || !ReceiveAll(server.get(), request.data(), asked) ||
            !SendAll(server.get(), trips.replies.data() + at, answered)) {
          ::_exit(0);
        }
        at += answered;
      }
    }
  }
  server.Reset();
  std::string reply(4096, '\0');
  bool failed = answerer < 0;
  for (auto _ : state) {
    size_t sent = 0;
    for (const auto& [asked, answered] : trips.sizes) {
      if (failed || answered > reply.size() || !SendAll(client.get(), trips.requests.data() + sent, asked) ||
          !ReceiveAll(client.get(), reply.data(), answered)) {
        failed = true;
        break;
      }
      sent += asked;
    }
  }
  client.Reset();
  if (answerer > 0) ::waitpid(answerer, nullptr, 0);
  if (failed) {
    state.SkipWithError("the loopback ping-pong failed");
    return;
  }
  const auto calls = static_cast<double>(state.iterations()) * static_cast<double>(kWorkListRows * kColumnCount);
  state.counters["calls_per_second"] = benchmark::Counter(calls, benchmark::Counter::kIsRate);
}

[[maybe_unused]] const bool registered = [] {
  MinTimeOrOnce(benchmark::RegisterBenchmark("BM_ValoareColoanaWorkList", BM_ValoareColoanaWorkList)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime(),
                3.0);
  MinTimeOrOnce(benchmark::RegisterBenchmark("BM_ValoareColoanaWorkListRelayed", BM_ValoareColoanaWorkListRelayed)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime(),
                3.0);
  MinTimeOrOnce(benchmark::RegisterBenchmark("BM_LoopbackPingPong", BM_LoopbackPingPong)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime(),
                3.0);
  return true;
}();

}  // namespace
}  // namespace strivex::bench
