// The received list names each row's own patient, and only once the rows are listed: while the
// server is held by another thread the rows are there already.

#include <gtest/gtest.h>

#include "db/baza_de_date.h"
#include "db/db_session_fixture.h"
#include "host/upload_rig.h"
#include "host/upload_thread.h"
#include "outbox/outbox_store.h"
#include "support/link_holder.h"
#include "support/requirements.h"
#include "support/temp_dir.h"

namespace strivex {
namespace {

TEST(RowPatients, EachRowNamesItsOwnPatientOnceListed) {
  const std::string lab = testing::LabConnectionString();
  if (lab.empty()) STRIVEX_SKIP_UNLESS_REQUIRED(testing::LabDatabaseRequired(), "no development server");
  testing::TempDir dir;
  testing::ScopedCurrentDir cwd(dir.path());
  std::string error;
  auto outbox = OutboxStore::Open(kOutboxFileName, OutboxStore::OpenMode::kCreate, error);
  BazaDeDate server;
  ASSERT_TRUE(outbox && server.DeschidConectie(lab, 1)) << error;
  testing::UploadRig rig(outbox.get());
  ModuleContext& context = rig.context;
  context.server.Attach(&server);
  context.server.SetCodes({{}, {{1, "S_TRV", 1, "LEU"}}});
  // 81024 is request 1024's bar code, not a request of its own; then two patients' samples.
  SampleList samples;
  for (const int id : {81024, 1021, 1023}) samples.emplace_back(id);
  samples.head()->next->requestDate = {.wMonth = 12, .wDay = 2};
  const int64_t message = outbox->AddMessage(samples, GetLocalTime(), error).value_or(0);
  rig.queue.Append(std::move(samples), message);
  std::thread upload;
  {
    const testing::LinkHolder frozen(context.server);
    upload = std::thread(UploadThread, context.ForUpload());
    EXPECT_TRUE(testing::WaitFor([&] { return rig.view.RowCount() == 3; }, std::chrono::seconds(10)));
  }
  EXPECT_TRUE(testing::WaitFor([&] { return rig.view.RowCount() == 3 && rig.view.Rows()[2][2] != ""; }, std::chrono::seconds(10)));
  EXPECT_EQ(rig.view.Rows(), (std::vector<std::vector<std::string>>{{"81024", "0/0", "", "81024"},
                                                                {"1021", "2/12", "Popescu Ion", "1021"},
                                                                {"1023", "0/0", "Ionescu Maria", "1023"}}));
  context.upload.RequestStop();
  context.upload.wake().Notify();
  upload.join();
}

}  // namespace
}  // namespace strivex
