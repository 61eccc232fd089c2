// A laboratory server of the test's own, driven the way outage tests drive it: results stored
// through the module's ODBC session while the server is stopped and started under it.

#include "support/lab_cluster.h"

#include <gtest/gtest.h>

#include <memory>

#include "db/baza_de_date.h"
#include "platform/message_box.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "util/format.h"

namespace strivex {
namespace {

using testing::LabCluster;
using Rows = std::vector<LabCluster::Row>;

std::string ResultInsert(int request, int investigation, int detail, const std::string& value) {
  return Format(" exec L_RESULT_INSERT %d,5,%d,%d,'%s',' ',1 ", request, investigation, detail,
                value.c_str());
}

// Whether a server answers on the port (pg_isready: 2 is no answer).
bool Answers(int port) {
  return testing::RunProcess("/usr/lib/postgresql/15/bin/pg_isready",
                             {"-q", "-h", "127.0.0.1", "-p", std::to_string(port)})
             .exitCode != 2;
}

class PrivateLabClusterTest : public ::testing::Test {
 protected:
  std::string ErrorLog() const { return testing::ReadFile(dir_ / "_acterr.log"); }

  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};  // sessions write _acterr.log by bare name
  platform::MessageBoxRecorder boxes_;
};

TEST_F(PrivateLabClusterTest, ResultsAreStoredBeforeAndAfterTheServerIsStoppedAndStarted) {
  auto lab = std::make_unique<LabCluster>();
  const testing::ScopedEnvironment env(lab->Environment());
  const int port = lab->port();
  BazaDeDate db;
  ASSERT_TRUE(db.DeschidConectie(lab->ConnectionString(), 1)) << ErrorLog();
  ASSERT_TRUE(db.SQLCommand(ResultInsert(1021, 1, 3, "neg"), 0)) << db.LastErrorDetail();

  lab->Stop();
  EXPECT_FALSE(lab->IsRunning());
  EXPECT_FALSE(Answers(port));
  EXPECT_FALSE(db.SQLCommand(ResultInsert(1021, 1, 4, "lost"), 0));

  lab->Start();
  EXPECT_TRUE(lab->IsRunning());
  EXPECT_TRUE(Answers(port));
  EXPECT_EQ(lab->port(), port);  // clients keep the port they were given
  db.InchidConectie();
  ASSERT_TRUE(db.DeschidConectie(lab->ConnectionString(), 1)) << ErrorLog();
  ASSERT_TRUE(db.SQLCommand(ResultInsert(1022, 1, 10, "ca 50, \"trace\""), 0)) << db.LastErrorDetail();

  // A restart ends the open session; a new one finds the rows where they were.
  lab->Restart();
  EXPECT_EQ(lab->port(), port);
  EXPECT_FALSE(db.SQLCommand("SELECT 1", 0));
  BazaDeDate again;
  ASSERT_TRUE(again.DeschidConectie(lab->ConnectionString(), 1)) << ErrorLog();
  ASSERT_TRUE(again.GetRecords("SELECT count(*) AS n FROM lab_results", 0));
  EXPECT_EQ(again.ValoareColoana("n", 0).ToText(), "2");
  again.InchidConectie();
  db.InchidConectie();

  EXPECT_EQ(lab->Query("SELECT request_id, investigation_id, detail_id, value, NULL AS none FROM lab_results "
                       "ORDER BY id"),
            (Rows{{"1021", "1", "3", "neg", ""}, {"1022", "1", "10", "ca 50, \"trace\"", ""}}));

  // Nothing of the cluster outlives the object.
  const std::filesystem::path root = lab->root();
  lab.reset();
  EXPECT_FALSE(std::filesystem::exists(root));
  EXPECT_FALSE(Answers(port));
}

// The development database refuses, as the laboratory's foreign keys do, a result whose
// investigation or detail is not in the code tables: an unmapped code arrives as id 0.
TEST_F(PrivateLabClusterTest, ResultInsertRefusesIdsMissingFromTheCodeTables) {
  LabCluster lab;
  const testing::ScopedEnvironment env(lab.Environment());
  BazaDeDate db;
  ASSERT_TRUE(db.DeschidConectie(lab.ConnectionString(), 1)) << ErrorLog();

  struct Case {
    const char* what;
    int request, investigation, detail;
    bool stored;
  } const cases[] = {
      {"mapped codes", 1021, 1, 3, true},
      {"a request the database does not know", 999999, 1, 3, true},
      {"a detail listed under another investigation", 1022, 1, 13, true},
      {"an unmapped analysis code", 1023, 0, 3, false},
      {"an unmapped parameter code", 1024, 1, 0, false},
      {"an unknown investigation", 1025, 99, 3, false},
      {"an unknown detail", 1026, 1, 99, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(db.SQLCommand(ResultInsert(c.request, c.investigation, c.detail, "neg"), 0), c.stored);
    if (!c.stored) {
      EXPECT_TRUE(db.LastErrorDetail().starts_with("23503")) << db.LastErrorDetail();
    }
    EXPECT_EQ(lab.Query(Format("SELECT id FROM lab_results WHERE request_id = %d", c.request)).size(),
              c.stored ? 1u : 0u);
  }
}

}  // namespace
}  // namespace strivex
