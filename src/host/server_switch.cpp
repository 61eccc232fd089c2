#include "host/server_switch.h"

#include <mutex>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "db/sql_text.h"
#include "host/host_record.h"
#include "host/module_core.h"
#include "host/server_reconnector.h"
#include "host/startup_steps.h"
#include "util/format.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

constexpr int kLookupSlot = 0;

void SetServerUnavailable(ModuleContext& context, uint8_t value) {
  if (context.host != nullptr) context.host->SetFlag(HostRecord::kServerUnavailable, value);
}

bool OpenBounded(BazaDeDate& server, uint8_t direct) {
  const DbTimeouts configured = server.Timeouts();
  server.SetTimeouts(DialogTimeouts(configured));
  const bool opened = server.DeschidConectieSetari(direct);
  server.SetTimeouts(configured);
  return opened && server.connected.load() == 1;
}

// The machine id from the server, else from the local database; the server is "unavailable" for
// the status panel unless it knows the instrument.
void FindInstrument(ModuleContext& context, BazaDeDate& server, BazaDeDate& local) {
  context.activeSession = &server;
  if (const auto id = FindMachineId(server, context.instrumentName)) {
    context.resultMachineId = context.hostMachineId = *id;
    return;
  }
  context.activeSession = &local;
  SetServerUnavailable(context, 1);
  context.hostMachineId = context.localMachineId;
  if (const auto id = FindMachineId(local, context.instrumentName)) {
    context.resultMachineId = context.hostMachineId = *id;
  }
}

}  // namespace

std::optional<int32_t> FindMachineId(BazaDeDate& session, const std::string& instrumentName) {
  if (session.connected.load() != 1) return std::nullopt;
  session.DeschidTabel("MACHINES", Format("where [Name]='%s'", EscapeSqlText(instrumentName).c_str()), kLookupSlot);
  const std::string id = session.ValoareColoana("ID", kLookupSlot).ToText();
  session.InchidTabel(kLookupSlot);
  if (id.empty()) return std::nullopt;
  return ParseDecimal(id);
}

bool SwitchServerLocked(ModuleContext& context, BazaDeDate& server, BazaDeDate& local,
                        const DbConnectionFields& fields) {
  if (server.connected.load() == 1) server.InchidConectie();
  server.serverAddress = fields.serverAddress;
  server.database = fields.database;
  server.password = fields.password;
  server.user = fields.user;
  const bool connected = OpenBounded(server, fields.direct);
  if (!connected) {
    // The active session and the machine ids stay; results wait in the outbox.
    SetServerUnavailable(context, 1);
  } else {
    SetServerUnavailable(context, 0);
    FindInstrument(context, server, local);
    context.serverValid = 1;
    // A module that started without the server has no code lists: without them every result
    // would be refused by the server.
    if (context.investigationCodes.empty()) {
      context.replacementCodes.clear();
      LoadCodeLists(server, context.resultMachineId, context);
    }
  }
  WriteMedianexInit(local, fields);
  return connected;
}

bool ModuleCore::SwitchServer(const DbConnectionFields& fields) {
  if (!serverSession_ || !localSession_) return false;
  bool connected = false;
  {
    std::lock_guard lock(context_.serverMutex);
    connected = SwitchServerLocked(context_, *serverSession_, *localSession_, fields);
    serverAddress_ = fields.serverAddress;
    serverDatabase_ = fields.database;
    serverConnection_ = SqlServerConnectionString(fields.serverAddress, fields.database, fields.user, fields.password);
    // A later loss reconnects to the new server, not to the one of the start.
    if (reconnector_) reconnector_->Retarget(serverConnection_, fields.direct);
  }
  context_.statusRepaint.store(1);
  context_.uploadWake.Notify();
  return connected;
}

}  // namespace strivex
