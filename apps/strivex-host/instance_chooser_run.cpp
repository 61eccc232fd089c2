#include "instance_chooser_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "instance_chooser.h"
#include "program_output.h"

extern char** environ;

namespace strivex::host_app {

namespace {

constexpr std::string_view kProgram = "strivex-host";

struct ChooserRun {
  int status = -1;     // the program's exit status; -1 when it did not run or was killed
  std::string output;  // its standard output
  std::string error;   // why it did not run to its end
};

ChooserRun RunChooser(const std::string& program, const std::vector<std::string>& args) {
  ChooserRun run;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    run.error = std::string("no pipe: ") + std::strerror(errno);
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    run.error = program + ": " + std::strerror(spawned);
    return run;
  }
  char buffer[512];
  for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) != 0;) {
    if (got > 0) run.output.append(buffer, static_cast<size_t>(got));
    else if (errno != EINTR) break;
  }
  close(out[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
  if (WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  } else {
    run.error = program + ": ended by signal " + std::to_string(WTERMSIG(status));
  }
  return run;
}

}  // namespace

std::optional<int> NameBareInstance(std::vector<std::string_view>& args, std::vector<std::string>& named,
                                    const InstancePlaces& places, const std::string& chooser) {
  const std::optional<size_t> at = BareInstanceAt(args);
  if (!at) return std::nullopt;
  const std::vector<std::string> names = ListInstances(places);
  std::string name;
  if (names.size() == 1) {
    name = names.front();
  } else if (names.empty()) {
    app::PrintProgramError(kProgram, "--instance", "no instance file in " +
                                                       (places.userDir.empty() ? "" : places.userDir + " or ") +
                                                       places.systemDir + " (write NAME.ini there)");
    const ChooserRun shown = RunChooser(chooser, {"--message", NoInstanceText(places)});
    if (!shown.error.empty()) app::PrintProgramError(kProgram, "the message window", shown.error);
    return app::kExitUsage;
  } else {
    const ChooserRun chosen = RunChooser(chooser, names);
    if (!chosen.error.empty() || (chosen.status != 0 && chosen.status != 1)) {
      // Without the window (no display), the names still reach whoever reads the error.
      std::string instances;
      for (const std::string& one : names) instances += " " + one;
      app::PrintProgramError(kProgram, "the instance list",
                             (chosen.error.empty() ? "its window failed (status " + std::to_string(chosen.status) + ")"
                                                   : chosen.error) +
                                 "; give one of" + instances + " with --instance NAME");
      return app::kExitFailed;
    }
    if (chosen.status == 1) return app::kExitOk;  // the operator closed the list
    name = chosen.output.substr(0, chosen.output.find('\n'));
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      app::PrintProgramError(kProgram, "the instance list", "answered '" + name + "', not one of the instances");
      return app::kExitFailed;
    }
  }
  named = WithInstanceName(args, *at, name);
  args.assign(named.begin(), named.end());
  return std::nullopt;
}

}  // namespace strivex::host_app
