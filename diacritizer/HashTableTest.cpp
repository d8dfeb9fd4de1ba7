#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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
#include "foundation/TARNIException.h"
#include "script/LexEnigneUtility.h"

namespace {

using urdulex::diactest::Record;
using urdulex::diactest::ScratchDirTest;
using urdulex::diactest::TableFile;
using urdulex::diactest::UnusedRecord;

const std::wstring kAlefBeh = {0x0627, 0x0628};

// The hash as the file format defines it, one step at a time.
uint32_t ReferenceHash(const std::wstring& key, uint32_t m) {
  uint32_t h = 0, a = 31415, b = 27183;
  for (wchar_t c : key) {
    h = (a * h + static_cast<uint32_t>(c)) % m;
    a = (a * b) % (m - 1);
  }
  return h;
}

WordFormHashNode Node(const std::wstring& key, const std::string& symbols,
                      int32_t next, uint32_t id = 0xFFFFFFFFu) {
  WordFormHashNode node;
  node.key = key;
  node.data.symbolicDiacritics = symbols;
  node.data.id = id;
  node.next = next;
  return node;
}

std::vector<uint32_t> Ids(const std::vector<WordFormHashNode>& nodes) {
  std::vector<uint32_t> ids;
  for (const auto& n : nodes) ids.push_back(n.data.id);
  return ids;
}

TEST(HashTest, WorkedValues) {
  WordFormHashTable t;
  EXPECT_EQ(0u, t.Hash(L"ab"));  // no slots yet
  ASSERT_TRUE(t.Allocate(1000, 1000));
  EXPECT_EQ(139u, t.Hash(L"ab"));
  EXPECT_EQ(551u, t.Hash(kAlefBeh));
  EXPECT_EQ(0u, t.Hash(L""));
  ASSERT_TRUE(t.Allocate(200000, 200000));
  // 96356 would come out if the products did not wrap at 32 bits.
  EXPECT_EQ(97326u, t.Hash({0x06A9, 0x062A, 0x0627, 0x0628}));
}

TEST(HashTest, AgreesWithTheDefinitionForLongKeysAndAnyModulus) {
  std::mt19937 rng(7);
  const int32_t moduli[] = {2, 3, 7, 1000, 65521, 200000, 1 << 24, 0x7FFFFFFF};
  for (int32_t m : moduli) {
    WordFormHashTable t;
    // Allocate only a few slots and widen the modulus by hand, so large
    // moduli are tried without large arrays.
    ASSERT_TRUE(t.Allocate(m < 1000 ? m : 1000, m < 1000 ? m : 1000));
    t.modulus = m;
    t.tableSize = m;  // Hash reads only the sizes
    for (int n = 0; n < 200; ++n) {
      std::wstring key(static_cast<size_t>(rng() % 70), L'\0');
      for (wchar_t& c : key) c = static_cast<wchar_t>(rng() % 0x10000);
      ASSERT_EQ(ReferenceHash(key, static_cast<uint32_t>(m)), t.Hash(key))
          << "modulus " << m << " length " << key.size();
    }
    t.tableSize = m < 1000 ? m : 1000;
  }
  // The fast path prepared by Allocate must also be exact.
  for (int32_t m : {2, 3, 1000, 200000}) {
    WordFormHashTable t;
    ASSERT_TRUE(t.Allocate(m, m));
    for (int n = 0; n < 200; ++n) {
      std::wstring key(static_cast<size_t>(rng() % 70), L'\0');
      for (wchar_t& c : key) c = static_cast<wchar_t>(rng() % 0x10000);
      ASSERT_EQ(ReferenceHash(key, static_cast<uint32_t>(m)), t.Hash(key));
    }
  }
}

TEST(HashTest, ModulusOneSendsEveryKeyToSlotZero) {
  WordFormHashTable t;
  ASSERT_TRUE(t.Allocate(1, 1));
  EXPECT_EQ(0u, t.Hash(L"ab"));
  EXPECT_EQ(0u, t.Hash(kAlefBeh));
  ASSERT_TRUE(t.Allocate(4, 1));
  EXPECT_EQ(1, t.modulus);
  EXPECT_EQ(0u, t.Hash(L"a long key of many characters"));
  WordFormHashNode n = Node(L"ab", "XX", -2, 1);
  ASSERT_TRUE(t.SetNodeAtIndex(0, n));
  std::vector<WordFormHashNode> found;
  EXPECT_TRUE(t.Search(L"ab", found));
}

TEST(HashTableTest, AllocateAndDeallocate) {
  WordFormHashTable t;
  EXPECT_EQ(0, t.tableSize);
  EXPECT_EQ(0, t.modulus);
  EXPECT_EQ(0, t.extra1);
  EXPECT_EQ(-1, t.extra2);
  EXPECT_FALSE(t.Allocate(0, 5));
  EXPECT_FALSE(t.Allocate(5, 0));
  EXPECT_FALSE(t.Allocate(-3, -3));
  EXPECT_EQ(nullptr, t.nodes);

  ASSERT_TRUE(t.Allocate(5, 9));
  EXPECT_EQ(5, t.tableSize);
  EXPECT_EQ(5, t.modulus);  // capped at the slot count
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(t.nodes[i].key.empty());
    EXPECT_EQ(-1, t.nodes[i].next);
  }
  ASSERT_TRUE(t.Allocate(5, 3));
  EXPECT_EQ(3, t.modulus);

