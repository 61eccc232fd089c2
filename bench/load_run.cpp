// The load run: 1,000 printed reports of 12 results each through the whole chain, as fast as the
// line silence lets them go: analyser-sim on a pseudo-terminal for each of four instruments, the
// module in its own strivex-host for each, and one development database behind them all. Every
// result must arrive exactly once, and the hosts' memory must settle: at the end within 10 % of
// what it was after the first tenth of the reports.

#include <benchmark/benchmark.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "db/connection_string.h"
#include "lab_session.h"
#include "outbox_messages.h"
#include "smoke.h"
#include "support/background_process.h"
#include "support/temp_dir.h"
#include "util/format.h"

namespace strivex::bench {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kInstruments = 4;
const int kReports = FullOrSmoke(1'000, 3 * kInstruments);
constexpr int kResultsPerReport = 12;
// Reports an instrument prints back to back before a silence: one message for the module.
constexpr int kReportsPerMessage = 10;
// Over three whole seconds of silence end a message.
constexpr const char* kGapSeconds = "3.5";
// From the simulators' start to their first byte: the hosts start meanwhile.
const auto kStartDelay = FullOrSmoke(15s, 10s);
constexpr int32_t kFirstRequestId = kOutboxFirstRequestId + 50'000;

struct Memory {
  long rssKiB = 0;   // VmRSS
  long peakKiB = 0;  // VmHWM
};

Memory MemoryOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  Memory memory;
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) memory.rssKiB = std::atol(line.c_str() + 6);
    if (line.starts_with("VmHWM:")) memory.peakKiB = std::atol(line.c_str() + 6);
  }
  return memory;
}

// One instrument: its simulator with the reports as files of kReportsPerMessage pages, and the host.
struct Instrument {
  testing::TempDir dir;
  std::unique_ptr<testing::BackgroundProcess> sim;
  std::unique_ptr<testing::BackgroundProcess> host;
  Memory atStart, afterTenth, atEnd;
};

std::string RangeClause(int32_t first, int32_t last) {
  return Format("machine_id=%d AND request_id BETWEEN %d AND %d", kModuleMachineId, first, last);
}

std::optional<int> Count(BazaDeDate& db, const std::string& what, const std::string& where) {
  return QueryInt(db, "SELECT " + what + " AS n FROM lab_results WHERE " + where, "n");
}

