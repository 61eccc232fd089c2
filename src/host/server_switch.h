#pragma once
// The database settings' OK on a running module: the server session is closed and opened again
// with the new fields while the upload thread, the reconnection and the request-code lookup wait
// for the server lock, so no statement meets a half-closed connection. Results that arrive
// meanwhile wait in the outbox and go out once the lock is let go.

#include <cstdint>
#include <optional>
#include <string>

#include "host/read_model.h"
#include "host/reception.h"
#include "host/server_link.h"
#include "settings/db_settings_model.h"

namespace strivex {

class BazaDeDate;

// The instrument's "ID" in a session's "MACHINES" table; nothing when the table or its row is
// missing.
std::optional<int32_t> FindMachineId(BazaDeDate& session, const std::string& instrumentName);

// Inside the link's work: closes its session if connected, takes the fields, opens it (login
// bounded by DialogTimeouts), sets the host's server-unavailable flag (`shown`), and finds the machine id on the server,
// else on the local session; updates the link's machine ids, loads the code lists if they never
// were and makes the new server the reconnection's target. Then writes the "Medianex_Init"
// rows, whether or not the server answered. True when the session is connected afterwards.
bool SwitchServerLocked(ReadModel& shown, const Reception& reception, ServerLink::Scope& link, BazaDeDate& local,
                        const DbConnectionFields& fields);

}  // namespace strivex
