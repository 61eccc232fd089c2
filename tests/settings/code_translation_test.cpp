#include "settings/code_translation.h"

#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "platform/message_box.h"
#include "support/temp_dir.h"

namespace strivex {
namespace {

using testing::ScopedCurrentDir;
using testing::TempDir;
using testing::WriteFile;

TEST(CodeTranslationFileName, IsInstrumentNameWithIni) {
  EXPECT_EQ(CodeTranslationFileName("Strivex"), "Strivex.ini");
  EXPECT_EQ(CodeTranslationFileName("UA 200"), "UA 200.ini");
}

struct SplitCase {
  const char* label;
  std::string value;
  TranslationEntry expected;
};

class CodeTranslationSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CodeTranslationSplit, GivesFromAndTo) {
  EXPECT_EQ(SplitTranslationPair(GetParam().value), GetParam().expected);
}

const std::string k50(50, 'f');
const std::string k51(51, 'f');

INSTANTIATE_TEST_SUITE_P(
    CodeTranslationValues, CodeTranslationSplit,
    ::testing::Values(
        SplitCase{"Plain", "NEG:negativ", {"NEG", "negativ"}},
        SplitCase{"NoColon", "NEG", {"NEG", ""}},
        SplitCase{"SecondColonEndsTo", "a:b:c", {"a", "b"}},
        SplitCase{"LeadingSpacesSkippedInnerKept", "  NEG :  neg ", {"NEG ", "neg "}},
        SplitCase{"EmptyFrom", ":b", {"", "b"}},
        SplitCase{"EmptyToAtEnd", "a:", {"a", ""}},
        SplitCase{"EmptyToBetweenColons", "a::b", {"a", ""}},
        SplitCase{"Empty", "", {"", ""}},
        SplitCase{"FiftyCharactersKeptWhole", k50 + ":" + k50, {k50, k50}},
        SplitCase{"SpacesDoNotCountTowardsLimit", "   " + k50 + ":  " + k50, {k50, k50}},
        SplitCase{"LongToIsEmpty", "a:" + k51, {"a", ""}},
        SplitCase{"LongToBeforeSecondColon", "a:" + k51 + ":c", {"a", ""}},
        // The failed from-scan leaves the position at the start, so the to-scan fails too.
        SplitCase{"LongFromEmptiesBoth", k51 + ":b", {"", ""}}),
    [](const auto& info) { return std::string(info.param.label); });

struct FileCase {
  const char* label;
  std::string text;
  TranslationList translations;
  int32_t modifierId;
};

class CodeTranslationFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(CodeTranslationFile, GivesTranslationsAndModifier) {
  TempDir dir;
  ScopedCurrentDir cwd(dir.path());
  WriteFile(dir / "Strivex.ini", GetParam().text);
  const CodeTranslations loaded = LoadCodeTranslations(CodeTranslationFileName("Strivex"));
  EXPECT_TRUE(loaded.fileLoaded);
  EXPECT_EQ(loaded.translations, GetParam().translations);
  EXPECT_EQ(loaded.modifierId, GetParam().modifierId);
}

const std::string kPairs = "V1=NEG:negativ\r\nV2=POS:pozitiv\r\n";
const TranslationList kBoth = {{"NEG", "negativ"}, {"POS", "pozitiv"}};

INSTANTIATE_TEST_SUITE_P(
    CodeTranslationFiles, CodeTranslationFile,
    ::testing::Values(
        FileCase{"CrLf", "TRANSLATE=1\r\nV1=NEG:negativ\r\n", {{"NEG", "negativ"}}, 0},
        FileCase{"LfOnlyLeavesItOff", "TRANSLATE=1\nV1=NEG:negativ\n", {}, 0},
        FileCase{"LowerCaseNames", "translate=1\r\nv1=NEG:neg\r\n", {{"NEG", "neg"}}, 0},
        FileCase{"SpaceBeforeEqualsLeavesItOff", "TRANSLATE =1\r\n" + kPairs, {}, 0},
        FileCase{"SpaceAfterEquals", "TRANSLATE= 1\r\n" + kPairs, kBoth, 0},
        FileCase{"Zero", "TRANSLATE=0\r\n" + kPairs, {}, 0},
        FileCase{"LeadingZero", "TRANSLATE=01\r\n" + kPairs, {}, 0},
        FileCase{"TrailingSpace", "TRANSLATE=1 \r\n" + kPairs, {}, 0},
        FileCase{"EmptyValue", "TRANSLATE=\r\n" + kPairs, {}, 0},
        FileCase{"Absent", kPairs, {}, 0},
        FileCase{"OnWithoutPairs", "TRANSLATE=1\r\n", {}, 0},
        FileCase{"GapEndsList", "TRANSLATE=1\r\n" + kPairs + "V4=X:Y\r\n", kBoth, 0},
        FileCase{"NumberedOrderNotFileOrder",
                 "V2=POS:pozitiv\r\nTRANSLATE=1\r\nV1=NEG:negativ\r\n", kBoth, 0},
        FileCase{"NoPaddingOrZero", "TRANSLATE=1\r\nV0=A:B\r\nV01=C:D\r\n", {}, 0},
        FileCase{"DuplicateKeepsFirst", "TRANSLATE=1\r\nV1=A:B\r\nV1=C:D\r\n", {{"A", "B"}}, 0},
        FileCase{"EmptyPairValueStillCounts", "TRANSLATE=1\r\nV1=\r\nV2=A:B\r\n",
                 {{"", ""}, {"A", "B"}}, 0},
        FileCase{"ModifierWithoutTranslation", "MODIFICATORID=42\r\n" + kPairs, {}, 42},
        FileCase{"ModifierWithTranslation", "TRANSLATE=1\r\nV1=A:B\r\nMODIFICATORID=-7\r\n",
                 {{"A", "B"}}, -7},
        FileCase{"ModifierDigitsPrefix", "modificatorid=  12x\r\n", {}, 12},
        FileCase{"ModifierNotANumber", "MODIFICATORID=abc\r\n", {}, 0},
        FileCase{"ModifierSaturates", "MODIFICATORID=99999999999\r\n", {},
                 std::numeric_limits<int32_t>::max()},
        FileCase{"LongLineEndsTheFile",
                 "TRANSLATE=1\r\nV1=A:B\r\n" + std::string(1100, 'x') +
                     "\r\nV2=C:D\r\nMODIFICATORID=5\r\n",
                 {{"A", "B"}}, 0},
        FileCase{"EmptyFile", "", {}, 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CodeTranslationLoad, MissingFileGivesNothingSilently) {
  TempDir dir;
  ScopedCurrentDir cwd(dir.path());
  platform::MessageBoxRecorder boxes;
  const CodeTranslations loaded = LoadCodeTranslations(CodeTranslationFileName("Strivex"));
  EXPECT_FALSE(loaded.fileLoaded);
  EXPECT_TRUE(loaded.translations.empty());
  EXPECT_EQ(loaded.modifierId, 0);
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST(CodeTranslationLoad, LooksInTheCurrentDirectory) {
  TempDir dir;
  TempDir other;
  WriteFile(dir / "Strivex.ini", "MODIFICATORID=3\r\n");
  ScopedCurrentDir cwd(other.path());
  EXPECT_FALSE(LoadCodeTranslations(CodeTranslationFileName("Strivex")).fileLoaded);
}

TEST(CodeTranslationLoad, LookupFailureIsGivenForTheCallerToTellAndGivesNothing) {
  TempDir dir;
  WriteFile(dir / "file.txt", "TRANSLATE=1\r\n");
  platform::MessageBoxRecorder boxes;
  const CodeTranslations loaded = LoadCodeTranslations((dir / "file.txt" / "x.ini").string());
  EXPECT_FALSE(loaded.fileLoaded);
  EXPECT_TRUE(loaded.translations.empty());
  EXPECT_EQ(loaded.failure, "Eroare: 20 la fuctia FindFirstFile");
  EXPECT_TRUE(boxes.Texts().empty());
}

}  // namespace
}  // namespace strivex
