// "Atribui cererea...": which answers of the server let an operator store a printout's results
// under a request, and the lookup itself on the development server.

#include "host/assign_request_model.h"

#include <gtest/gtest.h>

#include <mutex>

#include "db/baza_de_date.h"
#include "db/db_session_fixture.h"
#include "host/request_lookup_runner.h"
#include "host/startup_steps.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "util/format.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using Outcome = RequestCheck::Outcome;

RequestCheck Answered(int32_t requestId, const char* answer) { return JudgeLookup(requestId, answer); }
RequestCheck Without(Outcome outcome) {
  RequestCheck check;
  check.outcome = outcome;
  check.error = "timeout expired";
  return check;
}

TEST(AssignRequestModel, OkOnlyForTheRequestTheServerNames) {
  const struct {
    const char* typed;
    std::optional<RequestCheck> answer;  // none: no lookup is made
    bool ok;
    std::string shown;
  } cases[] = {
      {"", std::nullopt, false, ""},
      {"  ", std::nullopt, false, ""},
      {"0", std::nullopt, false, kAssignInvalid},
      {"12a", std::nullopt, false, kAssignInvalid},
      {"2147483648", std::nullopt, false, kAssignInvalid},
      {" 1021 ", Answered(1021, "1021 - Popescu Ion"), true, Format(kAssignPatient, "Popescu Ion")},
      {"81021", Answered(81021, "1021 - Popescu Ion"), false, Format(kAssignOtherRequest, 81021, 1021)},
      {"1029", Answered(1029, ""), false, Format(kAssignUnknown, 1029)},
      {"1030", Answered(1030, "1030 -  "), false, Format(kAssignUnknown, 1030)},
      {"1", Answered(1, "unexpected"), false, Format(kAssignUnknown, 1)},
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
    if (lookup) {
      EXPECT_EQ(model.status(), kAssignSearching);
      model.Answer(*lookup, *c.answer);
    }
    EXPECT_EQ(model.okEnabled(), c.ok);
    EXPECT_EQ(model.status(), c.shown);
    if (c.ok) {
      EXPECT_EQ(model.requestId(), *lookup);
    }
  }
}

// The operator typed on while the server answered: the answer about the previous number confirms
// nothing, and a confirmed request no longer counts once the field changes.
TEST(AssignRequestModel, AnAnswerCountsOnlyForWhatTheFieldHolds) {
  AssignRequestModel model;
  model.Edit("102");
  model.Edit("1021");
  model.Answer(102, Answered(102, "102 - Ene Dan"));
  EXPECT_FALSE(model.okEnabled());
  EXPECT_EQ(model.status(), kAssignSearching);
  model.Answer(1021, Answered(1021, "1021 - Popescu Ion"));
  EXPECT_TRUE(model.okEnabled());
  model.Edit("10210");
  EXPECT_FALSE(model.okEnabled());
  EXPECT_EQ(model.patient(), "");
}

// The development server's requests (db/lab-dev-seed.sql) through the worker, with the session
// busy when the lookups are asked for: the caller never waits, and the last number asked wins.
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
  std::mutex answersMutex;
  AssignRequestModel model;
  int32_t lastAnswered = 0;
  // Waits for the answer about what was typed last.
  const auto ask = [&](const char* typed) {
    const int32_t wanted = *model.Edit(typed);
    runner.Begin(wanted, [&](int32_t requestId, const RequestCheck& check) {
      std::lock_guard lock(answersMutex);
      model.Answer(requestId, check);
      lastAnswered = requestId;
    });
    return wanted;
  };
  const auto answered = [&](int32_t requestId) {
    return testing::WaitFor([&] { std::lock_guard lock(answersMutex); return lastAnswered == requestId; }, 20s);
  };
  {
    std::lock_guard busy(context.serverMutex);  // a login of the reconnection, say
    std::lock_guard lock(answersMutex);
    ask("1029");
    ask("1021");
  }
  ASSERT_TRUE(answered(1021));
  {
    std::lock_guard lock(answersMutex);
    EXPECT_TRUE(model.okEnabled());
    EXPECT_EQ(model.status(), Format(kAssignPatient, "Popescu Ion"));
  }
  for (const char* unknown : {"1029", "81021", "1030"}) {
    SCOPED_TRACE(unknown);
    int32_t wanted = 0;
    {
      std::lock_guard lock(answersMutex);
      wanted = ask(unknown);
    }
    ASSERT_TRUE(answered(wanted));
    std::lock_guard lock(answersMutex);
    EXPECT_FALSE(model.okEnabled()) << model.status();
  }
  runner.Join();
}

}  // namespace
}  // namespace strivex