  WordFormHashNode n = Node(L"ab", "ZX", -2, 4);
  EXPECT_TRUE(t.SetNodeAtIndex(4, n));
  EXPECT_FALSE(t.SetNodeAtIndex(5, n));
  EXPECT_FALSE(t.SetNodeAtIndex(-1, n));
  EXPECT_EQ(L"ab", t.nodes[4].key);
  EXPECT_EQ(4u, t.nodes[4].data.id);

  // A failed Allocate still discards the old table; so does Deallocate,
  // which also drops the hooks.
  t.hashHook = [](const std::wstring&, int) { return 0u; };
  t.extra1 = 3;
  EXPECT_FALSE(t.Allocate(0, 0));
  EXPECT_EQ(nullptr, t.nodes);
  EXPECT_EQ(0, t.tableSize);
  EXPECT_EQ(0, t.extra1);
  EXPECT_FALSE(static_cast<bool>(t.hashHook));
  EXPECT_FALSE(t.SetNodeAtIndex(0, n));
}

// A table that holds only its first slots answers every search as the
// same table with all its slots, and grows when a later slot is set.
TEST(HashTableTest, HeldSlotsAnswerAsAllSlots) {
  std::mt19937 rng(5);
  const std::wstring keys[] = {L"a", L"b", L"ab", L"ba", L"@a", L""};
  for (int round = 0; round < 200; ++round) {
    const int slots = 1 + static_cast<int>(rng() % 9);
    const int held = static_cast<int>(rng() % (slots + 1));
    WordFormHashTable all, some;
    ASSERT_TRUE(all.Allocate(slots, slots));
    ASSERT_TRUE(some.AllocateHeld(slots, slots, held));
    EXPECT_EQ(held, some.HeldSlots());
    // Mostly the held slots are set, sometimes one past them.
    const int set = static_cast<int>(rng() % (slots + 1));
    for (int s = 0; s < set; ++s) {
      if (s >= held && rng() % 3 != 0) continue;
      const int32_t next = static_cast<int32_t>(rng() % (slots + 3)) - 2;
      WordFormHashNode n = Node(keys[rng() % 6], "X", next, s);
      ASSERT_TRUE(all.SetNodeAtIndex(s, n));
      ASSERT_TRUE(some.SetNodeAtIndex(s, n));
    }
    WordFormHashNode spare;
    EXPECT_FALSE(some.SetNodeAtIndex(slots, spare));
    for (const std::wstring& key : keys) {
      std::vector<WordFormHashNode> a, b;
      ASSERT_EQ(all.Search(key, a), some.Search(key, b)) << round;
      ASSERT_EQ(Ids(a), Ids(b)) << round;
    }
    for (int s = 0; s < slots; ++s) {
      EXPECT_EQ(all.nodes[s].next, some.Node(s).next);
    }
  }
}

