#include "worklist/lab_work_list.h"

#include <unistd.h>

#include "db/db_session_fixture.h"
#include "db/sql_text.h"
#include "util/format.h"

namespace strivex::testing {

namespace {

std::string Literal(const std::optional<std::string>& text) {
  return text ? "'" + EscapeSqlText(*text) + "'" : "NULL";
}

}  // namespace

void InsertWorkList(BazaDeDate& db, int32_t machineId, const std::vector<WorkListRow>& rows) {
  if (rows.empty()) return;
  std::string sql =
      "INSERT INTO WORK_LIST (RequestID, SampleCode, PacientName, AnalyseCode, RequestDate, "
      "MachineID) VALUES ";
  for (size_t i = 0; i < rows.size(); ++i) {
    const WorkListRow& r = rows[i];
    sql += Format("%s(%d, %s, %s, %s, %s, %d)", i > 0 ? ", " : "", r.requestId,
                  Literal(r.sampleCode).c_str(), Literal(r.patient).c_str(),
                  Literal(r.analysisCode).c_str(), Literal(r.date).c_str(), machineId);
  }
  ASSERT_TRUE(db.SQLCommand(sql, 0)) << db.LastErrorDetail();
}

std::string Describe(const SampleRecord& s) {
  std::string line = Format("%d|%s|%s|", s.requestId, s.patientName.c_str(), s.sampleType.c_str());
  for (const GroupRecord& g : s.groups) {
    line += g.analysisCode + "/" + g.sampleType + (g.next ? "," : "");
  }
  const LocalTime& d = s.requestDate;
  return line + Format("|%04d-%02d-%02d %02d:%02d:%02d (%d)", d.wYear, d.wMonth, d.wDay, d.wHour,
                       d.wMinute, d.wSecond, d.wDayOfWeek);
}

std::vector<std::string> Describe(const SampleList& list) {
  std::vector<std::string> lines;
  for (const SampleRecord& s : list) lines.push_back(Describe(s));
  return lines;
}

std::vector<std::string> SentRows(BazaDeDate& db, int32_t machineId) {
  std::vector<std::string> rows;
  const std::string sql = Format(
      "SELECT requestid, anCode FROM work_list_sent WHERE MachineID=%d ORDER BY requestid, anCode",
      machineId);
  if (!db.GetRecords(sql, 7)) return {"query failed: " + db.LastErrorDetail()};
  while (db.RowAvailable(7)) {
    rows.push_back(db.ValoareColoana("requestid", 7).ToText() + " " +
                   db.ValoareColoana("anCode", 7).ToText());
    if (!db.NextElementTabel(7)) break;
  }
  db.InchidTabel(7);
  return rows;
}

void LabWorkListTest::SetUp() {
  const std::string connection = LabConnectionString();
  if (connection.empty()) {
    if (LabDatabaseRequired()) FAIL() << "STRIVEX_LAB_CONNSTR is not set";
    GTEST_SKIP() << "no development server (STRIVEX_LAB_CONNSTR)";
  }
  machine_ = 1600000000 + static_cast<int32_t>(getpid());
  ASSERT_TRUE(db_.DeschidConectie(connection, 1)) << ErrorLog();
  RemoveRows();
}

void LabWorkListTest::TearDown() {
  if (db_.connected.load() == 1) RemoveRows();
}

void LabWorkListTest::RemoveRows() {
  db_.SQLCommand(Format("DELETE FROM WORK_LIST WHERE MachineID=%d", machine_), 0);
  db_.SQLCommand(Format("DELETE FROM work_list_sent WHERE MachineID=%d", machine_), 0);
}

}  // namespace strivex::testing
