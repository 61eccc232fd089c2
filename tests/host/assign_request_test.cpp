// "Atribui cererea...": which answers of the server let an operator store a printout's results
// under a request (the lookup on the development server: tests/ui/assign_request_dlg_test.cpp).

#include "host/assign_request_model.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace strivex
