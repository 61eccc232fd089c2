// An ODBC driver that logs in to nothing and crashes in SQLExecDirect, as a faulty driver would:
// what a driver's crash costs is tested with it. Registered in a test's own odbcinst.ini.
// With STRIVEX_CRASH_ONCE=FILE it crashes only in a statement holding the text of
// STRIVEX_CRASH_ON, and only while FILE exists, which the crash removes: a process that reconnects
// sees one crash. Its other statements fail.

#include <signal.h>
#include <sql.h>
#include <sqlext.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

void Put(SQLPOINTER out, SQLSMALLINT room, SQLSMALLINT* length, const char* text) {
  if (length != nullptr) *length = static_cast<SQLSMALLINT>(std::strlen(text));
  if (out != nullptr && room > 0) {
    std::strncpy(static_cast<char*>(out), text, static_cast<size_t>(room) - 1);
    static_cast<char*>(out)[room - 1] = '\0';
  }
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT, SQLHANDLE, SQLHANDLE* out) {
  *out = std::calloc(1, 64);
  return SQL_SUCCESS;
}
SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT, SQLHANDLE handle) {
  std::free(handle);
  return SQL_SUCCESS;
}
SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) { return SQL_SUCCESS; }
SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER) { return SQL_SUCCESS; }
SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC, SQLINTEGER, SQLPOINTER value, SQLINTEGER, SQLINTEGER*) {
  *static_cast<SQLUINTEGER*>(value) = 0;
  return SQL_SUCCESS;
}
SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER) { return SQL_SUCCESS; }
SQLRETURN SQL_API SQLDriverConnect(SQLHDBC, SQLHWND, SQLCHAR*, SQLSMALLINT, SQLCHAR* out, SQLSMALLINT room,
                                   SQLSMALLINT* length, SQLUSMALLINT) {
  Put(out, room, length, "");
  return SQL_SUCCESS;
}
SQLRETURN SQL_API SQLDisconnect(SQLHDBC) { return SQL_SUCCESS; }
SQLRETURN SQL_API SQLGetInfo(SQLHDBC, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT room, SQLSMALLINT* length) {
  Put(out, room, length, type == SQL_DRIVER_ODBC_VER ? "03.00" : "Crashing");
  return SQL_SUCCESS;
}
SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*, SQLCHAR*, SQLSMALLINT,
                                SQLSMALLINT*) {
  return SQL_NO_DATA;
}
SQLRETURN SQL_API SQLExecDirect(SQLHSTMT, SQLCHAR* text, SQLINTEGER length) {
  const std::string_view statement(reinterpret_cast<const char*>(text),
                                   length == SQL_NTS ? std::strlen(reinterpret_cast<const char*>(text))
                                                     : static_cast<size_t>(length));
  // ALLOCATE: a driver that uses a large block without looking whether it got it.
  if (statement == "ALLOCATE") {
    static_cast<volatile char*>(std::malloc(size_t{1} << 30))[0] = 1;
  } else if (const char* once = std::getenv("STRIVEX_CRASH_ONCE")) {
    const char* on = std::getenv("STRIVEX_CRASH_ON");
    if (on == nullptr || statement.find(on) == std::string_view::npos || ::unlink(once) != 0) return SQL_ERROR;
  }
  // Whatever handler a sanitizer put there, the process dies by the signal, as without one.
  ::signal(SIGSEGV, SIG_DFL);
  ::raise(SIGSEGV);
  return SQL_ERROR;
}
SQLRETURN SQL_API SQLCancel(SQLHSTMT) { return SQL_SUCCESS; }

}  // extern "C"
