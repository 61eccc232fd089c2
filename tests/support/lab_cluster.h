#pragma once
// A laboratory database server of the test's own: a PostgreSQL 15 cluster in a fresh folder,
// created the way `./run db` creates the development one (schema and seed from db/), on its own
// free port of 127.0.0.1. A test may stop and restart it at will without pulling the shared
// development server from under tests that run beside it.
//
// Test suites that use it carry "PrivateLab" in their name: CTest runs them one at a time.
//
//   LabCluster lab;
//   ScopedEnvironment env(lab.Environment());  // this process's ODBC clients now reach it
//   BazaDeDate db;
//   db.DeschidConectie(lab.ConnectionString(), 1);
//   lab.Stop(); ... lab.Start();
//   lab.Query("SELECT request_id, value FROM lab_results ORDER BY id");
//
// Not thread-safe: one thread drives it. Runs as root (the server then runs as postgres) and as
// a normal user.

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace strivex::testing {

using EnvironmentVariables = std::vector<std::pair<std::string, std::string>>;

class LabCluster {
 public:
  using Row = std::vector<std::string>;

  // Creates the cluster, starts it and loads db/lab-dev-schema.sql and db/lab-dev-seed.sql.
  // Throws std::runtime_error saying which step failed, with the tool's or server's own words.
  LabCluster();
  // Stops the server (fast) and removes the folder with everything in it.
  ~LabCluster();
  LabCluster(const LabCluster&) = delete;
  LabCluster& operator=(const LabCluster&) = delete;

  // Starts a stopped server on the same port and returns once it takes connections; nothing
  // when it runs. Throws when it does not start.
  void Start();
  // A fast shutdown: open sessions are ended at once. Nothing when it is not running.
  void Stop();
  void Restart();
  bool IsRunning() const;
  // Stops the server's processes in their tracks (SIGSTOP: the postmaster, then its children), as
  // a hung server or a dead network path behaves: its kernel still accepts and acknowledges, nothing
  // answers. Thaw lets them go on. Only this cluster's processes; the destructor thaws first.
  void Freeze();
  void Thaw();

  int port() const { return port_; }
  // The module's own format (it names no port: the client takes it from PGPORT).
  std::string ConnectionString() const;
  // What a client of this server needs in its environment: ODBCSYSINI (driver "SQL Server" =
  // psqlODBC), PGHOST and PGPORT. For a child process, or for this one through ScopedEnvironment.
  EnvironmentVariables Environment() const;

  // Runs the statements through psql as the module's login and returns the rows of the last
  // one, as text (NULL reads as ""). Throws with psql's message when a statement fails.
  std::vector<Row> Query(const std::string& sql) const;

  // The folder of the cluster, and what the server logged so far.
  const std::filesystem::path& root() const { return root_; }
  std::string ServerLog() const;

 private:
  // libpq's words for reaching the database as the module's login, or the cluster as its admin.
  std::string Conninfo(bool asAdmin) const;
  void Init();
  void WriteSettings() const;
  void StopImmediately() const;
  void LoadDatabase();
  void WriteOdbcIni();
  // The postmaster and its children, from postmaster.pid and /proc; none when it does not run.
  std::vector<int> ServerProcesses() const;
  [[noreturn]] void Fail(const std::string& step, const std::string& output) const;

  std::filesystem::path root_;
  std::filesystem::path data_;
  std::filesystem::path socketDir_;
  std::filesystem::path odbcDir_;
  int port_ = 0;
  bool everStarted_ = false;  // the port is fixed from the first start on: clients keep it
  bool frozen_ = false;
};

// Sets the variables for this process until it ends, then puts the previous values back.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const EnvironmentVariables& variables);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> previous_;
};

}  // namespace strivex::testing
