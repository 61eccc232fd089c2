// strivex-host: a host process for the Strivex module. It fills a host record, loads the module,
// starts it and passes the operator's commands (standard input) on as window messages, as the
// laboratory system's own host does. It never touches Qt: the module brings its own UI thread.

#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "host/host_record.h"
#include "host_options.h"
#include "instance_chooser_run.h"
#include "instance_socket.h"
#include "local_database.h"
#include "log_rotation.h"
#include "module_version.h"
#include "module/instance_name.h"
#include "private_folder.h"
#include "program_output.h"
#include "platform/window_messages.h"
#include "util/password_source.h"

namespace {

using strivex::HostRecord;
using strivex::HostRecordBuffer;
namespace fs = std::filesystem;
namespace platform = strivex::platform;

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: the wait for input wakes up to act on the signal.
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// Beside the program first (a copied tree), then where the packages put it, then where the build
// tree has it relative to the program built there; an installed host finds the installed module
// first, so it never picks up a stale build.
std::string DefaultModulePath() {
  std::error_code error;
  const fs::path programDir = fs::read_symlink("/proc/self/exe", error).parent_path();
  const fs::path beside = programDir / "libstrivex.so";
  if (fs::exists(beside, error)) return beside.string();
  const fs::path installed = (programDir / STRIVEX_MODULE_FROM_BINDIR).lexically_normal();
  if (fs::exists(installed, error)) return installed.string();
  const fs::path built = (programDir / STRIVEX_MODULE_FROM_BUILD_BINDIR).lexically_normal();
  if (fs::exists(built, error)) return built.string();
  return installed.string();  // the load error names where it was expected
}

using StartFunction = uint8_t (*)(uint8_t*);

class Host {
 public:
  explicit Host(HostRecordBuffer& buffer) : record_(buffer.record()) {}

  // Whether the module has run its start-up and then its shutdown.
  bool Poll() {
    if (!initialised_ && record_.Flag(HostRecord::kInitialised) == 1) {
      initialised_ = true;  // the window handle was written before this flag
      std::printf("initialised window=%u\n", record_.WindowHandle());
      std::fflush(stdout);
    }
    if (stopRequested && !stopping_ && initialised_) {
      stopping_ = true;
      record_.SetFlag(HostRecord::kCloseEndsModule, 1);
      Post(platform::WM_CLOSE, 0);
    }
    return initialised_ && record_.Flag(HostRecord::kInitialised) == 0 &&
           record_.Flag(HostRecord::kStartAck) == 1 && record_.Flag(HostRecord::kModuleActive) == 0;
  }

  // The answer to another host of this instance, as `show` would print it.
  std::string ShowAnswer() {
    const std::string problem = Post(platform::WM_SHOWMODULE, 1);
    return problem.empty() ? "shown window=" + std::to_string(record_.WindowHandle()) : problem;
  }

  void Command(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (line.empty()) return;
    std::string problem;
    if (line == "show") {
      problem = Post(platform::WM_SHOWMODULE, 1);
    } else if (line == "hide") {
      problem = Post(platform::WM_SHOWMODULE, 0);
    } else if (line == "close") {
      problem = Post(platform::WM_CLOSE, 0);
    } else if (line == "status") {
      Status();
    } else if (line == "help") {
      std::printf("commands: show, hide, close, status, help\n");
    } else {
      std::printf("unknown command '%.*s' (try help)\n", static_cast<int>(line.size()), line.data());
    }
    if (!problem.empty()) std::printf("%s\n", problem.c_str());
    std::fflush(stdout);
  }

 private:
  // Why the message could not be posted, or empty.
  std::string Post(uint32_t message, uintptr_t wParam) {
    if (!initialised_) return "the module's window is not ready yet";
    if (!platform::PostWindowMessage(record_.WindowHandle(), message, wParam, 0)) {
      return "no window with handle " + std::to_string(record_.WindowHandle());
    }
    return {};
  }

  void Status() {
    std::printf("window_handle=%u\n", initialised_ ? record_.WindowHandle() : 0u);
    std::printf("active=%d\n", record_.Flag(HostRecord::kModuleActive));
    std::printf("shown=%d\n", record_.Flag(HostRecord::kWindowShown));
    std::printf("machine_id=%d\n", record_.MachineId());
    std::printf("name=%s\n", record_.InstrumentName().c_str());
    std::printf("server_unavailable=%d\n", record_.Flag(HostRecord::kServerUnavailable));
    std::printf("ack=%d\n", record_.Flag(HostRecord::kStartAck));
    std::printf("close_ends_module=%d\n", record_.Flag(HostRecord::kCloseEndsModule));
    std::printf("local_db=%s\n", record_.LocalDatabasePath().c_str());
    std::printf("initialised=%d\n", record_.Flag(HostRecord::kInitialised));
  }

