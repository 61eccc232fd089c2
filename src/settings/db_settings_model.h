#pragma once
// "SetariDB" without its widgets: what the database settings dialog shows when it opens, the
// connection test, and the rows its OK writes to "Medianex_Init". Reconnecting the module's own
// server session is the module's business (ModuleCore::SwitchServer).

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "db/db_engine.h"

namespace strivex {

class BazaDeDate;

// What the dialog's edits and check box hold.
struct DbDialogFields {
  std::string localDatabase;  // "Baza de date locala": shown only, never read back
  std::string serverAddress;  // "Adresa Server"
  std::string database;       // "Baza de date de pe server"
  std::string user;           // "Utilizator"
  std::string password;       // "Parola"
  bool relayed = false;       // "Folosesc ServMedianex": through medianex-relay

  friend bool operator==(const DbDialogFields&, const DbDialogFields&) = default;
};

// The server connection's fields as a session takes them.
struct DbConnectionFields {
  std::string serverAddress;
  std::string database;
  std::string user;
  std::string password;
  uint8_t direct = 1;  // 1 straight to the server, 0 relayed

  friend bool operator==(const DbConnectionFields&, const DbConnectionFields&) = default;
};

// The dialog's opening: the server session's fields, the local session's file, and the relayed
// box checked when the server session's mode is relayed. Window's thread (the only writer).
DbDialogFields DbDialogFieldsFrom(const BazaDeDate& server, const BazaDeDate& local);
// The same from the module's copy of the server fields (the switch may be writing the session's).
DbDialogFields DbDialogFieldsFrom(const DbConnectionFields& server, const std::string& localDatabase);

// What OK takes of the edits: 99 characters of address and database, 49 of user and password.
DbConnectionFields FieldsForSaving(const DbDialogFields& fields);
// What the connection test takes: the same, but up to 199 characters of the address.
DbConnectionFields FieldsForTest(const DbDialogFields& fields);

// The dialog's connections wait for their login at most this long, so an unreachable address
// keeps the operator waiting (on a worker, the window stays responsive) for a few seconds, not
// for a network time-out. A slow network that needs longer is still reached by the background
// reconnection, which keeps the configured wait.
inline constexpr std::chrono::milliseconds kDialogLoginLimit{5000};
DbTimeouts DialogTimeouts(const DbTimeouts& configured);

// What the connection test says.
inline constexpr const char* kConnectionTestPassed = "Conectare Reusita";
inline constexpr const char* kConnectionTestFailed = "Insucces";

// "Testez Conectie": a temporary session of its own (the module's are not touched) opens with the
// fields and closes again. Returns what the dialog then shows: kConnectionTestPassed or
// kConnectionTestFailed; `notice` (when given) gets what the operator is to be told first of a
// failed relayed open. Shows nothing itself: any thread.
std::string TestDbConnection(const DbConnectionFields& fields, const DbTimeouts& configured,
                             std::string* notice = nullptr);

// The five "UPDATE Medianex_Init" statements in the order written: "Adresa Server", "Baza de
// date", "Utilizator", "Parola" (in plain text: the start-up and earlier files read it there),
// "DirectConect"; texts escaped.
std::vector<std::string> MedianexInitStatements(const DbConnectionFields& fields);

// Writes them on the local session (slot 0; failures only logged by the session). The file is
// first made owner-only if it is not (it holds the server's password).
void WriteMedianexInit(BazaDeDate& local, const DbConnectionFields& fields);

}  // namespace strivex
