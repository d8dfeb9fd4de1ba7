// End-to-end tests: the built diacritizer runs in a scratch directory on
// table and input files made here, and its output is compared byte by byte.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/HashTable.h"
#include "diacritizer/WordFormLookup.h"
#include "diacritizer/hashmain.h"

namespace {

using urdulex::diactest::Record;
using urdulex::diactest::ScratchDirTest;
using urdulex::diactest::TableFile;
using urdulex::diactest::UnusedRecord;
using urdulex::diactest::Utf16;

const wchar_t kZabar = 0x064E, kZer = 0x0650, kPesh = 0x064F, kShadda = 0x0651;

// Bare words and the forms the test table stores for them.
const std::wstring kKitab = {0x06A9, 0x062A, 0x0627, 0x0628};
const std::wstring kKitabFull = {0x06A9, kZer, 0x062A, 0x0627, 0x0628};
const std::wstring kQalam = {0x0642, 0x0644, 0x0645};
const std::wstring kQalamFull = {0x0642, kZabar, 0x0644, kZabar, 0x0645};
const std::wstring kMulk = {0x0645, 0x0644, 0x06A9};
const std::wstring kMulkFirst = {0x0645, kPesh, 0x0644, 0x0652, 0x06A9};
const std::wstring kAbba = {0x0627, 0x0628, 0x0627};
const std::wstring kAbbaFull = {0x0627,  kZabar, 0x0628,
                                kShadda, kZabar, 0x0627};
// A key with a space inside: looked up whole.
const std::wstring kTwoWords = {0x062F, L' ', 0x0628};
const std::wstring kTwoWordsFull = {0x062F, kZer, L' ', 0x0628, kPesh};

class DiacritizerTest : public ScratchDirTest {
 protected:
  // Writes "wordformshashtable.lex" holding the forms above, laid out the
  // way the builder would: the first form of a home slot at home, further
  // forms on its chain in free slots from the top.
  void SetUp() override {
    ScratchDirTest::SetUp();
    struct Form {
      std::wstring key;
      std::string symbols;
    };
    const std::vector<Form> forms = {
        {kKitab, "RXXX"}, {kQalam, "ZZX"}, {kMulk, "PJX"},
        {kMulk, "ZZX"},   {kAbba, "ZSZX"}, {kTwoWords, "RP"},
    };
    const int slots = 11;
    WordFormHashTable homes;
    ASSERT_TRUE(homes.Allocate(slots, slots));
    std::vector<int> next(slots, -1), tail(slots, -1);
    std::vector<const Form*> at(slots, nullptr);
    int free_slot = slots - 1;
    for (const Form& f : forms) {
      int h = static_cast<int>(homes.Hash(f.key));
      int s = h;
      if (at[h] != nullptr) {
        while (at[free_slot] != nullptr) --free_slot;
        s = free_slot;
        next[tail[h]] = s;
      }
      at[s] = &f;
      next[s] = -2;
      tail[h] = s;
    }
    std::vector<std::string> records;
    for (int s = 0; s < slots; ++s) {
      records.push_back(at[s] != nullptr
                            ? Record(at[s]->key, at[s]->symbols, next[s])
                            : Record(L"", "", next[s]));
    }
    Write("wordformshashtable.lex", TableFile({slots}, records));
  }

  // Runs the program on `input` (16-bit text, mark added) and returns the
  // output file's bytes.
  std::string Diacritize(const std::wstring& input) {
    Write("in.txt", Utf16(input));
    EXPECT_EQ(0, Run(Program() + " in.txt out.txt")) << stderr_;
    EXPECT_EQ("", stderr_);
    return Contents(Path("out.txt"));
  }

  static std::string Program() {
    return std::string("'") + DIACRITIZER_PATH + "'";
  }

  // An error report with the source line of its raise replaced by N:
  // "Error Code (0x10) in hashmain (N): ...".
  static std::string WithoutLineNumber(std::string report) {
    if (report.rfind("Error Code (", 0) != 0) return report;
    const size_t open = report.find(" (", report.find(") in ")) + 2;
    const size_t close = report.find("): ", open);
    if (open < 2 || close == std::string::npos || close == open) return report;
    for (size_t i = open; i < close; ++i) {
      if (report[i] < '0' || report[i] > '9') return report;
    }
    return report.replace(open, close - open, "N");
  }

