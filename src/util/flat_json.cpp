#include "util/flat_json.h"

#include <charconv>

#include "util/format.h"

namespace strivex {

namespace {

// Nesting deeper than this is not a status file: refused instead of exhausting the stack.
constexpr int kDeepest = 16;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<JsonValue> Whole() {
    JsonValue value;
    if (!Value(value, 0)) return std::nullopt;
    SkipBlanks();
    if (at_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  void SkipBlanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }
  bool Take(char c) {
    SkipBlanks();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool Value(JsonValue& value, int depth) {
    SkipBlanks();
    if (at_ >= text_.size() || depth > kDeepest) return false;
    const char c = text_[at_];
    if (c == '{') return Object(value, depth);
    if (c == '[') return Array(value, depth);
    if (c == '"') {
      value.kind = JsonValue::Kind::kText;
      return Text(value.text);
    }
    if (Word("true") || Word("false")) {
      value.kind = JsonValue::Kind::kBool;
      value.boolean = c == 't';
      return true;
    }
    if (Word("null")) return true;
    value.kind = JsonValue::Kind::kInteger;
    const auto [end, error] = std::from_chars(text_.data() + at_, text_.data() + text_.size(), value.integer);
    if (error != std::errc{}) return false;
    at_ = static_cast<size_t>(end - text_.data());
    return at_ >= text_.size() || (text_[at_] != '.' && text_[at_] != 'e' && text_[at_] != 'E');
  }

  bool Object(JsonValue& value, int depth) {
    value.kind = JsonValue::Kind::kObject;
    ++at_;
    if (Take('}')) return true;
    do {
      std::string key;
      JsonValue member;
      SkipBlanks();
      if (at_ >= text_.size() || text_[at_] != '"' || !Text(key) || !Take(':') || !Value(member, depth + 1))
        return false;
      value.members.push_back({std::move(key), std::move(member)});
    } while (Take(','));
    return Take('}');
  }

  bool Array(JsonValue& value, int depth) {
    value.kind = JsonValue::Kind::kArray;
    ++at_;
    if (Take(']')) return true;
    do {
      JsonValue item;
      if (!Value(item, depth + 1)) return false;
      value.items.push_back(std::move(item));
    } while (Take(','));
    return Take(']');
  }

  // A quoted text at `at_`. \uXXXX above 0xFF is refused: the module's texts are single bytes.
  bool Text(std::string& out) {
    ++at_;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      switch (const char e = text_[at_++]; e) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned code = 0;
          if (at_ + 4 > text_.size()) return false;
          const auto [end, error] = std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16);
          if (error != std::errc{} || end != text_.data() + at_ + 4 || code > 0xFF) return false;
          at_ += 4;
          out += static_cast<char>(code);
          break;
        }
        default: return false;
      }
    }
    return false;
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (const auto& [name, value] : members)
    if (name == key) return &value;
  return nullptr;
}

std::optional<JsonValue> ParseJson(std::string_view text) { return Parser(text).Whole(); }

std::string JsonQuote(std::string_view value) {
  std::string out = "\"";
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x80) {
      out += Format("\\u%04x", byte);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void JsonObjectWriter::Key(std::string_view key) {
  if (!body_.empty()) body_ += ", ";
  body_ += JsonQuote(key) + ": ";
}

JsonObjectWriter& JsonObjectWriter::Text(std::string_view key, std::string_view value) {
  Key(key);
  body_ += JsonQuote(value);
  return *this;
}

JsonObjectWriter& JsonObjectWriter::Integer(std::string_view key, int64_t value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonObjectWriter& JsonObjectWriter::Texts(std::string_view key, const std::vector<std::string>& values) {
  Key(key);
  body_ += "[";
  for (size_t i = 0; i < values.size(); ++i) body_ += (i == 0 ? "" : ", ") + JsonQuote(values[i]);
  body_ += "]";
  return *this;
}

JsonObjectWriter& JsonObjectWriter::Bool(std::string_view key, bool value) {
  Key(key);
  body_ += value ? "true" : "false";
  return *this;
}

}  // namespace strivex
