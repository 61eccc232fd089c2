#include "host/server_switch.h"

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "db/sql_text.h"
#include "host/host_record.h"
#include "host/module_core.h"
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
void FindInstrument(ModuleContext& context, ServerLink::Scope& link, BazaDeDate& local) {
  MachineIds& ids = link.machineIds();
  if (const auto id = FindMachineId(link.session(), context.instrumentName)) {
    ids.result = ids.host = *id;
    return;
  }
  SetServerUnavailable(context, 1);
  ids.host = context.localMachineId;
  if (const auto id = FindMachineId(local, context.instrumentName)) ids.result = ids.host = *id;
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

bool SwitchServerLocked(ModuleContext& context, ServerLink::Scope& link, BazaDeDate& local,
                        const DbConnectionFields& fields) {
  BazaDeDate& server = link.session();
  if (server.connected.load() == 1) server.InchidConectie();
  server.SetServerFields(fields);
  const bool connected = OpenBounded(server, fields.direct);
  if (!connected) {
    // The machine ids stay; results wait in the outbox.
    SetServerUnavailable(context, 1);
  } else {
    SetServerUnavailable(context, 0);
    FindInstrument(context, link, local);
    // A module that started without the server has no code lists: without them every result
    // would be refused by the server.
    if (link.codes().investigation.empty()) {
      link.codes().replacement.clear();
      LoadCodeLists(server, link.machineIds().result, link.codes());
    }
  }
  // A later loss reconnects to the new server, not to the one of the start.
  link.target() = SqlServerConnectionString(fields);
  link.targetDirect() = fields.direct;
  WriteMedianexInit(local, fields);
  return connected;
}

bool ModuleCore::SwitchServer(const DbConnectionFields& fields, std::string* notice) {
  if (!serverSession_ || !localSession_) return false;
  // Waits for a reconnection's login in progress (bounded by its login time; the reconnection
  // never waits for the window).
  bool connected = false;
  context_.server.Run(
      [&](ServerLink::Scope& link) {
        connected = SwitchServerLocked(context_, link, *localSession_, fields);
        if (!connected && notice != nullptr) *notice = link.session().lastNotice();
        return true;
      },
      ServerLink::Needs::kAlways);
  {
    MutexLock lock(serverShownMutex_);
    serverShown_ = fields;
  }
  context_.statusRepaint.store(1);
  context_.uploadWake.Notify();
  return connected;
}

DbDialogAnswer ModuleCore::SwitchServerForDialog(const DbConnectionFields& fields) {
  DbDialogAnswer answer;
  std::string notice;
  answer.connected = SwitchServer(fields, &notice);
  if (!notice.empty()) answer.boxes.push_back(notice);
  return answer;
}

DbConnectionFields ModuleCore::ServerFields() const {
  MutexLock lock(serverShownMutex_);
  return serverShown_;
}

}  // namespace strivex
