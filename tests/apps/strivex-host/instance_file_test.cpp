// An instrument's instance file read through the host's command line: the values it gives, the
// defaults of an instance, the options that override it, and the line each mistake is found on.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host_options.h"
#include "support/temp_dir.h"

namespace strivex::host_app {
namespace {

// The fields an instance file sets, in one line: ~ for the home folder, $ for the state folder.
std::string Summary(const HostOptions& o, const InstancePlaces& places) {
  std::string text = std::to_string(o.machineId) + "|" + o.name + "|" + o.workdir + "|" + o.localDb + "|" +
                     o.passwordFile.value_or("-") + "|" + o.password.value_or("-") + "|" + o.port.value_or("-") +
                     (o.relayed.value_or(false) ? "|relayed" : "") + (o.closeEndsModule ? "|close-ends" : "");
  for (const auto& [path, mark] : {std::pair{places.stateDir, "$"}, std::pair{places.home, "~"}}) {
    for (size_t at; (at = text.find(path)) != std::string::npos;) text.replace(at, path.size(), mark);
  }
  return text;
}

TEST(InstanceFile, ValuesDefaultsOverridesAndBadLines) {
  const struct {
    const char* user;    // the user's bench-1.ini; nullptr: none
    const char* system;  // the system's
    std::vector<std::string_view> args;  // after --instance bench-1
    std::string expected;  // Summary, or a fragment of the error
  } cases[] = {
      {"machine-id=5\nname=Strivex\n", nullptr, {}, "5|Strivex|$/bench-1|$/bench-1/local.db|-|-|-"},
      {"# bench 1\r\n\r\n ; old port: ttyS0\r\n machine-id = 7 \r\nname = Sala 2\r\nport = /dev/ttyUSB0\r\n"
       "workdir = ~/lab\r\nlocal-db = db/l.db\r\npassword-file = pw\r\nrelayed = yes\r\nclose-ends-module = no\r\n",
       nullptr, {}, "7|Sala 2|~/lab|~/lab/db/l.db|~/lab/pw|-|/dev/ttyUSB0|relayed"},
      {"machine-id=5\nname=A\nlocal-db=/srv/l.db\npassword-file=/etc/pw\n", nullptr,
       {"--name", "B", "--machine-id=6", "--password", "p", "--close-ends-module"},
       "6|B|$/bench-1|/srv/l.db|-|p|-|close-ends"},
      {"name=A\n", nullptr, {"--machine-id", "3", "--password-file", "/run/pw"},
       "3|A|$/bench-1|$/bench-1/local.db|/run/pw|-|-"},
      {"machine-id=1\nname=mine\n", "machine-id=2\nname=lab's\n", {}, "1|mine|"},
      {nullptr, "machine-id=2\nname=lab's\n", {}, "2|lab's|"},
      {nullptr, nullptr, {}, "no bench-1.ini in "},
      {"[instance]\nmachine-id=5\n", nullptr, {}, "bench-1.ini:1: sections are not used"},
      {"name=A\nmachine-id = 5x\n", nullptr, {}, "bench-1.ini:2: machine-id: not a number: '5x'"},
      {"name=A\n\nname=B\n", nullptr, {}, "bench-1.ini:3: 'name': given twice (first on line 1)"},
      {"machine-id=5\npassword = secret\n", nullptr, {"--password", "p"}, "bench-1.ini:2: password: not kept here"},
      {"machine-id=5\ncolour=red\n", nullptr, {}, "bench-1.ini:2: 'colour': unknown setting"},
      {"machine-id=5\nallow-root = yes\n", nullptr, {}, "bench-1.ini:2: allow-root: only on the command line"},
      {"relayed = maybe\n", nullptr, {}, "bench-1.ini:1: relayed: expected yes or no"},
      {"workdir = lab\n", nullptr, {}, "bench-1.ini:1: workdir: not an absolute path"},
      {"name=A\nserver-port = 65536\n", nullptr, {}, "bench-1.ini:2: server-port: not a port number (1-65535)"},
      {"tds-version = 7.5\n", nullptr, {}, "bench-1.ini:1: tds-version: expected 7.0 to 7.4 or 8.0, not '7.5'"},
      {"client-charset = CP1250;Pwd=x\n", nullptr, {}, "bench-1.ini:1: client-charset: no ';'"},
      {"machine-id\n", nullptr, {}, "bench-1.ini:1: expected key = value"},
      {"name=0123456789012345678901234567890123456789012345678901\n", nullptr, {}, "bench-1.ini:1: name: longer"},
      {"machine-id=5\n", nullptr, {}, "bench-1.ini: name: required"},
      {"name=A\n", nullptr, {"--name", "B"}, "bench-1.ini: machine-id: required"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.user ? c.user : c.system ? c.system : "no file");
    const testing::TempDir dir;
    const InstancePlaces places{(dir / "user").string(), (dir / "etc").string(), (dir / "state").string(), "",
                                (dir / "home").string()};
    for (const auto& [folder, text] : {std::pair{places.userDir, c.user}, std::pair{places.systemDir, c.system}}) {
      std::filesystem::create_directories(folder);
      if (text != nullptr) testing::WriteFile(folder + "/bench-1.ini", text);
    }
    std::vector<std::string_view> args = {"--instance", "bench-1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ParsedHostOptions parsed = ParseHostOptions(args, places);
    const std::string got = parsed.ok() ? Summary(parsed.options, places) : parsed.error;
    EXPECT_NE(got.find(c.expected), std::string::npos) << got;
  }
}

TEST(InstanceFile, NameBecomesAUnitAndAFolderName) {
  const InstancePlaces places{"/nonexistent", "/nonexistent", "/nonexistent", "", ""};
  for (const std::string_view name : {"", "../x", "a b", "a.b", "bench/1"}) {
    const std::vector<std::string_view> args = {"--instance", name};
    EXPECT_NE(ParseHostOptions(args, places).error.find("letters, digits"), std::string::npos) << name;
  }
  const std::vector<std::string_view> good = {"--instance", "Bench_2-a"};
  EXPECT_NE(ParseHostOptions(good, places).error.find("no Bench_2-a.ini"), std::string::npos);
}

}  // namespace
}  // namespace strivex::host_app
