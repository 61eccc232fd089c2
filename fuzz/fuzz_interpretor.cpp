// The report interpreter on hostile text, with and without a translation list.
//
// Input: a flag byte (bit 0: the text up to the first 0x01 byte is a translation list, one
// "from:to" pair a line, split as the code-translation file's values are; bit 1: a request id is already known), a two-byte cut choice, then
// the report.
//
// Properties, besides running clean under ASan and UBSan:
// - bounds: every line gives at most one sample, one result or one line told (not kept), so
//   their sum never exceeds the lines; request ids are positive (0 only for unassigned
//   printouts); codes and values stay within a line (300 bytes; a translation gives at most 50)
//   and hold no byte the server's code page lacks; told lines are whole result-shaped lines; the
//   result is 1 exactly when something was kept; NUL bytes change nothing.
// - the serial reader's cut: the reader ends a message after a silence, wherever the analyser
//   paused, so one report may come as two messages A and B. The interpreter never reads ahead of
//   a line, and a run of result-shaped lines outside a block keeps its fate until a line ends it,
//   so a cut changes the fate of no line but those of the run it splits:
//   * any cut: what A gives, less what its last (possibly cut) line gives, is where the whole's
//     samples, unassigned printouts and told lines begin. What the last line gives: its own
//     record, the fate of the run before it (a '=' keeps it, another end tells it), and the told
//     lines of the run A's end ends, which the whole may still keep;
//   * a cut at a line end: A's samples and printouts are where the whole's begin, but for the one
//     empty last line A reads in addition (an empty code and an empty value, or its translation,
//     inside a block); A's told lines are the whole's, but for the run A's end ends, which the
//     whole tells as well or keeps as the printout after A's;
//   * a cut at a line end before an "ID proba:" or "Sample ID:" line (the analyser pauses between
//     printouts): A's and B's samples, unassigned printouts and told lines, one after the other,
//     are the whole's, but for A's empty last line.

#include <algorithm>
#include <limits>
#include <span>
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

