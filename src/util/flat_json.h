#pragma once
// The little JSON the status file and `strivex-cli status --json` need: objects, arrays, texts,
// integers, true/false/null. Texts are the module's bytes: a byte of 0x80 and above is written as
// \u00XX and read back as that byte, so a name in the laboratory's code page survives unchanged.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace strivex {

struct JsonMember;

struct JsonValue {
  enum class Kind { kNull, kBool, kInteger, kText, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  int64_t integer = 0;
  std::string text;
  std::vector<JsonValue> items;                              // kArray
  std::vector<JsonMember> members;                           // kObject, in file order

  // The member called `key` of an object; null when absent or not an object.
  const JsonValue* Find(std::string_view key) const;
};

struct JsonMember {
  std::string key;
  JsonValue value;
};

// Null when `text` is not one whole JSON value of the kinds above (fractions and exponents are
// refused: nothing here needs them).
std::optional<JsonValue> ParseJson(std::string_view text);

// Builds one object, member by member.
class JsonObjectWriter {
 public:
  JsonObjectWriter& Text(std::string_view key, std::string_view value);
  JsonObjectWriter& Integer(std::string_view key, int64_t value);
  JsonObjectWriter& Bool(std::string_view key, bool value);
  // An array of texts.
  JsonObjectWriter& Texts(std::string_view key, const std::vector<std::string>& values);
  // "{...}".
  std::string Finish() const { return "{" + body_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string body_;
};

// `value` as a JSON text, quotes included.
std::string JsonQuote(std::string_view value);

}  // namespace strivex
