#include "host/startup_steps.h"

#include <chrono>

#include "db/baza_de_date.h"
#include "db/lab_statements.h"
#include "db/local_statements.h"
#include "host/server_settings_upgrade.h"
#include "platform/message_box.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

constexpr int kSettingsSlot = 9;
constexpr int kSerialSlot = 0;
constexpr int kCodesSlot = 1;

std::chrono::milliseconds SecondsOr(const DbValue& value, std::chrono::milliseconds fallback) {
  const int32_t seconds = ParseDecimal(value.ToText());
  return seconds > 0 ? std::chrono::milliseconds(int64_t{seconds} * 1000) : fallback;
}

void ApplyServerSetting(const std::string& property, const DbValue& value, ServerSettings& settings) {
  if (property == "Adresa Server") settings.serverAddress = value.ToText();
  else if (property == "Baza de date") settings.databaseName = value.ToText();
  else if (property == "Utilizator") settings.userName = value.ToText();
  else if (property == "Parola") settings.password = value.type == VT_NULL ? "" : value.ToText();
  else if (property == "DirectConect") settings.directConect = ParseDecimal(value.ToText()) != 0 ? 1 : 0;
  else if (property == "Port Server") settings.serverPort = value.ToText();
  else if (property == "Versiune TDS") settings.tdsVersion = value.ToText();
  else if (property == "Set Caractere") settings.clientCharset = value.ToText();
  // Optional rows for slow networks, in seconds; a missing, empty or non-positive value keeps the
  // default.
  else if (property == "Timeout Conectare") settings.timeouts.login = SecondsOr(value, settings.timeouts.login);
  else if (property == "Timeout Comanda") settings.timeouts.query = SecondsOr(value, settings.timeouts.query);
}

}  // namespace

void ReadServerSettings(BazaDeDate& local, ServerSettings& settings) {
  if (!local.DeschidTabel(kMedianexInitTable, kSettingsSlot)) {
    platform::MessageBox("Nu pot afla datele despre baza de date de pe server !");
    local.InchidTabel(kSettingsSlot);
    return;
  }
  std::vector<std::string> present;
  do {
    present.push_back(local.ValoareColoana("Proprietate", kSettingsSlot).ToText());
    ApplyServerSetting(present.back(), local.ValoareColoana("Valoare", kSettingsSlot), settings);
  } while (local.NextElementTabel(kSettingsSlot));
  local.InchidTabel(kSettingsSlot);
  UpgradeServerRows(local, settings, present);
}

int32_t ReadLocalMachineId(BazaDeDate& local, const std::string& instrumentName) {
  local.DeschidTabel(kLocalMachinesTable, LocalMachineByNameClause(instrumentName), kSettingsSlot);
  const DbValue id = local.ValoareColoana("ID", kSettingsSlot);
  local.InchidTabel(kSettingsSlot);
  return static_cast<int16_t>(static_cast<uint32_t>(id.intVal) & 0xFFFF);
}

void ReadSerialSettings(BazaDeDate& local, int32_t localMachineId, SerialSettings& settings) {
  if (!local.DeschidTabel(kMachineSettingsTable, MachineSettingsClause(localMachineId), kSerialSlot)) {
    platform::MessageBox("Nu pot obtine setarile masinii, folosesc setari implicite");
  }
  do {
    const std::string name = local.ValoareColoana("NAME", kSerialSlot).ToText();
    if (name.empty()) {
      for (const std::string& row : DefaultMachineSettingsInserts(localMachineId)) local.SQLCommand(row, kSerialSlot);
      return;
    }
    ApplySettingRow(settings, name, local.ValoareColoana("VALUE", kSerialSlot).ToText());
  } while (local.NextElementTabel(kSerialSlot));
}

void LoadCodeLists(BazaDeDate& server, int32_t resultMachineId, CodeLists& codes) {
  if (server.GetRecords(ReplacementCodesQuery(resultMachineId), kCodesSlot)) {
    do {
      std::string machineCode = server.ValoareColoana("MachineCode", kCodesSlot).ToText();
      if (!machineCode.empty()) {
        codes.replacement.push_back(
            {server.ValoareColoana("ReplacementCode", kCodesSlot).ToText(), std::move(machineCode)});
      }
    } while (server.NextElementTabel(kCodesSlot));
    server.InchidTabel(kCodesSlot);
  }
  if (server.GetRecords(InvestigationCodesQuery(resultMachineId), kCodesSlot)) {
    do {
      const DbValue investigation = server.ValoareColoana("invID", kCodesSlot);
      if (investigation.IsEmpty()) continue;
      codes.investigation.push_back({investigation.intVal,
                                            server.ValoareColoana("InvCode", kCodesSlot).ToText(),
                                            server.ValoareColoana("DetailID", kCodesSlot).intVal,
                                            server.ValoareColoana("DetailCode", kCodesSlot).ToText()});
    } while (server.NextElementTabel(kCodesSlot));
  }
}

}  // namespace strivex
