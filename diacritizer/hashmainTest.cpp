#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/HashTable.h"
#include "diacritizer/hashmain.h"
#include "foundation/TARNIException.h"

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

}  // namespace