  HostRecord record_;
  bool initialised_ = false;
  bool stopping_ = false;
};

// Reads commands until the module has ended; input that ends early leaves the module running.
// Other hosts of the instance are answered on `instance` (null without one).
int RunHost(Host& host, strivex::host_app::InstanceSocket* instance) {
  bool inputOpen = true;
  std::string pending;
  for (;;) {
    if (host.Poll()) {
      std::printf("module ended\n");
      std::fflush(stdout);
      return 0;
    }
    pollfd waits[2] = {{inputOpen ? STDIN_FILENO : -1, POLLIN, 0}, {instance ? instance->fd() : -1, POLLIN, 0}};
    if (poll(waits, 2, 100) <= 0) continue;  // time-out or a signal
    if (waits[1].revents != 0) instance->Serve([&] { return host.ShowAnswer(); });
    if (waits[0].revents == 0) continue;
    char buffer[4096];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      inputOpen = false;
      if (!pending.empty()) host.Command(pending);
      pending.clear();
      continue;
    }
    pending.append(buffer, static_cast<size_t>(got));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      host.Command(std::string_view(pending).substr(0, end));
      pending.erase(0, end + 1);
    }
  }
}

namespace app = strivex::app;
constexpr std::string_view kProgram = "strivex-host";

void Fail(std::string_view what, std::string_view why) { app::PrintProgramError(kProgram, what, why); }

// The host's version, then the module it would load and that file's own version.
int PrintVersion(const std::string& modulePath) {
  if (!app::PrintVersionLine(kProgram)) return app::kExitFailed;
  const strivex::host_app::ModuleVersion module = strivex::host_app::ReadModuleVersion(modulePath);
  std::printf("module %s %s\n", modulePath.c_str(),
              module.version.empty() ? ("(" + module.error + ")").c_str() : module.version.c_str());
  return std::fflush(stdout) == 0 && !module.version.empty() ? app::kExitOk : app::kExitFailed;
}

using strivex::host_app::InstanceSocket;

// This host's claim on its instance: null when it may go on alone (no instance, or a session
// without a runtime folder, where the working directory's lock still refuses a second module).
// `exitStatus` is set when it must end: another host showed its window, or the claim failed.
std::unique_ptr<InstanceSocket> ClaimInstance(const strivex::host_app::HostOptions& options,
                                              std::optional<int>& exitStatus) {
  const std::string runtimeDir = strivex::host_app::InstancePlaces::FromEnvironment().runtimeDir;
  if (options.instance.empty() || runtimeDir.empty()) return nullptr;
  InstanceSocket::Claim claim = InstanceSocket::Take(runtimeDir, options.instance);
  if (claim.outcome == InstanceSocket::Outcome::kAnswered) {
    std::printf("instance %s is running: %s\n", options.instance.c_str(), claim.text.c_str());
    std::fflush(stdout);
    exitStatus = app::kExitOk;
  } else if (claim.outcome == InstanceSocket::Outcome::kFailed) {
    Fail("--instance " + options.instance, claim.text);
    exitStatus = app::kExitFailed;
  }
  return std::move(claim.socket);
}

// An instance's working directory is the host's to make (the default one included), and its
// logs are handed to the user's rotation. Whether the module can go on.
bool PrepareInstanceFolders(strivex::host_app::HostOptions& options) {
  std::error_code error;
  options.workdir = fs::absolute(options.workdir, error).string();
  if (const std::string why = strivex::host_app::MakePrivateFolder(options.workdir); !why.empty()) {
    Fail("--instance " + options.instance, why);
    return false;
  }
  const std::string configDir = strivex::host_app::InstancePlaces::FromEnvironment().userDir;
  const std::string why = configDir.empty() ? "no HOME or XDG_CONFIG_HOME to keep it in"
                                            : strivex::host_app::WriteLogRotation(configDir + "/logrotate.d",
                                                                                  options.instance, options.workdir);
  // The module runs without it; the logs then grow until the administrator sees to them.
  if (!why.empty()) std::fprintf(stderr, "%s: the logs are not rotated: %s\n", kProgram.data(), why.c_str());
  return true;
}

