#include "support/lab_cluster.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "db/connection_string.h"
#include "support/background_process.h"
#include "support/temp_dir.h"

namespace strivex::testing {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPgBin = "/usr/lib/postgresql/15/bin";
constexpr const char* kServerAccount = "postgres";  // PostgreSQL refuses to run as root
constexpr const char* kAdmin = "postgres";          // the cluster's superuser, whoever runs it
constexpr const char* kDatabase = "strivex_lab";
constexpr const char* kUser = "strivex";
constexpr const char* kPassword = "strivex";
constexpr const char* kFolderPrefix = "strivex-lab-";

bool AsRoot() { return geteuid() == 0; }

std::string Tool(const char* name) { return std::string(kPgBin) + "/" + name; }

std::string Runuser() { return fs::exists("/usr/sbin/runuser") ? "/usr/sbin/runuser" : "/sbin/runuser"; }

// The folder the clusters live in. As root the server's account must reach it, and $TMPDIR may be
// private; the socket path must stay well under its limit of about 100 bytes.
fs::path BaseDir() {
  if (AsRoot()) return "/tmp";
  fs::path base = fs::temp_directory_path();
  return base.string().size() > 60 ? fs::path("/tmp") : base;
}

struct Output {
  int exitCode = -1;
  std::string text;  // standard output and error
};

// Every tool is given its host, port or data folder, so the shared server's PGHOST and PGPORT
// in the test's environment do not steer it. BackgroundProcess hands the child no descriptor
// of the test, which the server started by pg_ctl would otherwise hold for its whole life.
Output RunTool(std::vector<std::string> argv, bool asServer) {
  if (asServer && AsRoot()) {
    // The server's account may not enter the test's working folder.
    argv.insert(argv.begin(), {Runuser(), "-u", kServerAccount, "--", "/usr/bin/env", "-C", "/"});
  }
  BackgroundProcess process(argv.front(), {argv.begin() + 1, argv.end()});
  const ProcessResult result = process.Wait(std::chrono::seconds(120));
  return {result.exitCode, result.out + result.err};
}

// Files and folders the server uses must belong to its account when root makes them.
void GiveToServer(const fs::path& path) {
  if (!AsRoot()) return;
  const passwd* account = getpwnam(kServerAccount);
  if (account == nullptr) {
    throw std::runtime_error(std::string("no account ") + kServerAccount +
                             ": PostgreSQL 15 is not installed");
  }
  if (chown(path.c_str(), account->pw_uid, account->pw_gid) != 0) {
    throw std::runtime_error("cannot give " + path.string() + " to " + kServerAccount);
  }
}

void WriteServerFile(const fs::path& file, const std::string& text) {
  WriteFile(file, text);
  GiveToServer(file);
}

bool PortFree(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool free = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return free;
}

// Below the kernel's ephemeral range, so that an outgoing connection cannot take the port while
// the server is stopped.
int PickPort() {
  std::random_device seed;
  std::uniform_int_distribution<int> ports(20000, 31999);
  for (int i = 0; i < 50; ++i) {
    const int port = ports(seed);
    if (PortFree(port)) return port;
  }
  throw std::runtime_error("lab cluster: found no free port on 127.0.0.1");
}

// A conninfo value in single quotes.
std::string Quoted(const std::string& value) {
  std::string quoted = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "'";
}

std::vector<LabCluster::Row> ParseCsv(const std::string& text) {
  std::vector<LabCluster::Row> rows;
  LabCluster::Row row;
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
    } else if (c == '\n') {
      row.push_back(std::move(field));
      field.clear();
      rows.push_back(std::move(row));
      row.clear();
    } else {
      field += c;
    }
  }
  if (!field.empty() || !row.empty()) {
    row.push_back(std::move(field));
    rows.push_back(std::move(row));
  }
  return rows;
}

Output Psql(const std::string& conninfo, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {Tool("psql"), "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", conninfo};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunTool(std::move(argv), false);
}

std::string Tail(const std::string& text, size_t lines) {
  size_t at = text.size();
  while (lines-- > 0 && at > 0) {
    const size_t newline = text.rfind('\n', at - 1);
    if (newline == std::string::npos) return text;
    at = newline;
  }
  return text.substr(at);
}

// A zombie still answers kill(pid, 0).
bool ProcessAlive(pid_t pid) {
  if (kill(pid, 0) != 0 && errno == ESRCH) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;  // not ours to see: assume it lives
  const size_t end = line.rfind(')');
  return end == std::string::npos || end + 2 >= line.size() || line[end + 2] != 'Z';
}