// A table of `slots` slots whose records are placed by hand.
class SearchTest : public testing::Test {
 protected:
  void Make(int slots) { ASSERT_TRUE(t_.Allocate(slots, slots)); }
  void Put(int slot, const std::wstring& key, int32_t next, uint32_t id) {
    WordFormHashNode n = Node(key, "X", next, id);
    ASSERT_TRUE(t_.SetNodeAtIndex(slot, n));
  }
  // A key of two letters whose home slot is `home`.
  std::wstring KeyWithHome(unsigned home, wchar_t first = L'a') {
    for (wchar_t c = 0x0621; c < 0x0700; ++c) {
      std::wstring key = {first, c};
      if (t_.Hash(key) == home) return key;
    }
    ADD_FAILURE() << "no key for home " << home;
    return L"";
  }
  bool Search(const std::wstring& key) { return t_.Search(key, found_); }

  WordFormHashTable t_;
  std::vector<WordFormHashNode> found_;
};

TEST_F(SearchTest, ChainsRunThroughForeignSlotsInOrder) {
  Make(7);
  const std::wstring a = KeyWithHome(2), b = KeyWithHome(2, L'b'),
                     c = KeyWithHome(5);
  ASSERT_NE(a, b);
  // Chain of home 2: 2 -> 6 -> 0 -> 3; slot 5 is the home of c, whose chain
  // continues into 1.
  Put(2, a, 6, 10);
  Put(6, b, 0, 11);
  Put(0, a, 3, 12);
  Put(3, b, -2, 13);
  Put(5, c, 1, 14);
  Put(1, a, -2, 15);  // same key, but on the chain of another home

  EXPECT_TRUE(Search(a));
  EXPECT_EQ(std::vector<uint32_t>({10, 12}), Ids(found_));
  EXPECT_TRUE(Search(b));
  EXPECT_EQ(std::vector<uint32_t>({11, 13}), Ids(found_));
  EXPECT_TRUE(Search(c));
  EXPECT_EQ(std::vector<uint32_t>({14}), Ids(found_));
  // Found on a chain, but the chain is not its home's: not found.
  EXPECT_FALSE(Search(KeyWithHome(2, L'z')));
  EXPECT_TRUE(found_.empty());
}

TEST_F(SearchTest, UnusableKeysNeverMatch) {
  Make(3);
  // Every key lands on slot 0 with a hash hook; the chain holds an '@' key,
  // the empty key and a real one.
  t_.hashHook = [](const std::wstring&, int) { return 0u; };
  Put(0, L"@ab", 1, 1);
  Put(1, L"", 2, 2);
  Put(2, L"ab", -2, 3);
  EXPECT_FALSE(Search(L"@ab"));
  EXPECT_FALSE(Search(L""));
  EXPECT_TRUE(Search(L"ab"));
  EXPECT_EQ(std::vector<uint32_t>({3}), Ids(found_));
}

TEST_F(SearchTest, CompareHookReplacesEquality) {
  Make(2);
  t_.hashHook = [](const std::wstring&, int) { return 1u; };
  t_.compareHook = [](const std::wstring& slot, const std::wstring& key) {
    return slot.size() == key.size();
  };
  Put(1, L"xy", -2, 7);
  EXPECT_TRUE(Search(L"ab"));
  EXPECT_EQ(L"xy", found_[0].key);
}

TEST_F(SearchTest, UnusedSlotsEndTheSearchWithFalse) {
  Make(5);
  const std::wstring a = KeyWithHome(1);
  // Home slot unused: false at once.
  EXPECT_FALSE(Search(a));
  // A chain that runs into an unused slot after a match: false, but the
  // match already collected stays in the results.
  Put(1, a, 4, 1);
  EXPECT_FALSE(Search(a));
  EXPECT_EQ(std::vector<uint32_t>({1}), Ids(found_));
  t_.nodes[4].next = -2;
  EXPECT_TRUE(Search(a));
}