std::string ModulePath(const std::string& given) {
  std::error_code error;
  return given.empty() ? DefaultModulePath() : fs::absolute(given, error).string();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  std::vector<std::string> named;  // the arguments with the instance chosen for a bare --instance
  const std::string chooser = (fs::path(DefaultModulePath()).parent_path() / "strivex-instance-chooser").string();
  const auto places = strivex::host_app::InstancePlaces::FromEnvironment();
  if (const auto ended = strivex::host_app::NameBareInstance(args, named, places, chooser)) return *ended;
  const auto parsed = strivex::host_app::ParseHostOptions(args);
  if (parsed.options.help) {
    std::fputs(strivex::host_app::kHostUsage.data(), stdout);
    return app::kExitOk;
  }
  if (parsed.options.version) return PrintVersion(ModulePath(parsed.options.modulePath));
  if (const std::string refusal = strivex::host_app::RootRefusal(geteuid(), parsed.options.allowRoot);
      !refusal.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgram.data(), refusal.c_str());
    return app::kExitUsage;
  }
  if (!parsed.ok()) {
    std::fprintf(stderr, "%s: %s\n", kProgram.data(), parsed.error.c_str());
    return app::kExitUsage;
  }
  strivex::host_app::HostOptions options = parsed.options;
  std::optional<int> claimEnded;
  const std::unique_ptr<InstanceSocket> instance = ClaimInstance(options, claimEnded);
  if (claimEnded) return *claimEnded;
  // The window's title names the instance; never one an outer environment left.
  if (options.instance.empty()) unsetenv(strivex::kInstanceVariable);
  else setenv(strivex::kInstanceVariable, options.instance.c_str(), 1);
  std::error_code error;
  if (!options.instance.empty() && !PrepareInstanceFolders(options)) return app::kExitFailed;
  // The record carries the full path: the module opens it after the change of directory.
  options.localDb = fs::absolute(options.localDb, error).string();
  // A password given (its file included) is written at every start, so its file is read each
  // time; the environment's only seeds a new local database.
  if (options.password || options.passwordFile || !fs::exists(options.localDb, error)) {
    const strivex::ResolvedPassword seed = strivex::ResolvePassword(
        {options.password, options.passwordFile, std::getenv(strivex::kPasswordVariable)}, kProgram.data());
    if (!seed.warning.empty()) std::fprintf(stderr, "%s\n", seed.warning.c_str());
    if (!seed.error.empty()) {
      std::fprintf(stderr, "%s\n", seed.error.c_str());
      return app::kExitUsage;
    }
    options.password = seed.password;
  }
  // Nothing the module starts needs it.
  unsetenv(strivex::kPasswordVariable);
  std::string failure;
  std::vector<std::string> changes;
  const bool prepared = strivex::host_app::PrepareLocalDatabase(options, changes, failure);
  for (const std::string& change : changes) std::fprintf(stderr, "%s: %s\n", kProgram.data(), change.c_str());
  if (!prepared) {
    std::fprintf(stderr, "%s: %s\n", kProgram.data(), failure.c_str());
    return app::kExitDatabase;
  }
  const std::string modulePath = ModulePath(options.modulePath);
  if (!options.workdir.empty() && chdir(options.workdir.c_str()) != 0) {
    Fail(options.workdir, std::string("cannot change to it: ") + std::strerror(errno));
    return app::kExitFailed;
  }

  HostRecordBuffer buffer(options.machineId, options.name, options.localDb, options.closeEndsModule ? 1 : 0);
  buffer.record().SetFlag(HostRecord::kServerUnavailable, options.serverUnavailable ? 1 : 0);

  void* module = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    Fail(modulePath, std::string("cannot load it: ") + dlerror());
    return app::kExitFailed;
  }
  auto start = reinterpret_cast<StartFunction>(dlsym(module, "StartStrivex"));
  if (start == nullptr) {
    Fail(modulePath, "has no StartStrivex");
    return app::kExitFailed;
  }
  InstallStopSignals();
  if (start(buffer.data()) != 1) {
    Fail("module", "refused to start");
    return app::kExitFailed;
  }
  std::printf("started\n");
  std::fflush(stdout);
  Host host(buffer);
  return RunHost(host, instance.get());
}
