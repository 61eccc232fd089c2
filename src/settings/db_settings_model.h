#pragma once
// "SetariDB" without its widgets: what the database settings dialog shows when it opens, the
// connection test, and the rows its OK writes to "Medianex_Init". Reconnecting the module's own
// server session is the module's business (ModuleCore::SwitchServer).

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "db/connection_fields.h"
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
  std::string serverPort{};     // "Port"
  std::string tdsVersion{};     // "Versiune TDS"
  std::string clientCharset{};  // "Set caractere"

  friend bool operator==(const DbDialogFields&, const DbDialogFields&) = default;
};


// The dialog's opening: the server session's fields, the local session's file, and the relayed
// box checked when the server session's mode is relayed. Window's thread (the only writer).
DbDialogFields DbDialogFieldsFrom(const BazaDeDate& server, const BazaDeDate& local);
// The same from the module's copy of the server fields (the switch may be writing the session's).
DbDialogFields DbDialogFieldsFrom(const DbConnectionFields& server, const std::string& localDatabase);

// Why the edits cannot be used, for a box (the dialog then stays open), or empty when they can:
// the server address is not HOST, HOST,PORT or HOST\INSTANCE (relayed: RELAYHOST[:PORT]), or
// "Port" is not a number from 1 to 65535.
std::string DbDialogProblem(const DbDialogFields& fields);

// What OK takes of the edits: 99 characters of address and database, 49 of user, password, TDS
// version and character set. A port typed in the server address ("HOST,PORT") is taken apart
// into the port; the relay's own port stays in its address.
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

// The "UPDATE Medianex_Init" statements in the order written: "Adresa Server", "Baza de date",
// "Utilizator", "Parola" (in plain text: the start-up and earlier files read it there),
// "DirectConect", "Port Server", "Versiune TDS", "Set Caractere"; texts escaped.
std::vector<std::string> MedianexInitStatements(const DbConnectionFields& fields);

// Writes them on the local session (slot 0; failures only logged by the session). The file is
// first made owner-only if it is not (it holds the server's password).
void WriteMedianexInit(BazaDeDate& local, const DbConnectionFields& fields);

}  // namespace strivex
