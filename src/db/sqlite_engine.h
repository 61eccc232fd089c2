#pragma once
// The local settings database: a SQLite file named by the "Data Source" of the Jet connection
// strings the session builds. A missing file is created (owner-only) with the local schema.

#include <memory>

#include "db/db_engine.h"

namespace strivex {

// A closed engine for a local SQLite file; never null.
std::unique_ptr<DbEngine> MakeSqliteEngine();

// The schema a new local database file starts with (the text of db/local-schema.sql).
const char* LocalSchemaSql();

}  // namespace strivex