  // Checks a failed run: status, the one line on standard error (with the
  // source line of an error report as N), and whether an output file was
  // left. `prefix` goes in front of the command (a memory cap).
  void ExpectFailure(const std::string& args, int status,
                     const std::string& expected, bool output_left = false,
                     const std::string& prefix = "") {
    SCOPED_TRACE(args);
    std::remove(Path("out.txt").c_str());
    EXPECT_EQ(status, Run(prefix + Program() + " " + args));
    ASSERT_FALSE(stderr_.empty());
    EXPECT_EQ('\n', stderr_.back());
    EXPECT_EQ(stderr_.find('\n'), stderr_.size() - 1) << stderr_;
    EXPECT_EQ(expected,
              WithoutLineNumber(stderr_.substr(0, stderr_.size() - 1)));
    EXPECT_EQ(output_left, Exists("out.txt"));
  }
};

const std::wstring kCrLf = L"\r\n";

TEST_F(DiacritizerTest, LinesAndSeparators) {
  // Found first word, CR LF endings: every line gets its separator, the
  // final empty read included.
  EXPECT_EQ(Utf16(kKitabFull + kCrLf + kQalamFull + kCrLf),
            Diacritize(kKitab + L"\r\n" + kQalam + L"\r\n"));
  // Without the final line end, no final separator.
  EXPECT_EQ(Utf16(kKitabFull + kCrLf + kQalamFull),
            Diacritize(kKitab + L"\r\n" + kQalam));
  // One word ending in LF: the word once, then CR LF for the empty read.
  EXPECT_EQ(Utf16(kQalamFull + kCrLf), Diacritize(kQalam + L"\n"));
  // An unknown first word has no separator in front either.
  EXPECT_EQ(Utf16(L"xyz" + kCrLf + kQalamFull), Diacritize(L"xyz\n" + kQalam));
  // Empty lines stay, blanks around a word go; unknown words are trimmed.
  EXPECT_EQ(Utf16(kKitabFull + kCrLf + kCrLf + L"abc" + kCrLf + kAbbaFull),
            Diacritize(L" \t" + kKitab + L" \r\n\r\n  abc \t\r\n" + kAbba));
  // Nothing but the mark: the mark alone. A lone LF: one separator.
  EXPECT_EQ(Utf16(L""), Diacritize(L""));
  EXPECT_EQ(Utf16(kCrLf), Diacritize(L"\n"));
}

TEST_F(DiacritizerTest, WhatCountsAsAWord) {
  // The first form in chain order wins.
  EXPECT_EQ(Utf16(kMulkFirst), Diacritize(kMulk));
  // A line with a space is one key; its words are not looked up alone.
  EXPECT_EQ(Utf16(kTwoWordsFull), Diacritize(kTwoWords));
  EXPECT_EQ(Utf16(kQalam + L" " + kKitab), Diacritize(kQalam + L" " + kKitab));
  // An already diacritized word is not a bare key.
  EXPECT_EQ(Utf16(kQalamFull), Diacritize(kQalamFull));
  // A trailing odd byte is no character.
  Write("in.txt", Utf16(kQalam) + "\x41");
  EXPECT_EQ(0, Run(Program() + " in.txt out.txt"));
  EXPECT_EQ(Utf16(kQalamFull), Contents(Path("out.txt")));
}

TEST_F(DiacritizerTest, LongLinesStayWhole) {
  const std::wstring long_word(250, 0x0628);
  EXPECT_EQ(Utf16(long_word + kCrLf + kQalamFull),
            Diacritize(L"  " + long_word + L"  \r\n" + kQalam));
  // A known word after 99 blanks is still found, on its own line.
  EXPECT_EQ(Utf16(kQalamFull + kCrLf + kKitabFull),
            Diacritize(std::wstring(99, L' ') + kQalam + L"\r\n" + kKitab));
  // A line of 100 000 characters crosses input chunks.
  const std::wstring huge(100000, 0x0627);
  EXPECT_EQ(Utf16(huge + kCrLf + kKitabFull),
            Diacritize(huge + L"\n" + kKitab));
}

// A sparse table of the largest allowed slot count holds few records: the
// loader takes it, the program refuses it, and neither spends memory on the
// slots the file does not have.
TEST_F(DiacritizerTest, SparseTablesAtTheLimitAreRefusedCheaply) {
  Write("wordformshashtable.lex",
        TableFile({1 << 24}, {Record(kQalam, "ZZX", -2), UnusedRecord()}));
  // The slots alone would need 1.3 GB.
  const std::string limit = urdulex::test::MemoryCap(400000);
  Write("in.txt", Utf16(L" abc \n" + kKitab));
  ExpectFailure("in.txt out.txt", 1,
                "diacritizer: Word-form table wordformshashtable.lex is cut "
                "short: 16777216 slots announced, 2 complete records found.",
                false, limit);
}

// Files of exactly the size their header announces, 2^24 slots (1.1 GB),
// but sparse: a few records, then zeros, whose links all lead to slot 0 and
// so into a cycle. The first walk through it is refused with the loader's
// message, before an index of every slot (1.7 GB) is made: within the
// mapping and a few hundred MB.
TEST_F(DiacritizerTest, SparseFilesOfTheAnnouncedSizeAreRefusedCheaply) {
  const int32_t slots = 1 << 24;
  const off_t size = 6 + off_t{70} * slots;
  const std::string limit =
      urdulex::test::MemoryCap(static_cast<int>(size / 1024) + 300000);
  Write("in.txt", Utf16(kQalam + L"\n" + kKitab));
  struct {
    const char* what;
    std::vector<std::string> records;  // then zeros
    std::string expected;
  } cases[] = {
      {"zeros only",
       {},
       "Error Code (0x31) in hashmain (N): Slot 0 links to 0, closing a "
       "cycle."},
      {"a cycle among the records",
       {Record(kQalam, "ZZX", 1), Record(L"b", "X", 0)},
       "Error Code (0x31) in hashmain (N): Slot 1 links to 0, closing a "
       "cycle."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string lex =
        Write("wordformshashtable.lex", TableFile({slots}, c.records));
    ASSERT_EQ(0, ::truncate(lex.c_str(), size));
    ExpectFailure("in.txt out.txt", 1, c.expected, false, limit);
  }
}

// A table of one long chain, whose header announces the largest slot
// count for a few thousand records: reading it costs the records, not the
// slots (2^24 of them would need 1.3 GB once loaded), before it is refused.
TEST_F(DiacritizerTest, SparseTangledTablesAtTheLimitAreRefusedCheaply) {
  const int32_t slots = 1 << 24;
  const size_t records = 4000;
  // One chain through every record. Keys with distinct home slots low in
  // the chain sit at their home.
  const HomeSlotHash home(slots);
  std::vector<std::wstring> keys(records);
  size_t placed = 0;
  for (wchar_t a = 0x0621; a < 0x06FF && placed < 1000; ++a) {
    for (wchar_t b = 0x0621; b < 0x06FF && placed < 1000; ++b) {
      for (wchar_t c = 0x0621; c < 0x06FF && placed < 1000; ++c) {
        const wchar_t key[] = {a, b, c};
        const uint32_t h = home(key, 3);
        if (h >= records / 2 || !keys[h].empty()) continue;
        keys[h].assign(key, 3);
        ++placed;
      }
    }
  }
  ASSERT_GE(placed, 700u);
  std::vector<std::string> chain;
  for (size_t s = 0; s < records; ++s) {
    const int32_t next = s + 1 < records ? static_cast<int32_t>(s + 1) : -2;
    // Slots without a placed key hold a key whose home is past the records.
    chain.push_back(Record(keys[s].empty() ? L"@" : keys[s], "RZP", next));
  }
  Write("wordformshashtable.lex", TableFile({slots}, chain));
  Write("in.txt", Utf16(keys[0] + L"\nxyz"));
  ExpectFailure("in.txt out.txt", 1,
                "diacritizer: Word-form table wordformshashtable.lex is cut "
                "short: 16777216 slots announced, 4000 complete records "
                "found.",
                false, urdulex::test::MemoryCap(400000));
}

// The loader takes a file cut short as a table with unused slots and drops
// records past the slot count; the program refuses both, before the output
// is opened.
TEST_F(DiacritizerTest, TableSizeMustMatchItsHeader) {
  const std::string lex = "wordformshashtable.lex";
  const std::string table = Contents(Path(lex));  // 11 slots
  const std::string a = Record(L"a", "X", -2), unused = UnusedRecord();
  Write("in.txt", Utf16(kQalam));
  struct {
    const char* name;
    std::string table;
    std::string expected;  // after "... wordformshashtable.lex "
  } cases[] = {
      {"last record missing", table.substr(0, table.size() - 70),
       "is cut short: 11 slots announced, 10 complete records found."},
      {"cut inside the last record", table.substr(0, table.size() - 1),
       "is cut short: 11 slots announced, 10 complete records and a partial "
       "one of 69 bytes found."},
      {"cut inside the second record",
       TableFile({3}, {a, unused}).substr(0, 6 + 71),
       "is cut short: 3 slots announced, 1 complete record and a partial one "
       "of 1 bytes found."},
      {"stray bytes after the last slot", table + "xyz",
       "is cut short: 11 slots announced, 11 complete records and a partial "
       "one of 3 bytes found."},
      {"a record too many", table + unused,
       "holds more records than slots: 11 slots announced, 12 complete "
       "records found."},
      {"extended header, records missing", TableFile({-1, 4, 7}, {a, unused}),
       "is cut short: 4 slots announced, 2 complete records found."},
      {"extended header, a record too many", TableFile({-1, 1, 7}, {a, unused}),
       "holds more records than slots: 1 slots announced, 2 complete records "
       "found."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Write(lex, c.table);
    ExpectFailure("in.txt out.txt", 1,
                  "diacritizer: Word-form table " + lex + " " + c.expected);
  }
  // Exactly the announced records, in either header form.
  Write(lex, TableFile({-1, 2, 7}, {a, unused}));
  EXPECT_EQ(Utf16(L"a"), Diacritize(L"a"));
  Write(lex, table);
  EXPECT_EQ(Utf16(kQalamFull), Diacritize(kQalam));
}

// A pipe has no size to read by, so the input arrives unit by unit.
TEST_F(DiacritizerTest, InputFromAPipe) {
  std::wstring input, expected;
  for (int i = 0; i < 30000; ++i) {
    input += (i % 2 == 0 ? kQalam : L"abc") + L"\r\n";
    expected += (i % 2 == 0 ? kQalamFull : L"abc") + kCrLf;
  }
  Write("in.txt", Utf16(input) + "\x41");  // and a stray odd byte
  for (const char* threads : {"", "DIACRITIZER_THREADS=2 "}) {
    std::remove(Path("pipe").c_str());
    ASSERT_EQ(0, Run(std::string("mkfifo pipe && { cat in.txt > pipe & } && ") +
                     threads + Program() + " pipe out.txt"))
        << stderr_;
    EXPECT_EQ(Utf16(expected), Contents(Path("out.txt"))) << threads;
  }
}

// Many lines, so batches and input chunks split them everywhere; the
// expected output comes from a plain map.
TEST_F(DiacritizerTest, AgreesWithAPlainMapOnManyLines) {
  const std::map<std::wstring, std::wstring> known = {
      {kKitab, kKitabFull},
      {kQalam, kQalamFull},
      {kMulk, kMulkFirst},
      {kAbba, kAbbaFull},
      {kTwoWords, kTwoWordsFull}};
  const std::vector<std::wstring> words = {
      kKitab, kQalam, kMulk,      kAbba, kTwoWords,
      L"x",   L"",    kKitabFull, L"@",  std::wstring(120, 0x0645)};
  const std::wstring blanks[] = {L"", L" ", L"\t", L"\r", L" \r"};
  std::mt19937 rng(99);
  std::wstring input, expected;
  for (int i = 0; i < 40000; ++i) {
    const std::wstring& w = words[rng() % words.size()];
    std::wstring line = blanks[rng() % 5] + w + blanks[rng() % 5];
    if (i > 0) {
      input += L"\n";
      expected += kCrLf;
    }
    input += line;
    auto it = known.find(w);
    expected += it != known.end() ? it->second : w;
  }
  // On one thread, and on several in blocks of every size from a few
  // lines to many, with and without a line end at the end; and with
  // threads the system refuses, fewer (none but the first, or all).
  for (const std::wstring end : {L"", L"\n"}) {
    Write("in.txt", Utf16(input + end));
    for (const char* threads :
         {"", "DIACRITIZER_THREADS=3 DIACRITIZER_BLOCK_BYTES=7 ",
          "DIACRITIZER_THREADS=2 DIACRITIZER_BLOCK_BYTES=5000 ",
          "URDULEX_REFUSE_THREAD=0 DIACRITIZER_THREADS=3 "
          "DIACRITIZER_BLOCK_BYTES=700 ",
          "URDULEX_REFUSE_THREAD=1 DIACRITIZER_THREADS=4 "
          "DIACRITIZER_BLOCK_BYTES=700 "}) {
      EXPECT_EQ(0, Run(threads + Program() + " in.txt out.txt")) << stderr_;
      EXPECT_EQ("", stderr_) << threads;
      EXPECT_EQ(Utf16(expected + (end.empty() ? L"" : kCrLf)),
                Contents(Path("out.txt")))
          << threads;
    }
  }
}

// One chain through the whole table, a home at every slot: the index gives
// the answers a search of the chains would.
TEST_F(DiacritizerTest, OneChainThroughTheTable) {
  const int slots = 3000;
  WordFormHashTable home;
  ASSERT_TRUE(home.Allocate(slots, slots));
  std::vector<std::wstring> keys;
  Write("wordformshashtable.lex",
        TableFile({slots},
                  urdulex::diactest::OneLongChain(home, slots, "RZP", &keys)));
  std::wstring input, expected;
  for (size_t i = 0; i < keys.size(); i += 97) {
    const std::wstring& k = keys[i];
    input += L" " + k + L"\r\n" + k + L"x\n";
    expected += std::wstring({k[0], kZer, k[1], kZabar, k[2], kPesh}) + kCrLf +
                k + L"x" + kCrLf;
  }
  EXPECT_EQ(Utf16(expected), Diacritize(input));
}

TEST_F(DiacritizerTest, UsageErrors) {
  ExpectFailure("", 2, "usage: diacritizer INPUT OUTPUT");
  ExpectFailure("in.txt", 2, "usage: diacritizer INPUT OUTPUT");
  ExpectFailure("in.txt out.txt extra", 2, "usage: diacritizer INPUT OUTPUT");
  for (const char* threads : {"0", "x", "-1", "1025", "2x"}) {
    ExpectFailure("in.txt out.txt", 2,
                  "diacritizer: DIACRITIZER_THREADS wants a number of "
                  "threads from 1 to 1024.",
                  false, std::string("DIACRITIZER_THREADS=") + threads + " ");
  }
}

TEST_F(DiacritizerTest, InputAndOutputFailures) {
  Write("in.txt", Utf16(kQalam));
  ExpectFailure("missing.txt out.txt", 1,
                "Error Code (0x10) in FileReader (N): Could not "
                "open file: missing.txt.");
  Write("plain.txt", "abc\n");
  ExpectFailure("plain.txt out.txt", 1,
                "Error Code (0x10) in FileReader (N): File is not "
                "Unicode based.");
  ExpectFailure("'' out.txt", 1,
                "Error Code (0x10) in FileReader (N): Invalid "
                "file name specified.");
  ExpectFailure("in.txt no/such/dir/out.txt", 1,
                "diacritizer: Could not create output file: "
                "no/such/dir/out.txt.");
  ExpectFailure("in.txt in.txt", 1,
                "diacritizer: Input and output are the same file: in.txt.",
                /*output_left=*/false);
  EXPECT_EQ(Utf16(kQalam), Contents(Path("in.txt")));  // untouched
  // An empty name shows as '', as GNU tools show it.
  ExpectFailure("in.txt ''", 1,
                "diacritizer: Could not create output file: ''.");
  if (std::ifstream("/dev/full").good()) {
    for (const char* threads : {"", "DIACRITIZER_THREADS=2 "}) {
      ExpectFailure("in.txt /dev/full", 1,
                    "diacritizer: Could not write output file: /dev/full.",
                    false, threads);
    }
  }
}

// Empty files, directories, a table cut inside its first record, and an
// output that is the input under another name.
TEST_F(DiacritizerTest, UnusableFilesLeaveNoOutput) {
  const std::string lex = "wordformshashtable.lex";
  const std::string table = Contents(Path(lex));
  Write("in.txt", Utf16(kQalam));
  Write("empty.txt", "");
  ASSERT_EQ(0, ::mkdir(Path("dir").c_str(), 0700));
  ASSERT_EQ(0, ::link(Path("in.txt").c_str(), Path("link.txt").c_str()));
  ExpectFailure("empty.txt out.txt", 1,
                "Error Code (0x10) in FileReader (N): File is not Unicode "
                "based.");
  ExpectFailure("dir out.txt", 1,
                "Error Code (0x10) in FileReader (N): Could not open file: "
                "dir.");
  ExpectFailure("in.txt dir", 1,
                "diacritizer: Could not create output file: dir.");
  ExpectFailure("in.txt link.txt", 1,
                "diacritizer: Input and output are the same file: link.txt.");
  EXPECT_EQ(Utf16(kQalam), Contents(Path("in.txt")));

  struct {
    const char* name;
    std::string table;  // "dir": a directory in its place
    std::string expected;
  } cases[] = {
      {"empty", "",
       "Error Code (0x10) in hashmain (N): File is not Unicode based. Hash "
       "table file could not be opened."},
      {"directory", "dir",
       "Error Code (0x10) in hashmain (N): Could not open file: "
       "wordformshashtable.lex. Hash table file could not be opened."},
      // A cut inside the first key leaves no table at all; later cuts are
      // refused for the size of the file (TableSizeMustMatchItsHeader).
      {"cut inside the first key", table.substr(0, 2 + 4 + 11),
       "Error Code (0x11) in hashmain (N): End of file encountered. Hash "
       "table reading problem occurred."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(Path(lex).c_str());
    if (c.table == "dir") {
      ASSERT_EQ(0, ::mkdir(Path(lex).c_str(), 0700));
    } else {
      Write(lex, c.table);
    }
    ExpectFailure("in.txt out.txt", 1, c.expected);
    ::rmdir(Path(lex).c_str());
  }
}

TEST_F(DiacritizerTest, TableFailuresLeaveNoOutput) {
  Write("in.txt", Utf16(kQalam));
  const std::string lex = "wordformshashtable.lex";
  // A table too large to have its links checked at open: the bad link on
  // the chain of the input's word is met by its lookup.
  const int32_t large = static_cast<int32_t>(WordFormLookup::kEagerRecords) + 1;
  std::vector<std::string> spread(static_cast<size_t>(large), UnusedRecord());
  const uint32_t home = HomeSlotHash(large)(kQalam.data(), kQalam.size());
  spread[home] = Record(kQalam, "ZZ", large);
  struct {
    const char* name;
    std::string table;  // empty: no table file
    std::string expected;
  } cases[] = {
      {"missing", "",
       "Error Code (0x10) in hashmain (N): Could not open file: "
       "wordformshashtable.lex. Hash table file could not be opened."},
      {"no mark", std::string("\x02\x00\x00\x00", 4),
       "Error Code (0x10) in hashmain (N): File is not Unicode "
       "based. Hash table file could not be opened."},
      {"header only", TableFile({2}, {}),
       "Error Code (0x11) in hashmain (N): End of file "
       "encountered. Hash table reading problem occurred."},
      {"extended header cut short", TableFile({-1, 4}, {}),
       "Error Code (0x11) in hashmain (N): The extended header "
       "ends after the slot count. Hash table reading problem occurred."},
      {"header rejected", TableFile({0}, {UnusedRecord()}),
       "diacritizer: wordformshashtable.lex: The table header announces no "
       "slots."},
      {"mark only", "\xFF\xFE",
       "diacritizer: wordformshashtable.lex: The table header announces no "
       "slots."},
      {"huge header", TableFile({0x7FFFFFFF}, {std::string(94, 'x')}),
       "Error Code (0x31) in hashmain (N): The table header "
       "announces 2147483647 slots, more than the limit of 16777216."},
      {"bad link", TableFile({2}, {Record(L"a", "X", 5), UnusedRecord()}),
       "Error Code (0x31) in hashmain (N): Slot 0 links to 5, "
       "outside the table of 2 slots."},
      {"cycle", TableFile({2}, {Record(L"a", "X", 1), Record(L"b", "X", 0)}),
       "Error Code (0x31) in hashmain (N): Slot 1 links to 0, "
       "closing a cycle."},
      {"bad link met", TableFile({large}, spread),
       "Error Code (0x31) in hashmain (N): Slot " + std::to_string(home) +
           " links to " + std::to_string(large) + ", outside the table of " +
           std::to_string(large) + " slots."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(Path(lex).c_str());
    if (!c.table.empty()) Write(lex, c.table);
    ExpectFailure("in.txt out.txt", 1, c.expected);
  }
}

}  // namespace

// The table rewritten while the run reads its input from a FIFO, so that
// the change falls between the table's opening and the end of the input:
// a run that looked words up in two versions of the table fails and leaves
// the output as it was; a table replaced by rename leaves the file the run
// opened intact, and the run uses it to the end.
TEST_F(DiacritizerTest, TableChangedWhileUsedFailsTheRun) {
  const std::string lex = "wordformshashtable.lex";
  std::string other = Contents(Path(lex));
  for (size_t at; (at = other.find("ZZX")) != std::string::npos;) {
    other.replace(at, 3, "RRX");  // the same size, other forms
  }
  Write("other.lex", other);
  const std::string line = Utf16(kQalam + L"\n", false);
  Write("first.txt", Utf16(kQalam + L"\n"));
  Write("rest.txt", line);
  struct {
    const char* what;
    std::string change;  // run on the table during the run
    bool fails;
  } cases[] = {
      {"rewritten in place",
       "dd if=other.lex of=" + lex + " conv=notrunc status=none", true},
      {"copied over", "cp other.lex " + lex, true},
      {"touched", "touch " + lex, true},
      {"replaced by rename", "cp other.lex new.lex && mv new.lex " + lex,
       false},
  };
  const std::string table = Contents(Path(lex));
  const std::string tick = "while [ \"$(stat -c %z " + lex +
                           ")\" = \"$(touch tick && stat -c %z tick)\" ]; "
                           "do :; done";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Write(lex, table);
    Write("out.txt", "as it was");
    std::remove(Path("in").c_str());
    // The writer's open of the FIFO returns once the program opened it,
    // after its table; the change comes on a later tick of the file clock
    // than the table's making.
    EXPECT_EQ(c.fails ? 1 : 0,
              Run("mkfifo in && { " + Program() + " in out.txt 2> err & } && " +
                  "exec 3> in && cat first.txt >&3 && " + tick + " && " +
                  c.change + " && cat rest.txt >&3 && exec 3>&- && wait $!"));
    if (c.fails) {
      EXPECT_EQ("diacritizer: Word-form table " + lex +
                    " changed while being read.\n",
                Contents(Path("err")));
      EXPECT_EQ("as it was", Contents(Path("out.txt")));
    } else {
      EXPECT_EQ("", Contents(Path("err")));
      EXPECT_EQ(Utf16(kQalamFull + kCrLf + kQalamFull + kCrLf),
                Contents(Path("out.txt")));
    }
    EXPECT_EQ(0, Run("! ls -a | grep -q urdulex-"));
  }
}