// The form the analyser prints a result in: one space, then the code.
bool ResultShaped(std::string_view line) { return line.size() >= 2 && line[0] == ' ' && line[1] != ' '; }

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
  std::vector<std::string> told;
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
  out.told = interpretor.Told();
  for (const std::string& line : out.told) {
    FUZZ_CHECK(line.size() <= StrivexInterpretor::kLineLimit && line.find('\r') == std::string::npos,
               "a told line is one line");
    FUZZ_CHECK(ResultShaped(line), "only result-shaped lines are told");
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

// Whether `prefix`, less its last `less` elements, is where `whole` begins.
template <typename T>
bool IsPrefix(const std::vector<T>& prefix, const std::vector<T>& whole, size_t less = 0) {
  const size_t n = prefix.size() - std::min(less, prefix.size());
  return n <= whole.size() && std::equal(prefix.begin(), prefix.begin() + n, whole.begin());
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

bool IsEmptyResult(const Item& item, const Item& emptyLine) {
  return !item.opens && item.code == emptyLine.code && item.value == emptyLine.value;
}

// `a` is where `whole` begins, but for one empty-line result at its end.
bool PrefixLessEmptyLine(const std::vector<Item>& a, const std::vector<Item>& whole, const Item& emptyLine) {
  return IsPrefix(a, whole) || (!a.empty() && IsEmptyResult(a.back(), emptyLine) && IsPrefix(a, whole, 1));
}

// The whole equals A then B, allowing A's one extra empty last result.
bool JoinsTo(Outcome a, const Outcome& b, const Outcome& whole, const Item& emptyLine) {
  std::vector<std::string> told = a.told;
  told.insert(told.end(), b.told.begin(), b.told.end());
  if (told != whole.told) return false;
  auto matches = [&](const Outcome& x) {
    return Joined(x.samples, b.samples, false) == whole.samples &&
           Joined(x.unassigned, b.unassigned, true) == whole.unassigned;
  };
  if (matches(a)) return true;
  if (!a.samples.empty() && IsEmptyResult(a.samples.back(), emptyLine)) {
    Outcome less = a;
    less.samples.pop_back();
    if (matches(less)) return true;
  }
  if (!a.unassigned.empty() && IsEmptyResult(a.unassigned.back(), emptyLine)) {
    a.unassigned.pop_back();
    return matches(a);
  }
  return false;
}

// The lines of `text` as the interpreter reads them: a CR ends a line, a LF right after it
// belongs to the line end, and the text's end ends the last line (empty behind a final CR).
std::vector<std::string_view> LinesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  for (;;) {
    const size_t cr = text.find('\r');
    lines.push_back(text.substr(0, cr));
    if (cr == std::string_view::npos) return lines;
    text.remove_prefix(cr + 1 < text.size() && text[cr + 1] == '\n' ? cr + 2 : cr + 1);
  }
}

// The key of a read line (leading spaces off), empty for an over-long line, which is skipped.
std::string_view KeyOf(std::string_view line) {
  if (line.size() >= StrivexInterpretor::kLineLimit) return {};
  const size_t start = line.find_first_not_of(' ');
  return start == std::string_view::npos ? std::string_view() : line.substr(start);
}

bool IsIdentifierKey(std::string_view key) {
  for (std::string_view name : {std::string_view("ID proba"), std::string_view("Sample ID")}) {
    if (key.starts_with(name) && (key.size() == name.size() || key[name.size()] == ':')) return true;
  }
  return false;
}

// A line that surely ends a run: "ID proba", "Sample ID", a '-' or a '=' line. "Pacient" is left
// out (it identifies only while no identifier was read): runs found are then longer, never shorter.
bool EndsARun(std::string_view line) {
  const std::string_view key = KeyOf(line);
  return !key.empty() && (key[0] == '-' || key[0] == '=' || IsIdentifierKey(key));
}

// At most how many of A's last told lines belong to the run its end ends, or the run before its
// (possibly cut) last line: the result-shaped lines behind the last line before that one that
// surely ends a run.
size_t OpenRunBound(std::string_view a) {
  const std::vector<std::string_view> lines = LinesOf(a);
  size_t bound = 0;
  for (size_t i = lines.size(); i-- > 0;) {
    if (i + 1 < lines.size() && EndsARun(lines[i])) break;
    if (lines[i].size() <= StrivexInterpretor::kLineLimit && ResultShaped(lines[i])) ++bound;
  }
  return bound;
}

// The results `lines` give inside a block, numbered as the unassigned printout `printout`.
std::vector<Item> ResultsOf(std::span<const std::string> lines,
                            const std::vector<TranslationEntry>& translations, int printout) {
  std::string text = "-";
  for (const std::string& line : lines) text += "\r" + line;
  StrivexInterpretor interpretor;
  interpretor.Interpret(text, 1, 0, translations);  // a known request: "Pacient" lines are results
  std::vector<Item> items = Flatten(interpretor.Unassigned(), true);
  for (Item& item : items) item.printout = printout;
  return items;
}

// A cut at a line end: the run A's end ends is told in A (its last told lines, at most `bound`).
// The whole tells it as well, or keeps it as the printout after A's, beginning with its results.
bool SplitRunToldOrKept(const Outcome& a, size_t bound, const Outcome& whole,
                        const std::vector<TranslationEntry>& translations) {
  if (IsPrefix(a.told, whole.told)) return true;
  const int next = static_cast<int>(a.printoutCount);
  std::vector<Item> kept;
  for (const Item& item : whole.unassigned) {
    if (item.printout == next) kept.push_back(item);
  }
  for (size_t less = 1; less <= std::min(bound, a.told.size()); ++less) {
    const std::span<const std::string> run(a.told.end() - static_cast<std::ptrdiff_t>(less), a.told.end());
    if (IsPrefix(a.told, whole.told, less) && IsPrefix(ResultsOf(run, translations, next), kept)) return true;
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
  FUZZ_CHECK(whole.sampleCount + ResultCount(whole) + whole.told.size() <= lines,
             "at most one record or told line a line");
  const Outcome withoutNul = Run(clean, known, translations, valueLimit);
  FUZZ_CHECK(withoutNul.samples == whole.samples && withoutNul.unassigned == whole.unassigned &&
                 withoutNul.told == whole.told,
             "NUL bytes change nothing");

  // Any cut: A less what its last line gives is where the whole begins.
  const size_t at = clean.empty() ? 0 : cut % (clean.size() + 1);
  const std::string_view cutA = std::string_view(clean).substr(0, at);
  const Outcome a = Run(cutA, known, translations, valueLimit);
  FUZZ_CHECK(IsPrefix(a.samples, whole.samples, 1), "a cut changes no sample before its line");
  // A '=' as A's last line keeps the run before it, which the whole may not (its line may be
  // over-long, so skipped).
  const std::string_view lastKey = KeyOf(LinesOf(cutA).back());
  FUZZ_CHECK(IsPrefix(a.unassigned, whole.unassigned, 1) ||
                 (lastKey.starts_with('=') && IsPrefix(LessLastPrintout(a.unassigned), whole.unassigned)),
             "a cut changes no printout before its line");
  FUZZ_CHECK(IsPrefix(a.told, whole.told, OpenRunBound(cutA)), "a cut tells nothing else before its line");

  // A cut at the start of a line chosen among the lines.
  std::vector<size_t> starts;
  for (size_t i = 0; i < clean.size(); ++i) {
    if (clean[i] != '\r') continue;
    const size_t next = i + 1 < clean.size() && clean[i + 1] == '\n' ? i + 2 : i + 1;
    if (next < clean.size()) starts.push_back(next);
  }
  if (!starts.empty()) {
    const size_t lineCut = starts[cut % starts.size()];
    const std::string_view firstText = std::string_view(clean).substr(0, lineCut);
    const Outcome first = Run(firstText, known, translations, valueLimit);
    const Item emptyLine = EmptyLineResult(translations);
    FUZZ_CHECK(PrefixLessEmptyLine(first.samples, whole.samples, emptyLine) &&
                   PrefixLessEmptyLine(first.unassigned, whole.unassigned, emptyLine),
               "a cut at a line end keeps every record before it");
    FUZZ_CHECK(SplitRunToldOrKept(first, OpenRunBound(firstText), whole, translations),
               "a cut at a line end changes the fate of no line but the run it splits");
    // Between printouts (the analyser pauses there), B reads as the rest of the whole.
    const std::string_view rest = std::string_view(clean).substr(lineCut);
    if (IsIdentifierKey(KeyOf(LinesOf(rest).front()))) {
      const Outcome second = Run(rest, known, translations, valueLimit);
      FUZZ_CHECK(JoinsTo(first, second, whole, emptyLine), "two messages cut between printouts read as one");
    }
  }
  return 0;
}
