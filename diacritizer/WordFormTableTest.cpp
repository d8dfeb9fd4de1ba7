#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/WordFormTable.h"
#include "diacritizer/hashmain.h"
#include "script/LexEnigneUtility.h"

namespace {

using urdulex::diactest::Record;
using urdulex::diactest::ScratchDirTest;
using urdulex::diactest::TableFile;
using urdulex::diactest::UnusedRecord;
using urdulex::diactest::Utf16;
using wordform::SkipReason;

const wchar_t kZabar = 0x064E, kZer = 0x0650, kPesh = 0x064F, kJazm = 0x0652,
              kShadda = 0x0651;
const wchar_t kLetters[] = {0x0627, 0x0628, 0x062A, 0x062F, 0x0631,
                            0x0633, 0x0644, 0x0645, 0x0646, 0x06A9};

// A random word that the builder can store: letters with at most one
// vowel or sukun each, sometimes a shadda before the vowel.
std::wstring RandomWord(std::mt19937& rng) {
  const wchar_t marks[] = {0, kZabar, kZer, kPesh, kJazm};
  std::wstring word;
  size_t letters = 1 + rng() % 4;
  for (size_t i = 0; i < letters; ++i) {
    word += kLetters[rng() % 3 + (i == 0 ? 0 : rng() % 7)];
    if (rng() % 6 == 0) word += kShadda;
    wchar_t mark = marks[rng() % 5];
    if (mark == kJazm && word.back() == kShadda) mark = kZabar;
    if (mark != 0) word += mark;
  }
  return word;
}

class WordFormTableTest : public ScratchDirTest {
 protected:
  void TearDown() override {
    wordFormHashTable.Deallocate();
    ScratchDirTest::TearDown();
  }
  void LoadBytes(const std::string& bytes) {
    ASSERT_TRUE(LoadWordFormHashTable(Write("t.lex", bytes)));
  }
  std::string CheckError(const std::string& bytes) {
    wordform::TableImage image;
    wordform::TableSummary summary;
    std::string error;
    EXPECT_TRUE(wordform::ParseTableImage(bytes, &image, &error)) << error;
    EXPECT_FALSE(wordform::CheckTableImage(image, &summary, &error));
    return error;
  }
};

// Whatever the load, every stored form is found by Search, the forms of a
// bare word in list order, and the table passes its own check.
TEST_F(WordFormTableTest, SearchFindsEveryFormInListOrder) {
  std::mt19937 rng(2024);
  LexEnigneUtility util;
  for (double load : {1.0, 0.8, 0.5}) {
    SCOPED_TRACE(load);
    wordform::WordFormTableBuilder builder;
    std::map<std::wstring, std::vector<std::string>> expected;
    for (uint32_t id = 0; id < 3000; ++id) {
      std::wstring word = RandomWord(rng);
      if (builder.Add(word, id, 0, 0) != SkipReason::kNone) continue;
      std::wstring bare;
      std::string symbols;
      util.SeparateSymbolicDiacritics(word, bare, symbols);
      expected[bare].push_back(symbols);
    }
    ASSERT_GT(builder.size(), 500u);
    std::string bytes, error;
    ASSERT_TRUE(builder.Build(builder.SlotsForLoad(load), &bytes, &error));

    wordform::TableImage image;
    wordform::TableSummary summary;
    ASSERT_TRUE(wordform::ParseTableImage(bytes, &image, &error)) << error;
    ASSERT_TRUE(wordform::CheckTableImage(image, &summary, &error)) << error;
    EXPECT_EQ(builder.size(), summary.records);

    LoadBytes(bytes);
    for (const auto& [bare, forms] : expected) {
      std::vector<WordFormHashNode> found;
      ASSERT_TRUE(wordFormHashTable.Search(bare, found));
      std::vector<std::string> got;
      for (const auto& node : found)
        got.push_back(node.data.symbolicDiacritics);
      ASSERT_EQ(forms, got);
    }
  }
}

TEST_F(WordFormTableTest, WordsThatCannotBeStored) {
  const std::wstring beh = {0x0628};
  struct {
    const char* name;
    std::wstring word;
    SkipReason reason;
  } cases[] = {
      {"marks only", {kZabar, kZer}, SkipReason::kNoLetters},
      {"two marks on a letter",
       {0x0628, kZabar, kJazm, 0x062A},
       SkipReason::kNotRestorable},
      {"sukun after shadda",
       {0x0628, kShadda, kJazm},
       SkipReason::kNotRestorable},
      {"combining maddah",
       {0x0627, 0x0653, 0x0645},
       SkipReason::kNotRestorable},
      {"key of 21 units", std::wstring(21, 0x0628), SkipReason::kLongKey},
      {"symbols over 20 bytes",
       [] {
         std::wstring w;
         for (int i = 0; i < 11; ++i) w += {0x0628, kShadda, kZabar};
         return w;
       }(),
       SkipReason::kLongSymbols},
      {"at sign", L"@ab", SkipReason::kAtSign},
      {"wide character", {0x0628, 0x1F600}, SkipReason::kWideCharacter},
      {"NUL", {0x0628, 0}, SkipReason::kWideCharacter},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    wordform::WordFormTableBuilder builder;
    EXPECT_EQ(c.reason, builder.Add(c.word, 0, 0, 0));
    EXPECT_EQ(0u, builder.size());
  }
  // Twenty units and twenty symbols fit; a repeat does not.
  wordform::WordFormTableBuilder builder;
  EXPECT_EQ(SkipReason::kNone, builder.Add(std::wstring(20, 0x0628), 0, 0, 0));
  std::wstring twenty;
  for (int i = 0; i < 10; ++i) twenty += {0x0628, kShadda, kZabar};
  EXPECT_EQ(SkipReason::kNone, builder.Add(twenty, 0, 0, 0));
  EXPECT_EQ(SkipReason::kDuplicate, builder.Add(twenty, 1, 0, 0));
  // A vowel typed before its shadda is the same word as the other order.
  EXPECT_EQ(SkipReason::kNone, builder.Add({0x0645, kPesh, 0x062D, kZabar,
                                            0x0628, kZabar, kShadda, 0x062A},
                                           0, 0, 0));
  EXPECT_EQ(SkipReason::kDuplicate,
            builder.Add({0x0645, kPesh, 0x062D, kZabar, 0x0628, kShadda, kZabar,
                         0x062A},
                        0, 0, 0));
  EXPECT_EQ(3u, builder.size());
}

TEST_F(WordFormTableTest, SlotCounts) {
  wordform::WordFormTableBuilder builder;
  std::string bytes, error;
  ASSERT_TRUE(builder.Build(builder.SlotsForLoad(0.8), &bytes, &error));
  EXPECT_EQ(2u + 4u + 70u, bytes.size());  // an empty list: one unused slot
  for (wchar_t c = 0x0628; c < 0x0628 + 8; ++c) {
    builder.Add(std::wstring(1, c), 0, 0, 0);
  }
  EXPECT_EQ(10, builder.SlotsForLoad(0.8));
  EXPECT_EQ(8, builder.SlotsForLoad(1.0));
  EXPECT_FALSE(builder.Build(7, &bytes, &error));
  EXPECT_EQ("7 slots cannot hold 8 forms", error);
  EXPECT_FALSE(builder.Build(wordform::kMaxTableSlots + 1LL, &bytes, &error));
  EXPECT_EQ("16777217 slots are more than the limit of 16777216", error);
  // A load so small that the slot count leaves every integer range still
  // asks for too many slots, never for a count Build would accept.
  for (double load : {1e-7, 1e-30, 1e-300, 4.9e-324}) {
    SCOPED_TRACE(load);
    EXPECT_GT(builder.SlotsForLoad(load), wordform::kMaxTableSlots);
    EXPECT_FALSE(builder.Build(builder.SlotsForLoad(load), &bytes, &error));
    EXPECT_NE(std::string::npos,
              error.find(" slots are more than the limit of 16777216"))
        << error;
  }
  ASSERT_TRUE(builder.Build(8, &bytes, &error));
  EXPECT_EQ(2u + 4u + 8u * 70u, bytes.size());
}

TEST_F(WordFormTableTest, ParseRejectsWhatTheLoaderCannotUse) {
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
    std::string error;
    EXPECT_FALSE(wordform::ParseTableImage(c.bytes, &image, &error));
    EXPECT_EQ(c.error, error);
  }
  wordform::TableImage image;
  std::string error;
  ASSERT_TRUE(wordform::ParseTableImage(
      TableFile({-1, 3, 9}, {Record(L"ab", "ZX", -2, 7, 1, 2)}), &image,
      &error));
  EXPECT_TRUE(image.extended_header);
  EXPECT_EQ(3, image.slots);
  ASSERT_EQ(1u, image.records.size());  // the slots past it are unused
  EXPECT_EQ(L"ab", image.records[0].key);
  EXPECT_EQ(7u, image.records[0].id);
}

