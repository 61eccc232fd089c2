#include "protocol/strivex_interpretor.h"

#include <algorithm>
#include <limits>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "protocol/code_page.h"
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
  ToServerCodePage(result.value);
}

// The request an identifier value names, read as ParseDecimal reads it ("7007;drop" is 7007); 0
// when it names none: no digits, 0, negative, or too large for a positive 32-bit number.
int32_t RequestIdOf(std::string_view value) {
  const int32_t id = ParseDecimal(value);
  if (id <= 0) return 0;
  if (id < std::numeric_limits<int32_t>::max()) return id;
  // ParseDecimal saturates; only the digits of 2147483647 itself name that request.
  const size_t first = value.find_first_of("123456789");
  const size_t end = value.find_first_not_of("0123456789", first);
  return value.substr(first, end - first) == "2147483647" ? id : 0;
}

SampleRecord& OpenSample(SampleList& list, int32_t requestId) {
  SampleRecord& sample = list.emplace_back(requestId);
  sample.groups.emplace_back(kGroupCode);
  return sample;
}

// The form the analyser prints a result in: one space, then the code.
bool ResultShaped(std::string_view line) { return line.size() >= 2 && line[0] == ' ' && line[1] != ' '; }

// Moves `pos` behind the line end of the line starting there; false when no line end follows.
bool SkipLine(std::string_view text, int32_t& pos) {
  const size_t cr = text.find('\r', static_cast<size_t>(pos));
  if (cr == std::string_view::npos) return false;
  size_t next = cr + 1;
  if (next < text.size() && text[next] == '\n') ++next;
  pos = static_cast<int32_t>(next);
  return true;
}

}  // namespace

uint8_t StrivexInterpretor::Interpret(std::string_view text, int32_t knownRequestId,
                                      int32_t /*modifierId*/,
                                      std::span<const TranslationEntry> translations) {
  told_.clear();
  try {
    std::vector<size_t> gaps = std::exchange(gaps_, {});
    openRequests_.assign(gaps.size(), 0);
    std::string withoutNul;
    if (text.find('\0') != std::string_view::npos) {
      withoutNul.assign(text);
      std::erase(withoutNul, '\0');
      for (size_t& at : gaps) at -= std::count(text.begin(), text.begin() + std::min(at, text.size()), '\0');
      text = withoutNul;
    }
    if (text.empty()) return 0;
    samples_.clear();
    unassigned_.clear();
    InterpretLines(text, knownRequestId, translations, gaps);
  } catch (const std::bad_alloc&) {
    samples_.clear();
    unassigned_.clear();
    told_.clear();
  }
  return samples_.empty() && unassigned_.empty() ? 0 : 1;
}

void StrivexInterpretor::InterpretLines(std::string_view text, int32_t knownRequestId,
                                        std::span<const TranslationEntry> translations,
                                        std::span<const size_t> gaps) {
  const LocalTime messageTime = GetLocalTime();
  // Where results go: the sample opened last, or the printout without one; null at a sample
  // boundary, and the next result then opens a printout in the unassigned list.
  SampleRecord* target = nullptr;
  int32_t currentId = knownRequestId;  // while 0, "Pacient" lines identify
  bool inResultBlock = false;
  // Result-shaped lines outside a block since the last line that ended such a run.
  std::vector<std::string_view> run;
  const auto addResult = [&](std::string_view line) {
    if (target == nullptr) target = &OpenSample(unassigned_, 0);
    ResultRecord& result = target->groups.head()->results.emplace_back(messageTime);
    ReadResultLine(line, result, translations);
  };
  // Kept when a closing line ends the run: a block whose opening line never arrived, a printout
  // of its own, since whose sample it was cannot be known. Told otherwise: header or footer text.
  const auto endRun = [&](bool keep) {
    if (keep && !run.empty()) {
      target = nullptr;
      for (std::string_view line : run) addResult(line);
    } else {
      for (std::string_view line : run) told_.emplace_back(line);
    }
    run.clear();
  };
  // Behind a gap the bytes may be another transmission's (a new report after the device came
  // back): until the block open there ends, only lines in the result form are its results.
  bool afterGap = false;
  const auto noteGap = [&](size_t index) {
    openRequests_[index] = target != nullptr ? target->requestId : 0;
    afterGap = inResultBlock;
  };

  int32_t linePos = 0;
  size_t nextGap = 0;
  std::string_view line;
  for (;;) {
    for (; nextGap < gaps.size() && gaps[nextGap] <= static_cast<size_t>(linePos); ++nextGap) noteGap(nextGap);
    if (!ReadLineView(text, linePos, line, kLineLimit)) {
      if (SkipLine(text, linePos)) continue;  // an over-long line: noise, not the end
      break;
    }
    const LineKey key = ClassifyLine(line, currentId);
    if (key.identifier) {
      int32_t pos = key.valuePos;
      std::string_view value;
      NextTokenView(line, pos, value, kLineLimit, ':');
      currentId = ParseDecimal(value);
      const int32_t requestId = RequestIdOf(value);
      target = requestId != 0 ? &OpenSample(samples_, requestId) : nullptr;
      inResultBlock = afterGap = false;
      endRun(false);
    } else if (key.first == '=') {
      // The report's closing line: a block after it needs an identifier of its own.
      endRun(true);
      target = nullptr;
      inResultBlock = afterGap = false;
    } else if (!inResultBlock) {
      inResultBlock = key.first == '-';
      if (inResultBlock) {
        endRun(false);
      } else if (ResultShaped(line)) {
        run.push_back(line);
      }
    } else if (key.first == '-') {
      inResultBlock = afterGap = false;
    } else if (!afterGap || ResultShaped(line)) {
      addResult(line);
    }
  }
  for (; nextGap < gaps.size(); ++nextGap) noteGap(nextGap);
  endRun(false);
}

}  // namespace strivex
