#pragma once
// The laboratory's server through the ODBC driver manager: the system's connection string goes to
// the driver named in it ("SQL Server"), with only the blanks around its pairs trimmed. Texts
// travel as Windows-1250 bytes, the module's single-byte encoding. Its calls wait on the driver
// without a deadline: it runs in the helper process (apps/strivex-odbc-helper), whose parent
// bounds them (odbc_process_engine.h); Abort asks the driver to cancel the statement in flight.

#include <memory>

#include "db/db_engine.h"

namespace strivex {

// A closed engine for the ODBC driver named in the connection string; never null.
std::unique_ptr<DbEngine> MakeOdbcEngine();

}  // namespace strivex
