#include "protocol/strivex_interpretor.h"

#include <new>

#include "util/local_time.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

constexpr char kGroupCode[] = "S_TRV";
constexpr char kUtf8LeadByte = '\xC2';  // the analyser sends "µ" as UTF-8; the lead byte is dropped

// The key of a line is its first ':'-separated token less leading spaces. Only its first byte and
// three exact identifier keys matter, so the line is classified without scanning for the ':'.
struct LineKey {
  char first = '\0';          // first byte of the key, NUL for an empty key
  bool identifier = false;    // the key is an identifier key
  int32_t valuePos = 0;       // where the identifier's value token starts
};

bool KeyIs(std::string_view rest, std::string_view key) {
  return rest.starts_with(key) && (rest.size() == key.size() || rest[key.size()] == ':');
}

LineKey ClassifyLine(std::string_view line, int32_t currentId) {
  LineKey key;
  size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos) return key;
  const std::string_view rest = line.substr(start);
  key.first = rest[0] == ':' ? '\0' : rest[0];
  for (std::string_view name : {std::string_view("ID proba"), std::string_view("Sample ID"),
                                std::string_view("Pacient")}) {
    if (KeyIs(rest, name) && (name != "Pacient" || currentId == 0)) {
      key.identifier = true;
      key.valuePos = static_cast<int32_t>(start + name.size() + 1);
    }
  }
  return key;
}

void Translate(std::string& value, std::span<const TranslationEntry> translations) {
  for (const TranslationEntry& entry : translations) {
    if (entry.from == value) {
      value = entry.to;
      return;
    }
  }
}

// A result line: tokens start at position 1 (its first byte never belongs to a token); code, then
// value of up to two tokens joined by one space; further tokens are dropped.
void ReadResultLine(std::string_view line, ResultRecord& result,
                    std::span<const TranslationEntry> translations) {
  int32_t pos = 1;
  std::string_view code, second, third;
  constexpr int32_t limit = StrivexInterpretor::kLineLimit;
  NextTokenView(line, pos, code, limit, ' ');
  NextTokenView(line, pos, second, limit, ' ');
  const bool hasThird = NextTokenView(line, pos, third, limit, ' ');
  result.parameterCode.assign(code);
  result.value.assign(second);
  if (hasThird) {
    result.value += ' ';
    result.value += third;
  }
  Translate(result.value, translations);
  RemoveByte(result.value, kUtf8LeadByte);
}

}  // namespace

uint8_t StrivexInterpretor::Interpret(std::string_view text, int32_t knownRequestId,
                                      int32_t /*modifierId*/,
                                      std::span<const TranslationEntry> translations) {
  text = text.substr(0, text.find('\0'));
  if (text.empty()) return 0;
  samples_.clear();
  try {
    if (!InterpretLines(text, knownRequestId, translations)) samples_.clear();
  } catch (const std::bad_alloc&) {
    samples_.clear();
  }
  return samples_.empty() ? 0 : 1;
}

bool StrivexInterpretor::InterpretLines(std::string_view text, int32_t knownRequestId,
                                        std::span<const TranslationEntry> translations) {
  const LocalTime messageTime = GetLocalTime();
  SampleRecord* currentSample = nullptr;
  int32_t currentId = knownRequestId;
  bool inResultBlock = false;

  int32_t linePos = 0;
  std::string_view line;
  while (ReadLineView(text, linePos, line, kLineLimit)) {
    const LineKey key = ClassifyLine(line, currentId);
    if (key.identifier) {
      int32_t pos = key.valuePos;
      std::string_view value;
      NextTokenView(line, pos, value, kLineLimit, ':');
      currentId = ParseDecimal(value);
      if (currentId != 0) {
        currentSample = &samples_.emplace_back(currentId);
        currentSample->groups.emplace_back(kGroupCode);
      }
      inResultBlock = false;
    } else if (!inResultBlock) {
      inResultBlock = key.first == '-';
    } else if (key.first == '-' || key.first == '=') {
      inResultBlock = false;
    } else {
      // A result before any sample cannot be attributed to anyone: deliver nothing.
      if (currentSample == nullptr) return false;
      ResultRecord& result = currentSample->groups.head()->results.emplace_back(messageTime);
      ReadResultLine(line, result, translations);
    }
  }
  return true;
}

}  // namespace strivex
