#include "db/db_value.h"

#include <charconv>
#include <cmath>


namespace strivex {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

constexpr int64_t kOleEpochFromUnix = -25569;  // 1899-12-30 counted from 1970-01-01

}  // namespace

double OleDateFromParts(int year, int month, int day, int hour, int minute, double second) {
  const double days = static_cast<double>(DaysFromCivil(year, month, day) - kOleEpochFromUnix);
  const double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  // Dates before the epoch carry the time as a positive fraction of a negative day number.
  return days >= 0 ? days + time : days - time;
}

DateParts PartsFromOleDate(double oleDate) {
  DateParts parts;
  double whole = std::trunc(oleDate);
  double fraction = std::fabs(oleDate - whole);
  auto seconds = static_cast<int64_t>(std::llround(fraction * 86400.0));
  if (seconds >= 86400) {
    seconds -= 86400;
    whole += oleDate >= 0 ? 1 : -1;
  }
  CivilFromDays(static_cast<int64_t>(whole) + kOleEpochFromUnix, parts.year, parts.month, parts.day);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return parts;
}

std::string DbValue::ToText() const {
  switch (type) {
    case VT_EMPTY:
    case VT_NULL:
      return {};
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case VT_UI1:
      return std::to_string(intVal);
    case VT_BSTR:
      return strVal;
    case VT_DECIMAL:
      if (!strVal.empty()) return strVal;
      [[fallthrough]];
    default: {
      // The shortest text that reads back as the same number.
      char digits[32];
      const auto end = std::to_chars(digits, digits + sizeof digits, dblVal).ptr;
      return std::string(digits, end);
    }
  }
}

}  // namespace strivex
