#include "settings/db_settings_model.h"

#include <sys/stat.h>

#include <algorithm>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "db/local_statements.h"
#include "db/server_address.h"
#include "util/format.h"
#include "util/log_files.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

constexpr size_t kAddressLimit = 99;
constexpr size_t kTestAddressLimit = 199;  // the session's own field
constexpr size_t kDatabaseLimit = 99;
constexpr size_t kLoginLimit = 49;

AddressForm FormOf(const DbDialogFields& fields) {
  return fields.relayed ? AddressForm::kRelay : AddressForm::kSqlServer;
}

DbConnectionFields Limited(const DbDialogFields& fields, size_t addressLimit) {
  DbConnectionFields taken{fields.serverAddress.substr(0, addressLimit),
                           fields.database.substr(0, kDatabaseLimit),
                           fields.user.substr(0, kLoginLimit),
                           fields.password.substr(0, kLoginLimit),
                           static_cast<uint8_t>(fields.relayed ? 0 : 1),
                           std::string(TrimBlanks(fields.serverPort)),
                           fields.tdsVersion.substr(0, kLoginLimit),
                           fields.clientCharset.substr(0, kLoginLimit)};
  // "HOST,PORT" as SQL Server's tools write it is stored as the host and its port apart.
  if (const auto address = ParseServerAddress(taken.serverAddress, FormOf(fields));
      address && address->port != 0 && !fields.relayed) {
    taken.serverAddress = ServerName(*address);
    taken.serverPort = std::to_string(address->port);
  }
  return taken;
}

void KeepOwnerOnly(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || (info.st_mode & 077) == 0) return;
  if (::chmod(path.c_str(), info.st_mode & 0700) != 0) {
    WriteErrorLogEntry(Format("Nu pot restrange drepturile fisierului %s (parola serverului)", path.c_str()));
  }
}

}  // namespace

DbDialogFields DbDialogFieldsFrom(const BazaDeDate& server, const BazaDeDate& local) {
  return {local.database,   server.serverAddress,      server.database,   server.user,
          server.password,  server.direct.load() == 0, server.serverPort, server.tdsVersion,
          server.clientCharset};
}

DbDialogFields DbDialogFieldsFrom(const DbConnectionFields& server, const std::string& localDatabase) {
  return {localDatabase,   server.serverAddress, server.database,   server.user,         server.password,
          server.direct == 0, server.serverPort, server.tdsVersion, server.clientCharset};
}

std::string DbDialogProblem(const DbDialogFields& fields) {
  AddressProblem problem = AddressProblem::kNone;
  if (!TrimBlanks(fields.serverAddress).empty() &&
      !ParseServerAddress(fields.serverAddress, FormOf(fields), &problem)) {
    switch (problem) {
      case AddressProblem::kBadPort:
        return "Portul din Adresa Server trebuie sa fie un numar intre 1 si 65535";
      case AddressProblem::kNoHost:
        return "Adresa Server nu contine numele serverului";
      default:
        return fields.relayed ? "Adresa Server trebuie sa fie de forma SERVER sau SERVER:PORT"
                              : "Adresa Server trebuie sa fie de forma SERVER, SERVER,PORT sau SERVER\\INSTANTA; "
                                "portul, versiunea TDS si setul de caractere au campuri proprii";
    }
  }
  if (!TrimBlanks(fields.serverPort).empty() && !ParsePort(fields.serverPort)) {
    return "Port trebuie sa fie un numar intre 1 si 65535";
  }
  return {};
}

DbConnectionFields FieldsForSaving(const DbDialogFields& fields) { return Limited(fields, kAddressLimit); }

DbConnectionFields FieldsForTest(const DbDialogFields& fields) { return Limited(fields, kTestAddressLimit); }

DbTimeouts DialogTimeouts(const DbTimeouts& configured) {
  return {std::min(configured.login, kDialogLoginLimit), configured.query};
}

std::string TestDbConnection(const DbConnectionFields& fields, const DbTimeouts& configured, std::string* notice) {
  BazaDeDate probe;
  probe.SetTimeouts(DialogTimeouts(configured));
  probe.SetServerFields(fields);
  const std::string connection = SqlServerConnectionString(fields);
  if (!probe.DeschidConectie(connection, fields.direct)) {
    if (notice != nullptr) *notice = probe.lastNotice();
    return kConnectionTestFailed;
  }
  probe.InchidConectie();
  return kConnectionTestPassed;
}

std::vector<std::string> MedianexInitStatements(const DbConnectionFields& fields) {
  return {MedianexInitUpdate("Adresa Server", fields.serverAddress),
          MedianexInitUpdate("Baza de date", fields.database),
          MedianexInitUpdate("Utilizator", fields.user),
          MedianexInitUpdate("Parola", fields.password),
          MedianexInitUpdate("DirectConect", std::to_string(fields.direct)),
          MedianexInitUpdate("Port Server", fields.serverPort),
          MedianexInitUpdate("Versiune TDS", fields.tdsVersion),
          MedianexInitUpdate("Set Caractere", fields.clientCharset)};
}

void WriteMedianexInit(BazaDeDate& local, const DbConnectionFields& fields) {
  KeepOwnerOnly(local.database);
  for (const std::string& statement : MedianexInitStatements(fields)) local.SQLCommand(statement, 0);
}

}  // namespace strivex
