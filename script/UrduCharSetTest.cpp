#include <gtest/gtest.h>

#include <memory>

#include "script/UrduCharSet.h"

namespace {

constexpr unsigned short kNo = UniChar2IndexMap::kNoIndex;

TEST(UniChar2IndexMapTest, NewMapKnowsNothing) {
  UniChar2IndexMap map;
  for (int c = 0; c <= 0xFFFF; c += 251) {
    EXPECT_EQ(kNo, map.GetIndex(static_cast<wchar_t>(c))) << c;
  }
  EXPECT_EQ(0, map.GetTotalNumChars());
  EXPECT_EQ(0, map.GetAlphabetSize());
  EXPECT_EQ(0, map.GetNumValidChars());
}

TEST(UniChar2IndexMapTest, IndexesFollowInsertionWithoutDuplicateCheck) {
  UniChar2IndexMap map;
  EXPECT_TRUE(map.Insert(0x0627));
  EXPECT_TRUE(map.Insert(0x0628));
  EXPECT_EQ(0, map.GetIndex(0x0627));
  EXPECT_EQ(1, map.GetIndex(0x0628));
  EXPECT_EQ(2, map.GetTotalNumChars());
  // Same 256-code range, not inserted.
  EXPECT_EQ(kNo, map.GetIndex(0x0629));
  EXPECT_EQ(kNo, map.GetIndex(0x0727));

  map.Insert(0x0627);
  EXPECT_EQ(2, map.GetIndex(0x0627));
  EXPECT_EQ(3, map.GetTotalNumChars());
}

TEST(UniChar2IndexMapTest, OnlyTheLow16BitsTakePart) {
  UniChar2IndexMap map;
  map.Insert(0x0627);
  EXPECT_EQ(0, map.GetIndex(static_cast<wchar_t>(0x10627)));
  EXPECT_EQ(0, map.GetIndex(static_cast<wchar_t>(0x7FFF0627)));
  EXPECT_EQ(kNo, map.GetIndex(static_cast<wchar_t>(0x10628)));
  // Codes at both ends of the 16-bit range.
  map.Insert(0x0000);
  map.Insert(0xFFFF);
  EXPECT_EQ(1, map.GetIndex(0));
  EXPECT_EQ(2, map.GetIndex(0xFFFF));
}

TEST(UniChar2IndexMapTest, CopyIsDeepAndSurvivesClearOfTheSource) {
  auto source = std::make_unique<UniChar2IndexMap>();
  source->Insert(0x0627);
  source->Insert(0x0041);
  source->Insert(0x200C);
  source->SetAlphabetSize(40);
  source->SetNumValidChars(38);

  UniChar2IndexMap copy(*source);
  source->Clear();
  EXPECT_EQ(kNo, source->GetIndex(0x0627));
  EXPECT_EQ(0, source->GetTotalNumChars());
  EXPECT_EQ(0, source->GetAlphabetSize());
  EXPECT_EQ(0, source->GetNumValidChars());
  // Refilling the source touches nothing of the copy.
  source->Insert(0x0628);
  source.reset();

  EXPECT_EQ(0, copy.GetIndex(0x0627));
  EXPECT_EQ(1, copy.GetIndex(0x0041));
  EXPECT_EQ(2, copy.GetIndex(0x200C));
  EXPECT_EQ(kNo, copy.GetIndex(0x0628));
  EXPECT_EQ(3, copy.GetTotalNumChars());
  EXPECT_EQ(40, copy.GetAlphabetSize());
  EXPECT_EQ(38, copy.GetNumValidChars());
}

TEST(UniChar2IndexMapTest, ClearedMapCanBeFilledAgain) {
  UniChar2IndexMap map;
  map.Insert(0x0627);
  map.Insert(0x0628);
  map.Clear();
  map.Insert(0x0628);
  EXPECT_EQ(0, map.GetIndex(0x0628));
  EXPECT_EQ(kNo, map.GetIndex(0x0627));
  EXPECT_EQ(1, map.GetTotalNumChars());
}

}  // namespace
