#include "db/sql_dialect.h"

#include <cctype>

namespace strivex {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithWord(std::string_view text, std::string_view word) {
  if (text.size() <= word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
  }
  return IsBlank(text[word.size()]);
}

// "exec NAME args" as "CALL NAME(args)".
std::string CallForm(std::string_view sql) {
  std::string_view rest = Trim(sql);
  if (!StartsWithWord(rest, "exec")) return std::string(sql);
  rest = Trim(rest.substr(4));
  size_t nameEnd = 0;
  while (nameEnd < rest.size() && !IsBlank(rest[nameEnd])) ++nameEnd;
  const std::string_view name = rest.substr(0, nameEnd);
  const std::string_view args = Trim(rest.substr(nameEnd));
  std::string call = "CALL ";
  call.append(name).append("(").append(args).append(")");
  return call;
}

// Removes [ and ] outside string literals ('' inside a literal is a quote, not its end).
std::string WithoutBrackets(std::string_view sql) {
  std::string out;
  out.reserve(sql.size());
  bool inLiteral = false;
  for (char c : sql) {
    if (c == '\'') inLiteral = !inLiteral;
    if (!inLiteral && (c == '[' || c == ']')) continue;
    out.push_back(c);
  }
  return out;
}

}  // namespace

std::string ToPostgresDialect(std::string_view sql) { return WithoutBrackets(CallForm(sql)); }

}  // namespace strivex
