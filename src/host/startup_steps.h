#pragma once
// The start-up's reading steps, each on the session it reads from.

#include <cstdint>
#include <string>
#include <vector>

#include "db/db_engine.h"
#include "host/server_link.h"
#include "host/serial_settings.h"

namespace strivex {

class BazaDeDate;

// The laboratory server's settings as "Medianex_Init" keeps them.
struct ServerSettings {
  std::string serverAddress;
  std::string databaseName;
  std::string userName;
  std::string password;
  uint8_t directConect = 1;  // 1: straight to the server; 0: relayed through medianex-relay
  std::string serverPort;     // "Port Server", "Versiune TDS", "Set Caractere": empty when not set
  std::string tdsVersion;
  std::string clientCharset;
  DbTimeouts timeouts;       // "Timeout Conectare", "Timeout Comanda" (seconds), when the rows exist
};

// "Medianex_Init", slot 9; shows "Nu pot afla datele despre baza de date de pe server !" when the
// table cannot be opened. A file without the rows of the server's port, TDS version and character
// set gets them, and an old "HOST;Port=N;..." address is moved into them (UpgradeServerRows).
void ReadServerSettings(BazaDeDate& local, ServerSettings& settings);

// The instrument's "ID" in "MACHINES" (slot 9), as its low 16 bits sign-extended; 0 when the
// instrument has no row.
int32_t ReadLocalMachineId(BazaDeDate& local, const std::string& instrumentName);

// "MACHINE_SETTINGS" rows of the instrument (slot 0); a missing set gets the five default rows,
// which take effect at the next start. Shows "Nu pot obtine setarile masinii, folosesc setari
// implicite" when the table cannot be opened.
void ReadSerialSettings(BazaDeDate& local, int32_t localMachineId, SerialSettings& settings);

// Appends the instrument's replacement and investigation code lists (slot 1) to `codes`; a
// statement that fails leaves its list as it was.
void LoadCodeLists(BazaDeDate& server, int32_t resultMachineId, CodeLists& codes);

}  // namespace strivex
