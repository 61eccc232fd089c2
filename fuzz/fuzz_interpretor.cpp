// The report interpreter on hostile text, with and without a translation list.
//
// Input: a flag byte (bit 0: the text up to the first 0x01 byte is a translation list, one
// "from:to" pair a line, split as the code-translation file's values are; bit 1: a request id is already known), a two-byte cut choice, then
// the report.
//
// Properties, besides running clean under ASan and UBSan:
// - bounds: every line gives at most one sample or one result, so samples + results never exceed
//   the lines; request ids are positive (0 only for unassigned printouts); codes and values stay
//   within a line (300 bytes; a translation gives at most 50) and hold no byte the server's code
//   page lacks; the result is 1 exactly when something was found; NUL bytes change nothing.
// - the serial reader's cut: the reader ends a message after a silence, wherever the analyser
//   paused, so one report may come as two messages A and B. Two promises hold:
//   * any cut: everything A gives, except what its last (possibly cut) line gives, is what the
//     whole gives first (the interpreter never reads ahead of a line). Result lines met outside a
//     block wait for what ends them: A's end makes them a printout of their own where the whole
//     may go on to a '-' or identifier line that shows them to be header text. So A's last
//     unassigned printout may be missing from the whole; what A gives before it may not;
//   * a cut at a line end before an "ID proba:" or "Sample ID:" line (the analyser pauses between
//     printouts): A's and B's samples and unassigned printouts, one after the other, are the
//     whole's. The differences allowed: A alone ends with a line end, so it reads one empty
//     last line more, which inside a result block is one result more at A's end: an empty code
//     and an empty value (or its translation, when a pair translates the empty text); and A's
//     last unassigned printout may be result lines that the identifier line shows to be header
//     text.

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "protocol/strivex_interpretor.h"
#include "settings/code_translation.h"

