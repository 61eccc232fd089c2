#pragma once
// Every statement the module sends to the laboratory's server, in one place: callers name the
// statement and give typed values; texts are escaped here. The texts are the ones the laboratory
// has always received, to the byte (spaces, tabs, casing), so a change here is a change of wire.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace strivex {

// A calendar day of the date filters.
struct Date {
  int32_t year = 0;
  int32_t month = 0;  // 1-12
  int32_t day = 0;    // 1-31
};

// " exec L_RESULT_INSERT %d,%d,%d,%d,'%s','%s',1 " with both texts escaped.
std::string ResultInsert(int32_t requestId, int32_t machineId, int32_t investigationId, int32_t detailId,
                         const std::string& value, const std::string& secondMarker);

// The machine's replacement codes (MachineCode, ReplacementCode).
std::string ReplacementCodesQuery(int32_t machineId);

// The machine's investigations with their details (invID, InvCode, DetailID, DetailCode).
std::string InvestigationCodesQuery(int32_t machineId);

// The instrument's MACHINES row, opened as a table with this clause.
inline constexpr char kMachinesTable[] = "MACHINES";
std::string MachineByNameClause(const std::string& instrumentName);

// "<request id> - <last name> <first name>" of the request (or external bar code) `code` that asks
// for an investigation of the item of `investigationId`, the request itself first.
std::string RequestPatientQuery(int32_t code, int32_t investigationId);

// The WHERE ... order by clause the work list opens its table with: the machine, the optional first
// and last day, the analyses not yet recorded in work_list_sent, and the optional request ids.
std::string WorkListClause(int32_t machineId, const std::optional<Date>& from,
                           const std::optional<Date>& to, bool useView, bool unsentOnly,
                           const std::vector<int32_t>* requestIds);

// What the clause is appended to: "WORK_LIST", or "vWORK_LIST". The unsent-only clause names the
// rows as Work_list, so with the view the view is given that name; without it both servers refuse
// the statement (PostgreSQL even as a missing table, which would drop and create the view).
std::string WorkListTable(bool useView, bool unsentOnly);

// The view vWORK_LIST is made again when the server lacks it.
std::string WorkListViewDrop();
std::string WorkListViewCreate();

// One work_list_sent row (MachineID, anCode, requestid) per code, in one statement; empty with no
// codes.
std::string WorkListSentInsert(int32_t machineId, int32_t requestId,
                               const std::vector<std::string>& analysisCodes);

}  // namespace strivex
