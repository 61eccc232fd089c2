#pragma once
// One column value: a type code numbered as the platform's VARTYPE and its payload. Callers take
// integers from `intVal`, floating and date values from `dblVal` and texts from `strVal` (the
// module's single-byte text).

#include <cstdint>
#include <string>

namespace strivex {

// The type codes a value can have (numbered as the platform's VARTYPE).
enum VarType : uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_BOOL = 11,
  VT_DECIMAL = 14,
  VT_UI1 = 17,
};

// A value read from a column; type 0 (VT_EMPTY) means no value.
struct DbValue {
  uint16_t type = VT_EMPTY;
  int32_t intVal = 0;    // VT_I2, VT_I4, VT_BOOL (-1 true, 0 false), VT_UI1
  double dblVal = 0.0;   // VT_R4, VT_R8, VT_DATE (OLE date), VT_DECIMAL, VT_CY
  std::string strVal;    // VT_BSTR; VT_DECIMAL keeps its exact digits here too

  static DbValue Empty() { return {}; }  // no value: type 0
  // An integer of the given integer type (VT_I4, VT_I2, VT_BOOL, VT_UI1).
  static DbValue Int(int32_t v, uint16_t type = VT_I4) { return {type, v, 0.0, {}}; }
  // A floating, date or decimal value of the given type.
  static DbValue Real(double v, uint16_t type = VT_R8) { return {type, 0, v, {}}; }
  static DbValue Text(std::string v) { return {VT_BSTR, 0, 0.0, std::move(v)}; }  // a VT_BSTR

  bool IsEmpty() const { return type == VT_EMPTY; }  // type 0: NULL, no row or no column
  // The value as text the way the relay and the operator tools show it: decimal integers, the
  // OLE date as a decimal number, texts as they are, nothing for VT_EMPTY.
  std::string ToText() const;

  bool operator==(const DbValue&) const = default;
};

// Days since 30 December 1899, the fraction being the time of day.
double OleDateFromParts(int year, int month, int day, int hour, int minute, double second);

// The calendar fields of an OLE date, to the second.
struct DateParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// The calendar fields of an OLE date, rounded to the nearest second.
DateParts PartsFromOleDate(double oleDate);

}  // namespace strivex
