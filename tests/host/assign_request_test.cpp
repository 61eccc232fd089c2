// "Atribui cererea...": which answers of the server let an operator store a printout's results
// under a request, and the lookup itself on the development server.

#include "host/assign_request_model.h"

#include <gtest/gtest.h>

#include <mutex>
#include <tuple>

#include "db/baza_de_date.h"
#include "db/db_session_fixture.h"
#include "host/request_lookup_runner.h"
#include "host/startup_steps.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "util/format.h"

namespace strivex {
namespace {

using Outcome = RequestCheck::Outcome;

RequestCheck Without(Outcome outcome) { return {outcome, 0, "", "timeout expired"}; }

TEST(AssignRequestModel, OkOnlyForTheRequestTheServerNames) {
  const struct {
    const char* typed;
    std::optional<RequestCheck> answer;  // none: no lookup is made
    bool ok;
    std::string shown;
  } cases[] = {
      {"", std::nullopt, false, ""},
      {"0", std::nullopt, false, kAssignInvalid},
      {"12a", std::nullopt, false, kAssignInvalid},
      {" 1021 ", JudgeLookup(1021, "1021 - Popescu Ion"), true, Format(kAssignPatient, "Popescu Ion")},
      {"81021", JudgeLookup(81021, "1021 - Popescu Ion"), false, Format(kAssignOtherRequest, 81021, 1021)},
      {"1029", JudgeLookup(1029, ""), false, Format(kAssignUnknown, 1029)},
      {"1030", JudgeLookup(1030, "1030 -  "), false, Format(kAssignUnknown, 1030)},
      {"1021", Without(Outcome::kNoServer), false, kAssignNoServer},
      {"1021", Without(Outcome::kServerBusy), false, kAssignServerBusy},
      {"1021", Without(Outcome::kNoInvestigation), false, kAssignNoInvestigation},
      {"1021", Without(Outcome::kFailed), false, Format(kAssignLookupFailed, "timeout expired")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    AssignRequestModel model;
    const std::optional<int32_t> lookup = model.Edit(c.typed);
    ASSERT_EQ(lookup.has_value(), c.answer.has_value());
    EXPECT_FALSE(model.okEnabled()) << "before the answer";
    if (lookup) model.Answer(*lookup, *c.answer);
    EXPECT_EQ(model.okEnabled(), c.ok);
    EXPECT_EQ(model.status(), c.shown);
    EXPECT_EQ(model.patient().empty(), !c.ok);
  }
}

// The operator typed on while the server answered: an answer about the previous number confirms
// nothing, and a confirmation ends when the field changes.
TEST(AssignRequestModel, AnAnswerCountsOnlyForWhatTheFieldHolds) {
  AssignRequestModel model;
  model.Edit("102");
  model.Edit("1021");
  model.Answer(102, JudgeLookup(102, "102 - Ene Dan"));
  EXPECT_EQ(model.status(), kAssignSearching);
  model.Answer(1021, JudgeLookup(1021, "1021 - Popescu Ion"));
  EXPECT_TRUE(model.okEnabled());
  model.Edit("10210");
  EXPECT_FALSE(model.okEnabled());
}

// The seeded requests of machine 5 (db/lab-dev-seed.sql) through the worker. The first lookups are
// asked for while the session is busy: asking never waits, and the last number asked is answered.
TEST(RequestLookupRunner, FindsTheSeededRequestsOnTheServer) {
  const std::string lab = testing::LabConnectionString();
  if (lab.empty()) {
    if (testing::LabDatabaseRequired()) FAIL() << "STRIVEX_LAB_CONNSTR is not set";
    GTEST_SKIP() << "no development server (STRIVEX_LAB_CONNSTR)";
  }
  testing::TempDir dir;
  testing::ScopedCurrentDir cwd(dir.path());
  BazaDeDate server;
  ASSERT_TRUE(server.DeschidConectie(lab, 1)) << server.lastErrorText();
  ModuleContext context;
  context.serverSession = &server;
  LoadCodeLists(server, 5, context);
  RequestLookupRunner runner(context);
  std::mutex mutex;  // the model, as the window's thread would own it
  AssignRequestModel model;
  int32_t answered = 0;
  const auto ask = [&](const char* typed) {
    runner.Begin(*model.Edit(typed), [&](int32_t requestId, const RequestCheck& check) {
      std::lock_guard lock(mutex);
      model.Answer(requestId, check);
      answered = requestId;
    });
  };
  const auto settled = [&](int32_t requestId) {
    return testing::WaitFor([&] { std::lock_guard lock(mutex); return answered == requestId; }, std::chrono::seconds(20));
  };
  for (const auto& [first, last, ok] : {std::tuple{"1029", 1021, true}, std::tuple{"1021", 1029, false},
                                        std::tuple{"1021", 81021, false}}) {
    SCOPED_TRACE(last);
    {
      std::lock_guard busy(context.serverMutex);  // a reconnection's login, say
      std::lock_guard lock(mutex);
      ask(first);
      ask(std::to_string(last).c_str());
    }
    ASSERT_TRUE(settled(last));
    std::lock_guard lock(mutex);
    EXPECT_EQ(model.okEnabled(), ok) << model.status();
    EXPECT_EQ(model.status() == Format(kAssignPatient, "Popescu Ion"), ok) << model.status();
  }
}

}  // namespace
}  // namespace strivex
