#include "report_generator.h"

#include <array>
#include <cstdio>

namespace strivex::bench {

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

void AppendLine(std::string& out, const char* text) {
  out += text;
  out += "\r\n";
}

}  // namespace

std::string GenerateReport(int samples, int resultsPerSample) {
  std::string out;
  out.reserve(static_cast<size_t>(samples) * 1100);
  char line[160];
  for (int s = 0; s < samples; ++s) {
    AppendLine(out, "");
    AppendLine(out, "        ANALIZOR URINA - RAPORT DE MASURARE                    ");
    AppendLine(out, "        Laborator clinic, sectia de analize medicale            ");
    std::snprintf(line, sizeof line, "Data:  07.12.2026     Ora:  %02d:%02d:%02d       Nr.: %06d",
                  s / 3600 % 24, s / 60 % 60, s % 60, s + 1);
    AppendLine(out, line);
    std::snprintf(line, sizeof line, "ID proba:%d", 100000 + s);
    AppendLine(out, line);
    AppendLine(out, "Operator: lab          Stare: validat         Tip: urina     ");
    AppendLine(out, "--------------------------------------------------------------");
    for (int r = 0; r < resultsPerSample; ++r) {
      const Parameter& p = kParameters[static_cast<size_t>(r) % kParameters.size()];
      std::snprintf(line, sizeof line, " %-6s %-8s %-10s  %-10s", p.code, p.value, p.unit,
                    "interval");
      AppendLine(out, line);
    }
    AppendLine(out, "==============================================================");
    AppendLine(out, "Observatii: fara                                              ");
      }
  return out;
}

}  // namespace strivex::bench
