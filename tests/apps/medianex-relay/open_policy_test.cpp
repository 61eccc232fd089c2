// What the relay opens for a client: registered driver names only, listed keys only, local files
// only inside the folder it was given.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "db/connection_string.h"
#include "open_policy.h"
#include "support/temp_dir.h"

namespace strivex::relay {
namespace {

const std::string kModule = "Driver={SQL Server}; Server=10.0.0.5; Network=; Database=LAB; Uid=lis;Pwd=secret";

struct OpenCase {
  const char* name;
  std::string connection;
  const char* refusal;  // the start of the reason; "" when it may be opened
};

void ExpectReason(const std::string& reason, const char* refusal) {
  if (*refusal == '\0') {
    EXPECT_EQ(reason, "");
  } else {
    EXPECT_TRUE(reason.starts_with(refusal)) << reason;
  }
}

TEST(RelayOpenPolicy, OdbcStringsNameARegisteredDriverAndOnlyListedKeys) {
  const OpenPolicy policy{{"SQL Server", "PostgreSQL ANSI"}, {}, {"Encryption"}};
  const OpenCase cases[] = {
      {"the module's own string", kModule, ""},
      {"deployment extras after Server", "Driver={SQL Server}; Server=db;Port=1433;TDS_Version=7.4;ClientCharset=CP1250", ""},
      {"driver name in any case, unbraced", "driver=sql server;Server=db", ""},
      {"a driver the administrator allowed", "Driver={PostgreSQL ANSI};Server=db", ""},
      {"password holding braces", "Driver={SQL Server};Pwd={a;b=c}", ""},
      {"listed keys in any case", "DRIVER={SQL Server};SERVER=db;uid=u;PWD=p;port=1433;app=lis;wsid=LAB01", ""},
      {"a key the administrator allowed", "Driver={SQL Server};encryption=require", ""},
      {"environment set by the driver manager", "Driver={SQL Server};DMEnvAttr=SQL_ATTR_UNIXODBC_ENVATTR=PGPORT=1",
       "key DMEnvAttr not allowed"},
      {"connection attribute", "Driver={SQL Server};DMConnAttr=[1041]=\\x01", "key DMConnAttr not allowed"},
      {"statement attribute", "DMStmtAttr=[0]=1;Driver={SQL Server}", "key DMStmtAttr not allowed"},
      {"an environment variable's name", "Driver={SQL Server};PGPORT=1", "key PGPORT not allowed"},
      {"FreeTDS's dump by its variable", "Driver={SQL Server};TDSDUMP=/tmp/d", "key TDSDUMP not allowed"},
      {"a host entry of freetds.conf", "Driver={SQL Server};Servername=evil", "key Servername not allowed"},
      {"psqlODBC's password alias", "Driver={SQL Server};Password=x", "key Password not allowed"},
      {"an unknown key", "Driver={SQL Server};Frobnicate=1", "key Frobnicate not allowed"},
      {"driver as a path", "Driver=/tmp/evil.so;Server=db", "driver given as a path"},
      {"driver path in braces", "Driver={/tmp/evil.so};Server=db", "driver given as a path"},
      {"driver as a Windows path", "Driver={C:\\evil\\x.dll}", "driver given as a path"},
      {"driver as a bare library", "Driver=libevil.so", "driver given as a path"},
      {"versioned library", "Driver=libevil.so.1", "driver given as a path"},
      {"driver not registered by the administrator", "Driver={FreeTDS};Server=db", "driver 'FreeTDS' not allowed"},
      {"no driver", "Server=db;Database=LAB", "no Driver key"},
      {"file DSN", "FILEDSN=/tmp/x.dsn;Driver={SQL Server}", "key FILEDSN"},
      {"saved file", "Driver={SQL Server};SAVEFILE=/etc/cron.d/x", "key SAVEFILE"},
      {"data source name", "DSN=lab;Driver={SQL Server}", "key DSN"},
      {"trace file, other case", "Driver={SQL Server};tracefile=/tmp/t;Trace=Yes", "key tracefile"},
      {"trace key alone", "Driver={SQL Server};TRACE=1", "key TRACE"},
      {"FreeTDS dump file", "Driver={SQL Server}; DumpFile = /tmp/d", "key DumpFile"},
      {"psqlODBC log flags", "Driver={SQL Server};CX=1c305008b", "key CX"},
      {"libpq options", "Driver={SQL Server};pqopt={sslkey=/root/k}", "key pqopt"},
      {"driver given twice", "Driver={SQL Server};Driver=/tmp/evil.so", "key Driver given twice"},
      {"key hidden after an open brace", "Driver={SQL Server};Server=a{;FILEDSN=/x", "braces"},
      {"brace closing early", "Driver={SQL Server};Server={a}b;Trace=1", "braces"},
      {"brace inside a value", "Driver={SQL Server};Server=a}b", "braces"},
      {"cut by a NUL", std::string("Driver={SQL Server};Server=db\0;Driver=/x.so", 43), "a control character"},
      {"a part without a key", "Driver={SQL Server};junk", "a part without '='"},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectReason(RefusedOpenReason(c.connection, policy), c.refusal);
  }
}

TEST(RelayOpenPolicy, LocalFilesOnlyInsideTheNamedFolder) {
  const testing::TempDir dir;
  std::filesystem::create_directory(dir / "served");
  std::filesystem::create_directory_symlink("/etc", dir / "served" / "out");
  const std::string served = (dir / "served").string();
  const OpenPolicy none{{"SQL Server"}, {}};
  const OpenPolicy policy{{"SQL Server"}, served};
  const OpenCase cases[] = {
      {"inside", JetConnectionString(served + "/local.db", "pw"), ""},
      {"in a folder inside", JetConnectionString(served + "/a/local.db", ""), ""},
      {"climbing out", JetConnectionString(served + "/../local.db", ""), "local database outside"},
      {"through a link out", JetConnectionString(served + "/out/x.db", ""), "local database outside"},
      {"the folder itself", JetConnectionString(served, ""), "local database outside"},
      {"relative", JetConnectionString("local.db", ""), "local database path not absolute"},
      {"elsewhere", JetConnectionString("/etc/passwd", ""), "local database outside"},
      {"a key no local string holds", JetConnectionString(served + "/local.db", "pw") + "Cache=/tmp/c",
       "key Cache not allowed"},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectReason(RefusedOpenReason(c.connection, policy), c.refusal);
    EXPECT_TRUE(RefusedOpenReason(c.connection, none).starts_with("local database files are not served"));
  }
}

TEST(RelayOpenPolicy, PasswordsAreMaskedHoweverTheyAreWritten) {
  const struct {
    std::string connection;
    std::string masked;
  } cases[] = {
      {kModule, "Driver={SQL Server}; Server=10.0.0.5; Network=; Database=LAB; Uid=lis;Pwd=***"},
      {"Password = secret ;Server=x", "Password =***;Server=x"},
      {"pwd={se;cret};Server=x", "pwd=***;Server=x"},
      {"Server=a{;Pwd=secret", "Server=a{;Pwd=***"},
      {"Server=x", "Server=x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaskConnectionPassword(c.connection), c.masked);
    EXPECT_EQ(MaskConnectionPassword(c.connection).find("secret"), std::string::npos);
  }
}

}  // namespace
}  // namespace strivex::relay
