#pragma once
// Every statement the module and its host send to the local settings file, in one place: callers
// name the statement and give typed values; texts are escaped here. The texts stay as the file has
// always received them.

#include <cstdint>
#include <string>
#include <vector>

namespace strivex {

// The server settings, one row per Proprietate; opened whole as a table.
inline constexpr char kMedianexInitTable[] = "Medianex_Init";
std::string MedianexInitValueQuery(const std::string& property);
std::string MedianexInitUpdate(const std::string& property, const std::string& value);
std::string MedianexInitInsert(const std::string& property, const std::string& value);
// The update where the row `exists`, else the insert.
std::string MedianexInitWrite(const std::string& property, const std::string& value, bool exists);

// The instrument's local MACHINES row: opened as a table with the clause, or its ID alone.
inline constexpr char kLocalMachinesTable[] = "MACHINES";
std::string LocalMachineByNameClause(const std::string& instrumentName);
std::string LocalMachineIdQuery(const std::string& instrumentName);
std::string LocalMachineInsert(int32_t machineId, const std::string& instrumentName);

// The serial settings of a machine, one row per NAME.
inline constexpr char kMachineSettingsTable[] = "MACHINE_SETTINGS";
std::string MachineSettingsClause(int32_t localMachineId);
// The rows a machine without settings is given: com1, 9600, 7 bits, odd, one stop bit.
std::vector<std::string> DefaultMachineSettingsInserts(int32_t localMachineId);
// The settings dialog's write of one row ("Port", "Baud Rate", ...).
std::string MachineSettingUpdate(const char* name, const std::string& value, int32_t localMachineId);
// The host's own write of the 'port' row: read, removed, inserted.
std::string PortSettingQuery(int32_t localMachineId);
std::string PortSettingDelete(int32_t localMachineId);
std::string PortSettingInsert(int32_t localMachineId, const std::string& port);

// Which settings the administrator declared, and where (Proprietate, Sursa).
inline constexpr char kDeclaredTable[] = "Setari_Declarate";
std::string DeclaredTableCreate();
std::string DeclaredTableClear();
std::string DeclaredFieldInsert(const std::string& property, const std::string& source);
// A row when the file has the table.
std::string DeclaredTableExistsQuery();
std::string DeclaredFieldsQuery();

}  // namespace strivex
