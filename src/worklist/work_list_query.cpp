#include "worklist/work_list_query.h"

#include <atomic>
#include <cmath>
#include <unordered_map>

#include "db/baza_de_date.h"
#include "db/db_error.h"
#include "db/db_value.h"
#include "db/lab_statements.h"
#include "util/format.h"
#include "util/local_time.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

constexpr int kSlot = 9;

std::atomic<bool> queryRunning{false};

// Clears the running flag on every way out.
class RunningFlag {
 public:
  ~RunningFlag() { queryRunning.store(false, std::memory_order_release); }
};

// Request ids come as integers; a server that sends them as text or decimal still names a number.
int32_t RequestIdOf(const DbValue& value) {
  switch (value.type) {
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_BOOL:
      return value.intVal;
    case VT_R4:
    case VT_R8:
      return static_cast<int32_t>(value.dblVal);
    default:
      return ParseDecimal(value.ToText());
  }
}

// The request date of a date column: its calendar fields to the second.
LocalTime LocalTimeFromOleDate(double oleDate) {
  const DateParts parts = PartsFromOleDate(oleDate);
  LocalTime t;
  t.wYear = static_cast<uint16_t>(parts.year);
  t.wMonth = static_cast<uint16_t>(parts.month);
  t.wDay = static_cast<uint16_t>(parts.day);
  t.wHour = static_cast<uint16_t>(parts.hour);
  t.wMinute = static_cast<uint16_t>(parts.minute);
  t.wSecond = static_cast<uint16_t>(parts.second);
  // Day 0 (30 December 1899) was a Saturday.
  const auto day = static_cast<int64_t>(std::floor(OleDateFromParts(parts.year, parts.month, parts.day, 0, 0, 0)));
  t.wDayOfWeek = static_cast<uint16_t>(((day + 6) % 7 + 7) % 7);
  return t;
}

// The column's date, or the time of the query when it has none.
LocalTime RequestDateOf(const DbValue& value) {
  switch (value.type) {
    case VT_DATE:
    case VT_R8:
    case VT_R4:
      return LocalTimeFromOleDate(value.dblVal);
    default:
      return GetLocalTime();
  }
}

// Opens the rows; a missing table or view makes it create the view once and try again.
bool OpenRows(BazaDeDate& session, const std::string& table, const std::string& clause) {
  bool viewCreated = false;
  while (!session.DeschidTabel(table, clause, kSlot)) {
    if (session.lastErrorCode.load() != kErrorTableMissing || viewCreated) return false;
    session.SQLCommand(WorkListViewDrop(), 0);
    if (!session.SQLCommand(WorkListViewCreate(), 0)) return false;
    viewCreated = true;
  }
  return true;
}

void ReadRows(BazaDeDate& session, const char* dateColumn, SampleList& list) {
  std::unordered_map<int32_t, SampleRecord*> byId;
  do {
    const DbValue id = session.ValoareColoana("RequestID", kSlot);
    if (id.IsEmpty()) continue;
    const int32_t requestId = RequestIdOf(id);
    SampleRecord*& sample = byId[requestId];
    if (sample == nullptr) sample = &list.emplace_back(requestId);
    std::string sampleCode = session.ValoareColoana("SampleCode", kSlot).ToText();
    if (!sampleCode.empty()) sample->sampleType = std::move(sampleCode);
    sample->patientName = session.ValoareColoana("PacientName", kSlot).ToText();
    auto group = std::make_unique<GroupRecord>(session.ValoareColoana("AnalyseCode", kSlot).ToText());
    group->sampleType = sample->sampleType;
    sample->requestDate = RequestDateOf(session.ValoareColoana(dateColumn, kSlot));
    sample->groups.append(std::move(group));
  } while (session.NextElementTabel(kSlot));
}

}  // namespace

bool WorkListQuery(BazaDeDate* session, int32_t machineId, SampleList& out,
                   std::optional<Date> from, std::optional<Date> to, bool useView,
                   bool unsentOnly, const std::vector<int32_t>* requestIds) {
  bool expected = false;
  if (!queryRunning.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) return true;
  const RunningFlag running;
  out.clear();
  if (session == nullptr) return false;
  const std::string clause = WorkListClause(machineId, from, to, useView, unsentOnly, requestIds);
  if (!OpenRows(*session, WorkListTable(useView, unsentOnly), clause)) return false;
  SampleList list;
  ReadRows(*session, useView ? "RequestedDate" : "RequestDate", list);
  session->InchidTabel(kSlot);
  out = std::move(list);
  return true;
}

}  // namespace strivex
