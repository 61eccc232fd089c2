#include "util/combo_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace strivex {
namespace {

const std::vector<std::string> kCups = {"Standard Cup", "Micro Cup", "Tube", "Standard Cup in Tube",
                                        "Micro Cup in Tube"};
const std::vector<std::string> kPorts = {"COM1", "COM10", "COM2"};

struct SearchCase {
  const char* name;
  const std::vector<std::string>* items;
  std::string prefix;
  int start;
  int expected;
};

class SelectByPrefixTest : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SelectByPrefixTest, FindsTheEntryAfterStartWrappingAround) {
  const SearchCase& c = GetParam();
  EXPECT_EQ(SelectByPrefix(*c.items, c.prefix, c.start), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectByPrefixTest,
    ::testing::Values(
        // The first entry is reached only after wrapping around.
        SearchCase{"standard_cup_reaches_in_tube_first", &kCups, "Standard Cup", 0, 3},
        SearchCase{"tube_exact", &kCups, "Tube", 0, 2},
        SearchCase{"case_ignored", &kCups, "tUBE", 0, 2},
        SearchCase{"micro_cup_reaches_plain_one_first", &kCups, "Micro Cup", 0, 1},
        SearchCase{"no_match", &kCups, "Cup", 0, -1},
        SearchCase{"longer_than_every_entry", &kCups, "Standard Cup in Tube!", 0, -1},
        SearchCase{"start_minus_one_searches_from_the_top", &kCups, "Standard Cup", -1, 0},
        SearchCase{"com1_before_com10_from_the_top", &kPorts, "COM1", -1, 0},
        SearchCase{"com1_after_start_0_is_com10", &kPorts, "COM1", 0, 1},
        SearchCase{"empty_prefix_takes_the_next_entry", &kPorts, "", 0, 1},
        SearchCase{"start_at_the_last_entry_wraps_to_the_first", &kPorts, "COM", 2, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SelectByPrefixTest, EmptyListSelectsNothing) {
  EXPECT_EQ(SelectByPrefix({}, "1", 0), -1);
}

}  // namespace
}  // namespace strivex
