#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/TableCheck.h"
#include "diacritizer/TableFormat.h"
#include "diacritizer/hashmain.h"

namespace {

using urdulex::diactest::Record;
using urdulex::diactest::ScratchDirTest;
using urdulex::diactest::TableFile;
using urdulex::diactest::UnusedRecord;

class TableCheckTest : public testing::Test {
 protected:
  static std::string CheckError(const std::string& bytes) {
    wordform::TableImage image;
    wordform::TableSummary summary;
    const wordform::Status parsed = wordform::ParseTableImage(bytes, &image);
    EXPECT_TRUE(parsed.ok()) << parsed.message();
    const wordform::Status checked = wordform::CheckTableImage(image, &summary);
    EXPECT_FALSE(checked.ok());
    return checked.message();
  }
};

TEST_F(TableCheckTest, ParseRejectsWhatTheLoaderCannotUse) {
  struct {
    std::string bytes;
    const char* error;
  } cases[] = {
      {"", "no byte-order mark FF FE"},
      {"\xFE\xFF\x01\x00\x00\x00", "no byte-order mark FF FE"},
      {"\xFF\xFE\x01\x00", "header cut short"},
      {TableFile({-1, 4}, {}), "extended header cut short"},
      {TableFile({-1, 4, 0}, {}), "extended header has a zero check word"},
      {TableFile({0}, {}), "header announces 0 slots"},
      {TableFile({-7}, {}), "header announces -7 slots"},
      {TableFile({0x7FFFFFFF}, {}),
       "header announces 2147483647 slots, more than the limit of 16777216"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    wordform::TableImage image;
    const wordform::Status parsed = wordform::ParseTableImage(c.bytes, &image);
    EXPECT_FALSE(parsed.ok());
    EXPECT_EQ(c.error, parsed.message());
  }
  wordform::TableImage image;
  ASSERT_TRUE(
      wordform::ParseTableImage(
          TableFile({-1, 3, 9}, {Record(L"ab", "ZX", -2, 7, 1, 2)}), &image)
          .ok());
  EXPECT_TRUE(image.extended_header);
  EXPECT_EQ(3, image.slots);
  ASSERT_EQ(1u, image.records.size());  // the slots past it are unused
  EXPECT_EQ(L"ab", image.records[0].key);
  EXPECT_EQ(7u, image.records[0].id);
}

TEST_F(TableCheckTest, CheckNamesTheFirstFault) {
  WordFormHashTable homes;
  ASSERT_TRUE(homes.Allocate(4, 4));
  // Two keys of different homes, and one more of the first key's home.
  std::wstring a, b, a2;
  for (wchar_t c = 0x0621; c < 0x0700 && (b.empty() || a2.empty()); ++c) {
    std::wstring key = {0x0628, c};
    if (a.empty()) {
      a = key;
    } else if (homes.Hash(key) == homes.Hash(a)) {
      if (a2.empty()) a2 = key;
    } else if (b.empty()) {
      b = key;
    }
  }
  const int ha = static_cast<int>(homes.Hash(a));
  const int hb = static_cast<int>(homes.Hash(b));
  std::vector<std::string> sound(4, UnusedRecord());
  sound[ha] = Record(a, "XX", -2);
  sound[hb] = Record(b, "XX", -2);
  {
    wordform::TableImage image;
    wordform::TableSummary summary;
    ASSERT_TRUE(wordform::ParseTableImage(TableFile({4}, sound), &image).ok());
    const wordform::Status checked = wordform::CheckTableImage(image, &summary);
    ASSERT_TRUE(checked.ok()) << checked.message();
    EXPECT_EQ(2u, summary.records);
    EXPECT_EQ(1u, summary.longest_chain);
  }
  EXPECT_EQ("5 bytes after the last whole record",
            CheckError(TableFile({4}, sound) + "12345"));
  // A header alone is a reading error for the loader, not an empty table.
  EXPECT_EQ("no record after the header", CheckError(TableFile({4}, {})));
  EXPECT_EQ("no record after the header",
            CheckError(TableFile({-1, 4, 1}, {})));
  std::vector<std::string> more = sound;
  more.push_back(UnusedRecord());
  EXPECT_EQ("5 records for 4 slots", CheckError(TableFile({4}, more)));

  std::vector<std::string> bad = sound;
  bad[ha] = Record(a, "XX", 4);
  EXPECT_EQ("slot " + std::to_string(ha) +
                " links to 4, outside the table of 4 slots",
            CheckError(TableFile({4}, bad)));
  bad[ha] = Record(a, "XX", -3);
  EXPECT_EQ("slot " + std::to_string(ha) +
                " links to -3, outside the table of 4 slots",
            CheckError(TableFile({4}, bad)));
  bad[ha] = Record(a, "XX", ha);
  EXPECT_EQ("slot " + std::to_string(ha) + " links to " + std::to_string(ha) +
                ", closing a cycle",
            CheckError(TableFile({4}, bad)));

  // The chain of a's home leads into a slot that holds no record.
  const int spare = [&] {
    for (int s = 0; s < 4; ++s) {
      if (s != ha && s != hb) return s;
    }
    return -1;
  }();
  bad = sound;
  bad[ha] = Record(a, "XX", spare);
  EXPECT_EQ("the chain through slot " + std::to_string(ha) +
                " runs into unused slot " + std::to_string(spare),
            CheckError(TableFile({4}, bad)));

  // a2 shares a's home but is parked on b's chain, where no search for it
  // looks.
  bad = sound;
  bad[hb] = Record(b, "XX", spare);
  bad[spare] = Record(a2, "XX", -2);
  EXPECT_EQ("slot " + std::to_string(spare) +
                " is not on the chain of its home slot " + std::to_string(ha),
            CheckError(TableFile({4}, bad)));
  // b's home holds nothing.
  bad = sound;
  bad[hb] = UnusedRecord();
  bad[spare] = Record(b, "XX", -2);
  EXPECT_EQ("slot " + std::to_string(spare) +
                " is not on the chain of its home slot " + std::to_string(hb) +
                ", which is unused",
            CheckError(TableFile({4}, bad)));
}

// Whether each record lies on its home's chain, checked against a plain
// walk from the home on random tables with shared chains, and on one chain
// through a large table whose records all share a home.
TEST_F(TableCheckTest, CheckFindsRecordsOffTheirHomeChain) {
  std::mt19937 rng(77);
  const std::wstring keys[] = {L"a", L"b", L"c", L"d", L"ab", L"ba", L"@a"};
  int sound = 0, faulty = 0;
  for (int round = 0; round < 400; ++round) {
    const int slots = 1 + static_cast<int>(rng() % 12);
    // Links only go up a random ranking of the slots: no cycles.
    std::vector<int> rank(slots);
    for (int i = 0; i < slots; ++i) rank[i] = i;
    std::shuffle(rank.begin(), rank.end(), rng);
    std::vector<std::wstring> key(slots);
    std::vector<int32_t> next(slots, -1);
    for (int i = 0; i < slots; ++i) {
      if (rng() % 4 == 0) continue;
      key[i] = keys[rng() % 7];
      next[i] = -2;
      int target = static_cast<int>(rng() % slots);
      if (rng() % 3 != 0 && rank[target] > rank[i]) next[i] = target;
    }
    // No chain may run into an unused slot: that fault is found first.
    for (int i = 0; i < slots; ++i) {
      if (next[i] >= 0 && next[next[i]] == -1) next[i] = -2;
    }
    std::vector<std::string> records;
    for (int i = 0; i < slots; ++i) {
      records.push_back(next[i] == -1 ? UnusedRecord()
                                      : Record(key[i], "X", next[i]));
    }
    WordFormHashTable homes;
    ASSERT_TRUE(homes.Allocate(slots, slots));
    std::string expected;
    for (int i = 0; i < slots && expected.empty(); ++i) {
      if (next[i] == -1 || key[i][0] == L'@') continue;
      const int h = static_cast<int>(homes.Hash(key[i]));
      if (next[h] == -1) {
        expected = "slot " + std::to_string(i) +
                   " is not on the chain of its home slot " +
                   std::to_string(h) + ", which is unused";
        break;
      }
      int at = h;
      while (at >= 0 && at != i) at = next[at];
      if (at != i) {
        expected = "slot " + std::to_string(i) +
                   " is not on the chain of its home slot " + std::to_string(h);
      }
    }
    wordform::TableImage image;
    wordform::TableSummary summary;
    ASSERT_TRUE(
        wordform::ParseTableImage(TableFile({slots}, records), &image).ok());
    const wordform::Status checked = wordform::CheckTableImage(image, &summary);
    const bool ok = checked.ok();
    ASSERT_EQ(expected.empty(), ok)
        << "round " << round << ": " << checked.message();
    if (!ok) {
      ASSERT_EQ(expected, checked.message()) << "round " << round;
    }
    ++(ok ? sound : faulty);
  }
  EXPECT_GT(sound, 50);
  EXPECT_GT(faulty, 50);

  // 100 000 records of one key on one chain that starts at their home.
  const int slots = 100000;
  WordFormHashTable homes;
  ASSERT_TRUE(homes.Allocate(slots, slots));
  const int h = static_cast<int>(homes.Hash(L"a"));
  std::vector<std::string> records(slots);
  int previous = h;
  for (int s = 0; s < slots; ++s) {
    if (s == h) continue;
    records[previous] = Record(L"a", "X", s);
    previous = s;
  }
  records[previous] = Record(L"a", "X", -2);
  wordform::TableImage image;
  wordform::TableSummary summary;
  ASSERT_TRUE(
      wordform::ParseTableImage(TableFile({slots}, records), &image).ok());
  const wordform::Status checked = wordform::CheckTableImage(image, &summary);
  ASSERT_TRUE(checked.ok()) << checked.message();
  EXPECT_EQ(static_cast<size_t>(slots), summary.records);
  EXPECT_EQ(static_cast<size_t>(slots), summary.longest_chain);
}

TEST_F(TableCheckTest, DumpLinesStayOneLineOfUtf8) {
  wordform::TableRecord record;
  record.key = {0x0628, 0x062A};
  record.symbols = "ZX";
  record.id = 7;
  record.tag = 1;
  record.flag = 2;
  record.next = -2;
  EXPECT_EQ("3\t\xD8\xA8\xD8\xAA\tZX\t\xD8\xA8\xD9\x8E\xD8\xAA\t7\t1\t2\t-2\n",
            wordform::DumpLine(3, record));
  // A damaged record: a line feed, a tab and a backslash in the key,
  // symbol bytes that are no text.
  record.key = {0x0628, L'\n', L'\t', L'\\'};
  record.symbols = "Z\n\xFF\\";
  record.id = 0xFFFFFFFFu;
  record.tag = 0;
  record.flag = 0;
  record.next = 5;
  EXPECT_EQ(
      "0\t\xD8\xA8\\u000A\\u0009\\u005C\tZ\\x0A\\xFF\\x5C\t"
      "\xD8\xA8\xD9\x8E\\u000A\\u0009\\u005C\t4294967295\t0\t0\t5\n",
      wordform::DumpLine(0, record));
}

// `urdu table check` and `dump`.
class TableCheckToolTest : public ScratchDirTest {
 protected:
  static std::string Tool() { return std::string("'") + URDU_PATH + "' table"; }
};

// A header of 2^24 slots over one record: check and dump cost the record,
// not the slots (once 3 GB and 1.3 GB).
TEST_F(TableCheckToolTest, CheckAndDumpCostTheRecordsNotTheSlots) {
  const std::wstring key = {0x5DA2, 0x068A};  // home slot 0 of 2^24
  ASSERT_EQ(0u, HomeSlotHash(wordform::kMaxTableSlots)(key.data(), 2));
  const std::string bytes =
      TableFile({-1, wordform::kMaxTableSlots, 1}, {Record(key, "XX", -2)});
  ASSERT_EQ(84u, bytes.size());
  Write("big.lex", bytes);
  const std::string cap = urdulex::test::MemoryCap(32000);
  ASSERT_EQ(0, Run(cap + Tool() + " check big.lex > check.out")) << stderr_;
  EXPECT_EQ("big.lex: 16777216 slots, 1 records, longest chain 1, load 0.000\n",
            Contents(Path("check.out")));
  ASSERT_EQ(0, Run(cap + Tool() + " dump big.lex > dump.out")) << stderr_;
  const std::string dump = Contents(Path("dump.out"));
  EXPECT_EQ(0u, dump.find("0\t")) << dump;
  EXPECT_EQ(1, std::count(dump.begin(), dump.end(), '\n'));
}

}  // namespace
