#include "settings/ini_loader.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/message_box.h"
#include "support/temp_dir.h"

namespace strivex {
namespace {

using testing::TempDir;
using testing::WriteFile;

std::vector<std::pair<std::string, std::string>> Pairs(const std::vector<IniEntry>& entries) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const IniEntry& e : entries) pairs.emplace_back(e.name, e.value);
  return pairs;
}

struct ParseCase {
  const char* label;
  std::string text;
  std::vector<std::pair<std::string, std::string>> expected;
};

class IniLoaderParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(IniLoaderParse, GivesEntriesInFileOrder) {
  EXPECT_EQ(Pairs(ParseIniText(GetParam().text)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    IniLoaderText, IniLoaderParse,
    ::testing::Values(
        ParseCase{"CrLf", "TRANSLATE=1\r\nV1=NEG:negativ\r\n",
                  {{"TRANSLATE", "1"}, {"V1", "NEG:negativ"}}},
        ParseCase{"CrOnlyAndNoFinalLineEnd", "A=1\rB=2", {{"A", "1"}, {"B", "2"}}},
        // A lone LF is an ordinary byte: LF-only files are one line.
        ParseCase{"LfOnlyIsOneLine", "TRANSLATE=1\nV1=NEG:negativ\n",
                  {{"TRANSLATE", "1\nV1=NEG:negativ\n"}}},
        ParseCase{"OnlyOneLfBelongsToTheLineEnd", "A=1\r\n\nB=2", {{"A", "1"}, {"\nB", "2"}}},
        ParseCase{"SpacesAroundNameAndValue", "   NAME  =   va l  \r",
                  {{"NAME  ", "va l  "}}},
        ParseCase{"TabsAreNotSkipped", "\tA=\tb", {{"\tA", "\tb"}}},
        ParseCase{"ValueKeepsLaterEquals", "A==b=c", {{"A", "=b=c"}}},
        ParseCase{"NoEqualsGivesNameOnly", "  [TRANSLATE]\r;comment=x\r",
                  {{"[TRANSLATE]", ""}, {";comment", "x"}}},
        ParseCase{"SpacesOnlyLine", "   \rA=1", {{"", ""}, {"A", "1"}}},
        ParseCase{"EqualsAlone", "=\r=x", {{"", ""}, {"", "x"}}},
        ParseCase{"EmptyValueWithTrailingSpaces", "A=   \r", {{"A", ""}}},
        ParseCase{"EmptyLinesSkipped", "\r\r\nA=1\r\r\n\r", {{"A", "1"}}},
        ParseCase{"EmptyText", "", {}},
        ParseCase{"NulEndsTheText", std::string("A=1\rB=2\0C=3\r", 12), {{"A", "1"}, {"B", "2"}}},
        ParseCase{"NulInsideALine", std::string("A=xy\0z\rB=2", 10), {{"A", "xy"}}}),
    [](const auto& info) { return std::string(info.param.label); });

struct LimitCase {
  const char* label;
  std::string text;
  std::vector<std::string> names;
};

class IniLoaderLineLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(IniLoaderLineLimit, LongLineEndsTheReading) {
  std::vector<std::string> names;
  for (const IniEntry& e : ParseIniText(GetParam().text)) names.push_back(e.name);
  EXPECT_EQ(names, GetParam().names);
}

// A line "L=xxx..." of exactly `length` bytes.
std::string LineOf(size_t length) { return "L=" + std::string(length - 2, 'x'); }

INSTANTIATE_TEST_SUITE_P(
    IniLoaderLimits, IniLoaderLineLimit,
    ::testing::Values(
        LimitCase{"CrEnded1024Kept", "A=1\r" + LineOf(1024) + "\rB=2", {"A", "L", "B"}},
        LimitCase{"CrEnded1025Stops", "A=1\r" + LineOf(1025) + "\rB=2\r", {"A"}},
        LimitCase{"Last1023Kept", "A=1\r" + LineOf(1023), {"A", "L"}},
        LimitCase{"Last1024Dropped", "A=1\r" + LineOf(1024), {"A"}},
        LimitCase{"FirstLineTooLong", LineOf(2000) + "\r\nA=1\r\n", {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(IniLoaderParseText, LongNameAndValueKeptWhole) {
  const std::string name(300, 'N');
  const std::string value(1024 - 301, 'v');
  const auto entries = ParseIniText(name + "=" + value + "\r");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, name);
  EXPECT_EQ(entries[0].value, value);
}

class IniLoaderLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "t.ini",
              "translate=1\r\nTRANS=x\r\nKEY =spaced\r\nDup=first\r\nDUP=second\r\n"
              "\xe9t=lower\r\nM1x=mixed\r\n");
    ASSERT_TRUE(ini_.Load((dir_ / "t.ini").string()));
  }

  TempDir dir_;
  INILoader ini_;
};

TEST_F(IniLoaderLookup, MatchesWholeNamesIgnoringAsciiCase) {
  struct Case {
    const char* name;
    bool found;
    const char* value;
  };
  const Case cases[] = {
      {"TRANSLATE", true, "1"},   {"Translate", true, "1"}, {"TRANS", true, "x"},
      {"TRANSL", false, ""},      {"TRANSLATE1", false, ""}, {"KEY", false, ""},
      {"key ", true, "spaced"},   {"DUP", true, "first"},   {"m1X", true, "mixed"},
      {"\xc9T", false, ""},        {"\xe9T", true, "lower"}, {"", false, ""},
  };
  for (const Case& c : cases) {
    std::string value = "left over";
    EXPECT_EQ(ini_.GetValue(value, c.name), c.found) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
  }
}

TEST_F(IniLoaderLookup, NameMayViewTheOutput) {
  std::string value = "dup";
  EXPECT_TRUE(ini_.GetValue(value, value));
  EXPECT_EQ(value, "first");
}

TEST(IniLoaderLoad, ReadsRawBytesUpToNul) {
  TempDir dir;
  WriteFile(dir / "a.ini", std::string("A=1\r\nB=\xc2\xb5\n2\r\0C=3\r\n", 18));
  INILoader ini;
  ASSERT_TRUE(ini.Load((dir / "a.ini").string()));
  EXPECT_EQ(Pairs(ini.Entries()),
            (std::vector<std::pair<std::string, std::string>>{{"A", "1"}, {"B", "\xc2\xb5\n2"}}));
}

TEST(IniLoaderLoad, EmptyFileLoadsWithoutEntries) {
  TempDir dir;
  WriteFile(dir / "e.ini", "");
  platform::MessageBoxRecorder boxes;
  INILoader ini;
  EXPECT_TRUE(ini.Load((dir / "e.ini").string()));
  EXPECT_TRUE(ini.Entries().empty());
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST(IniLoaderLoad, MissingFileIsSilent) {
  TempDir dir;
  platform::MessageBoxRecorder boxes;
  INILoader ini;
  EXPECT_FALSE(ini.Load((dir / "none.ini").string()));
  EXPECT_FALSE(ini.Load((dir / "no-dir" / "none.ini").string()));
  EXPECT_TRUE(ini.Entries().empty());
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST(IniLoaderLoad, OtherLookupFailuresAreGivenToTheCaller) {
  TempDir dir;
  WriteFile(dir / "file.txt", "A=1\r\n");
  struct Case {
    std::string path;
    const char* message;
  };
  const Case cases[] = {
      {(dir / "file.txt" / "x.ini").string(), "Eroare: 20 la fuctia FindFirstFile"},
      {(dir / (std::string(300, 'n') + ".ini")).string(), "Eroare: 36 la fuctia FindFirstFile"},
  };
  for (const Case& c : cases) {
    platform::MessageBoxRecorder boxes;
    INILoader ini;
    EXPECT_FALSE(ini.Load(c.path));
    EXPECT_EQ(ini.Failure(), c.message);
    EXPECT_TRUE(boxes.Texts().empty());
  }
}

TEST(IniLoaderLoad, DirectoryIsNotAFile) {
  TempDir dir;
  std::filesystem::create_directory(dir / "d.ini");
  platform::MessageBoxRecorder boxes;
  INILoader ini;
  EXPECT_FALSE(ini.Load((dir / "d.ini").string()));
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST(IniLoaderLoad, FileThatCannotBeOpenedIsSilent) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads files without read permission";
  TempDir dir;
  WriteFile(dir / "u.ini", "A=1\r\n");
  chmod((dir / "u.ini").c_str(), 0);
  platform::MessageBoxRecorder boxes;
  INILoader ini;
  EXPECT_FALSE(ini.Load((dir / "u.ini").string()));
  EXPECT_TRUE(ini.Entries().empty());
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST(IniLoaderLoad, SecondLoadAddsBehindTheFirst) {
  TempDir dir;
  WriteFile(dir / "1.ini", "A=first\r\n");
  WriteFile(dir / "2.ini", "a=second\r\nB=2\r\n");
  INILoader ini;
  ASSERT_TRUE(ini.Load((dir / "1.ini").string()));
  ASSERT_TRUE(ini.Load((dir / "2.ini").string()));
  std::string value;
  EXPECT_TRUE(ini.GetValue(value, "A"));
  EXPECT_EQ(value, "first");
  EXPECT_TRUE(ini.GetValue(value, "B"));
  EXPECT_EQ(value, "2");
}

}  // namespace
}  // namespace strivex