namespace {

using strivex::SampleList;
using strivex::StrivexInterpretor;
using strivex::TranslationEntry;

// One thing the interpreter delivered, in delivery order within its list: a sample opened (code
// holds its id) or a result (printout numbers the unassigned printout it belongs to).
struct Item {
  bool opens = false;
  int printout = 0;
  std::string code;
  std::string value;
  friend bool operator==(const Item&, const Item&) = default;
};

std::vector<Item> Flatten(const SampleList& list, bool unassigned) {
  std::vector<Item> items;
  int printout = 0;
  for (const strivex::SampleRecord* s = list.head(); s; s = s->next.get(), ++printout) {
    if (!unassigned) items.push_back(Item{true, 0, std::to_string(s->requestId), ""});
    for (const strivex::GroupRecord* g = s->groups.head(); g; g = g->next.get()) {
      for (const strivex::ResultRecord* r = g->results.head(); r; r = r->next.get()) {
        items.push_back(Item{false, unassigned ? printout : 0, r->parameterCode, r->value});
      }
    }
  }
  return items;
}

struct Outcome {
  int ret = 0;
  std::vector<Item> samples;
  std::vector<Item> unassigned;
  size_t sampleCount = 0;
  size_t printoutCount = 0;
};

Outcome Run(std::string_view text, int32_t known, const std::vector<TranslationEntry>& translations,
            size_t valueLimit) {
  StrivexInterpretor interpretor;
  Outcome out;
  out.ret = interpretor.Interpret(text, known, 0, translations);
  FUZZ_CHECK(out.ret == 0 || out.ret == 1, "the result is 0 or 1");
  out.sampleCount = interpretor.Samples().size();
  out.printoutCount = interpretor.Unassigned().size();
  FUZZ_CHECK((out.ret == 1) == (out.sampleCount + out.printoutCount > 0),
             "1 exactly when something was found");
  for (const strivex::SampleRecord* s = interpretor.Samples().head(); s; s = s->next.get()) {
    FUZZ_CHECK(s->requestId > 0, "a sample's request id is positive");
    FUZZ_CHECK(s->groups.size() == 1 && s->groups.head()->analysisCode == "S_TRV",
               "one S_TRV group a sample");
  }
  for (const strivex::SampleRecord* s = interpretor.Unassigned().head(); s; s = s->next.get()) {
    FUZZ_CHECK(s->requestId == 0, "unassigned printouts carry no request id");
    FUZZ_CHECK(s->groups.size() == 1 && !s->groups.head()->results.empty(),
               "an unassigned printout holds at least one result");
  }
  out.samples = Flatten(interpretor.Samples(), false);
  out.unassigned = Flatten(interpretor.Unassigned(), true);
  for (const std::vector<Item>* list : {&out.samples, &out.unassigned}) {
    for (const Item& item : *list) {
      if (item.opens) continue;
      FUZZ_CHECK(item.code.size() < StrivexInterpretor::kLineLimit, "a code fits a line");
      FUZZ_CHECK(item.code.find_first_of(" \r") == std::string::npos, "a code is one token");
      FUZZ_CHECK(item.value.size() <= valueLimit, "a value fits a line or a translation");
      FUZZ_CHECK(item.value.find('\r') == std::string::npos, "a value holds no line end");
      FUZZ_CHECK(item.value.find_first_of("\x81\x83\x88\x90\x98") == std::string::npos,
                 "a value holds only bytes the server's code page defines");
    }
  }
  return out;
}

size_t ResultCount(const Outcome& out) {
  return std::count_if(out.samples.begin(), out.samples.end(), [](const Item& i) { return !i.opens; }) +
         out.unassigned.size();
}

// Whether `prefix`, less its last item, is where `whole` begins.
bool PrefixLessLast(const std::vector<Item>& prefix, const std::vector<Item>& whole) {
  const size_t n = prefix.empty() ? 0 : prefix.size() - 1;
  return n <= whole.size() && std::equal(prefix.begin(), prefix.begin() + n, whole.begin());
}

bool IsPrefix(const std::vector<Item>& prefix, const std::vector<Item>& whole) {
  return prefix.size() <= whole.size() && std::equal(prefix.begin(), prefix.end(), whole.begin());
}

// Unassigned items less the last printout's.
std::vector<Item> LessLastPrintout(std::vector<Item> items) {
  const int last = items.empty() ? 0 : items.back().printout;
  while (!items.empty() && items.back().printout == last) items.pop_back();
  return items;
}

std::vector<Item> Joined(const std::vector<Item>& a, std::vector<Item> b, bool renumber) {
  std::vector<Item> out = a;
  const int printouts = a.empty() ? 0 : a.back().printout + 1;
  for (Item& item : b) {
    if (renumber) item.printout += printouts;
    out.push_back(std::move(item));
  }
  return out;
}

// What an empty line inside a result block gives: an empty code, and the value an empty value
// becomes (a translation may have an empty from-text).
Item EmptyLineResult(const std::vector<TranslationEntry>& translations) {
  StrivexInterpretor interpretor;
  interpretor.Interpret("ID proba:1\r-\r\r", 0, 0, translations);
  const strivex::ResultRecord* result = interpretor.Samples().head()->groups.head()->results.head();
  return Item{false, 0, result->parameterCode, result->value};
}

// The whole equals A then B, allowing A's one extra empty last result.
bool JoinsTo(Outcome a, const Outcome& b, const Outcome& whole, const Item& emptyLine) {
  auto IsEmptyResult = [&](const Item& item) {
    return !item.opens && item.code == emptyLine.code && item.value == emptyLine.value;
  };
  auto matches = [&](const Outcome& x) {
    return Joined(x.samples, b.samples, false) == whole.samples &&
           Joined(x.unassigned, b.unassigned, true) == whole.unassigned;
  };
  if (matches(a)) return true;
  if (!a.samples.empty() && IsEmptyResult(a.samples.back())) {
    Outcome less = a;
    less.samples.pop_back();
    if (matches(less)) return true;
  }
  if (!a.unassigned.empty() && IsEmptyResult(a.unassigned.back())) {
    Outcome less = a;
    less.unassigned.pop_back();
    if (matches(less)) return true;
  }
  a.unassigned = LessLastPrintout(std::move(a.unassigned));
  return matches(a);
}

bool StartsAnIdentifierLine(std::string_view rest) {
  const std::string_view line = rest.substr(0, rest.find('\r'));
  if (line.size() >= StrivexInterpretor::kLineLimit) return false;  // skipped, not read
  const size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos) return false;
  const std::string_view key = line.substr(start);
  for (std::string_view name : {std::string_view("ID proba"), std::string_view("Sample ID")}) {
    if (key.starts_with(name) && (key.size() == name.size() || key[name.size()] == ':')) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  strivex::fuzz::Input input(data, size);
  const uint8_t flags = input.Byte();
  const uint16_t cut = input.Word();
  std::vector<TranslationEntry> translations;
  size_t valueLimit = StrivexInterpretor::kLineLimit;
  if (flags & 1) {
    std::string_view list = input.Until('\x01');
    // One pair a line, as the file's V1, V2, ... values come: no line end inside.
    while (!list.empty()) {
      const size_t end = list.find_first_of("\r\n");
      translations.push_back(strivex::SplitTranslationPair(list.substr(0, end)));
      FUZZ_CHECK(translations.back().from.size() <= strivex::kTranslationTextLimit &&
                     translations.back().to.size() <= strivex::kTranslationTextLimit,
                 "translation texts keep their limit");
      list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    }
  }
  const int32_t known = (flags & 2) ? 4711 : 0;
  const std::string_view text = input.Rest();

  const Outcome whole = Run(text, known, translations, valueLimit);

  // NUL bytes are line noise: dropped before anything is read.
  std::string clean(text);
  std::erase(clean, '\0');
  const size_t lines = static_cast<size_t>(std::count(clean.begin(), clean.end(), '\r')) + 1;
  FUZZ_CHECK(whole.sampleCount + ResultCount(whole) <= lines, "at most one record a line");
  const Outcome withoutNul = Run(clean, known, translations, valueLimit);
  FUZZ_CHECK(withoutNul.samples == whole.samples && withoutNul.unassigned == whole.unassigned,
             "NUL bytes change nothing");

  // Any cut: A less its last line is where the whole begins.
  const size_t at = clean.empty() ? 0 : cut % (clean.size() + 1);
  const Outcome a = Run(std::string_view(clean).substr(0, at), known, translations, valueLimit);
  FUZZ_CHECK(PrefixLessLast(a.samples, whole.samples), "a cut changes nothing before its line");
  FUZZ_CHECK(PrefixLessLast(a.unassigned, whole.unassigned) ||
                 IsPrefix(LessLastPrintout(a.unassigned), whole.unassigned),
             "a cut changes nothing before its line");

  // A cut at the start of a line chosen among the lines; checked when an identifier line follows.
  std::vector<size_t> starts;
  for (size_t i = 0; i < clean.size(); ++i) {
    if (clean[i] != '\r') continue;
    const size_t next = i + 1 < clean.size() && clean[i + 1] == '\n' ? i + 2 : i + 1;
    if (next < clean.size()) starts.push_back(next);
  }
  if (!starts.empty()) {
    const size_t lineCut = starts[cut % starts.size()];
    const std::string_view rest = std::string_view(clean).substr(lineCut);
    if (StartsAnIdentifierLine(rest)) {
      const Outcome first = Run(std::string_view(clean).substr(0, lineCut), known, translations, valueLimit);
      const Outcome second = Run(rest, known, translations, valueLimit);
      FUZZ_CHECK(JoinsTo(first, second, whole, EmptyLineResult(translations)),
                 "two messages cut between printouts read as one");
    }
  }
  return 0;
}
