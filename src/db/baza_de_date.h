#pragma once
// A database session: one connection (the local settings file or the laboratory's server) and ten
// result-set slots read forward by column name. Operations report with booleans and type-0 values,
// never by throwing; failures go to "_acterr.log" with the system's fixed texts.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "db/db_engine.h"
#include "db/db_value.h"
#include "db/tcp_multi_thread.h"

namespace strivex {

class BazaDeDate {
 public:
  static constexpr int kSlotCount = 10;

  BazaDeDate();
  virtual ~BazaDeDate();
  BazaDeDate(const BazaDeDate&) = delete;
  BazaDeDate& operator=(const BazaDeDate&) = delete;

  // Opens the local database file (the password guards the file the old way; SQLite files have
  // none). Direct mode only.
  virtual bool DeschidBazaLocala(const std::string& dataSource, const std::string& password,
                                 uint8_t direct);
  // Opens by a complete connection string, directly or through the relay server.
  virtual bool DeschidConectie(const std::string& connectionString, uint8_t direct);
  // Opens from the session's own fields: SQL Server when serverAddress is set, else the file.
  bool DeschidConectieSetari(uint8_t direct);
  void InchidConectie();

  bool SQLCommand(const std::string& sql, int slot);
  bool DeschidTabel(const std::string& table, int slot);
  bool DeschidTabel(const std::string& table, const std::string& clause, int slot);
  bool GetRecords(const std::string& sql, int slot);
  DbValue ValoareColoana(const std::string& column, int slot);
  bool NextElementTabel(int slot);
  void InchidTabel(int slot);

  // For operator tools, which show whatever a statement returns: the slot's column names, and
  // whether it has a current row (reading the columns cannot tell an empty set from NULLs).
  std::vector<std::string> ColumnNames(int slot);
  bool RowAvailable(int slot);

  // The message of the last log entry this session wrote, and the driver's own words for that
  // failure (for operator tools; the log keeps its fixed format).
  std::string LastErrorMessage() const;
  std::string LastErrorDetail() const;

  // Fields the callers read and write directly.
  std::atomic<uint16_t> lastErrorCode{0};
  std::string serverIp;
  std::string user;
  std::string password;
  std::atomic<uint8_t> busy{0};
  std::string database;
  std::string serverAddress;
  std::atomic<uint8_t> connected{0};
  std::atomic<uint8_t> direct{1};
  std::atomic<int32_t> requestCounter{0};  // last relay request number; never reset
  TcpMultiThread relay;
  std::atomic<int> relaySocket{-1};
  std::string hostName;

 private:
  class BusyGuard;

  bool DirectOpen(const std::string& connectionString, const std::string& failureFormatTail);
  // Runs a statement into a slot; false with `error` on failure.
  bool ExecuteInto(const std::string& sql, int slot, DbError& error);
  void ReleaseSlot(int slot);
  void LogFailure(const std::string& message, const DbError& error);
  bool HasEngine() const;

  bool RelayedOpen(const std::string& connectionString);
  // Sends a request under a new number; 0 when it is refused or cannot be sent.
  int32_t RelayRequest(const std::string& command, const std::string& argument);
  // Sends a request and takes its status reply.
  bool RelayStatus(const std::string& command, const std::string& argument);
  DbValue RelayValue(const std::string& column, int slot);

  mutable std::shared_mutex engineMutex_;  // statements share it; open and close take it alone
  std::unique_ptr<DbEngine> engine_;
  std::array<std::mutex, kSlotCount> slotMutex_;
  std::array<std::unique_ptr<ResultSet>, kSlotCount> slots_;
  mutable std::mutex diagnosticsMutex_;
  std::string lastErrorMessage_;
  std::string lastErrorDetail_;
};

}  // namespace strivex
