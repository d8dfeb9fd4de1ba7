#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/HashTable.h"
#include "diacritizer/WordFormExtent.h"
#include "diacritizer/WordFormIndex.h"
#include "diacritizer/WordFormLookup.h"
#include "diacritizer/hashmain.h"
#include "script/LexEnigneUtility.h"

namespace {

using urdulex::diactest::Record;
using urdulex::diactest::ScratchDirTest;
using urdulex::diactest::TableFile;
using urdulex::diactest::UnusedRecord;

// The index must answer exactly what Search and the merge would, first
// form and every form in chain order, on files with shared chains, repeated
// keys, '@' keys, chains that end in unused slots, homes that are empty,
// symbol strings of any bytes, and chains through the whole table.
class WordFormIndexTest : public ScratchDirTest {
 protected:
  void TearDown() override {
    wordFormHashTable.Deallocate();
    ScratchDirTest::TearDown();
  }
  bool Load(const std::string& bytes) {
    return LoadWordFormHashTable(Write("table.lex", bytes));
  }
  // Checks both kinds of index built from `bytes` against the loaded table
  // for every key; returns how many keys were found.
  int ExpectIndexAgrees(const std::string& bytes,
                        const std::vector<std::wstring>& keys) {
    WordFormTableFile file;
    std::string why;
    const std::string path = Write("r.lex", bytes);
    EXPECT_TRUE(ReadWordFormTableFile(path, &file, &why));
    WordFormIndex first, all;
    first.Build(file);
    all.Build(file, true);
    EXPECT_TRUE(Load(bytes));
    // The mapped lookups of a whole file: links checked at open, or as the
    // walks meet them, or the full index from the first walk of two slots;
    // and through the directory of the chains, with walks of any length or
    // of at most two slots (the index at once for chains longer than the
    // walks may go). Each with every form in its index, and without
    // (every form then from walks over the file).
    std::vector<std::unique_ptr<WordFormLookup>> lookups;
    const WordFormLookup::Limits limits[] = {
        {}, {0, WordFormLookup::kWalkSlots}, {0, 1}, {}, {0, 2}};
    for (size_t i = 0; CheckWordFormTableExtent(file, &why) && i < 10; ++i) {
      lookups.emplace_back(new WordFormLookup);
      EXPECT_EQ(WordFormLookup::Verdict::kOpen,
                lookups.back()->Open(path, i < 5, &why, limits[i % 5]));
      EXPECT_TRUE(lookups.back()->mapped());
      if (i % 5 < 3) continue;
      lookups.back()->Expect(static_cast<uint64_t>(file.slots));
      EXPECT_NE(WordFormLookup::Backend::kWalk, lookups.back()->backend());
    }
    int hits = 0;
    std::vector<WordFormIndex::Form> forms;
    for (const std::wstring& key : keys) {
      const std::vector<std::string> expected = TableAnswers(key);
      const std::string utf16 = urdulex::diactest::Utf16(key, false);
      const auto* p = reinterpret_cast<const unsigned char*>(utf16.data());
      const uint64_t hash = WordFormIndex::HashKey(p, key.size());
      for (const WordFormIndex* index : {&first, &all}) {
        size_t n = 0;
        const unsigned char* got = index->Find(p, key.size(), hash, &n);
        EXPECT_EQ(expected.empty() ? "-" : expected[0],
                  got == nullptr ? "-" : Text(got, n));
      }
      all.Forms(p, key.size(), hash, &forms);
      std::vector<std::string> listed;
      for (const WordFormIndex::Form& f : forms) {
        listed.push_back(Text(f.bytes, f.size));
      }
      EXPECT_EQ(expected, listed);
      for (const auto& lookup : lookups) {
        unsigned char room[WordFormLookup::RoomBytes(1)];
        const WordFormLookup::Answer got = lookup->Find(p, key.size(), room);
        EXPECT_EQ(expected.empty() ? "-" : expected[0],
                  got.form == nullptr ? "-" : Text(got.form, 2 * got.units));
        listed.clear();
        const WordFormLookup::Forms every = lookup->AllForms(p, key.size());
        for (const std::u16string& f : *every) {
          listed.push_back(Text(
              reinterpret_cast<const unsigned char*>(f.data()), 2 * f.size()));
        }
        EXPECT_EQ(expected, listed);
      }
      hits += !expected.empty();
    }
    return hits;
  }
  static std::string Text(const unsigned char* p, size_t n) {
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  // Every form Search finds, restored, as UTF-16LE bytes.
  static std::vector<std::string> TableAnswers(const std::wstring& key) {
    std::vector<WordFormHashNode> found;
    std::vector<std::string> out;
    if (!wordFormHashTable.Search(key, found)) return out;
    LexEnigneUtility util;
    for (const WordFormHashNode& node : found) {
      out.push_back(urdulex::diactest::Utf16(
          util.MergeSymbolicDiacritics(node.key, node.data.symbolicDiacritics),
          false));
    }
    return out;
  }
};

TEST_F(WordFormIndexTest, AgreesWithSearchOnRandomFiles) {
  std::mt19937 rng(12345);
  const wchar_t letters[] = {0x0627, 0x0628, 0x062A, 0x06A9,
                             L'@',   L' ',   0x200C, 0x0670};
  const char symbol_bytes[] = "ZRPJKDSMXQ\x7F\xFF";
  int hits = 0;
  for (int round = 0; round < 300; ++round) {
    const int slots = 1 + static_cast<int>(rng() % 40);
    WordFormHashTable homes;
    ASSERT_TRUE(homes.Allocate(slots, slots));
    // Links only go up a random ranking of the slots, so there are no
    // cycles; about half the records sit at their home slot.
    std::vector<int> rank(slots);
    for (int s = 0; s < slots; ++s) rank[s] = s;
    std::shuffle(rank.begin(), rank.end(), rng);
    std::vector<std::string> records(slots, UnusedRecord());
    std::vector<bool> used(slots, false);
    std::vector<std::wstring> keys;
    for (int n = 0; n < slots; ++n) {
      std::wstring key;
      size_t length = rng() % 8 == 0 ? 20 : rng() % 3;
      for (size_t i = 0; i < length; ++i) key += letters[rng() % 8];
      std::string symbols;
      for (size_t i = rng() % 8 == 0 ? 20 : rng() % 5; i > 0; --i) {
        symbols += symbol_bytes[rng() % 12];
      }
      int s = rng() % 2 == 0 ? static_cast<int>(homes.Hash(key))
                             : static_cast<int>(rng() % slots);
      if (used[s]) continue;
      int32_t next = -2;
      if (rng() % 3 != 0) {
        int target = static_cast<int>(rng() % slots);
        if (rank[target] > rank[s]) next = target;
      }
      used[s] = true;
      records[s] = Record(key, symbols, next);
      keys.push_back(key);
    }
    // Sometimes the file stops early: the slots after it are unused.
    records.resize(rng() % 4 == 0 ? rng() % (slots + 1) : slots);
    for (int extra = 0; extra < 5; ++extra) {
      keys.push_back(std::wstring(1, letters[rng() % 4]) + letters[rng() % 4]);
    }
    if (records.empty()) continue;  // a header alone does not load
    hits += ExpectIndexAgrees(TableFile({slots}, records), keys);
    ASSERT_FALSE(HasFailure()) << "round " << round;
  }
  EXPECT_GT(hits, 300);  // the files are not all misses
}

// The chains a build by walking from every home would pay for with a walk
// of most of the table per key: one chain through every slot with a home
// at each; and one home shared by every key, whose chain also carries
// several forms of some keys, records that merely pass through (their home
// is elsewhere, or they start with '@'), and is joined halfway by the
// chain of other homes; some records of the shared home sit off its chain.
TEST_F(WordFormIndexTest, AgreesWithSearchOnChainsThroughTheWholeTable) {
  const int slots = 3000;
  WordFormHashTable homes;
  ASSERT_TRUE(homes.Allocate(slots, slots));
  std::vector<std::wstring> keys;
  const std::vector<std::string> one_chain =
      urdulex::diactest::OneLongChain(homes, slots, "ZZZ", &keys);
  EXPECT_EQ(slots, ExpectIndexAgrees(TableFile({slots}, one_chain), keys));

  const uint32_t shared = 7;
  std::vector<std::wstring> sharing, others;
  for (wchar_t a = 0x0621; sharing.size() < 600; ++a) {
    for (wchar_t b = 0x0621; b < 0x0621 + 200; ++b) {
      for (wchar_t c = 0x0621; c < 0x0621 + 200; ++c) {
        const std::wstring key = {a, b, c};
        const uint32_t h = homes.Hash(key);
        if (h == shared) {
          sharing.push_back(key);
        } else if (others.size() < 300 && h > 2000 && h % 7 == 0) {
          others.push_back(key);
        }
      }
    }
  }
  std::mt19937 rng(3);
  std::vector<int> free_slots;
  for (int s = 0; s < slots; ++s) {
    if (s != static_cast<int>(shared)) free_slots.push_back(s);
  }
  std::shuffle(free_slots.begin(), free_slots.end(), rng);
  std::vector<std::string> records(slots, UnusedRecord());
  size_t taken = 0;
  auto take = [&]() {
    while (records[free_slots[taken]] != UnusedRecord()) ++taken;
    return free_slots[taken++];
  };
  // The shared home's chain: the home, then 1500 more records.
  std::vector<int> chain = {static_cast<int>(shared)};
  for (int i = 0; i < 1500; ++i) chain.push_back(take());
  const char* symbols[] = {"Z", "R", "P", "ZZ", "JK"};
  for (size_t i = 0; i < chain.size(); ++i) {
    const int32_t next = i + 1 < chain.size() ? chain[i + 1] : -2;
    std::wstring key = sharing[rng() % 500];
    if (i % 10 == 3) key = others[rng() % others.size()];
    if (i % 17 == 5) key = L"@" + key;
    records[chain[i]] = Record(key, symbols[rng() % 5], next);
  }
  // Other homes whose chains join it halfway, each two records long.
  for (size_t i = 0; i < 100; ++i) {
    const int h = static_cast<int>(homes.Hash(others[i]));
    if (records[h] != UnusedRecord()) continue;
    records[h] = Record(others[i], "R", -2);
    const int second = take();
    records[h] = Record(others[i], "R", second);
    records[second] = Record(others[i], "P", chain[750]);
  }
  // Records of the shared home off its chain are never found.
  for (int i = 0; i < 50; ++i) {
    records[take()] = Record(sharing[500 + i], "Z", -2);
  }
  std::vector<std::wstring> all = sharing;
  all.insert(all.end(), others.begin(), others.end());
  EXPECT_GT(ExpectIndexAgrees(TableFile({slots}, records), all), 400);
}

}  // namespace