TEST_F(SearchTest, CorruptLinksNeitherCrashNorHang) {
  Make(4);
  const std::wstring a = KeyWithHome(0);
  Put(0, a, 99, 1);  // out of range
  EXPECT_FALSE(Search(a));
  Put(0, a, -7, 1);  // below -2
  EXPECT_FALSE(Search(a));
  Put(0, a, 2, 1);  // 0 -> 2 -> 3 -> 2 -> ...
  Put(2, L"x", 3, 2);
  Put(3, L"y", 2, 3);
  EXPECT_FALSE(Search(a));
  // A hash hook that answers past the end of the table.
  t_.hashHook = [](const std::wstring&, int) { return 1000u; };
  EXPECT_FALSE(Search(a));
  EXPECT_FALSE(WordFormHashTable().Search(a, found_));
}

class LoaderTest : public ScratchDirTest {
 protected:
  void TearDown() override {
    wordFormHashTable.Deallocate();
    ScratchDirTest::TearDown();
  }
  bool Load(const std::string& bytes, std::string* why = nullptr) {
    return LoadWordFormHashTable(Write("table.lex", bytes), why);
  }
  // Loads `bytes` expecting an exception of type E; returns its report.
  template <typename E>
  std::string LoadFails(const std::string& bytes) {
    try {
      Load(bytes);
    } catch (E& e) {
      EXPECT_EQ("hashmain", e.GetFileName());
      EXPECT_GT(e.GetLineNum(), 0);
      return e.GetExceptionMsg();
    } catch (...) {
      ADD_FAILURE() << "another exception";
      return "";
    }
    ADD_FAILURE() << "no exception";
    return "";
  }
  const WordFormHashNode& Slot(int i) { return wordFormHashTable.Node(i); }
};

TEST_F(LoaderTest, TheSmallExampleFile) {
  const std::string bytes =
      TableFile({2}, {Record(kAlefBeh, "ZX", -2, 42, 3, 1), UnusedRecord()});
  ASSERT_EQ(146u, bytes.size());
  ASSERT_TRUE(Load(bytes));
  EXPECT_EQ(2, wordFormHashTable.tableSize);
  EXPECT_EQ(2, wordFormHashTable.modulus);
  EXPECT_EQ(0u, wordFormHashTable.Hash(kAlefBeh));
  std::vector<WordFormHashNode> found;
  ASSERT_TRUE(wordFormHashTable.Search(kAlefBeh, found));
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("ZX", found[0].data.symbolicDiacritics);
  EXPECT_EQ(42u, found[0].data.id);
  EXPECT_EQ(3, found[0].data.tag);
  EXPECT_EQ(1, found[0].data.flag);
  EXPECT_EQ(-1, Slot(1).next);
  std::wstring result;
  EXPECT_TRUE(isValidWord(L" \t" + kAlefBeh + L"\r", result));
  EXPECT_EQ(std::wstring({0x0627, 0x064E, 0x0628}), result);
  EXPECT_FALSE(isValidWord(L"  xyz\r", result));
  EXPECT_EQ(L"xyz", result);
}

TEST_F(LoaderTest, RecordCountsAgainstSlotCount) {
  // More records than slots: the surplus is dropped.
  ASSERT_TRUE(
      Load(TableFile({3}, {Record(L"a", "X", -2), Record(L"b", "X", -2),
                           Record(L"c", "X", -2), Record(L"d", "X", -2)})));
  EXPECT_EQ(3, wordFormHashTable.tableSize);
  EXPECT_EQ(L"c", Slot(2).key);
  // Fewer: the rest stay unused. A record cut short is dropped.
  std::string sparse = TableFile(
      {5}, {Record(L"a", "X", -2), Record(L"b", "X", -2), Record(L"c", "X", -2),
            Record(L"d", "X", -2).substr(0, 50)});
  ASSERT_TRUE(Load(sparse));
  EXPECT_EQ(5, wordFormHashTable.tableSize);
  EXPECT_EQ(L"c", Slot(2).key);
  EXPECT_TRUE(Slot(3).key.empty());
  EXPECT_EQ(-1, Slot(3).next);
  EXPECT_EQ(-1, Slot(4).next);
  // A large sparse table within the limit is fine, and holds its records
  // only.
  ASSERT_TRUE(Load(TableFile({1 << 24}, {Record(L"a", "X", -2)})));
  EXPECT_EQ(1 << 24, wordFormHashTable.tableSize);
  EXPECT_EQ(1, wordFormHashTable.HeldSlots());
}