TEST_F(WordFormTableTest, CheckNamesTheFirstFault) {
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
    std::string error;
    ASSERT_TRUE(
        wordform::ParseTableImage(TableFile({4}, sound), &image, &error));
    ASSERT_TRUE(wordform::CheckTableImage(image, &summary, &error)) << error;
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
TEST_F(WordFormTableTest, CheckFindsRecordsOffTheirHomeChain) {
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
    std::string error;
    ASSERT_TRUE(
        wordform::ParseTableImage(TableFile({slots}, records), &image, &error));
    const bool ok = wordform::CheckTableImage(image, &summary, &error);
    ASSERT_EQ(expected.empty(), ok) << "round " << round << ": " << error;
    if (!ok) {
      ASSERT_EQ(expected, error) << "round " << round;
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
  std::string error;
  ASSERT_TRUE(
      wordform::ParseTableImage(TableFile({slots}, records), &image, &error));
  ASSERT_TRUE(wordform::CheckTableImage(image, &summary, &error)) << error;
  EXPECT_EQ(static_cast<size_t>(slots), summary.records);
  EXPECT_EQ(static_cast<size_t>(slots), summary.longest_chain);
}

TEST_F(WordFormTableTest, DumpLinesStayOneLineOfUtf8) {
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

TEST_F(WordFormTableTest, DecodesListsInEitherEncoding) {
  std::vector<std::wstring> lines;
  std::string error;
  const std::wstring word = {0x0628, kZabar, 0x062A};
  ASSERT_TRUE(wordform::DecodeTextLines(
      "\xEF\xBB\xBF\xD8\xA8\xD9\x8E\xD8\xAA\r\n\nx", &lines, &error));
  EXPECT_EQ(std::vector<std::wstring>({word + L"\r", L"", L"x"}), lines);
  ASSERT_TRUE(wordform::DecodeTextLines(Utf16(word + L"\n"), &lines, &error));
  EXPECT_EQ(std::vector<std::wstring>({word}), lines);
  ASSERT_TRUE(wordform::DecodeTextLines(std::string("\xFE\xFF\x06\x28", 4),
                                        &lines, &error));
  EXPECT_EQ(std::vector<std::wstring>({{0x0628}}), lines);
  EXPECT_FALSE(wordform::DecodeTextLines("ok\n\xC0\xAF", &lines, &error));
  EXPECT_EQ("2: invalid UTF-8", error);
  EXPECT_FALSE(wordform::DecodeTextLines("\xE2\x82", &lines, &error));
  EXPECT_FALSE(wordform::DecodeTextLines("\xED\xA0\x80", &lines, &error));
}

// The tool and the program together.
class WordFormsToolTest : public ScratchDirTest {
 protected:
  static std::string Tool() { return std::string("'") + URDU_PATH + "' table"; }
  static std::string Diacritizer() {
    return std::string("'") + DIACRITIZER_PATH + "'";
  }
};

TEST_F(WordFormsToolTest, BuildDumpCheck) {
  Write("list.txt",
        "\xD9\x82\xD9\x8E\xD9\x84\xD9\x8E\xD9\x85\t7\t1\t2\n"  // qalam, id 7
        "\n"
        "\xD9\x85\xD9\x8F\xD9\x84\xD9\x92\xDA\xA9\n"      // mulk
        "\xD9\x85\xD9\x8E\xD9\x84\xD9\x8E\xDA\xA9\t-1\n"  // malak
        "\xD8\xA8\xD9\x8E\xD9\x92\xD8\xAA\n");            // two marks
  ASSERT_EQ(0, Run(Tool() + " build list.txt -o t.lex --slots 5"));
  EXPECT_EQ(
      "list.txt:5: \xD8\xA8\xD9\x8E\xD9\x92\xD8\xAA: not restorable\n"
      "urdu: 3 forms in 5 slots (load 0.6) written to t.lex; skipped 1, "
      "1 not restorable; 1 blank lines\n",
      stderr_);
  ASSERT_EQ(0, Run(Tool() + " check t.lex > check.out"));
  EXPECT_EQ("t.lex: 5 slots, 3 records, longest chain 2, load 0.600\n",
            Contents(Path("check.out")));
  // Flag 4 marks a less certain form, which --exclude-uncertain leaves out.
  Write("sure.txt",
        "\xD9\x82\xD9\x8E\xD9\x84\xD9\x8E\xD9\x85\t7\t1\t6\n"
        "\xD9\x85\xD9\x8F\xD9\x84\xD9\x92\xDA\xA9\t8\t1\t3\n");
  ASSERT_EQ(0, Run(Tool() + " build sure.txt -o s.lex --exclude-uncertain"));
  EXPECT_EQ(
      "urdu: 1 forms in 2 slots (load 0.5) written to s.lex; skipped 0; "
      "left out 1\n",
      stderr_);
  ASSERT_EQ(0, Run(Tool() + " dump t.lex > dump.out"));
  const std::string dump = Contents(Path("dump.out"));
  EXPECT_NE(
      std::string::npos,
      dump.find("\t\xD9\x82\xD9\x84\xD9\x85\tZZX\t"
                "\xD9\x82\xD9\x8E\xD9\x84\xD9\x8E\xD9\x85\t7\t1\t2\t-2\n"))
      << dump;
  EXPECT_NE(std::string::npos, dump.find("\tPJX\t")) << dump;
  // malak keeps the default id, tag and flag.
  EXPECT_NE(std::string::npos,
            dump.find("\tZZX\t\xD9\x85\xD9\x8E\xD9\x84\xD9\x8E\xDA\xA9"
                      "\t4294967295\t0\t0\t"))
      << dump;
  EXPECT_EQ(3, std::count(dump.begin(), dump.end(), '\n'));

  Write("list.txt", "\xD8\xA8\xD9\x8E\t12x\n");
  EXPECT_EQ(1, Run(Tool() + " build list.txt -o u.lex"));
  EXPECT_EQ("urdu: list.txt:1: id is not a number from -1 to 4294967295\n",
            stderr_);
  EXPECT_FALSE(Exists("u.lex"));
  Write("list.txt", "\xD8\xA8\xD9\x8E\t1\t256\n");
  EXPECT_EQ(1, Run(Tool() + " build list.txt -o u.lex"));
  EXPECT_EQ("urdu: list.txt:1: tag is not a number from 0 to 255\n", stderr_);
  Write("list.txt", "ok\n\xFF\n");
  EXPECT_EQ(1, Run(Tool() + " build list.txt -o u.lex"));
  EXPECT_EQ("urdu: list.txt:2: invalid UTF-8\n", stderr_);
  EXPECT_EQ(1, Run(Tool() + " build missing.txt -o u.lex"));
  EXPECT_EQ("urdu: cannot open missing.txt: No such file or directory\n",
            stderr_);
  EXPECT_FALSE(Exists("u.lex"));

  Write("bad.lex", TableFile({2}, {Record(L"a", "X", 5), UnusedRecord()}));
  EXPECT_EQ(1, Run(Tool() + " check bad.lex"));
  EXPECT_EQ(
      "urdu: bad.lex: slot 0 links to 5, outside the table of 2 "
      "slots\n",
      stderr_);
  EXPECT_EQ(1, Run(Tool() + " dump missing.lex"));

  for (const char* args :
       {"", "frob x", "build a.txt b.txt", "check a.lex b.lex", "dump --slots",
        "build list.txt -o t.lex --slots 0",
        "build list.txt -o t.lex --slots 5 --load 0.5"}) {
    SCOPED_TRACE(args);
    EXPECT_EQ(2, Run(Tool() + " " + args));
    EXPECT_EQ(1u, std::count(stderr_.begin(), stderr_.end(), '\n'));
  }
}

// Each word not stored is named with its line and reason, on standard
// error or in the --skipped file; a table is never written to a terminal.
TEST_F(WordFormsToolTest, SkippedWordsAreNamed) {
  const struct {
    const char* word;
    const char* reason;
  } cases[] = {
      {"\xD9\x8E\xD9\x90", "no letters"},                      // two marks
      {"\xD8\xA8\xD9\x8E\xD9\x92\xD8\xAA", "not restorable"},  // two on one
      {"\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8"
       "\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8"
       "\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8\xD8\xA8",
       "key over 20 units"},
      {"@\xD8\xA8", "key starting with @"},
      {"\xF0\x9F\x98\x80", "character outside 16 bits"},
      {"\xD8\xA8\xD9\x8E", "duplicate"},
  };
  std::string list = "\xD8\xA8\xD9\x8E\n";  // stored, then duplicated
  std::string expected;
  size_t line = 1;
  for (const auto& c : cases) {
    list += std::string("\n") + c.word + "\n";
    line += 2;
    expected += "list.txt:" + std::to_string(line) + ": " + c.word + ": " +
                c.reason + "\n";
  }
  Write("list.txt", list);
  ASSERT_EQ(0, Run(Tool() + " build list.txt -o t.lex"));
  EXPECT_EQ(0u, stderr_.find(expected + "urdu: 1 forms in ")) << stderr_;
  ASSERT_EQ(0, Run(Tool() + " build --skipped skipped.txt < list.txt > u.lex"));
  EXPECT_EQ(Contents(Path("t.lex")), Contents(Path("u.lex")));
  std::string from_stdin = expected;
  for (size_t at = 0;
       (at = from_stdin.find("list.txt:", at)) != std::string::npos;) {
    from_stdin.replace(at, 8, "standard input");
  }
  EXPECT_EQ(from_stdin, Contents(Path("skipped.txt")));
  EXPECT_EQ(1, std::count(stderr_.begin(), stderr_.end(), '\n')) << stderr_;

  // A terminal as the output is refused before the list is read.
  if (Run("command -v script > /dev/null") != 0) return;
  EXPECT_EQ(0, Run("script -qec \"" + Tool() +
                   " build list.txt; echo status \\$?\" /dev/null > tty.out"));
  EXPECT_NE(std::string::npos,
            Contents(Path("tty.out"))
                .find("urdu: table: will not write a binary table to a "
                      "terminal;"))
      << Contents(Path("tty.out"));
  EXPECT_NE(std::string::npos, Contents(Path("tty.out")).find("status 2"));
}

// A header of 2^24 slots over one record: check and dump cost the record,
// not the slots (once 3 GB and 1.3 GB).
TEST_F(WordFormsToolTest, CheckAndDumpCostTheRecordsNotTheSlots) {
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

// Every word of the shipped lexicon is stored, and the program gives back
// the first listed form of every bare word.
TEST_F(WordFormsToolTest, SampleLexiconRoundTrips) {
  const std::string list =
      std::string(URDULEX_SOURCE_DIR) + "/data/diacritizer/words.txt";
  ASSERT_EQ(0, Run(Tool() + " build '" + list + "' -o wordformshashtable.lex"));
  EXPECT_NE(std::string::npos, stderr_.find("; skipped 0")) << stderr_;
  ASSERT_EQ(0, Run(Tool() + " check wordformshashtable.lex"));

  std::vector<std::wstring> words;
  std::string error;
  ASSERT_TRUE(wordform::DecodeTextLines(Contents(list), &words, &error));
  ASSERT_GE(words.size(), 500u);
  // The word is the line's first field; id, tag and flag follow it.
  for (std::wstring& word : words) {
    word.erase(std::min(word.find(L'\t'), word.size()));
  }
  LexEnigneUtility util;
  std::map<std::wstring, std::wstring> first;
  std::wstring input, expected;
  for (const std::wstring& word : words) {
    std::wstring bare;
    std::string symbols;
    util.SeparateSymbolicDiacritics(word, bare, symbols);
    first.emplace(bare, util.MergeSymbolicDiacritics(bare, symbols));
  }
  for (const std::wstring& word : words) {
    std::wstring bare;
    std::string symbols;
    util.SeparateSymbolicDiacritics(word, bare, symbols);
    if (!input.empty()) {
      input += L"\r\n";
      expected += L"\r\n";
    }
    input += bare;
    expected += first[bare];
  }
  Write("in.txt", Utf16(input));
  ASSERT_EQ(0, Run(Diacritizer() + " in.txt out.txt")) << stderr_;
  EXPECT_EQ(Utf16(expected), Contents(Path("out.txt")));
}

}  // namespace
