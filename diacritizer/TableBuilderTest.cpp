#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/TableBuilder.h"
#include "diacritizer/TableCheck.h"
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

class TableBuilderTest : public ScratchDirTest {
 protected:
  void TearDown() override {
    wordFormHashTable.Deallocate();
    ScratchDirTest::TearDown();
  }
  void LoadBytes(const std::string& bytes) {
    ASSERT_TRUE(LoadWordFormHashTable(Write("t.lex", bytes)));
  }
};

// Whatever the load, every stored form is found by Search, the forms of a
// bare word in list order, and the table passes its own check.
TEST_F(TableBuilderTest, SearchFindsEveryFormInListOrder) {
  std::mt19937 rng(2024);
  LexEnigneUtility util;
  for (double load : {1.0, 0.8, 0.5}) {
    SCOPED_TRACE(load);
    wordform::WordFormTableBuilder builder;
    std::map<std::wstring, std::vector<std::string>> expected;
    for (uint32_t id = 0; id < 3000; ++id) {
      std::wstring word = RandomWord(rng);
      if (builder.Add(word, id, 0, 0)) continue;
      std::wstring bare;
      std::string symbols;
      util.SeparateSymbolicDiacritics(word, bare, symbols);
      expected[bare].push_back(symbols);
    }
    ASSERT_GT(builder.size(), 500u);
    std::string bytes;
    ASSERT_TRUE(builder.Build(builder.SlotsForLoad(load), &bytes).ok());

    wordform::TableImage image;
    wordform::TableSummary summary;
    const wordform::Status parsed = wordform::ParseTableImage(bytes, &image);
    ASSERT_TRUE(parsed.ok()) << parsed.message();
    const wordform::Status checked = wordform::CheckTableImage(image, &summary);
    ASSERT_TRUE(checked.ok()) << checked.message();
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

TEST_F(TableBuilderTest, WordsThatCannotBeStored) {
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
  EXPECT_FALSE(builder.Add(std::wstring(20, 0x0628), 0, 0, 0));
  std::wstring twenty;
  for (int i = 0; i < 10; ++i) twenty += {0x0628, kShadda, kZabar};
  EXPECT_FALSE(builder.Add(twenty, 0, 0, 0));
  EXPECT_EQ(SkipReason::kDuplicate, builder.Add(twenty, 1, 0, 0));
  // A vowel typed before its shadda is the same word as the other order.
  EXPECT_FALSE(builder.Add(
      {0x0645, kPesh, 0x062D, kZabar, 0x0628, kZabar, kShadda, 0x062A}, 0, 0,
      0));
  EXPECT_EQ(SkipReason::kDuplicate,
            builder.Add({0x0645, kPesh, 0x062D, kZabar, 0x0628, kShadda, kZabar,
                         0x062A},
                        0, 0, 0));
  EXPECT_EQ(3u, builder.size());
}

TEST_F(TableBuilderTest, SlotCounts) {
  wordform::WordFormTableBuilder builder;
  std::string bytes;
  ASSERT_TRUE(builder.Build(builder.SlotsForLoad(0.8), &bytes).ok());
  EXPECT_EQ(2u + 4u + 70u, bytes.size());  // an empty list: one unused slot
  for (wchar_t c = 0x0628; c < 0x0628 + 8; ++c) {
    builder.Add(std::wstring(1, c), 0, 0, 0);
  }
  EXPECT_EQ(10, builder.SlotsForLoad(0.8));
  EXPECT_EQ(8, builder.SlotsForLoad(1.0));
  const wordform::Status few = builder.Build(7, &bytes);
  EXPECT_FALSE(few.ok());
  EXPECT_EQ("7 slots cannot hold 8 forms", few.message());
  const wordform::Status many =
      builder.Build(wordform::kMaxTableSlots + 1LL, &bytes);
  EXPECT_FALSE(many.ok());
  EXPECT_EQ("16777217 slots are more than the limit of 16777216",
            many.message());
  // A load so small that the slot count leaves every integer range still
  // asks for too many slots, never for a count Build would accept.
  for (double load : {1e-7, 1e-30, 1e-300, 4.9e-324}) {
    SCOPED_TRACE(load);
    EXPECT_GT(builder.SlotsForLoad(load), wordform::kMaxTableSlots);
    const wordform::Status built =
        builder.Build(builder.SlotsForLoad(load), &bytes);
    EXPECT_FALSE(built.ok());
    EXPECT_NE(
        std::string::npos,
        built.message().find(" slots are more than the limit of 16777216"))
        << built.message();
  }
  ASSERT_TRUE(builder.Build(8, &bytes).ok());
  EXPECT_EQ(2u + 4u + 8u * 70u, bytes.size());
}

TEST_F(TableBuilderTest, DecodesListsInEitherEncoding) {
  std::vector<std::wstring> lines;
  const std::wstring word = {0x0628, kZabar, 0x062A};
  ASSERT_TRUE(wordform::DecodeTextLines(
                  "\xEF\xBB\xBF\xD8\xA8\xD9\x8E\xD8\xAA\r\n\nx", &lines)
                  .ok());
  EXPECT_EQ(std::vector<std::wstring>({word + L"\r", L"", L"x"}), lines);
  ASSERT_TRUE(wordform::DecodeTextLines(Utf16(word + L"\n"), &lines).ok());
  EXPECT_EQ(std::vector<std::wstring>({word}), lines);
  ASSERT_TRUE(
      wordform::DecodeTextLines(std::string("\xFE\xFF\x06\x28", 4), &lines)
          .ok());
  EXPECT_EQ(std::vector<std::wstring>({{0x0628}}), lines);
  const wordform::Status bad =
      wordform::DecodeTextLines("ok\n\xC0\xAF", &lines);
  EXPECT_FALSE(bad.ok());
  EXPECT_EQ("2: invalid UTF-8", bad.message());
  EXPECT_FALSE(wordform::DecodeTextLines("\xE2\x82", &lines).ok());
  EXPECT_FALSE(wordform::DecodeTextLines("\xED\xA0\x80", &lines).ok());
}

// The tool and the program together.
class TableBuildToolTest : public ScratchDirTest {
 protected:
  void TearDown() override {
    wordFormHashTable.Deallocate();
    ScratchDirTest::TearDown();
  }
  static std::string Tool() { return std::string("'") + URDU_PATH + "' table"; }
  static std::string Diacritizer() {
    return std::string("'") + DIACRITIZER_PATH + "'";
  }
};

TEST_F(TableBuildToolTest, BuildDumpCheck) {
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
TEST_F(TableBuildToolTest, SkippedWordsAreNamed) {
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

// `urdu table build` stores a form a second time under its canonical key
// when the symbols can write its khari zabars back there, after the forms
// stored under their own keys; the program still gives the first of those.
TEST_F(TableBuildToolTest, FormsStoredUnderCanonicalKeys) {
  Write("list.txt",
        "اَللّٰہ\n"  // no second record: a shadda before the khari zabar
        "اَللّہ\n"
        "تَعالیٰ\n"
        "تَعالی\n"
        "اَعلیٰ\n"
        "حَتّیٰ\n"
        "ہَٰذا\n"     // none: a zabar before the khari zabar
        "كِتاب\n");  // none: the canonical key has another kaf
  ASSERT_EQ(0, Run(Tool() + " build list.txt -o wordformshashtable.lex"));
  EXPECT_EQ(
      "urdu: 8 forms in 14 slots (load 0.785714; 3 more under canonical "
      "keys) written to wordformshashtable.lex; skipped 0\n",
      stderr_);
  ASSERT_EQ(0, Run(Tool() + " check wordformshashtable.lex > check.out"));
  EXPECT_NE(std::string::npos, Contents(Path("check.out")).find(" 11 records"))
      << Contents(Path("check.out"));

  // Each key with its forms in chain order, and the program's answer.
  const struct {
    std::wstring key;
    std::vector<std::wstring> forms;
  } cases[] = {
      {L"اللٰہ", {L"اَللّٰہ"}},   {L"اللہ", {L"اَللّہ"}},
      {L"تعالیٰ", {L"تَعالیٰ"}}, {L"تعالی", {L"تَعالی", L"تَعالیٰ"}},
      {L"اعلیٰ", {L"اَعلیٰ"}},   {L"اعلی", {L"اَعلیٰ"}},
      {L"حتیٰ", {L"حَتّیٰ"}},     {L"حتی", {L"حَتّیٰ"}},
      {L"ہٰذا", {L"ہَٰذا"}},     {L"ہذا", {}},
      {L"كتاب", {L"كِتاب"}},   {L"کتاب", {}},
  };
  ASSERT_TRUE(LoadWordFormHashTable(Path("wordformshashtable.lex")));
  LexEnigneUtility util;
  std::wstring input, expected;
  for (const auto& c : cases) {
    SCOPED_TRACE(wordform::ToUtf8(c.key));
    std::vector<WordFormHashNode> found;
    EXPECT_EQ(!c.forms.empty(), wordFormHashTable.Search(c.key, found));
    std::vector<std::wstring> got;
    for (const auto& node : found) {
      got.push_back(
          util.MergeSymbolicDiacritics(c.key, node.data.symbolicDiacritics));
    }
    EXPECT_EQ(c.forms, got);
    input += (input.empty() ? L"" : L"\r\n") + c.key;
    expected += (expected.empty() ? L"" : L"\r\n") +
                (c.forms.empty() ? c.key : c.forms[0]);
  }
  Write("in.txt", Utf16(input));
  ASSERT_EQ(0, Run(Diacritizer() + " in.txt out.txt")) << stderr_;
  EXPECT_EQ(Utf16(expected), Contents(Path("out.txt")));
}

// Every word of the shipped lexicon is stored, and the program gives back
// the first listed form of every bare word.
TEST_F(TableBuildToolTest, SampleLexiconRoundTrips) {
  const std::string list =
      std::string(URDULEX_SOURCE_DIR) + "/data/diacritizer/words.txt";
  ASSERT_EQ(0, Run(Tool() + " build '" + list + "' -o wordformshashtable.lex"));
  EXPECT_NE(std::string::npos, stderr_.find("; skipped 0")) << stderr_;
  ASSERT_EQ(0, Run(Tool() + " check wordformshashtable.lex"));

  std::vector<std::wstring> words;
  ASSERT_TRUE(wordform::DecodeTextLines(Contents(list), &words).ok());
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
