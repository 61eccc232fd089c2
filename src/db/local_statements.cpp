#include "db/local_statements.h"

#include "db/sql_text.h"
#include "util/format.h"

namespace strivex {

std::string MedianexInitValueQuery(const std::string& property) {
  return Format("SELECT Valoare FROM Medianex_Init WHERE Proprietate='%s'", EscapeSqlText(property).c_str());
}

std::string MedianexInitUpdate(const std::string& property, const std::string& value) {
  return Format("UPDATE Medianex_Init SET Valoare='%s' where Proprietate='%s'", EscapeSqlText(value).c_str(),
                EscapeSqlText(property).c_str());
}

std::string MedianexInitInsert(const std::string& property, const std::string& value) {
  return Format("INSERT INTO Medianex_Init (Proprietate, Valoare) VALUES ('%s', '%s')",
                EscapeSqlText(property).c_str(), EscapeSqlText(value).c_str());
}

std::string MedianexInitWrite(const std::string& property, const std::string& value, bool exists) {
  return exists ? MedianexInitUpdate(property, value) : MedianexInitInsert(property, value);
}

std::string LocalMachineByNameClause(const std::string& instrumentName) {
  return Format("where [name]='%s'", EscapeSqlText(instrumentName).c_str());
}

std::string LocalMachineIdQuery(const std::string& instrumentName) {
  return Format("SELECT ID FROM MACHINES WHERE name='%s'", EscapeSqlText(instrumentName).c_str());
}

std::string LocalMachineInsert(int32_t machineId, const std::string& instrumentName) {
  return Format("INSERT INTO MACHINES (ID, name) VALUES (%d, '%s')", machineId, EscapeSqlText(instrumentName).c_str());
}

std::string MachineSettingsClause(int32_t localMachineId) { return Format("where MachineID=%d", localMachineId); }

std::vector<std::string> DefaultMachineSettingsInserts(int32_t localMachineId) {
  static constexpr const char* kRows[] = {
      "INSERT INTO MACHINE_SETTINGS ([MachineID],[NAME],[VALUE]) Values (%d,'port','com1')",
      "INSERT INTO MACHINE_SETTINGS ([MachineID],[Name],[Value]) VALUES (%d,'Baud Rate','9600')",
      "INSERT INTO MACHINE_SETTINGS ([MachineID],[Name],[Value]) VALUES (%d,'Byte Size','7')",
      "INSERT INTO MACHINE_SETTINGS ([MachineID],[Name],[Value]) VALUES (%d,'Parity','odd')",
      "INSERT INTO MACHINE_SETTINGS ([MachineID],[Name],[Value]) VALUES (%d,'Stop Bits','1 stop bit')",
  };
  std::vector<std::string> rows;
  for (const char* row : kRows) rows.push_back(Format(row, localMachineId));
  return rows;
}

std::string MachineSettingUpdate(const char* name, const std::string& value, int32_t localMachineId) {
  return Format("UPDATE MACHINE_SETTINGS SET [VALUE]='%s' where NAME='%s' and MachineID=%d",
                EscapeSqlText(value).c_str(), name, localMachineId);
}

std::string PortSettingQuery(int32_t localMachineId) {
  return Format("SELECT VALUE FROM MACHINE_SETTINGS WHERE MachineID=%d AND NAME='port'", localMachineId);
}

std::string PortSettingDelete(int32_t localMachineId) {
  return Format("DELETE FROM MACHINE_SETTINGS WHERE MachineID=%d AND NAME='port'", localMachineId);
}

std::string PortSettingInsert(int32_t localMachineId, const std::string& port) {
  return Format("INSERT INTO MACHINE_SETTINGS (MachineID, NAME, VALUE) VALUES (%d, 'port', '%s')", localMachineId,
                EscapeSqlText(port).c_str());
}

std::string DeclaredTableCreate() {
  return Format("CREATE TABLE IF NOT EXISTS %s (Proprietate TEXT COLLATE NOCASE NOT NULL, Sursa TEXT)",
                kDeclaredTable);
}

std::string DeclaredTableClear() { return Format("DELETE FROM %s", kDeclaredTable); }

std::string DeclaredFieldInsert(const std::string& property, const std::string& source) {
  return Format("INSERT INTO %s (Proprietate, Sursa) VALUES ('%s', '%s')", kDeclaredTable,
                EscapeSqlText(property).c_str(), EscapeSqlText(source).c_str());
}

std::string DeclaredTableExistsQuery() {
  return Format("SELECT name FROM sqlite_master WHERE type='table' AND name='%s'", kDeclaredTable);
}

std::string DeclaredFieldsQuery() { return Format("SELECT Proprietate, Sursa FROM %s", kDeclaredTable); }

}  // namespace strivex
