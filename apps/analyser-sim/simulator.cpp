#include "simulator.h"

#include <unistd.h>

#include <chrono>
#include <cstdint>

#include "console.h"
#include "device.h"
#include "frame_listener.h"
#include "interrupts.h"
#include "pacing.h"
#include "report_files.h"
#include "report_generator.h"
#include "sender.h"
#include "serial/port_names.h"

namespace strivex::sim {

namespace {

using Seconds = std::chrono::duration<double>;

// How often to look whether the module has opened the pty or read what we sent.
constexpr Seconds kPeerPoll{0.02};
// How long the simulator waits, before it exits, for the module to read what it sent.
constexpr Seconds kPeerReadLimit{5.0};

class Session {
 public:
  Session(const SimOptions& options, const Interrupts& interrupts, const Device& device)
      : options_(options), interrupts_(interrupts), device_(device) {}

  // False when a signal or a write failure ended sending early.
  bool SendAll(const std::vector<ReportFile>& files, uint64_t seed) {
    if (files.empty() && options_.generate == 0) return true;
    if (!WaitForPeer() || !interrupts_.SleepFor(Seconds(options_.startDelaySeconds))) return false;
    int number = 0;
    for (const ReportFile& file : files) {
      if (!Send(file.bytes)) return false;
      Log("sent report " + std::to_string(++number) + " (" + file.name + ", " +
          std::to_string(file.bytes.size()) + " bytes)");
      if (!Gap()) return false;
    }
    ReportGenerator generator(seed);
    for (int i = 0; i < options_.generate; ++i) {
      const GeneratedReport report = generator.Next();
      if (!Send(report.text)) return false;
      Log("sent report " + std::to_string(++number) + " (generated, sample " +
          std::to_string(report.sampleId) + ", " + std::to_string(report.text.size()) + " bytes)");
      if (!Gap()) return false;
    }
    return true;
  }

  bool failed() const { return failed_; }

  // Our exit hangs the pty up and drops what the module has not read yet, so give it the time.
  void LetPeerRead() const {
    const auto deadline = Interrupts::DeadlineIn(kPeerReadLimit);
    while (device_.PeerHasUnreadBytes() && Interrupts::Clock::now() < deadline &&
           interrupts_.SleepFor(kPeerPoll)) {
    }
  }

 private:
  bool WaitForPeer() {
    if (device_.PeerPresent()) return true;
    Log("waiting for " + device_.path() + " to be opened");
    do {
      if (!interrupts_.SleepFor(kPeerPoll)) return false;
    } while (!device_.PeerPresent());
    Log(device_.path() + " is open");
    return true;
  }

  bool Send(const std::string& bytes) {
    // The module may have closed and reopened the line between reports.
    if (!WaitForPeer()) return false;
    std::string error;
    const std::optional<LineFormat> pace =
        options_.pace ? std::optional(options_.line) : std::nullopt;
    switch (SendBytes(device_.fd(), bytes, pace, interrupts_, error)) {
      case SendResult::kSent: return true;
      case SendResult::kInterrupted: return false;
      case SendResult::kFailed: break;
    }
    Log("writing to " + device_.path() + " failed: " + error);
    failed_ = true;
    return false;
  }

  bool Gap() {
    device_.Drain();
    return interrupts_.SleepFor(Seconds(options_.gapSeconds));
  }

  const SimOptions& options_;
  const Interrupts& interrupts_;
  const Device& device_;
  bool failed_ = false;
};

// Waits for the expected frames after sending; the exit status.
int AwaitFrames(const SimOptions& options, const Interrupts& interrupts,
                const FrameListener& listener) {
  const int expected = *options.expectFrames;
  const auto deadline = Interrupts::DeadlineIn(Seconds(options.timeoutSeconds));
  for (;;) {
    if (listener.GoodFrames() >= expected) return kExitOk;
    const WaitResult result = interrupts.Wait(listener.GoodFrameEvent(), POLLIN, deadline);
    if (result == WaitResult::kReady) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t taken = read(listener.GoodFrameEvent(), &count, sizeof count);
      continue;
    }
    if (listener.GoodFrames() >= expected) return kExitOk;
    Log(std::to_string(listener.GoodFrames()) + " of " + std::to_string(expected) +
        " frames arrived " +
        (result == WaitResult::kTimedOut ? "before the time-out" : "before the signal"));
    return kExitNotReceived;
  }
}

uint64_t TimeSeed() {
  return static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

std::string FormatName(const LineFormat& line) {
  static constexpr char kParity[] = {'N', 'O', 'E', 'M', 'S'};
  static constexpr const char* kStop[] = {"1", "1.5", "2"};
  return std::to_string(line.baud) + " baud " + std::to_string(line.dataBits) +
         kParity[line.parity % 5] + kStop[line.stopBits % 3];
}

}  // namespace

int RunSimulator(const SimOptions& options) {
  const Interrupts interrupts;
  std::vector<ReportFile> files;
  std::string error;
  if (!ReadReportFiles(options.reports, files, error)) {
    Log(error);
    return kExitFailure;
  }
  const uint64_t seed = options.seed.value_or(TimeSeed());
  if (options.generate > 0) Log("seed " + std::to_string(seed));

  std::unique_ptr<FrameFile> frameFile;
  if (options.framesFile) {
    frameFile = FrameFile::Create(*options.framesFile, error);
    if (!frameFile) {
      Log(error);
      return kExitFailure;
    }
  }

  Device::Opened opened = options.pty
                              ? Device::OpenPty(options.line)
                              : Device::OpenPort(DevicePathForPort(*options.port), options.line);
  if (!opened.device) {
    Log(opened.error);
    return kExitFailure;
  }
  for (const std::string& warning : opened.warnings) Log(warning);
  const Device& device = *opened.device;
  if (device.pty() && !PrintLine(device.path())) {
    Log("cannot write the device path to standard output");
    return kExitFailure;
  }
  Log((device.pty() ? "pseudo-terminal " : "opened ") + device.path() + ", " +
      FormatName(options.line) +
      (options.pace ? ", " + std::to_string(BurstSize(options.line)) + "-byte bursts"
                    : ", not paced"));

  FrameListener listener(device.fd(), frameFile.get());
  listener.Start();
  Session session(options, interrupts, device);
  const bool sent = session.SendAll(files, seed);
  int status = kExitOk;
  if (session.failed()) {
    status = kExitNotReceived;
  } else if (options.expectFrames) {
    status = sent ? AwaitFrames(options, interrupts, listener)
                  : (listener.GoodFrames() >= *options.expectFrames ? kExitOk : kExitNotReceived);
  } else if (sent && device.pty() && !options.exitAfterSend) {
    Log("reading frames until SIGINT or SIGTERM");
    interrupts.Wait(-1, 0, std::nullopt);
  }
  if (!interrupts.Requested()) session.LetPeerRead();
  listener.Stop();
  if (interrupts.Requested()) Log("stopped by a signal");
  return status;
}

}  // namespace strivex::sim
