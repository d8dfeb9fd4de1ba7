#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lexicon/LexiconTestUtil.h"
#include "lexicon/PartsOfSpeech.h"
#include "lexicon/Records.h"

namespace {

TEST(RecordsTest, DefaultsAndClear) {
  WordRef ref;
  EXPECT_TRUE((ref == WordRef{L"", 0, 0xFFFFFFFF}));
  ref = {L"\u0627", 5, 12};
  ref.Clear();
  EXPECT_TRUE(ref == WordRef());

  WordPro pro{L"a", L"b", "ZX"};
  pro.Clear();
  EXPECT_TRUE((pro == WordPro{L"", L"", ""}));

  const WordData data;
  EXPECT_EQ(0, data.flagA);
  EXPECT_EQ(1, data.flagB);
  EXPECT_EQ(0xFFFFFFFF, data.compound.wordRef.id);
  EXPECT_TRUE(data.list.empty() && data.partsOfSpeech.empty() &&
              data.wordRefsA.empty() && data.compoundRefs.empty());
  // The twin documents no default for its flags; here they start at 0.
  EXPECT_EQ(0, WordData_UZT().flagB);

  WordInfo info;
  EXPECT_TRUE((info == WordInfo{0xFFFFFFFF, L"", 0, 0, L"", {}}));
  info = {4, L"w", 1, 2, L"t", {SearchResult{L"r", 1, 1, L"x"}}};
  info.Clear();
  EXPECT_TRUE(info == WordInfo());
}

TEST(RecordsTest, CopiesAreDeepButPartsOfSpeechAreShared) {
  SubSense sense{{L"a"},
                 {L"b"},
                 {L"c"},
                 L"t",
                 {WordRef{L"w", 1, 2}},
                 {Example{L"x", L"y"}}};
  SubSense copy = sense;
  EXPECT_TRUE(copy == sense);
  copy.listC[0] = L"changed";
  copy.wordRefs[0].id = 3;
  copy.examples.clear();
  EXPECT_EQ(L"c", sense.listC[0]);
  EXPECT_EQ(2u, sense.wordRefs[0].id);
  EXPECT_EQ(1u, sense.examples.size());

  Noun noun;
  {
    WordData data;
    data.partsOfSpeech.push_back(&noun);
    WordData copy_of_data = data;
    EXPECT_EQ(&noun, copy_of_data.partsOfSpeech[0]);
  }
  noun.SetGender(2);  // still alive: the entry did not own it
  uint8_t gender = 0;
  noun.GetGender(gender);
  EXPECT_EQ(2, gender);
}

TEST(RecordsTest, PListCopyOwnsItsOwnArray) {
  PList list;
  list.count = 3;
  list.items = new uint32_t[3]{7, 0xFFFFFFFF, 9};
  {
    PList copy(list);
    ASSERT_EQ(3u, copy.count);
    EXPECT_NE(list.items, copy.items);
    EXPECT_EQ(std::vector<uint32_t>(list.items, list.items + 3),
              std::vector<uint32_t>(copy.items, copy.items + 3));
    copy.items[0] = 1;
  }
  EXPECT_EQ(7u, list.items[0]);

  PList empty;
  PList empty_copy(empty);
  EXPECT_EQ(0u, empty_copy.count);
}

}  // namespace
