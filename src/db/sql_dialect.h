#pragma once
// The statements are written for SQL Server. On the PostgreSQL development server two things
// differ: procedures are called with CALL NAME(args) instead of exec NAME args, and [ ] quoting of
// identifiers does not exist (bare names fold to lower case, as the development schema's do).

#include <string>
#include <string_view>

namespace strivex {

// The statement as PostgreSQL takes it: "exec NAME args" as "CALL NAME(args)", [ ] dropped
// outside string literals; anything else is returned unchanged.
std::string ToPostgresDialect(std::string_view sql);

}  // namespace strivex
