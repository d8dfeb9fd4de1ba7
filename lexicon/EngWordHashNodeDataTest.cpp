#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "lexicon/EngWordHashNodeData.h"

namespace {

using Pairs = std::vector<std::pair<uint32_t, int>>;

Pairs Contents(const std::vector<RefIDWithPOS>& list) {
  Pairs out;
  for (const RefIDWithPOS& r : list) out.emplace_back(r.refID, r.pos);
  return out;
}

// An operation: insert (id, pos), or delete id when pos is -1.
struct Op {
  uint32_t id;
  int pos;
};

struct Case {
  const char* what;
  std::vector<Op> ops;
  Pairs expected;
};

const Case kCases[] = {
    {"one into empty", {{5, 1}}, {{5, 1}}},
    {"sorted", {{7, 1}, {3, 2}, {5, 4}}, {{3, 2}, {5, 4}, {7, 1}}},
    {"merged", {{5, 1}, {5, 4}, {5, 0}}, {{5, 5}}},
    {"unsigned order",
     {{0xFFFFFFFF, 1}, {0, 1}, {0x80000000, 1}},
     {{0, 1}, {0x80000000, 1}, {0xFFFFFFFF, 1}}},
    {"delete absent",
     {{3, 1}, {5, 1}, {7, 1}, {4, -1}, {9, -1}},
     {{3, 1}, {5, 1}, {7, 1}}},
    {"delete", {{3, 1}, {5, 6}, {7, 1}, {5, -1}, {3, -1}}, {{7, 1}}},
    {"delete from empty", {{5, -1}}, {}},
    {"delete then insert", {{5, 1}, {5, -1}, {5, 2}}, {{5, 2}}},
};

TEST(EngWordHashNodeDataTest, ListsStaySortedAndMerged) {
  for (const Case& c : kCases) {
    EngWordHashNodeData exact, gloss;
    for (const Op& op : c.ops) {
      if (op.pos < 0) {
        exact.DeleteFromExactWords(op.id);
        gloss.DeleteFromGlossWords(op.id);
      } else {
        const RefIDWithPOS item{op.id, static_cast<uint8_t>(op.pos)};
        exact.InsertIntoExactWords(item);
        gloss.InsertIntoGlossWords(item);
      }
    }
    EXPECT_EQ(c.expected, Contents(exact.exactWords)) << c.what;
    EXPECT_EQ(c.expected, Contents(gloss.glossWords)) << c.what;
    EXPECT_TRUE(exact.glossWords.empty() && gloss.exactWords.empty());
  }
}

}  // namespace
