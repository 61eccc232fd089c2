#pragma once
// The laboratory's server through the ODBC driver, run in a helper process of its own for each
// connection (driver_process.h, apps/strivex-odbc-helper). The helper runs the in-process engine
// (odbc_engine.h) and nothing else; this side only waits for its answers, with `poll`, against
// the login's or the statement's deadline counted from sending, or a stop. A driver that hangs
// past the deadline, or crashes, costs that one connection and nothing else in the process: no
// descriptor is guessed at, no lock or memory figure is shared with other connections.

#include <memory>
#include <string>

#include "db/db_engine.h"
#include "db/driver_helper_path.h"

namespace strivex {

// The data (RLIMIT_DATA) a connection's helper may take when its result sets may hold
// `resultLimit` bytes: the driver's own needs, and room for the result as the driver holds it,
// which is several times its size on the wire (psqlODBC keeps the client library's copy of a
// result beside its own while it reads it); 0, no bound, when the results are not bounded. The
// engine counts what its result sets hold exactly; the helper's limit only keeps a driver that
// reads a whole result at once from taking the machine's memory before a byte is counted.
size_t DriverDataLimit(size_t resultLimit);

// A closed engine whose connections each start the helper at `helperPath`; never null. A call
// past its deadline, a stop and a helper's death all fail the call as a lost connection, with the
// reason in the error's detail (a signal by its name); the engine then has no connection until
// the next Open. A stop that comes before the engine's first Open fails that Open.
std::unique_ptr<DbEngine> MakeOdbcProcessEngine(std::string helperPath = DriverHelperPath());

}  // namespace strivex
