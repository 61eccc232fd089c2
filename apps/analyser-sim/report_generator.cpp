#include "report_generator.h"

#include <array>
#include <cstdio>
#include <span>

namespace strivex::sim {

namespace {

struct Parameter {
  const char* code;
  const char* value;
  const char* unit;
};

constexpr std::array<Parameter, 12> kParameters = {{
    {"LEU", "neg", "Leu/ul"},      {"NIT", "neg", ""},          {"URO", "3.2", "\xC2\xB5mol/l"},
    {"PRO", "0.3", "g/l"},         {"pH", "6.5", ""},           {"BLD", "ca 10", "Ery/ul"},
    {"SG", "1.015", ""},           {"KET", "neg", "mmol/l"},    {"BIL", "neg", "\xC2\xB5mol/l"},
    {"GLU", "norm", "mmol/l"},     {"ASC", "0.4", "g/l"},       {"COL", "yellow", ""},
}};

// Readings a strip gives for each parameter; "ca 10 Ery/ul" is three tokens, of which the
// module keeps two, as with the real printout.
struct Choice {
  const char* code;
  std::span<const char* const> readings;
};

constexpr const char* kLeu[] = {"neg", "25 Leu/ul", "75 Leu/ul", "500 Leu/ul"};
constexpr const char* kNit[] = {"neg", "pos"};
constexpr const char* kUro[] = {"3.2 \xC2\xB5mol/l", "17 \xC2\xB5mol/l", "70 \xC2\xB5mol/l"};
constexpr const char* kPro[] = {"neg", "0.3 g/l", "1 g/l", "5 g/l"};
constexpr const char* kPh[] = {"5.0", "6.0", "6.5", "7.0", "8.0", "9.0"};
constexpr const char* kBld[] = {"neg", "ca 10 Ery/ul", "50 Ery/ul", "250 Ery/ul"};
constexpr const char* kSg[] = {"1.000", "1.005", "1.010", "1.015", "1.020", "1.030"};
constexpr const char* kKet[] = {"neg", "1.5 mmol/l", "4 mmol/l", "8 mmol/l"};
constexpr const char* kBil[] = {"neg", "17 \xC2\xB5mol/l", "50 \xC2\xB5mol/l"};
constexpr const char* kGlu[] = {"norm", "2.8 mmol/l", "5.5 mmol/l", "17 mmol/l"};
constexpr const char* kAsc[] = {"neg", "0.2 g/l", "0.4 g/l"};
constexpr const char* kCol[] = {"yellow", "light yellow", "amber", "red"};

constexpr std::array<Choice, 12> kChoices = {{
    {"LEU", kLeu}, {"NIT", kNit}, {"URO", kUro}, {"PRO", kPro}, {"pH", kPh},   {"BLD", kBld},
    {"SG", kSg},   {"KET", kKet}, {"BIL", kBil}, {"GLU", kGlu}, {"ASC", kAsc}, {"COL", kCol},
}};

constexpr int kLargestId = 999'999;

void AppendLine(std::string& out, const char* text) {
  out += text;
  out += "\r\n";
}

// Everything above the result block; `page` numbers the printout and sets its time of day.
void AppendHeader(std::string& out, int page, int32_t sampleId) {
  char line[160];
  AppendLine(out, "");
  AppendLine(out, "        ANALIZOR URINA - RAPORT DE MASURARE                    ");
  AppendLine(out, "        Laborator clinic, sectia de analize medicale            ");
  std::snprintf(line, sizeof line, "Data:  07.12.2026     Ora:  %02d:%02d:%02d       Nr.: %06d",
                page / 3600 % 24, page / 60 % 60, page % 60, page + 1);
  AppendLine(out, line);
  std::snprintf(line, sizeof line, "ID proba:%d", sampleId);
  AppendLine(out, line);
  AppendLine(out, "Operator: lab          Stare: validat         Tip: urina     ");
  AppendLine(out, "--------------------------------------------------------------");
}

void AppendFooter(std::string& out) {
  AppendLine(out, "==============================================================");
  AppendLine(out, "Observatii: fara                                              ");
}

}  // namespace

std::string GenerateReport(int samples, int resultsPerSample) {
  std::string out;
  out.reserve(static_cast<size_t>(samples) * 1100);
  char line[160];
  for (int s = 0; s < samples; ++s) {
    AppendHeader(out, s, 100000 + s);
    for (int r = 0; r < resultsPerSample; ++r) {
      const Parameter& p = kParameters[static_cast<size_t>(r) % kParameters.size()];
      std::snprintf(line, sizeof line, " %-6s %-8s %-10s  %-10s", p.code, p.value, p.unit,
                    "interval");
      AppendLine(out, line);
    }
    AppendFooter(out);
  }
  return out;
}

ReportGenerator::ReportGenerator(uint64_t seed) : random_(seed) {}

GeneratedReport ReportGenerator::Next() {
  GeneratedReport report;
  // Distinct ids, so whoever checks the results can tell every page apart; after nearly all
  // ids are used, repeats are allowed rather than searching forever.
  std::uniform_int_distribution<int32_t> ids(1, kLargestId);
  do {
    report.sampleId = ids(random_);
  } while (usedIds_.size() < kLargestId / 2 && !usedIds_.insert(report.sampleId).second);

  AppendHeader(report.text, pages_++, report.sampleId);
  char line[160];
  for (const Choice& choice : kChoices) {
    std::uniform_int_distribution<size_t> pick(0, choice.readings.size() - 1);
    std::snprintf(line, sizeof line, " %-6s %s", choice.code, choice.readings[pick(random_)]);
    AppendLine(report.text, line);
  }
  AppendFooter(report.text);
  return report;
}

}  // namespace strivex::sim
