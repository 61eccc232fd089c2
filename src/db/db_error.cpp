#include "db/db_error.h"

#include "util/format.h"

namespace strivex {

uint16_t ErrorCodeOf(uint32_t result) {
  if (result >= 0x80040200 && result <= 0x8004FFFF) return static_cast<uint16_t>(result - 0x80040200);
  return 0;
}

uint16_t StoredErrorCode(uint32_t result) {
  const uint16_t code = ErrorCodeOf(result);
  return code == 0 ? kNoErrorCode : code;
}

std::string ErrorText(uint32_t result) {
  if (result == kResultFail) return "Unspecified error";
  if (const uint16_t code = ErrorCodeOf(result); code != 0) return Format("IDispatch error #%d", code);
  return Format("Unknown error 0x%0lX", static_cast<unsigned long>(result));
}

DbFailure FailureFromSqlState(const std::string& sqlState) {
  if (sqlState.starts_with("08")) return DbFailure::kConnectionLost;
  for (const char* lost : {"HYT00", "HYT01", "57014", "57P01", "57P02", "57P03"}) {
    if (sqlState == lost) return DbFailure::kConnectionLost;
  }
  return DbFailure::kRejected;
}

uint32_t ResultFromSqlState(const std::string& sqlState) {
  if (sqlState == "42S02" || sqlState == "42P01") return kResultTableMissing;
  if (sqlState == "22018" || sqlState == "22P02") return kResultConversion;
  return kResultFail;
}

}  // namespace strivex
