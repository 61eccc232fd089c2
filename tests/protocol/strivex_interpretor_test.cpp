#include "protocol/strivex_interpretor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace strivex {
namespace {

using namespace std::string_literals;

// "1021/S_TRV: LEU=neg; GLU=5 mmol/l" per sample, samples separated by " | ".
std::string Render(const SampleList& samples) {
  std::string out;
  for (const SampleRecord& sample : samples) {
    if (!out.empty()) out += " | ";
    out += std::to_string(sample.requestId);
    for (const GroupRecord& group : sample.groups) {
      out += "/" + group.analysisCode + ":";
      const char* sep = " ";
      for (const ResultRecord& result : group.results) {
        out += sep + result.parameterCode + "=" + result.value;
        sep = "; ";
      }
    }
  }
  return out;
}

// The samples, then " || " and the unassigned printouts (request id 0) when there are any.
std::string Render(const StrivexInterpretor& interpretor) {
  std::string out = Render(interpretor.Samples());
  if (!interpretor.Unassigned().empty()) out += " || " + Render(interpretor.Unassigned());
  return out;
}

std::string Lines(const std::vector<std::string>& lines, const std::string& end = "\r\n") {
  std::string text;
  for (const auto& line : lines) text += line + end;
  return text;
}

struct InterpretCase {
  const char* name;
  std::string text;
  int32_t knownRequestId;
  TranslationList translations;
  int expectedResult;
  std::string expected;
  std::vector<std::string> told = {};
};

void PrintTo(const InterpretCase& c, std::ostream* os) { *os << c.name; }

class InterpretTest : public ::testing::TestWithParam<InterpretCase> {};

TEST_P(InterpretTest, BuildsSamples) {
  const InterpretCase& c = GetParam();
  StrivexInterpretor interpretor;
  EXPECT_EQ(interpretor.Interpret(c.text, c.knownRequestId, 0, c.translations), c.expectedResult);
  EXPECT_EQ(Render(interpretor), c.expected);
  EXPECT_EQ(interpretor.Told(), c.told);
}

const std::string kDashes = "----------------";
const std::string kEquals = "================";
const TranslationList kNegToNegativ = {{"neg", "negativ"}};

INSTANTIATE_TEST_SUITE_P(
    Reports, InterpretTest,
    ::testing::Values(
        InterpretCase{"WorkedExample",
                      Lines({"ID proba:1021", kDashes, " LEU neg", " GLU 5 mmol/l", kEquals}), 0,
                      {}, 1, "1021/S_TRV: LEU=neg; GLU=5 mmol/l"},
        InterpretCase{"SampleIdKeyAndSpacesAroundValue",
                      Lines({"Sample ID:   42  ", kDashes, " pH 6.5", kEquals}), 0, {}, 1,
                      "42/S_TRV: pH=6.5"},
        InterpretCase{"KeyWithSpaceBeforeColonIsNoIdentifier",
                      Lines({"ID proba :123", kDashes, " pH 6.5", kEquals}), 0, {}, 1,
                      " || 0/S_TRV: pH=6.5"},
        InterpretCase{"KeysAreCaseSensitive", Lines({"id proba:5", "ID PROBA:6"}), 0, {}, 0, ""},
        InterpretCase{"PacientThenIdGivesTwoSamples", Lines({"Pacient:77", "ID proba:88"}), 0, {},
                      1, "77/S_TRV: | 88/S_TRV:"},
        InterpretCase{"IdThenPacientIgnoresPacient", Lines({"ID proba:88", "Pacient:77"}), 0, {},
                      1, "88/S_TRV:"},
        InterpretCase{"KnownRequestIdDisablesPacient",
                      Lines({"Pacient:77", kDashes, " pH 6.5", kEquals}), 12, {}, 1,
                      " || 0/S_TRV: pH=6.5"},
        InterpretCase{"KnownRequestIdDoesNotCreateASample", Lines({"ID proba:9"}), 12, {}, 1,
                      "9/S_TRV:"},
        InterpretCase{"ZeroAndLetterIdsEndTheSample",
                      Lines({"ID proba:5", "ID proba:0", kDashes, " pH 7", "ID proba:abc",
                             kDashes, " SG 1.01", kEquals}),
                      0, {}, 1, "5/S_TRV: || 0/S_TRV: pH=7 | 0/S_TRV: SG=1.01"},
        InterpretCase{"PacientIdentifiesAfterZeroId",
                      Lines({"ID proba:5", "ID proba:0", "Pacient:6"}), 0, {}, 1,
                      "5/S_TRV: | 6/S_TRV:"},
        InterpretCase{"OnlyZeroIdentifiersGiveNothing", Lines({"ID proba:0", "Sample ID:x"}), 0,
                      {}, 0, ""},
        InterpretCase{"BlocksBetweenDashLinesGoToOneGroup",
                      Lines({"ID proba:3", kDashes, " A 1", kDashes, "text between", kDashes,
                             " B 2", kDashes, " C 3"}),
                      0, {}, 1, "3/S_TRV: A=1; B=2", {" C 3"}},
        InterpretCase{"BlockAfterClosingLineNeedsItsOwnIdentifier",
                      Lines({"ID proba:3", kDashes, " A 1", kEquals, "text between", kDashes,
                             " B 2", kDashes, " C 3"}),
                      0, {}, 1, "3/S_TRV: A=1 || 0/S_TRV: B=2", {" C 3"}},
        InterpretCase{"ClosingLineOutsideBlockEndsTheSample",
                      Lines({"ID proba:3", kEquals, kDashes, " B 2", kEquals}), 0, {}, 1,
                      "3/S_TRV: || 0/S_TRV: B=2"},
        InterpretCase{"EachPrintoutWithoutSampleIsOnePseudoSample",
                      Lines({kDashes, " A 1", kEquals, kDashes, " B 2", kDashes, "Lot: 7",
                             kDashes, " C 3", kEquals, "ID proba:0", kDashes, " D 4", kEquals}),
                      0, {}, 1, " || 0/S_TRV: A=1 | 0/S_TRV: B=2; C=3 | 0/S_TRV: D=4"},
        // The "Pacient" rule still looks at the last identifier value read, usable or not.
        InterpretCase{"ClosingLineDoesNotLetPacientIdentify",
                      Lines({"ID proba:3", kDashes, " A 1", kEquals, "Pacient:4", kDashes, " B 2",
                             kEquals}),
                      0, {}, 1, "3/S_TRV: A=1 || 0/S_TRV: B=2"},
        InterpretCase{"NegativeIdKeepsPacientSilent",
                      Lines({"ID proba:-7", "Pacient:4", kDashes, " B 2", kEquals}), 0, {}, 1,
                      " || 0/S_TRV: B=2"},
        InterpretCase{"IdentifierLineClosesBlock",
                      Lines({"ID proba:3", kDashes, " A 1", "ID proba:4", " B 2", kDashes,
                             " C 3", kEquals}),
                      0, {}, 1, "3/S_TRV: A=1 | 4/S_TRV: C=3", {" B 2"}},
        InterpretCase{"ValueOfUpToTwoTokens",
                      Lines({"ID proba:1", kDashes, " BLD 0.2 mg/dl ca", " KET", " SG    1.015   ",
                             "XNIT pos", kEquals}),
                      0, {}, 1, "1/S_TRV: BLD=0.2 mg/dl; KET=; SG=1.015; NIT=pos"},
        InterpretCase{"ResultBeforeAnySampleIsUnassigned",
                      Lines({kDashes, " A 1", "ID proba:2", kDashes, " B 2", kEquals}), 0, {}, 1,
                      "2/S_TRV: B=2 || 0/S_TRV: A=1"},
        InterpretCase{"ResultAfterZeroIdIsUnassigned",
                      Lines({"ID proba:0", kDashes, " A 1", kEquals}), 0, {}, 1,
                      " || 0/S_TRV: A=1"},
        InterpretCase{"EmptyLinesInBlockAreEmptyResults",
                      "ID proba:7\r\n" + kDashes + "\r\n GLU 5\r\n\r\n", 0, {}, 1,
                      "7/S_TRV: GLU=5; =; ="},
        InterpretCase{"CrOnlyLineEnds", Lines({"ID proba:8", kDashes, " pH 6"}, "\r"), 0, {}, 1,
                      "8/S_TRV: pH=6; ="},
        InterpretCase{"LfOnlyIsOneLine", Lines({"ID proba:9", kDashes, " pH 6"}, "\n"), 0, {}, 1,
                      "9/S_TRV:"},
        InterpretCase{"LfOnlyOverLimitFindsNothing",
                      Lines(std::vector<std::string>(30, "ID proba:9 and some padding"), "\n"), 0,
                      {}, 0, ""},
        InterpretCase{"LongLinesAreSkipped",
                      Lines({"ID proba:1", kDashes, " A 1", " " + std::string(300, 'x'), " B 2",
                             std::string(5000, '\xFF'), "ID proba:2"}),
                      0, {}, 1, "1/S_TRV: A=1; B=2 | 2/S_TRV:"},
        InterpretCase{"LineOfExactly300WithCrIsRead",
                      Lines({"ID proba:1", kDashes, " A " + std::string(297, 'v')}, "\r"), 0, {},
                      1, "1/S_TRV: A=" + std::string(297, 'v') + "; ="},
        InterpretCase{"LastLineWithout299Limit",
                      "ID proba:1\r" + kDashes + "\r A " + std::string(297, 'v'), 0, {}, 1,
                      "1/S_TRV:"},
        InterpretCase{"LastLineOf299IsRead",
                      "ID proba:1\r" + kDashes + "\r A " + std::string(296, 'v'), 0, {}, 1,
                      "1/S_TRV: A=" + std::string(296, 'v')},
        InterpretCase{"TranslationMatchesWholeValueOnly",
                      Lines({"ID proba:1", kDashes, " LEU neg", " NIT neg +", " KET Neg", kEquals}), 0,
                      kNegToNegativ, 1, "1/S_TRV: LEU=negativ; NIT=neg +; KET=Neg"},
        InterpretCase{"FirstTranslationWins",
                      Lines({"ID proba:1", kDashes, " LEU neg", kEquals}), 0,
                      {{"neg", "first"}, {"neg", "second"}}, 1, "1/S_TRV: LEU=first"},
        InterpretCase{"TranslationToEmpty", Lines({"ID proba:1", kDashes, " LEU NEG", kEquals}), 0,
                      {{"NEG", ""}}, 1, "1/S_TRV: LEU="},
        InterpretCase{"LeadByteC2IsRemovedAfterTranslation",
                      Lines({"ID proba:1", kDashes, " URO 3.2 \xC2\xB5mol/l", " X \xC2\xC2",
                             " \xC2Y 1", kEquals}),
                      0, {{"\xC2\xC2", "two"}}, 1,
                      "1/S_TRV: URO=3.2 \xB5mol/l; X=two; \xC2Y=1"},
        InterpretCase{"EmptyText", "", 0, {}, 0, ""},
        InterpretCase{"NulBytesAreDropped",
                      std::string("ID proba:1\r\n", 12) + std::string(1, '\0') + "ID proba:2\r\n",
                      0, {}, 1, "1/S_TRV: | 2/S_TRV:"},
        InterpretCase{"NulInsideKeysAndValues",
                      "\0ID pro\0ba:4\r\n---\r\n LEU ne\0g\r\n L\0\0ONG 1\0\r\n===\r\n"s, 0, {}, 1,
                      "4/S_TRV: LEU=neg; LONG=1"},
        InterpretCase{"OnlyNulBytes", std::string(3, '\0'), 0, {}, 0, ""},
        InterpretCase{"IdentifierKeyWithoutValueEndsTheSample",
                      Lines({"ID proba:1", kDashes, " A 1", "ID proba", " B 2", kDashes, " C 3",
                             kEquals}),
                      0, {}, 1, "1/S_TRV: A=1 || 0/S_TRV: C=3", {" B 2"}},
        InterpretCase{"MarkersAreJudgedOnTheKeyNotTheLine",
                      Lines({"ID proba:1", "  :-----", " A 1", "   ---:x", " B 2", " -3 low",
                             " C 3", "  =", " D 4"}),
                      0, {}, 1, "1/S_TRV: B=2 || 0/S_TRV: C=3", {" A 1", " D 4"}},
        InterpretCase{"NegativeIdCreatesNoSample", Lines({"ID proba:-3"}), 0, {}, 0, ""},
        InterpretCase{"ValuesReachTheServerInItsCodePage",
                      Lines({"ID proba:1", kDashes, " COL galben ă", " CLA ușor tulbure",
                             " BLD ≥250 Ery/ul", " URO 3.2 \xC2\xB5mol/l",
                             " X a\x81\x83\x88\x90\x98\x80", " Y \xC2\xB5 ă", kEquals}),
                      0, {}, 1,
                      "1/S_TRV: COL=galben \xE3; CLA=u\xBAor tulbure; BLD=?250 Ery/ul; "
                      "URO=3.2 \xB5mol/l; X=a?????\x80; Y=\xB5 \xC4?"},
        InterpretCase{"TranslationSeesTheAnalysersTextAndItsResultIsConverted",
                      Lines({"ID proba:1", kDashes, " COL galben ă", " NIT pos", kEquals}), 0,
                      {{"galben ă", "galben închis"}, {"pos", "pozitiv \xBA"}}, 1,
                      "1/S_TRV: COL=galben \xEEnchis; NIT=pozitiv \xBA"},
        // Runs of result lines outside a block: a block whose opening line never arrived when a
        // '=' line ends them, whatever came before; told when anything else ends them.
        InterpretCase{"TailOfAReportWhoseStartWentToAnEarlierMessage",
                      Lines({"05", " KET    neg", " GLU    5        mmol/l", kEquals, "",
                             "ID proba:30513", kDashes, " LEU    neg", kEquals}),
                      0, {}, 1, "30513/S_TRV: LEU=neg || 0/S_TRV: KET=neg; GLU=5 mmol/l"},
        InterpretCase{"TailCutAgainBeforeItsClosingLine", Lines({" KET neg", " GLU 5"}), 0, {}, 0,
                      "", {" KET neg", " GLU 5"}},
        InterpretCase{"HeaderTextGivesNothing",
                      Lines({" Laborator clinic", "ID proba:0", " Operator lab"}) + kDashes, 0, {},
                      0, "", {" Laborator clinic", " Operator lab"}},
        InterpretCase{"RunEndedByAnIdentifier", Lines({" LEU neg", "ID proba:5", "---", " GLU 5", "==="}),
                      0, {}, 1, "5/S_TRV: GLU=5", {" LEU neg"}},
        InterpretCase{"RunEndedByADashLine", Lines({" LEU neg", "---", " GLU 5", "==="}), 0, {}, 1,
                      " || 0/S_TRV: GLU=5", {" LEU neg"}},
        InterpretCase{"RunBehindABlockClosedByDashes", Lines({"---", "-", " LEU neg", "="}), 0, {}, 1,
                      " || 0/S_TRV: LEU=neg"},
        InterpretCase{"RunEndedByTheMessagesEnd", " LEU neg\r\n===\r\n GLU 5", 0, {}, 1,
                      " || 0/S_TRV: LEU=neg", {" GLU 5"}},
        InterpretCase{"TextEmptyAndOverLongLinesNeitherStartNorEndARun",
                      Lines({" A 1", "Lot: 7", "", " " + std::string(300, '='), " B 2", "===", " C 3",
                             "", "ID proba:4"}),
                      0, {}, 1, "4/S_TRV: || 0/S_TRV: A=1; B=2", {" C 3"}},
        InterpretCase{"ResultsAfterAnIdentifierWithoutDashesAreNotTheSamples",
                      Lines({"ID proba:7", " SG 1.005", " pH 6", kEquals}), 0, {}, 1,
                      "7/S_TRV: || 0/S_TRV: SG=1.005; pH=6"},
        InterpretCase{"AfterAClosingLineOnlyAnotherClosingLineEndsABlock",
                      Lines({"ID proba:7", kDashes, " A 1", kEquals, "Lot: C-2291", " LEU 75",
                             kEquals, " Observatii fara"}),
                      0, {}, 1, "7/S_TRV: A=1 || 0/S_TRV: LEU=75", {" Observatii fara"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Interpret, OnlyPositive32BitIdentifierValuesOpenASample) {
  const auto interpret = [](const std::string& identifier) {
    StrivexInterpretor interpretor;
    EXPECT_EQ(interpretor.Interpret(
                  Lines({"ID proba:5", kDashes, " A 1", identifier, kDashes, " B 2", kEquals}), 0,
                  0, {}),
              1);
    return Render(interpretor);
  };
  for (const char* unusable :
       {"ID proba:", "ID proba:abc", "ID proba:'7006", "ID proba:0", "ID proba:+0", "ID proba:-0",
        "ID proba:-7", "ID proba:2147483648", "ID proba:99999999999", "Sample ID:0002147483648",
        "Sample ID:- 5"}) {
    EXPECT_EQ(interpret(unusable), "5/S_TRV: A=1 || 0/S_TRV: B=2") << unusable;
  }
  for (const auto& [usable, id] : std::vector<std::pair<std::string, std::string>>{
           {"ID proba:7007;drop", "7007"}, {"ID proba:12:34", "12"}, {"ID proba: +42 x", "42"},
           {"ID proba:1e5", "1"}, {"ID proba:2147483647", "2147483647"},
           {"Sample ID:0002147483647", "2147483647"}, {"Sample ID:2147483646", "2147483646"}}) {
    EXPECT_EQ(interpret(usable), "5/S_TRV: A=1 | " + id + "/S_TRV: B=2") << usable;
  }
}

TEST(Interpret, ResultsCarryTheMessageTime) {
  LocalTime when;
  when.wYear = 2026;
  when.wMonth = 12;
  when.wDay = 7;
  ScopedClock clock(when);
  StrivexInterpretor interpretor;
  ASSERT_EQ(interpretor.Interpret(Lines({"ID proba:1", "--", " A 1", "==", "--", " B 2"}), 0, 0,
                                  {}),
            1);
  for (const SampleList* list : {&interpretor.Samples(), &interpretor.Unassigned()}) {
    ASSERT_EQ(list->size(), 1u);
    for (const ResultRecord& r : list->head()->groups.head()->results) {
      EXPECT_EQ(r.time, when);
      EXPECT_EQ(r.firstMarker, " ");
      EXPECT_EQ(r.secondMarker, " ");
      EXPECT_EQ(r.detailId, 0);
    }
  }
}

TEST(Interpret, TakenListLeavesInterpreterEmptyAndUntakenListIsFreed) {
  StrivexInterpretor interpretor;
  const std::string text =
      Lines({"ID proba:1", "ID proba:2", "ID proba:0", "-", " A 1", "=", "-", " B 2", "="});
  ASSERT_EQ(interpretor.Interpret(text, 0, 0, {}), 1);
  SampleList taken = interpretor.TakeSamples();
  EXPECT_EQ(taken.size(), 2u);
  EXPECT_TRUE(interpretor.Samples().empty());
  SampleList unassigned = interpretor.TakeUnassigned();
  EXPECT_EQ(Render(unassigned), "0/S_TRV: A=1 | 0/S_TRV: B=2");
  EXPECT_TRUE(interpretor.Unassigned().empty());
  // Left in the interpreter: freed by its destructor (ASan reports a leak otherwise).
  StrivexInterpretor other;
  other.Interpret(text, 0, 0, {});
}

TEST(Interpret, ReuseStartsFromEmptyLists) {
  StrivexInterpretor interpretor;
  interpretor.Interpret(Lines({" T 0", "ID proba:1", "-", " A 1", "=", "-", " B 2"}), 0, 0, {});
  EXPECT_EQ(interpretor.Interpret(Lines({"ID proba:2"}), 0, 0, {}), 1);
  EXPECT_EQ(Render(interpretor), "2/S_TRV:");
  EXPECT_TRUE(interpretor.Told().empty());
  EXPECT_EQ(interpretor.Interpret(Lines({"-", " C 3"}), 0, 0, {}), 1);
  EXPECT_EQ(Render(interpretor), " || 0/S_TRV: C=3; =");
}

TEST(Interpret, HostileBytesNeitherCrashNorLeak) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text.push_back(static_cast<char>((i * 7919) % 255 + 1));
  text += "\rID proba:4\r-\r \xFF\xFE \x80\r";
  StrivexInterpretor interpretor;
  interpretor.Interpret(text, 0, 0, {});
  SUCCEED();
}

TEST(Interpret, ManySamplesInOneMessage) {
  std::string text;
  for (int i = 1; i <= 20000; ++i) text += "ID proba:" + std::to_string(i) + "\r\n--\r\n A 1\r\n";
  StrivexInterpretor interpretor;
  ASSERT_EQ(interpretor.Interpret(text, 0, 0, {}), 1);
  EXPECT_EQ(interpretor.Samples().size(), 20000u);
  EXPECT_EQ(interpretor.Samples().tail()->requestId, 20000);
}

}  // namespace
}  // namespace strivex
