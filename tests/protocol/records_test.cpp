#include "protocol/records.h"

#include <gtest/gtest.h>

#include <vector>

namespace strivex {
namespace {

// Counts live nodes so that double frees and leaks show up as wrong counts (ASan catches the rest).
struct Node {
  static inline int alive = 0;
  explicit Node(int v) : value(v) { ++alive; }
  ~Node() {
    --alive;
    FreeChain(next);
  }
  int value;
  std::unique_ptr<Node> next;
};

std::vector<int> Values(const RecordList<Node>& list) {
  std::vector<int> out;
  for (const Node& n : list) out.push_back(n.value);
  return out;
}

TEST(RecordList, AppendsAtTailAndFreesEveryNodeOnce) {
  {
    RecordList<Node> list;
    EXPECT_TRUE(list.empty());
    Node& first = list.emplace_back(1);
    EXPECT_EQ(list.head(), &first);
    list.emplace_back(2);
    auto chain = std::make_unique<Node>(3);
    chain->next = std::make_unique<Node>(4);
    list.append(std::move(chain));
    list.emplace_back(5);
    EXPECT_EQ(Values(list), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(list.tail()->value, 5);
    EXPECT_EQ(Node::alive, 5);
  }
  EXPECT_EQ(Node::alive, 0);
}

TEST(RecordList, PopFrontAndMoveKeepTheTail) {
  RecordList<Node> list;
  list.emplace_back(1);
  list.emplace_back(2);
  auto first = list.pop_front();
  EXPECT_EQ(first->value, 1);
  EXPECT_EQ(first->next, nullptr);
  RecordList<Node> moved = std::move(list);
  EXPECT_TRUE(list.empty());  // NOLINT(bugprone-use-after-move): moved-from lists are empty
  moved.emplace_back(3);
  EXPECT_EQ(Values(moved), (std::vector<int>{2, 3}));
  moved.pop_front();
  moved.pop_front();
  EXPECT_TRUE(moved.empty());
  moved.emplace_back(4);  // the tail must not dangle after the list ran empty
  EXPECT_EQ(Values(moved), (std::vector<int>{4}));
  first.reset();
  moved.clear();
  EXPECT_EQ(Node::alive, 0);
}

TEST(RecordList, LongChainsAreFreedWithoutRecursion) {
  // Deep enough to overflow the stack if nodes were freed recursively.
  RecordList<Node> list;
  for (int i = 0; i < 1'000'000; ++i) list.emplace_back(i);
  list.clear();
  EXPECT_EQ(Node::alive, 0);

  auto loose = std::make_unique<Node>(0);
  Node* last = loose.get();
  for (int i = 1; i < 1'000'000; ++i) {
    last->next = std::make_unique<Node>(i);
    last = last->next.get();
  }
  loose.reset();
  EXPECT_EQ(Node::alive, 0);
}

TEST(Records, NewRecordsStartEmptyWithBlankMarkers) {
  LocalTime when;
  when.wYear = 2026;
  ResultRecord result(when);
  EXPECT_EQ(result.firstMarker, " ");
  EXPECT_EQ(result.secondMarker, " ");
  EXPECT_EQ(result.detailId, 0);
  EXPECT_EQ(result.time, when);

  SampleRecord sample;
  EXPECT_EQ(sample.requestId, 0);
  EXPECT_EQ(sample.cupType, kCupNone);
  EXPECT_TRUE(sample.groups.empty());
}

TEST(Records, SampleListOwnsGroupsAndResults) {
  SampleList samples;
  for (int s = 0; s < 3; ++s) {
    SampleRecord& sample = samples.emplace_back(100 + s);
    for (int g = 0; g < s; ++g) {
      GroupRecord& group = sample.groups.emplace_back("G" + std::to_string(g));
      for (int r = 0; r < g; ++r) group.results.emplace_back().parameterCode = "R";
    }
  }
  EXPECT_EQ(samples.size(), 3u);
  EXPECT_TRUE(samples.head()->groups.empty());  // a sample without groups is valid
  const GroupRecord& firstGroup = *samples.tail()->groups.head();
  EXPECT_TRUE(firstGroup.results.empty());  // so is a group without results
  EXPECT_EQ(samples.tail()->groups.tail()->results.size(), 1u);
  // Freed at scope end; ASan reports any leak or double free.
}

}  // namespace
}  // namespace strivex
