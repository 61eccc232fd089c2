#include "db/lab_statements.h"

#include "db/sql_text.h"
#include "util/format.h"

namespace strivex {

namespace {

constexpr char kInvestigationCodes[] =
    "select inv.id as invID,inv.code as InvCode,lid.id as DetailID,lid.code as DetailCode "
    "\t\t\t\t\tfrom l_investigations inv \t\t\t\t\tleft join l_investigation_details lid on "
    "lid.investigationid=inv.id \t\t\t\t\twhere machineid=%d";

// Each of the five runs of six tabs is part of the statement the laboratory has always received.
constexpr char kPatientLookup[] =
    "select cast(lr.id as varchar(10)) + ' - ' + p.LastName+' ' + p.FirstName as patient from "
    "l_requests lr \t\t\t\t\t\tleft join patients p on p.id=lr.patientid\t\t\t\t\t\tleft join "
    "l_request_details lrd on lrd.requestid=lr.id\t\t\t\t\t\tleft join l_investigations inv on "
    "inv.id=lrd.investigationid\t\t\t\t\t\tleft join l_investigations inv2 on "
    "inv.itemid=inv2.itemid\t\t\t\t\t\twhere (lr.id=%ld or lr.externalbarcodeid=%d) and "
    "inv2.id=%ld\t\t\t\t\t\torder by case when lr.externalbarcodeid=%d then 0 else 1 end";

}  // namespace

std::string ResultInsert(int32_t requestId, int32_t machineId, int32_t investigationId, int32_t detailId,
                         const std::string& value, const std::string& secondMarker) {
  return Format(" exec L_RESULT_INSERT %d,%d,%d,%d,'%s','%s',1 ", requestId, machineId, investigationId, detailId,
                EscapeSqlText(value).c_str(), EscapeSqlText(secondMarker).c_str());
}

std::string ReplacementCodesQuery(int32_t machineId) {
  return Format("select MachineCode,ReplacementCode from L_REPLACEMENT_CODES where machineID=%d", machineId);
}

std::string InvestigationCodesQuery(int32_t machineId) { return Format(kInvestigationCodes, machineId); }

std::string MachineByNameClause(const std::string& instrumentName) {
  return Format("where [Name]='%s'", EscapeSqlText(instrumentName).c_str());
}

std::string RequestPatientQuery(int32_t code, int32_t investigationId) {
  return Format(kPatientLookup, static_cast<long>(code), code, static_cast<long>(investigationId), code);
}

std::string WorkListClause(int32_t machineId, const std::optional<Date>& from,
                           const std::optional<Date>& to, bool useView, bool unsentOnly,
                           const std::vector<int32_t>* requestIds) {
  std::string clause = Format("WHERE MachineID=%d", machineId);
  if (from) {
    clause += Format(useView ? " AND (RequestedDate >= '%d/%d/%d 0:0')"
                             : " AND (RequestDate >= '%d/%d/%d 0:0')",
                     from->year, from->month, from->day);
  }
  if (to) {
    clause += Format(useView ? " AND (RequestedDate <= '%d/%d/%d 23:59')"
                             : " AND (RequestDate <= '%d/%d/%d 23:59')",
                     to->year, to->month, to->day);
  }
  if (unsentOnly) {
    clause += Format(
        " AND NOT EXISTS (select * from work_list_sent wls where wls.MachineID=%d and "
        "wls.anCode=Work_list.analyseCode and wls.requestid=work_list.Requestid)",
        machineId);
  }
  if (requestIds != nullptr) {
    clause += " AND RequestID in (";
    for (const int32_t id : *requestIds) clause += Format("%ld,", static_cast<long>(id));
    clause += "0)";
  }
  return clause + " order by [RequestID]";
}

std::string WorkListTable(bool useView, bool unsentOnly) {
  if (!useView) return "WORK_LIST";
  return unsentOnly ? "vWORK_LIST Work_list" : "vWORK_LIST";
}

std::string WorkListViewDrop() { return "drop view vWORK_LIST"; }

std::string WorkListViewCreate() {
  return "CREATE VIEW dbo.vWORK_LIST AS SELECT l.RequestedDate AS RequestedDate, w.* FROM dbo.WORK_LIST "
         "w INNER JOIN dbo.LAB_REQUESTS l ON w.RequestID = l.ID";
}

std::string WorkListSentInsert(int32_t machineId, int32_t requestId,
                               const std::vector<std::string>& analysisCodes) {
  if (analysisCodes.empty()) return {};
  std::string sql = "INSERT INTO work_list_sent (MachineID, anCode, requestid) VALUES ";
  for (size_t i = 0; i < analysisCodes.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += Format("(%d,'%s',%d)", machineId, EscapeSqlText(analysisCodes[i]).c_str(), requestId);
  }
  return sql;
}

}  // namespace strivex
