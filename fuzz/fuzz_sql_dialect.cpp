// The step that brings SQL Server statements to the development PostgreSQL server.
//
// Input: a choice byte, then a text. The text is tried as a whole statement, and as a quoted
// value inside statements written as the module writes them (brackets around names, exec with
// arguments).
//
// Properties: the step is idempotent (for statements that are not made by dropping a bracket); a statement without "exec" and without brackets is left
// alone; no '[' or ']' is left outside literals; every closed literal comes through byte for
// byte, which for the module's own statements means the escaped value comes through exactly:
//   SELECT [c] FROM [t] WHERE [c] = '<v>'   ->  SELECT c FROM t WHERE c = '<v>'
//   exec NAME '<v>', 5                      ->  CALL NAME('<v>', 5)

#include <string>
#include <vector>

#include "db/sql_dialect.h"
#include "db/sql_text.h"
#include "fuzz_check.h"

namespace {

// The literals of a statement whose quotes pair up ('' inside a literal is a quote), and the
// text outside them; false when a literal is left open.
bool SplitLiterals(std::string_view sql, std::vector<std::string>& literals, std::string& outside) {
  bool in = false;
  std::string current;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (!in) {
      if (c == '\'') {
        in = true;
        current.clear();
      } else {
        outside += c;
      }
    } else if (c == '\'') {
      if (i + 1 < sql.size() && sql[i + 1] == '\'') {
        current += c;
        ++i;
      } else {
        in = false;
        literals.push_back(current);
      }
    } else {
      current += c;
    }
  }
  return !in;
}

// Whether a run of brackets sits right between two quotes.
bool BracketsJoinLiterals(std::string_view sql) {
  for (size_t i = 0; i < sql.size(); ++i) {
    if (sql[i] != '\'') continue;
    size_t j = i + 1;
    while (j < sql.size() && (sql[j] == '[' || sql[j] == ']')) ++j;
    if (j > i + 1 && j < sql.size() && sql[j] == '\'') return true;
  }
  return false;
}

bool StartsWithExec(std::string_view sql) {
  const size_t start = sql.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return false;
  sql.remove_prefix(start);
  if (sql.size() < 5) return false;
  for (size_t i = 0; i < 4; ++i) {
    if ((sql[i] | 0x20) != "exec"[i]) return false;
  }
  return sql[4] == ' ' || sql[4] == '\t' || sql[4] == '\r' || sql[4] == '\n';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  strivex::fuzz::Input input(data, size);
  input.Byte();
  const std::string_view text = input.Rest();

  const std::string once = strivex::ToPostgresDialect(text);
  // Idempotent, unless dropping brackets is what makes an "exec" ("]exec p", not a statement).
  std::string unbracketed(text);
  std::erase_if(unbracketed, [](char c) { return c == '[' || c == ']'; });
  if (StartsWithExec(text) == StartsWithExec(unbracketed)) {
    FUZZ_CHECK(strivex::ToPostgresDialect(once) == once, "the step is idempotent");
  }
  std::vector<std::string> literalsIn, literalsOut;
  std::string outsideIn, outsideOut;
  const bool closedIn = SplitLiterals(text, literalsIn, outsideIn);
  const bool closedOut = SplitLiterals(once, literalsOut, outsideOut);
  if (closedOut) {
    FUZZ_CHECK(outsideOut.find_first_of("[]") == std::string::npos, "no brackets outside literals");
  }
  if (!StartsWithExec(text)) {
    if (text.find_first_of("[]") == std::string_view::npos) {
      FUZZ_CHECK(once == text, "other statements are left alone");
    }
    // Dropping a bracket that stands alone between two literals ('a']'b') joins them into one
    // ('a''b'); no statement is written so, and the step only promises to drop the brackets.
    if (closedIn && !BracketsJoinLiterals(text)) {
      FUZZ_CHECK(closedOut && literalsOut == literalsIn, "literals come through byte for byte");
    }
  }

  const std::string value = strivex::EscapeSqlText(text);
  FUZZ_CHECK(strivex::ToPostgresDialect("SELECT [c] FROM [t] WHERE [c] = '" + value + "'") ==
                 "SELECT c FROM t WHERE c = '" + value + "'",
             "a quoted value comes through a bracketed statement");
  FUZZ_CHECK(strivex::ToPostgresDialect("exec L_RESULT_INSERT '" + value + "', 5") ==
                 "CALL L_RESULT_INSERT('" + value + "', 5)",
             "a quoted value comes through a procedure call");
  return 0;
}
