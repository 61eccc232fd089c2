#include "host/server_settings_upgrade.h"

#include <strings.h>

#include <algorithm>

#include "db/baza_de_date.h"
#include "db/local_statements.h"
#include "db/server_address.h"
#include "host/startup_steps.h"
#include "util/format.h"
#include "util/log_files.h"

namespace strivex {

namespace {

void WriteRow(BazaDeDate& local, const char* property, const std::string& value, bool exists) {
  local.SQLCommand(MedianexInitWrite(property, value, exists), 0);
}

}  // namespace

void UpgradeServerRows(BazaDeDate& local, ServerSettings& settings, const std::vector<std::string>& present) {
  // The file compares its texts without case.
  const auto has = [&present](const char* property) {
    return std::any_of(present.begin(), present.end(),
                       [property](const std::string& name) { return ::strcasecmp(name.c_str(), property) == 0; });
  };
  const auto old = SplitOldServerSetting(settings.serverAddress);
  struct Row {
    const char* property;
    std::string& value;
    std::string moved;
  };
  Row rows[] = {{"Port Server", settings.serverPort, old ? old->port : ""},
                {"Versiune TDS", settings.tdsVersion, old ? old->tdsVersion : ""},
                {"Set Caractere", settings.clientCharset, old ? old->clientCharset : ""}};
  for (Row& row : rows) {
    const bool exists = has(row.property);
    const bool moves = row.value.empty() && !row.moved.empty();
    if (moves) row.value = row.moved;
    if (!exists || moves) WriteRow(local, row.property, row.value, exists);
  }
  if (!old) return;
  settings.serverAddress = old->address;
  WriteRow(local, "Adresa Server", settings.serverAddress, true);
  // The values only: whatever else the old text held (a password, say) stays out of the log.
  WriteErrorLogEntry(Format("Setari server mutate: Adresa Server='%s', Port Server='%s', Versiune TDS='%s', "
                            "Set Caractere='%s'",
                            settings.serverAddress.c_str(), settings.serverPort.c_str(), settings.tdsVersion.c_str(),
                            settings.clientCharset.c_str()));
}

}  // namespace strivex