TEST_F(LoaderTest, ExtendedHeader) {
  ASSERT_TRUE(Load(TableFile({-1, 5, 7}, {Record(L"a", "X", -2)})));
  EXPECT_EQ(5, wordFormHashTable.tableSize);
  EXPECT_EQ(5, wordFormHashTable.modulus);
  EXPECT_EQ(L"a", Slot(0).key);
}

TEST_F(LoaderTest, FullWidthFieldsAreKeptWhole) {
  const std::wstring key(20, 0x0628);
  const std::string symbols = "ZRPJXZRPJXZRPJXZRPJX";
  ASSERT_TRUE(Load(TableFile({1}, {Record(key, symbols, -2, 5)})));
  EXPECT_EQ(key, Slot(0).key);
  EXPECT_EQ(symbols, Slot(0).data.symbolicDiacritics);
  EXPECT_EQ(5u, Slot(0).data.id);  // the id right after is not swallowed
}

// The old table goes only where a new one would be allocated: once the
// header has announced a slot count.
TEST_F(LoaderTest, FailedLoadsKeepTheTableUntilTheHeaderIsRead) {
  const std::string record = Record(L"a", "X", -2);
  struct {
    std::string bytes;   // empty: no such file
    const char* reason;  // of a false result; empty when it throws
    bool kept;
  } cases[] = {
      {"", "", true},
      {"\xFE\xFF\x01\x00\x00\x00", "", true},
      {"\xFF\xFE", "The table header announces no slots.", true},
      {TableFile({0}, {record}), "The table header announces no slots.", true},
      {TableFile({-1, 0, 7}, {record}),
       "The extended header announces no slots.", true},
      {TableFile({-1, 5, 0}, {record}),
       "The extended header's check word is zero.", true},
      {TableFile({-1, 5}, {}), "", true},
      {TableFile({-5}, {record}), "The table header announces -5 slots.",
       false},
      {TableFile({2}, {}), "", false},
      {TableFile({0x7FFFFFFF}, {record}), "", false},
      {TableFile({3}, {Record(L"b", "X", 9)}), "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    ASSERT_TRUE(Load(TableFile({1}, {record})));
    const std::string name =
        c.bytes.empty() ? Path("missing.lex") : Write("table.lex", c.bytes);
    std::string why;
    bool thrown = false;
    try {
      EXPECT_FALSE(LoadWordFormHashTable(name, &why));
    } catch (const TARNIException&) {
      thrown = true;
    }
    EXPECT_EQ(*c.reason == '\0', thrown);
    EXPECT_EQ(c.reason, why);
    std::vector<WordFormHashNode> found;
    EXPECT_EQ(c.kept, wordFormHashTable.Search(L"a", found));
    EXPECT_EQ(c.kept ? 1 : 0, wordFormHashTable.tableSize);
  }
}

TEST_F(LoaderTest, FilesThatCannotBeOpened) {
  EXPECT_EQ("Could not open file: " + Path("missing.lex") +
                ". Hash table file could not be opened.",
            [&] {
              try {
                LoadWordFormHashTable(Path("missing.lex"));
              } catch (IOException& e) {
                EXPECT_EQ(kErrorFileOpen, e.GetErrorCode());
                EXPECT_EQ("hashmain", e.GetFileName());
                return e.GetExceptionMsg();
              }
              return std::string();
            }());
  EXPECT_EQ("File is not Unicode based. Hash table file could not be opened.",
            LoadFails<IOException>("\xFE\xFF\x01\x00\x00\x00"));
}

TEST_F(LoaderTest, FilesCutShort) {
  // A header and no record.
  EXPECT_EQ("End of file encountered. Hash table reading problem occurred.",
            LoadFails<IOException>(TableFile({2}, {})));
  EXPECT_EQ(nullptr, wordFormHashTable.nodes);
  // An extended header that stops after the slot count.
  EXPECT_EQ(
      "The extended header ends after the slot count. Hash table reading "
      "problem occurred.",
      LoadFails<IOException>(TableFile({-1, 5}, {})));
}

TEST_F(LoaderTest, HugeSlotCountsAreRefusedBeforeAllocating) {
  std::string bytes = TableFile({0x7FFFFFFF}, {});
  bytes.resize(100, 'x');
  EXPECT_EQ(
      "The table header announces 2147483647 slots, more than the limit "
      "of 16777216.",
      LoadFails<InvalidFormatException>(bytes));
  EXPECT_EQ(nullptr, wordFormHashTable.nodes);
  EXPECT_EQ(
      "The table header announces 16777217 slots, more than the limit of "
      "16777216.",
      LoadFails<InvalidFormatException>(
          TableFile({-1, (1 << 24) + 1, 1}, {Record(L"a", "X", -2)})));
}

TEST_F(LoaderTest, BadLinksAreRejectedWithSlotAndLink) {
  EXPECT_EQ("Slot 1 links to 9, outside the table of 3 slots.",
            LoadFails<InvalidFormatException>(
                TableFile({3}, {Record(L"a", "X", -2), Record(L"b", "X", 9)})));
  EXPECT_EQ(nullptr, wordFormHashTable.nodes);
  EXPECT_EQ("Slot 0 links to -3, outside the table of 3 slots.",
            LoadFails<InvalidFormatException>(
                TableFile({3}, {Record(L"a", "X", -3)})));
  // 0 -> 2 -> 1 -> 2
  EXPECT_EQ("Slot 1 links to 2, closing a cycle.",
            LoadFails<InvalidFormatException>(
                TableFile({4}, {Record(L"a", "X", 2), Record(L"b", "X", 2),
                                Record(L"c", "X", 1), Record(L"d", "X", -2)})));
  EXPECT_EQ("Slot 3 links to 3, closing a cycle.",
            LoadFails<InvalidFormatException>(
                TableFile({4}, {Record(L"a", "X", -2), UnusedRecord(),
                                UnusedRecord(), Record(L"d", "X", 3)})));
  EXPECT_EQ(nullptr, wordFormHashTable.nodes);
}

TEST_F(LoaderTest, ASecondLoadReplacesTheFirst) {
  ASSERT_TRUE(
      Load(TableFile({2}, {Record(kAlefBeh, "ZX", -2), UnusedRecord()})));
  ASSERT_TRUE(Load(TableFile({3}, {Record(L"q", "X", -2)})));
  EXPECT_EQ(3, wordFormHashTable.tableSize);
  std::wstring result;
  EXPECT_FALSE(isValidWord(kAlefBeh, result));
}

// The index must answer exactly what Search and the merge would, first
// form and every form in chain order, on files with shared chains, repeated
// keys, '@' keys, chains that end in unused slots, homes that are empty,
// symbol strings of any bytes, and chains through the whole table.
class WordFormIndexTest : public LoaderTest {
 protected:
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
    // of at most two slots.
    std::vector<std::unique_ptr<WordFormLookup>> lookups;
    const WordFormLookup::Limits limits[] = {
        {}, {0, WordFormLookup::kWalkSlots}, {0, 1}, {}, {0, 2}};
    for (size_t i = 0; CheckWordFormTableExtent(file, &why) && i < 5; ++i) {
      lookups.emplace_back(new WordFormLookup);
      EXPECT_EQ(WordFormLookup::Verdict::kOpen,
                lookups.back()->Open(path, true, &why, limits[i]));
      EXPECT_TRUE(lookups.back()->mapped());
      if (i >= 3) lookups.back()->UseDirectory();
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
        unsigned char room[2 * WordFormLookup::kMaxFormUnits];
        size_t n = 0;
        const unsigned char* got =
            lookup->Find(p, key.size(), lookup->Hash(p, key.size()), room, &n);
        EXPECT_EQ(expected.empty() ? "-" : expected[0],
                  got == nullptr ? "-" : Text(got, n));
        std::vector<std::u16string> every;
        lookup->Forms(p, key.size(), &every);
        listed.clear();
        for (const std::u16string& f : every) {
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
