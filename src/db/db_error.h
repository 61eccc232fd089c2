#pragma once
// Result codes of failed database operations and the texts the error log shows for them. The
// engines reduce their own errors to three codes: a missing table or view, a failed conversion,
// and everything else.

#include <cstdint>
#include <string>
#include <string_view>

namespace strivex {

inline constexpr uint32_t kResultTableMissing = 0x80040E37;  // error code 3127
inline constexpr uint32_t kResultConversion = 0x80040E07;    // error code 3079
inline constexpr uint32_t kResultFail = 0x80004005;          // E_FAIL

inline constexpr uint16_t kErrorTableMissing = 3127;  // code of kResultTableMissing
inline constexpr uint16_t kErrorConversion = 3079;    // code of kResultConversion
inline constexpr uint16_t kNoErrorCode = 0xFFFF;  // stored where a failure has code 0

// A failed operation: its result code, and the driver's words.
// Why an operation that reaches the server failed, as far as a caller that retries cares:
// the connection is gone (or did not answer in time), or the server refused what it was sent.
enum class DbFailure { kNone, kConnectionLost, kRejected };

struct DbError {
  uint32_t result = kResultFail;
  std::string detail;  // the driver's own words, for diagnostics; never in the log format
  DbFailure failure = DbFailure::kRejected;

  bool operator==(const DbError&) const = default;
};

// How the detail of a statement refused for the memory its result would take begins.
inline constexpr std::string_view kResultTooLarge = "result too large";
// How the detail of a call whose driver's process died by a signal begins; the signal's name
// ("SIGSEGV") follows.
inline constexpr std::string_view kDriverKilledBySignal = "the driver process was killed by signal ";

// The 16-bit code of a result code: its offset in the interface range, 0 outside it.
uint16_t ErrorCodeOf(uint32_t result);

// The code stored in lastErrorCode: the error code, 0 stored as 0xFFFF.
uint16_t StoredErrorCode(uint32_t result);

// The system's text for a result code: "Unspecified error" for E_FAIL, "IDispatch error #%d" for
// interface-range codes, "Unknown error 0x%0lX" otherwise.
std::string ErrorText(uint32_t result);

// The result code for a SQLSTATE: no such table or view, conversion failure, or E_FAIL.
uint32_t ResultFromSqlState(const std::string& sqlState);

// The failure kind of a SQLSTATE: class 08 (connection exception) and the time-outs HYT00/HYT01
// are a lost connection, and so are the development server's own forms of them (57014 statement
// time-out, 57P01-57P03 server shut down or session ended); anything else is a rejection.
DbFailure FailureFromSqlState(const std::string& sqlState);

}  // namespace strivex
