#include "outbox_messages.h"

#include <stdexcept>

#include "protocol/strivex_interpretor.h"
#include "report_generator.h"

namespace strivex::bench {

namespace {

bool inserted = false;

}  // namespace

std::string ReportPage(int32_t requestId, uint64_t seed) {
  // The simulator's page with its own id swapped for ours.
  sim::ReportGenerator generator(seed);
  const sim::GeneratedReport page = generator.Next();
  const std::string from = "ID proba:" + std::to_string(page.sampleId) + "\r\n";
  std::string text = page.text;
  const size_t at = text.find(from);
  if (at == std::string::npos) throw std::logic_error("the generated page has no identifier line");
  text.replace(at, from.size(), "ID proba:" + std::to_string(requestId) + "\r\n");
  return text;
}

SampleList InterpretedPage(int32_t requestId, uint64_t seed) {
  StrivexInterpretor interpretor;
  if (interpretor.Interpret(ReportPage(requestId, seed), 0, 0, {}) != 1) {
    throw std::logic_error("the generated page gives no sample");
  }
  return interpretor.TakeSamples();
}

std::vector<InvestigationCodeEntry> StripCodeList() {
  std::vector<InvestigationCodeEntry> codes;
  int32_t detail = 0;
  for (const char* code : {"LEU", "NIT", "URO", "PRO", "pH", "BLD", "SG", "KET", "BIL", "GLU", "ASC", "COL"}) {
    codes.push_back({1, "S_TRV", ++detail, code});
  }
  return codes;
}

void NoteOutboxResultsInserted() { inserted = true; }
bool OutboxResultsInserted() { return inserted; }

}  // namespace strivex::bench