// A test that was killed (a CTest time-out) leaves its cluster running: the next one ends it.
void RemoveAbandoned(const fs::path& base) {
  std::error_code error;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(base, fs::directory_options::skip_permission_denied, error)) {
    if (!entry.path().filename().string().starts_with(kFolderPrefix)) continue;
    std::ifstream ownerFile(entry.path() / "owner");
    pid_t owner = 0;
    if (!(ownerFile >> owner) || owner <= 0) continue;
    if (ProcessAlive(owner)) continue;
    const fs::path data = entry.path() / "data";
    if (fs::exists(data / "postmaster.pid", error)) {
      RunTool({Tool("pg_ctl"), "-D", data.string(), "-m", "immediate", "-w", "-s", "stop"}, true);
    }
    fs::remove_all(entry.path(), error);
  }
}

}  // namespace

LabCluster::LabCluster() {
  if (!fs::exists(Tool("initdb"))) {
    throw std::runtime_error(std::string("lab cluster: no ") + Tool("initdb") + "; run ./run setup");
  }
  const fs::path base = BaseDir();
  RemoveAbandoned(base);
  std::string pattern = (base / (std::string(kFolderPrefix) + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("lab cluster: mkdtemp failed");
  root_ = pattern;
  data_ = root_ / "data";
  socketDir_ = root_ / "s";
  odbcDir_ = root_ / "odbc";
  try {
    WriteFile(root_ / "owner", std::to_string(getpid()) + "\n");
    GiveToServer(root_);
    Init();
    Start();
    LoadDatabase();
    WriteOdbcIni();
  } catch (...) {
    if (IsRunning()) StopImmediately();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    throw;
  }
}

LabCluster::~LabCluster() {
  Thaw();
  try {
    Stop();
  } catch (...) {
    try {
      StopImmediately();
    } catch (...) {
    }
  }
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void LabCluster::Init() {
  // Local administration through the private socket folder; the module logs in over TCP with
  // a password, as in the laboratory.
  const Output init =
      RunTool({Tool("initdb"), "-D", data_.string(), "-E", "UTF8", "--locale=C", "-U", kAdmin,
               "--auth-local=trust", "--auth-host=reject", "--no-sync", "--no-instructions"},
              true);
  if (init.exitCode != 0) Fail("initdb", init.text);
  WriteServerFile(data_ / "pg_hba.conf",
                  "# TYPE  DATABASE  USER  ADDRESS       METHOD\n"
                  "local   all       all                 trust\n"
                  "host    all       all   127.0.0.1/32  scram-sha-256\n");
  std::ofstream(data_ / "postgresql.conf", std::ios::app) << "include = 'lab.conf'\n";
  fs::create_directory(socketDir_);
  fs::permissions(socketDir_, fs::perms::owner_all, fs::perm_options::replace);
  GiveToServer(socketDir_);
}

// Durability is not wanted for a throw-away cluster; speed is.
void LabCluster::WriteSettings() const {
  WriteServerFile(data_ / "lab.conf", "listen_addresses = '127.0.0.1'\n"
                                      "port = " + std::to_string(port_) + "\n" +
                                      "unix_socket_directories = '" + socketDir_.string() + "'\n" +
                                      "fsync = off\n"
                                      "synchronous_commit = off\n"
                                      "full_page_writes = off\n");
}

void LabCluster::Start() {
  if (everStarted_ && IsRunning()) return;
  for (int attempt = 1;; ++attempt) {
    if (!everStarted_ && (port_ == 0 || !PortFree(port_))) port_ = PickPort();
    WriteSettings();
    const Output start = RunTool({Tool("pg_ctl"), "-D", data_.string(), "-l",
                                  (root_ / "server.log").string(), "-w", "-t", "60", "-s", "start"},
                                 true);
    if (start.exitCode == 0) break;
    const std::string log = Tail(ServerLog(), 20);
    // Another program may take the port between the check and the server's bind.
    const bool portTaken = log.find("could not bind") != std::string::npos ||
                           log.find("could not create any TCP") != std::string::npos;
    if (!everStarted_ && portTaken && attempt < 3) {
      port_ = 0;
      continue;
    }
    Fail("pg_ctl start", start.text + log);
  }
  everStarted_ = true;
}

void LabCluster::Stop() {
  if (!IsRunning()) return;
  const Output stop =
      RunTool({Tool("pg_ctl"), "-D", data_.string(), "-m", "fast", "-w", "-t", "60", "-s", "stop"}, true);
  if (stop.exitCode != 0) Fail("pg_ctl stop", stop.text + Tail(ServerLog(), 20));
}

std::vector<int> LabCluster::ServerProcesses() const {
  std::ifstream pidFile(data_ / "postmaster.pid");
  int postmaster = 0;
  if (!(pidFile >> postmaster) || postmaster <= 0) return {};
  std::vector<int> processes{postmaster};
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    // "pid (name) state ppid ...": the name may hold blanks and parentheses.
    std::string line;
    std::getline(std::ifstream(entry.path() / "stat"), line);
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    std::string state;
    int parent = 0;
    if (rest >> state >> parent && parent == postmaster) processes.push_back(std::stoi(line));
  }
  return processes;
}

void LabCluster::Freeze() {
  // The postmaster first, so that no child it starts meanwhile escapes; its children listed after.
  const std::vector<int> postmaster = ServerProcesses();
  if (postmaster.empty()) return;
  kill(postmaster.front(), SIGSTOP);
  for (const int pid : ServerProcesses()) kill(pid, SIGSTOP);
  frozen_ = true;
}

void LabCluster::Thaw() {
  if (!frozen_) return;
  for (const int pid : ServerProcesses()) kill(pid, SIGCONT);
  frozen_ = false;
}

void LabCluster::Restart() {
  Stop();
  Start();
}

// For clean-ups: no checkpoint, no waiting for sessions.
void LabCluster::StopImmediately() const {
  RunTool({Tool("pg_ctl"), "-D", data_.string(), "-m", "immediate", "-w", "-s", "stop"}, true);
}

bool LabCluster::IsRunning() const {
  return fs::exists(data_ / "PG_VERSION") &&
         RunTool({Tool("pg_ctl"), "-D", data_.string(), "status"}, true).exitCode == 0;
}

void LabCluster::LoadDatabase() {
  const std::string role = std::string("CREATE ROLE ") + kUser + " LOGIN PASSWORD '" + kPassword + "'";
  const std::string database = std::string("CREATE DATABASE ") + kDatabase + " OWNER " + kUser +
                               " ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0";
  const Output created = Psql(Conninfo(/*asAdmin=*/true), {"-c", role, "-c", database});
  if (created.exitCode != 0) Fail("creating the database", created.text);
  const std::string db = STRIVEX_LAB_DB_DIR;
  const Output loaded =
      Psql(Conninfo(false), {"-f", db + "/lab-dev-schema.sql", "-f", db + "/lab-dev-seed.sql"});
  if (loaded.exitCode != 0) Fail("loading db/lab-dev-schema.sql and db/lab-dev-seed.sql", loaded.text);
}

// unixODBC reads the driver list from ODBCSYSINI; "SQL Server" is psqlODBC here. The ANSI
// library, since the module hands over Windows-1250 bytes.
void LabCluster::WriteOdbcIni() {
  std::string driver;
  std::error_code error;
  for (const fs::directory_entry& lib : fs::directory_iterator("/usr/lib", error)) {
    const fs::path candidate = lib.path() / "odbc/psqlodbca.so";
    if (fs::exists(candidate, error)) driver = candidate.string();
  }
  if (driver.empty()) throw std::runtime_error("lab cluster: psqlODBC (odbc-postgresql) is not installed");
  fs::create_directory(odbcDir_);
  WriteFile(odbcDir_ / "odbcinst.ini",
            "[SQL Server]\nDescription = PostgreSQL through psqlODBC\nDriver = " + driver + "\n");
  WriteFile(odbcDir_ / "odbc.ini", "");
}

std::string LabCluster::Conninfo(bool asAdmin) const {
  if (asAdmin) {
    return "host=" + Quoted(socketDir_.string()) + " port=" + std::to_string(port_) +
           " dbname=postgres user=" + kAdmin;
  }
  return "host=127.0.0.1 port=" + std::to_string(port_) + " dbname=" + kDatabase + " user=" + kUser +
         " password=" + kPassword + " connect_timeout=10 client_encoding=UTF8";
}

std::vector<LabCluster::Row> LabCluster::Query(const std::string& sql) const {
  const Output result = Psql(Conninfo(false), {"--csv", "-c", sql});
  if (result.exitCode != 0) throw std::runtime_error("lab cluster: " + sql + "\n" + result.text);
  std::vector<Row> rows = ParseCsv(result.text);
  if (!rows.empty()) rows.erase(rows.begin());  // the column names
  return rows;
}

std::string LabCluster::ConnectionString() const {
  return SqlServerConnectionString({"127.0.0.1", kDatabase, kUser, kPassword});
}

EnvironmentVariables LabCluster::Environment() const {
  return {{"ODBCSYSINI", odbcDir_.string()}, {"PGHOST", "127.0.0.1"}, {"PGPORT", std::to_string(port_)}};
}

std::string LabCluster::ServerLog() const { return ReadFile(root_ / "server.log"); }

void LabCluster::Fail(const std::string& step, const std::string& output) const {
  throw std::runtime_error("lab cluster in " + root_.string() + ": " + step + " failed\n" + output);
}

ScopedEnvironment::ScopedEnvironment(const EnvironmentVariables& variables) {
  for (const auto& [name, value] : variables) {
    const char* old = std::getenv(name.c_str());
    previous_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    ::setenv(name.c_str(), value.c_str(), 1);
  }
}

ScopedEnvironment::~ScopedEnvironment() {
  for (auto it = previous_.rbegin(); it != previous_.rend(); ++it) {
    if (it->second) {
      ::setenv(it->first.c_str(), it->second->c_str(), 1);
    } else {
      ::unsetenv(it->first.c_str());
    }
  }
}

}  // namespace strivex::testing
