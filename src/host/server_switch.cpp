#include "host/server_switch.h"

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "db/lab_statements.h"
#include "host/startup_steps.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

constexpr int kLookupSlot = 0;

bool OpenBounded(BazaDeDate& server, uint8_t direct) {
  const DbTimeouts configured = server.Timeouts();
  server.SetTimeouts(DialogTimeouts(configured));
  const bool opened = server.DeschidConectieSetari(direct);
  server.SetTimeouts(configured);
  return opened && server.connected.load() == 1;
}

// The machine id from the server, else from the local database; the server is "unavailable" for
// the status panel unless it knows the instrument.
void FindInstrument(ReadModel& shown, const Reception& reception, ServerLink::Scope& link, BazaDeDate& local) {
  MachineIds& ids = link.machineIds();
  const std::string instrument = reception.instrumentName();
  if (const auto id = FindMachineId(link.session(), instrument)) {
    ids.result = ids.host = *id;
    return;
  }
  shown.SetServerUnavailable(true);
  ids.host = reception.localMachineId();
  if (const auto id = FindMachineId(local, instrument)) ids.result = ids.host = *id;
}

}  // namespace

std::optional<int32_t> FindMachineId(BazaDeDate& session, const std::string& instrumentName) {
  if (session.connected.load() != 1) return std::nullopt;
  session.DeschidTabel(kMachinesTable, MachineByNameClause(instrumentName), kLookupSlot);
  const std::string id = session.ValoareColoana("ID", kLookupSlot).ToText();
  session.InchidTabel(kLookupSlot);
  if (id.empty()) return std::nullopt;
  return ParseDecimal(id);
}

bool SwitchServerLocked(ReadModel& shown, const Reception& reception, ServerLink::Scope& link, BazaDeDate& local,
                        const DbConnectionFields& fields) {
  BazaDeDate& server = link.session();
  if (server.connected.load() == 1) server.InchidConectie();
  server.SetServerFields(fields);
  const bool connected = OpenBounded(server, fields.direct);
  if (!connected) {
    // The machine ids stay; results wait in the outbox.
    shown.SetServerUnavailable(true);
  } else {
    shown.SetServerUnavailable(false);
    FindInstrument(shown, reception, link, local);
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

}  // namespace strivex