void BM_LoadRun(benchmark::State& state) {
#ifndef STRIVEX_HOST_PATH
  state.SkipWithError("strivex-host is not built (STRIVEX_BUILD_UI=OFF)");
  return;
#else
  LabSession* lab = Session(state);
  if (!lab) return;
  const std::string connection = LabConnectionString();
  const int32_t lastRequestId = kFirstRequestId + kReports - 1;
  const std::string range = RangeClause(kFirstRequestId, lastRequestId);
  NoteOutboxResultsInserted();
  if (!lab->db.SQLCommand("DELETE FROM lab_results WHERE " + range, 0)) {
    state.SkipWithError(("cannot clear the request ids: " + lab->db.LastErrorDetail()).c_str());
    return;
  }
  const int expected = kReports * kResultsPerReport;
  std::vector<std::unique_ptr<Instrument>> instruments;
  std::string failure;
  double seconds = 0;
  int stored = 0, distinct = 0;
  for (auto _ : state) {
    const char* platformBefore = std::getenv("QT_QPA_PLATFORM");
    const std::string savedPlatform = platformBefore ? platformBefore : "";
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const auto simStart = Clock::now();
    for (int i = 0; i < kInstruments && failure.empty(); ++i) {
      auto& in = *instruments.emplace_back(std::make_unique<Instrument>());
      std::vector<std::string> simArgs = {"--pty", "--no-pace", "--gap", kGapSeconds, "--start-delay",
                                          std::to_string(std::chrono::seconds(kStartDelay).count())};
      // Reports i, i + 4, i + 8, ...: each instrument a quarter.
      std::string message;
      int pages = 0, files = 0;
      for (int report = i; report < kReports; report += kInstruments) {
        message += ReportPage(kFirstRequestId + report, static_cast<uint64_t>(report) + 1);
        if (++pages == kReportsPerMessage || report + kInstruments >= kReports) {
          const std::filesystem::path file = in.dir / ("message-" + std::to_string(++files) + ".txt");
          std::ofstream(file, std::ios::binary) << message;
          simArgs.insert(simArgs.end(), {"--report", file.string()});
          message.clear();
          pages = 0;
        }
      }
      in.sim = std::make_unique<testing::BackgroundProcess>(STRIVEX_ANALYSER_SIM_PATH, simArgs);
      const std::optional<std::string> device = in.sim->ReadLine(10s);
      if (!device) {
        failure = "analyser-sim did not start: " + in.sim->err();
        break;
      }
      in.host = std::make_unique<testing::BackgroundProcess>(
          STRIVEX_HOST_PATH,
          std::vector<std::string>{"--allow-root", "--machine-id", std::to_string(kModuleMachineId), "--name", "Strivex",
                                   "--local-db", (in.dir / "local.db").string(), "--server",
                                   ConnectionValue(connection, "Server").value_or(""), "--database",
                                   ConnectionValue(connection, "Database").value_or(""), "--user",
                                   ConnectionValue(connection, "Uid").value_or(""), "--password",
                                   ConnectionValue(connection, "Pwd").value_or(""), "--port", *device, "--workdir",
                                   in.dir.path().string(), "--close-ends-module"});
    }
    if (platformBefore) setenv("QT_QPA_PLATFORM", savedPlatform.c_str(), 1);
    else unsetenv("QT_QPA_PLATFORM");
    for (auto& in : instruments) {
      if (!failure.empty()) break;
      if (!in->host->WaitForOutput([](const std::string& out) { return out.find("initialised") != std::string::npos; },
                                   30s))
        failure = "strivex-host did not start: " + in->host->err();
      else in->atStart = MemoryOf(in->host->pid());
    }
    if (Clock::now() > simStart + kStartDelay && failure.empty()) failure = "the hosts took longer than the delay to start";
    const auto firstByte = simStart + kStartDelay;
    bool tenthSeen = false;
    const auto deadline = firstByte + 30min;
    while (failure.empty()) {
      std::this_thread::sleep_for(500ms);
      for (auto& in : instruments) in->host->WaitForOutput([](const std::string&) { return false; }, 0ms);
      stored = Count(lab->db, "count(*)", range).value_or(-1);
      if (!tenthSeen && stored >= expected / 10) {
        tenthSeen = true;
        for (auto& in : instruments) in->afterTenth = MemoryOf(in->host->pid());
      }
      if (stored >= expected) break;
      if (Clock::now() > deadline) failure = Format("only %d of %d results arrived in 30 minutes", stored, expected);
    }
    seconds = std::chrono::duration<double>(Clock::now() - firstByte).count();
    // Whatever was still on its way would show as a duplicate now.
    std::this_thread::sleep_for(5s);
    stored = Count(lab->db, "count(*)", range).value_or(-1);
    distinct = Count(lab->db, "count(DISTINCT (request_id, detail_id))", range).value_or(-1);
    for (auto& in : instruments) in->atEnd = MemoryOf(in->host->pid());
    state.SetIterationTime(seconds);
  }
  for (auto& in : instruments) {
    if (in->host) {
      in->host->Signal(SIGTERM);
      in->host->Wait(30s);
    }
    if (in->sim) {
      in->sim->Signal(SIGTERM);
      in->sim->Wait(10s);
    }
  }
  lab->db.SQLCommand("DELETE FROM lab_results WHERE " + range, 0);
  if (failure.empty() && (stored != expected || distinct != expected))
    failure = Format("%d results stored, %d distinct, %d sent", stored, distinct, expected);
  double growth = 0;
  long startPeak = 0, endPeak = 0;
  for (auto& in : instruments) {
    growth = std::max(growth, static_cast<double>(in->atEnd.rssKiB) / std::max(1L, in->afterTenth.rssKiB) - 1);
    startPeak = std::max(startPeak, in->atStart.peakKiB);
    endPeak = std::max(endPeak, in->atEnd.peakKiB);
  }
  if (failure.empty() && growth > 0.10) failure = Format("a host's memory grew %.1f %% after the first tenth", 100 * growth);
  if (!failure.empty()) {
    state.SkipWithError(failure.c_str());
    return;
  }
  state.counters["results"] = stored;
  state.counters["results_per_s"] = stored / seconds;
  state.counters["peak_rss_start_kib"] = static_cast<double>(startPeak);
  state.counters["peak_rss_end_kib"] = static_cast<double>(endPeak);
  state.counters["rss_growth_after_tenth_pct"] = 100 * growth;
#endif
}

[[maybe_unused]] const bool registered = [] {
  benchmark::RegisterBenchmark("BM_LoadRun", BM_LoadRun)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
  return true;
}();

}  // namespace

}  // namespace strivex::bench
