// End-to-end tests of the urdu program: shell pipelines, files and
// standard streams, exit statuses and the one line on standard error.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>

#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/hashmain.h"
#include "foundation/TestUtil.h"

namespace {

const std::string kSource = URDULEX_SOURCE_DIR;
// The shipped lexicon, for the messages that name it.
const std::string kShippedWords = kSource + "/data/diacritizer/words.txt";
// The tests' own word list, so that they do not follow the shipped lexicon:
// two homographs (جن, میں), a shadda, and words of the codemapper sample.
const char kWords[] =
    u8"کِتاب\nقَلَم\nدِل\nاُردُو\nمُحَبَّت\nجِن\nجِنّ\nمیں\nمَیں\n"
    u8"پاکِستان\nزَبان\nاَور\nلوگ\n";

class UrduTest : public urdulex::test::TempDirTest {
 protected:
  static std::string Urdu() { return std::string("'") + URDU_PATH + "'"; }

  // Builds "t.lex" from kWords, written to "words.txt".
  void BuildSampleTable() {
    MakeFile("words.txt", kWords);
    ASSERT_EQ(0, Run(Urdu() + " table build words.txt -o t.lex")) << stderr_;
  }

  // Runs `urdu ARGS` with `input` on standard input; the standard output.
  std::string Filter(const std::string& args, const std::string& input,
                     int* status = nullptr) {
    MakeFile("stdin", input);
    const int s = Run(Urdu() + " " + args + " < stdin > stdout");
    if (status != nullptr) {
      *status = s;
    } else {
      EXPECT_EQ(0, s) << args << ": " << stderr_;
    }
    return Contents(Path("stdout"));
  }
};

TEST_F(UrduTest, RunningTextWithPunctuationAndZwnj) {
  BuildSampleTable();
  // Known words are replaced; punctuation, spaces, line ends, digits and
  // words the table does not know stay as they came. A ZWNJ inside a word
  // belongs to it (so the compound is unknown), at its end it separates.
  EXPECT_EQ(
      u8"«کِتاب»، قَلَم؛ (دِل) 12 xyz؟\r\n"
      u8"قلم\u200Cدان دِل\u200C\tاُردُو۔",
      Filter("diacritize --table t.lex",
             u8"«کتاب»، قلم؛ (دل) 12 xyz؟\r\n"
             u8"قلم\u200Cدان دل\u200C\tاردو۔"));
}

TEST_F(UrduTest, PartlyMarkedWordsAreFoundAndUnknownOnesKept) {
  BuildSampleTable();
  // A word with some of its marks is looked up by its bare form and given
  // the table's other marks, never doubled; one with all of them, the
  // vowel typed before the shadda, or a sukun the table leaves unwritten,
  // stays as it came. An unknown word keeps every mark it had.
  const std::string muhabbat =
      u8"\u0645\u064F\u062D\u064E\u0628\u0651\u064E\u062A";
  const std::string vowel_first =
      u8"\u0645\u064F\u062D\u064E\u0628\u064E\u0651\u062A";
  EXPECT_EQ(
      u8"کِتاب " + muhabbat + " " + vowel_first + " " + muhabbat +
          u8" اُرْدُو زَبَرْدَسْتِیں\n",
      Filter("diacritize --table t.lex", u8"کِتاب مُحبت " + vowel_first + " " +
                                             muhabbat + u8" اُرْدُو زَبَرْدَسْتِیں\n"));
}

TEST_F(UrduTest, AmbiguousWordsReportAndCoverage) {
  BuildSampleTable();
  // A homograph (جن), a known word, unknown ones, and میں with a kasra
  // neither of its forms has: left as written.
  const std::string text = u8"جن کتاب فلاں جن فلاں ڈھمکا مِیں\n";
  const struct {
    const char* args;
    std::string out;
  } cases[] = {
      // The first form in list order (where no context rule decides, as
      // by default), or every form.
      {"", u8"جِن کِتاب فلاں جِن فلاں ڈھمکا مِیں\n"},
      {"--ambiguous first", u8"جِن کِتاب فلاں جِن فلاں ڈھمکا مِیں\n"},
      {"--ambiguous all", u8"جِن|جِنّ کِتاب فلاں جِن|جِنّ فلاں ڈھمکا مِیں\n"},
      {"--forms all", u8"جِن|جِنّ کِتاب فلاں جِن|جِنّ فلاں ڈھمکا مِیں\n"},
      // The kasra both forms of جن have; the word as it came, marks and
      // all.
      {"--ambiguous common", u8"جِن کِتاب فلاں جِن فلاں ڈھمکا مِیں\n"},
      {"--ambiguous keep", u8"جن کِتاب فلاں جن فلاں ڈھمکا مِیں\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.out,
              Filter(std::string("diacritize --table t.lex ") + c.args, text))
        << c.args;
  }
  // The report: unknown words, most frequent first, as TSV, then the
  // homographs by bare form with their forms and how often the context
  // rules and the fallback chose (the writer's marks chose the rest), then
  // the words kept; -v the summary.
  Filter("diacritize --table t.lex --report unknown.tsv -v", text);
  EXPECT_EQ(
      u8"فلاں\t2\nڈھمکا\t1\nجن\t2\tجِن|جِنّ\t0\t2\nمیں\t1\tمیں|مَیں\t0\t0\n"
      u8"مِیں\t1\tkept\n",
      Contents(Path("unknown.tsv")));
  EXPECT_EQ(
      "urdu: 7 Urdu words, 4 known (57.14%), 3 unknown, 3 ambiguous; 0 other "
      "tokens passed through; 1 kept: marks disagree with the table\n",
      stderr_);
}

// Numbers, Latin words and markup are passed through and counted apart;
// directional marks and tatweels do not stop a word being found, and
// stay where they were.
TEST_F(UrduTest, OnlyUrduWordsCount) {
  BuildSampleTable();
  EXPECT_EQ(
      u8"<b>کِتاب</b> 12 x \u200Fکِتاب\u200F کِتـاب قَلَ\u200Eم فلاں\n",
      Filter("diacritize --table t.lex -v --report unknown.tsv",
             u8"<b>کتاب</b> 12 x \u200Fکتاب\u200F کتـاب قل\u200Eم فلاں\n"));
  EXPECT_EQ(
      "urdu: 5 Urdu words, 4 known (80.00%), 1 unknown, 0 ambiguous; 4 other "
      "tokens passed through\n",
      stderr_);
  EXPECT_EQ(u8"فلاں\t1\n", Contents(Path("unknown.tsv")));
  // A table that holds a word with its tatweel finds it as written too.
  MakeFile("list.txt", u8"کِتـاب\n");
  ASSERT_EQ(0, Run(Urdu() + " table build list.txt -o k.lex"));
  EXPECT_EQ(u8"کِتـاب کتاب\n",
            Filter("diacritize --table k.lex", u8"کتـاب کتاب\n"));
}

// Real text as it is written: spelling variants, the writer's marks,
// compounds and words run together (tools/urdu/testdata, one case a line:
// input, output, the -v line).
TEST_F(UrduTest, RealTextCases) {
  ASSERT_EQ(0, Run(Urdu() + " table build '" + kShippedWords + "' -o t.lex"))
      << stderr_;
  std::istringstream cases(
      Contents(kSource + "/tools/urdu/testdata/real_text_cases.tsv"));
  std::string line;
  int count = 0;
  while (std::getline(cases, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t'), second = line.find('\t', tab + 1);
    ASSERT_NE(std::string::npos, second) << line;
    const std::string input = line.substr(0, tab);
    EXPECT_EQ(line.substr(tab + 1, second - tab - 1) + "\n",
              Filter("diacritize --table t.lex -v", input + "\n"))
        << input;
    EXPECT_EQ("urdu: " + line.substr(second + 1) + "\n", stderr_) << input;
    ++count;
  }
  EXPECT_GE(count, 60);
}

// Diacritizing adds marks and nothing else: stripped, the output is the
// stripped input, for the shipped texts and for a copy written with
// spelling variants.
TEST_F(UrduTest, DiacritizeOnlyAddsMarks) {
  const std::string prose = kSource + "/data/urdu/prose.txt";
  ASSERT_EQ(0, Run("python3 '" + kSource + "/scripts/variant_text.py' '" +
                   prose + "' -o variants.txt"))
      << stderr_;
  for (const std::string& text :
       {prose, kSource + "/data/urdu/gold.txt",
        kSource + "/data/diacritizer/sample.txt", Path("variants.txt")}) {
    ASSERT_EQ(0, Run(Urdu() + " diacritize '" + text + "' > d.txt && " +
                     Urdu() + " strip d.txt > a.txt && " + Urdu() + " strip '" +
                     text + "' > b.txt"))
        << stderr_;
    EXPECT_TRUE(Contents(Path("a.txt")) == Contents(Path("b.txt"))) << text;
    // Counting the ambiguous words takes the way that weighs every form of
    // every word: the words come out the same.
    ASSERT_EQ(0, Run(Urdu() + " diacritize -v -o v.txt '" + text + "'"))
        << stderr_;
    EXPECT_TRUE(Contents(Path("d.txt")) == Contents(Path("v.txt"))) << text;
  }
}

TEST_F(UrduTest, LineModeGivesTheDiacritizersBytes) {
  BuildSampleTable();
  ASSERT_EQ(0, Run("cp t.lex wordformshashtable.lex"));
  // The sample, with homographs (in Arabic yeh, so that they are not written
  // as their first form at once) the context rules would decide in a
  // sentence: a line is a word, and has no neighbours.
  ASSERT_EQ(0, Run("{ cat '" + kSource + "/data/diacritizer/sample.txt'; " +
                   "printf '" + u8"ميں\\nکيا\\n" + "'; } > sample.txt"));
  const std::string sample = Path("sample.txt");
  ASSERT_EQ(0, Run("{ printf '\\377\\376'; iconv -f UTF-8 -t UTF-16LE '" +
                   sample + "'; } > in.u16"));
  ASSERT_EQ(0, Run(std::string("'") + DIACRITIZER_PATH + "' in.u16 out.u16"));
  // From the UTF-8 sample, written in the 16-bit form; and from the 16-bit
  // input, recognised by its mark.
  ASSERT_EQ(0, Run(Urdu() + " diacritize --table t.lex --lines --utf16 '" +
                   sample + "' -o a.u16"));
  ASSERT_EQ(0,
            Run(Urdu() +
                " diacritize --table t.lex --lines --utf16 -o b.u16 in.u16"));
  const std::string expected = Contents(Path("out.u16"));
  EXPECT_TRUE(expected == Contents(Path("a.u16")));
  EXPECT_TRUE(expected == Contents(Path("b.u16")));
  // Lines longer than any word, and lines that are long only by their
  // blanks, lose the blanks at either end, in blocks of any size.
  const std::wstring letters(1100, L'\u0628');
  const std::wstring spaces(2000, L' ');
  MakeFile("long.u16", urdulex::test::Utf16File(
                           L"  " + letters + L" \t\r\n" + spaces +
                           L"\u06A9\u062A\u0627"
                           L"\u0628" +
                           spaces + L"\r\n\t" + letters + L" x " + letters +
                           L"\n" + spaces + L"\n" + letters + L"  "));
  ASSERT_EQ(0,
            Run(std::string("'") + DIACRITIZER_PATH + "' long.u16 long.out"));
  for (const char* jobs : {"1", "2"}) {
    ASSERT_EQ(0, Run("URDU_BLOCK_BYTES=100 " + Urdu() +
                     " diacritize --table t.lex --lines --utf16 -j " + jobs +
                     " -o c.u16 long.u16"))
        << stderr_;
    EXPECT_TRUE(Contents(Path("long.out")) == Contents(Path("c.u16"))) << jobs;
  }
}

// A table of one chain through every slot gives the diacritizer's
// answers, first form or all.
TEST_F(UrduTest, OneChainTablesGiveTheDiacritizersAnswers) {
  const int slots = 3000;
  WordFormHashTable home;
  ASSERT_TRUE(home.Allocate(slots, slots));
  std::vector<std::wstring> keys;
  MakeFile(
      "wordformshashtable.lex",
      urdulex::diactest::TableFile(
          {slots}, urdulex::diactest::OneLongChain(home, slots, "RZP", &keys)));
  // The keys made to fit the chain are any characters; those holding a mark
  // are not bare forms, which urdu looks words up by, and are left out.
  std::wstring input;
  for (size_t i = 0; i < keys.size(); i += 37) {
    const std::wstring& k = keys[i];
    const bool bare = std::none_of(k.begin(), k.end(), [](wchar_t c) {
      return c >= 0x064E && c <= 0x0653;
    });
    if (bare) input += k + L"\n" + k + L"x\n";
  }
  ASSERT_GT(input.size(), 200u);
  MakeFile("in.u16", urdulex::test::Utf16File(input));
  ASSERT_EQ(0, Run(std::string("'") + DIACRITIZER_PATH + "' in.u16 out.u16"));
  const std::string diacritize =
      Urdu() + " diacritize --table wordformshashtable.lex --utf16 ";
  ASSERT_EQ(0, Run(diacritize + "--lines in.u16 -o a.u16"));
  ASSERT_EQ(0, Run(diacritize + "--forms all in.u16 > b.u16"));
  EXPECT_TRUE(Contents(Path("out.u16")) == Contents(Path("a.u16")));
  EXPECT_TRUE(Contents(Path("out.u16")) == Contents(Path("b.u16")));
}

TEST_F(UrduTest, PipelinesAndFiles) {
  BuildSampleTable();
  const std::string sample = kSource + "/data/codemapper/sample.txt";
  // Stripping what diacritize wrote gives back the stripped input; the
  // same through files, '-' and several inputs in a row.
  ASSERT_EQ(0,
            Run(Urdu() + " strip '" + sample + "' | " + Urdu() +
                " diacritize --table t.lex | " + Urdu() + " strip > round.txt"))
      << stderr_;
  ASSERT_EQ(0, Run(Urdu() + " strip -o bare.txt '" + sample + "'"));
  EXPECT_EQ(Contents(Path("bare.txt")), Contents(Path("round.txt")));
  ASSERT_EQ(0, Run(Urdu() + " diacritize --table t.lex bare.txt > one.txt"));
  ASSERT_EQ(0, Run("cat bare.txt | " + Urdu() +
                   " diacritize --table t.lex bare.txt - > two.txt"));
  EXPECT_EQ(Contents(Path("one.txt")) + Contents(Path("one.txt")),
            Contents(Path("two.txt")));
  EXPECT_NE(Contents(Path("one.txt")), Contents(Path("bare.txt")));
  // The table commands read and write the standard streams too.
  ASSERT_EQ(0, Run("{ " + Urdu() + " table build < words.txt | " + Urdu() +
                   " table check > check.txt; }"));
  EXPECT_EQ(
      "standard input: 17 slots, 13 records, longest chain 3, load 0.765\n",
      Contents(Path("check.txt")));
  EXPECT_EQ(
      "urdu: 13 forms in 17 slots (load 0.764706) written to standard "
      "output; skipped 0\n",
      stderr_);
  // The output may not be an input.
  for (const char* args :
       {"strip bare.txt -o bare.txt", "strip - bare.txt -o ./bare.txt",
        "diacritize --table t.lex --report bare.txt bare.txt",
        "diacritize --table t.lex --stats bare.txt bare.txt",
        "evaluate --gold bare.txt one.txt -o bare.txt"}) {
    EXPECT_EQ(1, Run(Urdu() + " " + args + " < /dev/null")) << args;
    EXPECT_NE(std::string::npos, stderr_.find(" are the same file: ")) << args;
  }
  // None of them touched the input.
  EXPECT_EQ(Contents(Path("round.txt")), Contents(Path("bare.txt")));
}

TEST_F(UrduTest, StripKeepsLettersWithTheirOwnMarks) {
  EXPECT_EQ(u8"آأؤئۂۓ بتا", Filter("strip", u8"آأؤئۂۓ بَتّٰا"));
  EXPECT_EQ(u8"آأؤئۂۓ بتّا", Filter("strip --keep-shadda", u8"آأؤئۂۓ بَتّٰا"));
  // Alef and a combining madda become U+0622, also where a block of the
  // input ends between them.
  const std::string block(1 << 20, ' ');
  const std::string text = block.substr(3) + u8"\u0627\u0653\u0633" + block;
  EXPECT_TRUE(block.substr(3) + u8"\u0622\u0633" + block ==
              Filter("strip", text));
}

TEST_F(UrduTest, CodesAsCodemapperWritesThem) {
  const std::string sample = kSource + "/data/codemapper/sample.txt";
  ASSERT_EQ(0, Run("cp '" + kSource + "/data/codemapper/rules.txt' ."));
  ASSERT_EQ(0, Run("{ printf '\\377\\376'; iconv -f UTF-8 -t UTF-16LE '" +
                   sample + "'; } > in.u16"));
  ASSERT_EQ(0, Run(std::string("'") + CODEMAPPER_PATH + "' in.u16 out.txt"));
  ASSERT_EQ(0, Run(Urdu() + " codes '" + sample + "' > codes.txt"));
  // codemapper adds an empty line for the end of the last line.
  EXPECT_EQ(Contents(Path("out.txt")), Contents(Path("codes.txt")) + "\n");
}

// A line of several blocks goes in pieces, cut where neither the rules nor
// the shadda doubling reach across; the result must be the line's as a
// whole. Spaces are such places, so the expected result is that of the
// words one a line, joined again. The words are dense in what a cut must
// not split: rule patterns, marks before U+06BE, shaddas.
TEST_F(UrduTest, LongLinesComeOutWhole) {
  const std::string normalize =
      "normalize --config '" + kSource + "/data/normalization/config.ini'";
  // Pairs that a cut between their two units would change.
  // Without --config U+0647 is read by its word, which a cut must not
  // split either.
  const char* const pairs[] = {
      u8"\u0627\u0653", u8"\u064E\u06BE", u8"\u0648\u0654", u8"\u062A\u0651",
      u8"\u06BE\u0651", u8"\u06BE\u0651", u8"\u062A\u0647", u8"\u0647"};
  std::mt19937 rng(8);
  std::string text;
  while (text.size() < (5 << 20)) {
    text += u8"\u0633";  // no word starts with a shadda or U+06BE
    for (int i = rng() % 6; i >= 0; --i) text += pairs[rng() % 8];
    text += ' ';
  }
  text.back() = '\n';
  // Ended by CR LF, the words' blocks end elsewhere in the text than the
  // line's do.
  std::string words;
  for (char c : text)
    words += c == ' ' ? std::string("\r\n") : std::string(1, c);
  for (const std::string& command :
       {std::string("codes"), normalize, std::string("normalize")}) {
    std::string expected;
    for (char c : Filter(command, words)) {
      if (c != '\r') expected += c == '\n' ? ' ' : c;
    }
    expected.back() = '\n';
    EXPECT_TRUE(expected == Filter(command, text)) << command;
  }
  // Stretches longer than a block without a place to cut come out whole:
  // yeh, which a rule rewrites, and U+06BE, which a shadda could follow.
  const struct {
    std::string command, unit, result, line_end;
  } stretches[] = {{normalize, u8"\u064A", u8"\u06CC", "\r\n"},
                   {"codes", u8"\u06BE", "", "\n"}};
  for (const auto& c : stretches) {
    std::string result = c.result;
    if (result.empty()) {
      result = Filter(c.command, c.unit);
      result.pop_back();  // its line end
    }
    std::string line = "x ", expected = "x ";
    for (int i = 0; i < 1500000; ++i) {
      line += c.unit;
      expected += result;
    }
    EXPECT_TRUE(expected + " y" + c.line_end ==
                Filter(c.command, line + " y\r\n"))
        << c.command;
  }
}

TEST_F(UrduTest, EvaluationNumbers) {
  BuildSampleTable();
  // Gold and predicted: kitaab with a wrong first vowel, qalam with an
  // extra sukun on its last letter, dil right, and a word the table lacks.
  MakeFile("gold.txt", u8"کِتَاب، قَلَم\nدِل بَکْس\n");
  MakeFile("pred.txt", u8"کَتَاب، قَلَمْ\nدِل بَکْس\n");
  ASSERT_EQ(0, Run(Urdu() + " evaluate --gold gold.txt pred.txt > a.txt"));
  EXPECT_EQ(
      "words\t4\n"
      "letters\t12\n"
      "DER\t16.67%\t2/12\n"
      "DER without last letter\t12.50%\t1/8\n"
      "WER\t50.00%\t2/4\n"
      "WER without last letter\t25.00%\t1/4\n",
      Contents(Path("a.txt")));
  // From standard input, with the table's coverage of the gold words:
  // kitaab, qalam and dil are known, and qalam and dil in the gold form.
  ASSERT_EQ(0, Run(Urdu() + " evaluate --table t.lex --gold gold.txt "
                            "< pred.txt > b.txt"));
  EXPECT_EQ(Contents(Path("a.txt")) +
                "table knows the word\t75.00%\t3/4\n"
                "table has the gold form\t50.00%\t2/4\n"
                "WER on ambiguous words\t0.00%\t0/0\n",
            Contents(Path("b.txt")));
  MakeFile("bad.txt", u8"کتاب قلم\nدل بکس\n");
  EXPECT_EQ(0, Run(Urdu() + " evaluate --gold gold.txt bad.txt > /dev/null"));
  MakeFile("bad.txt", u8"کتاب قلم\nدل بکسا\n");
  EXPECT_EQ(1, Run(Urdu() + " evaluate --gold gold.txt bad.txt -o c.txt"));
  EXPECT_EQ(
      u8"urdu: gold.txt:2: word 2 \"بَکْس\" and bad.txt:2: word 2 "
      u8"\"بکسا\" differ in more than their marks\n",
      stderr_);
  EXPECT_FALSE(Exists("c.txt"));
}

// Stripped and restored text is measured against its gold text although
// strip took khari zabar off and composed alef + madda and yeh + hamza:
// only the fatha of tea'ala, which the table lacks, is missed. The table
// knows aap and hui by their composed letters.
TEST_F(UrduTest, EvaluatesStrippedTextOnTheCanonicalKey) {
  MakeFile("w.txt", u8"آپ\nہُوئی\nکِتاب\n");
  ASSERT_EQ(0, Run(Urdu() + " table build w.txt -o t.lex")) << stderr_;
  MakeFile("gold.txt", u8"کِتاب \u0627\u0653پ تَعالیٰ ہُو\u064A\u0654ی\n");
  ASSERT_EQ(0, Run(Urdu() + " strip gold.txt | " + Urdu() +
                   " diacritize --table t.lex | " + Urdu() +
                   " evaluate --gold gold.txt --table t.lex > out.txt"))
      << stderr_;
  EXPECT_EQ(
      "words\t4\n"
      "letters\t15\n"
      "DER\t6.67%\t1/15\n"
      "DER without last letter\t9.09%\t1/11\n"
      "WER\t25.00%\t1/4\n"
      "WER without last letter\t25.00%\t1/4\n"
      "table knows the word\t75.00%\t3/4\n"
      "table has the gold form\t25.00%\t1/4\n"
      "WER on ambiguous words\t0.00%\t0/0\n",
      Contents(Path("out.txt")));
}

TEST_F(UrduTest, NormalizeAndCheck) {
  const std::string config = kSource + "/data/normalization/config.ini";
  // The Arabic kaf becomes the Urdu one; line ends, CR LF included, stay
  // as they came.
  MakeFile("in.txt", u8"\u0643\u062A\u0627\u0628\r\nok\n\u0645\u0644\u0643");
  ASSERT_EQ(
      0, Run(Urdu() + " normalize --config '" + config + "' in.txt > nfc.txt"))
      << stderr_;
  const std::string nfc = Contents(Path("nfc.txt"));
  EXPECT_EQ(0u, nfc.find(u8"\u06A9\u062A\u0627\u0628\r\nok\n"));
  EXPECT_NE(nfc, Contents(Path("in.txt")));
  // --check lists every change, with its line and its column in
  // characters, and exits 1; --diff shows the lines before and after; once
  // normalized, nothing is listed. Standard input works the same.
  const std::string line = u8"\U0001F600\u064A\u0627\u0653 \u0628\u064E\u06BE";
  MakeFile("x.txt", u8"\u0643\nok\n" + line + "\n");
  const struct {
    const char* option;
    std::string listed;
  } cases[] = {
      {"--check",
       "x.txt:1:1: U+0643 -> U+06A9\n"
       "x.txt:3:2: U+064A -> U+06CC\n"
       "x.txt:3:3: U+0627 U+0653 -> U+0622\n"
       "x.txt:3:7: U+064E U+06BE -> U+06BE U+064E\n"},
      {"--diff",
       u8"-x.txt:1: \u0643\n+x.txt:1: \u06A9\n-x.txt:3: " + line +
           u8"\n+x.txt:3: \U0001F600\u06CC\u0622 \u0628\u06BE\u064E\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(1, Run(Urdu() + " normalize " + c.option + " --config '" +
                     config + "' x.txt > list.txt"));
    EXPECT_EQ("urdu: 2 lines would change (4 changes)\n", stderr_);
    EXPECT_EQ(c.listed, Contents(Path("list.txt")));
  }
  EXPECT_EQ(0, Run(Urdu() + " normalize --check --config '" + config +
                   "' < nfc.txt > list.txt"));
  EXPECT_EQ("", Contents(Path("list.txt")));
  // Without --config U+0647 is read by its place in the word; a
  // configuration given applies its rules as they are.
  MakeFile("heh.txt", u8"بهی کچه که\n");
  const struct {
    std::string options, output;
  } heh[] = {
      {"", u8"بھی کچھ کہ\n"},
      {"--config '" + config + "' ", u8"بہی کچہ کہ\n"},
      {"--check ",
       "heh.txt:1:2: U+0647 -> U+06BE\nheh.txt:1:7: U+0647 -> U+06BE\n"
       "heh.txt:1:10: U+0647 -> U+06C1\n"},
  };
  for (const auto& c : heh) {
    Run(Urdu() + " normalize " + c.options + "heh.txt > heh.out");
    EXPECT_EQ(c.output, Contents(Path("heh.out"))) << c.options;
  }
  EXPECT_EQ("urdu: 1 line would change (3 changes)\n", stderr_);
  EXPECT_EQ(1, Run(Urdu() + " normalize --config missing.ini in.txt -o o"));
  EXPECT_EQ("urdu: Could not open configuration file: missing.ini.\n", stderr_);
  EXPECT_FALSE(Exists("o"));
}

TEST_F(UrduTest, InvalidUtf8FailsOrIsReplaced) {
  const std::string text = "a\nbc \xC3\x28 d\n";
  int status = 0;
  Filter("strip -o out.txt", text, &status);
  EXPECT_EQ(1, status);
  EXPECT_EQ("urdu: standard input: line 2, byte offset 5: invalid UTF-8\n",
            stderr_);
  EXPECT_FALSE(Exists("out.txt"));
  MakeFile("in.txt", text);
  EXPECT_EQ(1, Run(Urdu() + " diacritize --table t.lex in.txt -o out.txt"));
  EXPECT_EQ(0u, stderr_.find("urdu: table t.lex: ")) << stderr_;
  EXPECT_FALSE(Exists("out.txt"));
  EXPECT_EQ("a\nbc \xEF\xBF\xBD( d\n", Filter("strip --lenient", text));
  EXPECT_EQ("urdu: standard input: 1 invalid sequences replaced by U+FFFD\n",
            stderr_);
}

// Data files cut short load as if whole (a table with unused slots, a
// rules file without its last line), so every program refuses them, before
// any output. Each is judged on the bytes its one read loaded: the same
// bytes from a regular file, a pipe or a FIFO get the same verdict, and a
// whole file the same output (-v and --forms all included, which once read
// the table a second time).
TEST_F(UrduTest, DataFilesAreJudgedOnTheBytesRead) {
  using urdulex::test::Utf16File;
  // A table well over the 30000 bytes that `head -c` keeps below.
  ASSERT_EQ(0, Run(Urdu() + " table build '" + kShippedWords + "' -o t.lex"))
      << stderr_;
  const std::string table = Contents(Path("t.lex"));
  const std::string slots = std::to_string((table.size() - 6) / 70);
  const std::string cut = table.substr(0, 30000);  // `head -c 30000`
  const std::string cut_short =
      "is cut short: " + slots + " slots announced, " +
      std::to_string((30000 - 6) / 70) + " complete records and a partial " +
      "one of " + std::to_string((30000 - 6) % 70) + " bytes found";
  const std::string surplus = table + table.substr(6, 70);
  const std::string rules = Utf16File(L"\x0627:12\r\n\x0628:13");
  const std::string nfc = Utf16File(L"a:b\r\nc:d");
  MakeFile("in.txt", u8"\u062C\u0646 \u0627\u0628 c\n");
  MakeFile("in.u16", Utf16File(L"\x062C\x0646\r\n\x0627\x0628\r\nc"));
  MakeFile("config.ini", "NFCfilepath = nfc.u16\r\n");
  const std::string urdu = Urdu() + " ";
  const std::string diacritizer = std::string("'") + DIACRITIZER_PATH + "' ";
  const std::string codemapper = std::string("'") + CODEMAPPER_PATH + "' ";
  const std::string normalize = std::string("'") + NORMALIZE_PATH + "' ";
  struct {
    const char* data;  // the name the data file is read by
    std::string bytes;
    std::string command;
    std::string error;  // from a regular file; empty: a success
  } cases[] = {
      {"d.lex", cut, urdu + "diacritize --table d.lex in.txt -o out",
       "urdu: table d.lex " + cut_short + "\n"},
      {"d.lex", cut, urdu + "diacritize -v --forms all --table d.lex in.txt",
       "urdu: table d.lex " + cut_short + "\n"},
      {"d.lex", surplus,
       urdu + "evaluate --gold in.txt --table d.lex in.txt -o out",
       "urdu: table d.lex holds more records than slots: " + slots +
           " slots announced, " + std::to_string(std::stoi(slots) + 1) +
           " complete records found\n"},
      {"wordformshashtable.lex", cut, diacritizer + "in.u16 out",
       "diacritizer: Word-form table wordformshashtable.lex " + cut_short +
           ".\n"},
      {"d.txt", rules, urdu + "codes --table d.txt in.txt -o out",
       "urdu: code table d.txt ends without CR LF: line 2 would be ignored\n"},
      {"rules.txt", rules, codemapper + "in.u16 out",
       "Code table rules.txt ends without CR LF: line 2 would be ignored.\n"},
      {"nfc.u16", nfc, urdu + "normalize --config config.ini in.txt -o out",
       "urdu: NFC rules file nfc.u16 ends without CR LF: line 2 would be "
       "ignored\n"},
      {"nfc.u16", nfc, normalize + "in.u16 out",
       "urdulex-normalize: NFC rules file nfc.u16 ends without CR LF: line 2 "
       "would be ignored.\n"},
      {"d.lex", table,
       urdu + "diacritize -v --forms all --table d.lex in.txt -o out", ""},
      {"d.lex", table, urdu + "evaluate --gold in.txt --table d.lex in.txt",
       ""},
      {"wordformshashtable.lex", table, diacritizer + "in.u16 out", ""},
      {"rules.txt", rules + Utf16File(L"\r\n", false),
       codemapper + "in.u16 out", ""},
      {"nfc.u16", nfc + Utf16File(L"\r\n", false),
       urdu + "normalize --config config.ini in.txt", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    MakeFile("data.bin", c.bytes);
    std::string error, output;
    for (const char* source : {"file", "pipe", "fifo"}) {
      SCOPED_TRACE(source);
      std::remove(Path(c.data).c_str());
      std::remove(Path("out").c_str());
      // A program that opened the FIFO twice would wait for ever.
      std::string command = "timeout 30 " + c.command + " > stdout";
      if (std::string(source) == "file") {
        MakeFile(c.data, c.bytes);
      } else if (std::string(source) == "pipe") {
        ASSERT_EQ(0, Run(std::string("ln -s /dev/stdin ") + c.data));
        command = "cat data.bin | " + command;
      } else {
        ASSERT_EQ(0, Run(std::string("mkfifo ") + c.data));
        command = std::string("(timeout 20 cat data.bin > ") + c.data +
                  " &); " + command;
      }
      const int status = Run(command);
      EXPECT_EQ(c.error.empty() ? 0 : 1, status) << stderr_;
      const std::string got =
          Contents(Path("stdout")) + "|" + Contents(Path("out"));
      if (std::string(source) == "file") {
        if (!c.error.empty()) {
          EXPECT_EQ(c.error, stderr_);
        }
        EXPECT_EQ(c.error.empty(), got != "|");
        error = stderr_;
        output = got;
      } else {
        EXPECT_EQ(error, stderr_);
        EXPECT_EQ(output, got);
      }
    }
  }
  // As the pipe above, named as it is.
  EXPECT_EQ(1, Run("head -c 30000 t.lex | " + urdu +
                   "diacritize --table /dev/stdin in.txt"));
  EXPECT_EQ("urdu: table /dev/stdin " + cut_short + "\n", stderr_);
}

TEST_F(UrduTest, UsageAndHelp) {
  for (const char* args :
       {"", "frob", "strip --frob", "diacritize --forms some",
        "diacritize --ambiguous most", "diacritize --forms all --ambiguous all",
        "diacritize --table", "evaluate pred.txt", "codes -o", "table",
        "uzt encode"}) {
    SCOPED_TRACE(args);
    EXPECT_EQ(2, Run(Urdu() + " " + args + " < /dev/null > out"));
    EXPECT_EQ(1, std::count(stderr_.begin(), stderr_.end(), '\n'));
    EXPECT_EQ(0u, stderr_.find("u"));
  }
  EXPECT_EQ("urdu: strip: unknown option --frob (see urdu strip --help)\n",
            (Run(Urdu() + " strip --frob"), stderr_));
  for (const char* args :
       {"help", "help diacritize", "strip --help", "table --help",
        "table build --help", "uzt decode -h", "--help"}) {
    EXPECT_EQ(0, Run(Urdu() + " " + args + " > help.txt")) << args;
    EXPECT_EQ(0u, Contents(Path("help.txt")).find("usage: urdu")) << args;
  }
  EXPECT_EQ(1, Run(Urdu() + " strip missing.txt"));
  EXPECT_EQ("urdu: cannot open missing.txt: No such file or directory\n",
            stderr_);
}

// The reports and stats of a text cut into shards at line ends, added up
// by `urdu report merge`, are byte for byte those of one run over the
// whole text, with and without the context rules.
TEST_F(UrduTest, ShardReportsAndStatsAddUpToOneRun) {
  // The gold text without its marks, and words kept and split.
  ASSERT_EQ(0,
            Run(Urdu() + " strip '" + kSource +
                "/data/urdu/gold.txt' > text.txt && printf '" +
                u8"کُتاب اوراُس\\nصورت‌حال کُتاب\\n" +
                "' >> text.txt && split -n l/4 text.txt shard."))
      << stderr_;
  for (const char* ambiguous : {"", "--ambiguous first "}) {
    SCOPED_TRACE(ambiguous);
    const std::string diacritize =
        Urdu() + " diacritize -v " + ambiguous + "-o /dev/null ";
    ASSERT_EQ(0, Run(diacritize + "--report one.tsv --stats one.stats "
                                  "text.txt"))
        << stderr_;
    const std::string one_line = stderr_;
    for (const char* shard : {"aa", "ab", "ac", "ad"}) {
      ASSERT_EQ(0, Run(diacritize + "--report " + shard + ".tsv --stats " +
                       shard + ".stats shard." + shard))
          << stderr_;
    }
    ASSERT_EQ(0, Run(Urdu() + " report merge aa.tsv ab.tsv ac.tsv ad.tsv "
                              "-o merged.tsv"))
        << stderr_;
    ASSERT_EQ(0, Run(Urdu() + " report merge -v aa.stats ab.stats ac.stats - "
                              "< ad.stats > merged.stats"))
        << stderr_;
    // The -v line of the stats added up is the one run's.
    EXPECT_EQ(one_line, stderr_);
    const std::string report = Contents(Path("one.tsv"));
    EXPECT_TRUE(report == Contents(Path("merged.tsv")));
    EXPECT_EQ(Contents(Path("one.stats")), Contents(Path("merged.stats")));
    // Every part of a report is there.
    for (const char* part : {"\t3\n", "\tkept\n", "\tsplit\n", "|"}) {
      EXPECT_NE(std::string::npos, report.find(part)) << part;
    }
  }
}

// Files that are no report or stats, or cannot be added up, are refused
// with the file and line at fault; nothing is written.
TEST_F(UrduTest, ReportMergeRefusesWhatItCannotAddUp) {
  MakeFile("a.tsv", u8"فلاں\t2\nجن\t2\tجِن|جِنّ\t0\t2\nمِیں\t1\tkept\n");
  MakeFile("first.tsv", u8"جن\t2\tجِن|جِنّ\n");
  const std::string stats =
      "# urdu diacritize stats 1\nwords\t7\nknown\t4\nunknown\t3\n"
      "ambiguous\t3\nother\t0\nkept\t1\n";
  MakeFile("s.stats", stats + "split\t0\n");
  const struct {
    std::string bad;  // the file "bad", when not empty
    const char* files;
    int status;
    std::string message;
  } kCases[] = {
      {u8"کتاب\n", "bad", 1, "bad:1: not a line of a report (1 field)"},
      {u8"کتاب\t1\t2\t3\n", "bad", 1,
       "bad:1: not a line of a report (4 fields)"},
      {u8"\t1\n", "bad", 1, "bad:1: not a line of a report (an empty field)"},
      {u8"کتاب\tx\n", "bad", 1, "bad:1: \"x\" is not a count"},
      {u8"کتاب\t0\n", "bad", 1, "bad:1: \"0\" is not a count"},
      {u8"جن\t2\tجِن|جِنّ\t0\t-2\n", "bad", 1, "bad:1: \"-2\" is not a count"},
      {u8"کتاب\t1\nقلم\t1", "bad", 1, "bad:2: the last line has no line end"},
      {u8"جن\t2\tجِن|جِنّ\t0\t2\nکتاب\t1\n", "bad", 1,
       "bad:2: an unknown word after the homographs"},
      {u8"مِیں\t1\tsplit\nکِیں\t1\tkept\n", "a.tsv bad", 1,
       "bad:2: a kept word after the split words"},
      {"a\xFF\t1\n", "bad", 1, "bad: line 1, byte offset 1: invalid UTF-8"},
      {"", "a.tsv first.tsv", 1,
       "first.tsv:1: a homograph of 3 fields, where a.tsv:2 has 5: reports "
       "of context rules and of none"},
      {u8"جن\t1\tجِن\t0\t1\n", "a.tsv bad", 1,
       u8"bad:1: the forms of جن are not those of a.tsv:2: reports of two "
       u8"tables"},
      {"", "a.tsv s.stats", 1,
       "cannot add up the stats s.stats and the report a.tsv"},
      {"", "s.stats a.tsv", 1,
       "cannot add up the report a.tsv and the stats s.stats"},
      {"", "s.stats /dev/null", 1,
       "cannot add up the report /dev/null and the stats s.stats"},
      {stats, "bad", 1, "bad: no split count"},
      {stats + "kept\t1\n", "bad", 1, "bad:8: kept a second time"},
      {stats + "split 0\n", "bad", 1,
       "bad:8: not a line of stats: NAME<TAB>COUNT"},
      {stats + "nouns\t0\n", "bad", 1, "bad:8: no count is called \"nouns\""},
      {stats + "split\t-0\n", "bad", 1, "bad:8: split \"-0\" is not a count"},
      {"# urdu diacritize stats 2\n", "bad", 1,
       "bad:1: stats of another version (2), not 1"},
      {"", "-v a.tsv", 2,
       "report: -v prints the counts of stats files, not of reports (see "
       "urdu report --help)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.files);
    MakeFile("bad", c.bad);
    EXPECT_EQ(c.status,
              Run(Urdu() + " report merge " + c.files + " -o out < /dev/null"));
    EXPECT_EQ("urdu: " + c.message + "\n", stderr_);
    EXPECT_FALSE(Exists("out"));
  }
}

// Options as the GNU tools take them: a long option by a start of its name
// that no other shares, a short one with its value joined to it, "--"
// ending the options. Each way gives what the spelled-out options give; a
// misuse is one line and status 2.
TEST_F(UrduTest, OptionsAsGnuToolsTakeThem) {
  BuildSampleTable();
  MakeFile("p", u8"جن کتاب\n");
  MakeFile("-x", u8"کِتاب\n");
  MakeFile("-h", u8"قَلَم\n");
  MakeFile("d.1256", "\x98\xCA\xC7\xC8\n");
  MakeFile("m.txt", Contents(kSource + "/data/uzt/test-mapping.txt"));
  const struct {
    const char* args;
    const char* same_as;  // the run whose output it gives, or null
    std::string message;  // on standard error, with status 2
  } kCases[] = {
      {"diacritize --tab t.lex --ambig=all -j2 p",
       "diacritize --table t.lex --ambiguous all -j 2 p", ""},
      {"diacritize --table=t.lex --no-p --norm p",
       "diacritize --table t.lex --normalize p", ""},
      {"strip -o- -j1 -fCP1256 d.1256", "strip --from CP1256 d.1256", ""},
      {"strip -- -x -h", "strip - ./-h < -x", ""},
      {"strip --he", "strip --help", ""},
      {"--vers", "version", ""},
      {"--he", "help", ""},
      {"evaluate --gold p --tab=t.lex p", "evaluate --gold p --table t.lex p",
       ""},
      // "-" is standard input for a data file too, read once.
      {"diacritize --table - --ambiguous first p < t.lex",
       "diacritize --table t.lex --ambiguous first p", ""},
      {"evaluate --gold - --table t.lex p < p",
       "evaluate --gold p --table t.lex p", ""},
      {"uzt encode --mapping - p < m.txt", "uzt encode --mapping m.txt p", ""},
      {"diacritize --table - < p", nullptr,
       "diacritize: --table - and the input both read standard input"},
      {"evaluate --gold - --table - p", nullptr,
       "evaluate: --gold - and --table - both read standard input"},
      {"evaluate --gold - --table - -", nullptr,
       "evaluate: --gold -, --table - and the input all read standard input"},
      {"uzt decode --mapping - < p", nullptr,
       "uzt: --mapping - and the input both read standard input"},
      {"diacritize --f first p", nullptr,
       "diacritize: --f is ambiguous: --fallback, --forms or --from"},
      {"diacritize --no p", nullptr,
       "diacritize: --no is ambiguous: --no-progress or --normalize"},
      {"strip --frob=x p", nullptr, "strip: unknown option --frob"},
      {"strip --keep=x p", nullptr, "strip: unknown option --keep-shadda"},
      {"strip -xj p", nullptr, "strip: unknown option -xj"},
      {"strip -j0 p", nullptr,
       "strip: -j wants a number of threads from 1 to 1024"},
      {"strip p -j", nullptr, "strip: -j wants a value"},
      {"table build -j2", nullptr, "table: unknown option -j2"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args);
    if (c.same_as != nullptr) {
      ASSERT_EQ(0, Run("{ " + Urdu() + " " + c.same_as + "; } > expected"))
          << stderr_;
      EXPECT_EQ(0, Run(Urdu() + " " + c.args + " > out")) << stderr_;
      EXPECT_EQ(Contents(Path("expected")), Contents(Path("out")));
    } else {
      EXPECT_EQ(2, Run(Urdu() + " " + c.args + " > out"));
      EXPECT_EQ("urdu: " + c.message + " (see urdu " +
                    c.message.substr(0, c.message.find(':')) + " --help)\n",
                stderr_);
    }
  }
}

// The progress line gives the rate, and for inputs of known size the share
// done and the time left; the last one is cleared at the end.
TEST_F(UrduTest, ProgressShowsTheRateAndTheTimeLeft) {
  MakeFile("big.txt", std::string(3000000, 'a'));
  const struct {
    const char* input;
    std::vector<std::string> shown, not_shown;
  } kCases[] = {
      {"big.txt", {"\rurdu strip:  34% of 3.0 MB, ", " MB/s, ", " left"}, {}},
      {"- < big.txt", {"% of 3.0 MB, "}, {}},
      {"< /dev/stdin", {"\rurdu strip: 1.0 MB, ", " MB/s"}, {"%", "left"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.input);
    ASSERT_EQ(0, Run("cat big.txt | URDU_PROGRESS_EVERY_READ=1 " + Urdu() +
                     " strip --progress -j 1 -o out " + c.input));
    for (const std::string& part : c.shown) {
      EXPECT_NE(std::string::npos, stderr_.find(part)) << stderr_;
    }
    for (const std::string& part : c.not_shown) {
      EXPECT_EQ(std::string::npos, stderr_.find(part)) << stderr_;
    }
    const size_t cleared = stderr_.rfind('\r', stderr_.size() - 2);
    EXPECT_EQ(std::string(stderr_.size() - cleared - 2, ' '),
              stderr_.substr(cleared + 1, stderr_.size() - cleared - 2));
  }
}

// A command one or two letters off one of urdu's is named in the message.
TEST_F(UrduTest, AMistypedCommandIsNamed) {
  const struct {
    const char* typed;
    const char* meant;  // null: none is close
  } kCases[] = {
      {"diacritise", "diacritize"},
      {"normalise", "normalize"},
      {"strp", "strip"},
      {"Strip", "strip"},
      {"tabel", "table"},
      {"cods", "codes"},
      {"ut", "uzt"},
      {"verison", "version"},
      {"hlp", "help"},
      {"frob", nullptr},
      {"dia", nullptr},
      {"uztx2", nullptr},
      // After a command: what help is asked about, and a subcommand.
      {"help diacritise", "diacritize"},
      {"help frob", nullptr},
      {"table buld", "build"},
      {"uzt encod", "encode"},
      {"report merj", "merge"},
      {"table dmp", "dump"},
      {"table x", nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(2, Run(Urdu() + " " + c.typed + " x < /dev/null"));
    const std::string typed = c.typed;
    const size_t space = typed.find(' ');
    const std::string meant =
        c.meant != nullptr ? std::string("; did you mean ") + c.meant + "?"
                           : "";
    if (space == std::string::npos) {
      EXPECT_EQ("urdu: unknown command " + typed +
                    (meant.empty() ? " (see urdu help)" : meant) + "\n",
                stderr_);
    } else {
      const std::string command = typed.substr(0, space);
      const std::string word = typed.substr(space + 1);
      EXPECT_EQ(
          "urdu: " + command + ": " +
              (command == "help" ? "no command " + word
                                 : "unknown " + command + " command " + word) +
              meant + " (see urdu " + command + " --help)\n",
          stderr_);
    }
  }
}

}  // namespace

namespace {

// Messages that say what is wrong and how to go on: an input in another
// encoding, a word list given as a table, a library report without its
// developer's details.
TEST_F(UrduTest, MessagesNameTheFix) {
  struct {
    const char* what;
    std::string bytes;  // of in.txt
    std::string args;
    int status;
    std::string message;
  } cases[] = {
      {"UTF-32LE mark", std::string("\xFF\xFE\0\0\x27\x06\0\0", 8),
       "strip in.txt", 1,
       "in.txt: line 1, byte offset 0: UTF-32 text (byte-order mark FF FE 00 "
       "00): read it with --from UTF-32"},
      {"UTF-32BE mark", std::string("\0\0\xFE\xFF\0\0\x06\x27", 8),
       "strip in.txt", 1,
       "in.txt: line 1, byte offset 0: UTF-32 text (byte-order mark 00 00 FE "
       "FF): read it with --from UTF-32"},
      {"UTF-16LE without mark", "\xA9\x06\x2A\x06\x27\x06\x28\x06\x0A\x00",
       "strip in.txt", 1,
       "in.txt: line 1, byte offset 0: invalid UTF-8; it looks like UTF-16LE "
       "without a byte-order mark: read it with --from UTF-16LE"},
      {"CP1256", "\x98\xCA\xC7\xC8 \x81\xE5\xE1\xC7\n", "strip in.txt", 1,
       "in.txt: line 1, byte offset 0: invalid UTF-8; it looks like the "
       "Windows Arabic code page CP1256: read it with --from CP1256"},
      {"ISO-8859-6", "\xE3\xCA\xC7\xC8 \xE1\xEA\n", "strip in.txt", 1,
       "in.txt: line 1, byte offset 0: invalid UTF-8; it looks like the "
       "Arabic code page ISO-8859-6: read it with --from ISO-8859-6"},
      {"invalid for --from", "a\xA1", "strip -f ISO-8859-6 in.txt", 1,
       "in.txt: byte offset 1: invalid ISO-8859-6"},
      {"unknown --from", "a", "strip --from NO-SUCH in.txt", 2,
       "--from NO-SUCH: not an encoding the C library's iconv converts "
       "(`iconv -l` lists them)"},
      {"word list as table", "",
       "diacritize --table '" + kShippedWords + "' in.txt", 1,
       "table " + kShippedWords +
           " looks like a word list, not a word-form table: build a table "
           "from it with `urdu table build " +
           kShippedWords + " -o table.lex` and give --table table.lex"},
      {"library report", "", "codes --table missing.txt in.txt", 1,
       "code table missing.txt: Could not open file: missing.txt."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MakeFile("in.txt", c.bytes);
    EXPECT_EQ(c.status, Run(Urdu() + " " + c.args + " -o out.txt"));
    EXPECT_EQ("urdu: " + c.message + "\n", stderr_);
    EXPECT_FALSE(Exists("out.txt"));
  }
}

TEST_F(UrduTest, FromReadsOtherEncodingsThroughIconv) {
  const std::string text = u8"کتاب پھل\n";
  struct {
    const char* encoding;
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"CP1256", "\x98\xCA\xC7\xC8 \x81\xAA\xE1\n", text},
      {"ISO-8859-6", "\xE3\xCA\xC7\xC8\n", u8"كتاب\n"},
      {"UTF-16LE", std::string("\xA9\x06\x2A\x06\x0A\x00", 6), u8"کت\n"},
      {"UTF-16BE", std::string("\x06\xA9\x06\x2A\x00\x0A", 6), u8"کت\n"},
      // A mark is read as one, and a UTF-16LE mark left by iconv dropped.
      {"UTF-32", std::string("\xFF\xFE\0\0\xA9\x06\0\0\x0A\0\0\0", 12),
       u8"ک\n"},
      {"UTF-16LE", std::string("\xFF\xFE\xA9\x06\x0A\x00", 6), u8"ک\n"},
      // Replaced with --lenient.
      {"ISO-8859-6 --lenient",
       "a\xA1"
       "b",
       u8"a\uFFFDb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoding);
    EXPECT_EQ(c.expected,
              Filter(std::string("strip --from ") + c.encoding, c.bytes));
  }
  // Longer than the converter's blocks, with characters cut by their ends.
  std::string many = "a";
  for (int i = 0; i < 100000; ++i) many += u8"ہ";
  EXPECT_EQ(many, Filter("strip -f UTF-8", many));
}

// A file name holding a control character (or bytes that are not UTF-8)
// goes into a message quoted, its controls as $'\n' escapes: one line on
// standard error, nothing for the terminal to act on.
TEST_F(UrduTest, NamesInMessagesAreQuotedWhenTheyHoldControlCharacters) {
  BuildSampleTable();
  MakeFile("x\x1b[31m", "a\xff\n");
  MakeFile("g\nold", u8"کتاب قلم\n");
  MakeFile("p", u8"کتاب\n");
  const std::string kNewline = "'a'$'\\n''b'";
  const struct {
    std::string args;
    std::string message;
  } kCases[] = {
      {"strip $'a\\nb'",
       "urdu: cannot open " + kNewline + ": No such file or directory"},
      {"strip -o $'a\\nb/c' p",
       "urdu: cannot create 'a'$'\\n''b/c': No such file or directory"},
      {"strip $'x\\e[31m'",
       "urdu: 'x'$'\\033''[31m': line 1, byte offset 1: invalid UTF-8"},
      {"strip --lenient $'x\\e[31m'",
       "urdu: 'x'$'\\033''[31m': 1 invalid sequences replaced by U+FFFD"},
      {"diacritize --table $'a\\nb' p",
       "urdu: table " + kNewline + ": Could not open file: " + kNewline +
           ". Hash table file could not be opened."},
      {"codes --table $'a\\nb' p", "urdu: code table " + kNewline +
                                       ": Could not open file: " + kNewline +
                                       "."},
      {"strip -o p p", "urdu: input and output are the same file: p"},
      {"strip -o $'x\\e[31m' $'x\\e[31m'",
       "urdu: input and output are the same file: 'x'$'\\033''[31m'"},
      {"evaluate --gold $'g\\nold' p",
       "urdu: p ends before 'g'$'\\n''old':1: word 2 \"قلم\""},
      {"uzt encode --mapping $'a\\nb' p",
       "urdu: cannot read mapping file " + kNewline +
           ": Could not open file: " + kNewline + "."},
      {"table check $'a\\nb'",
       "urdu: cannot open " + kNewline + ": No such file or directory"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args);
    Run("bash -c \"" + Urdu() + " " + c.args + " > out\"");
    EXPECT_EQ(c.message + "\n", stderr_);
  }
  // The programs of the other formats quote them too.
  MakeFile("wordformshashtable.lex", Contents(Path("t.lex")));
  MakeFile("p.u16", urdulex::test::Utf16File(L"\u0642\u0644\u0645\n"));
  EXPECT_EQ(1, Run(std::string("bash -c \"'") + DIACRITIZER_PATH +
                   "' p.u16 $'a\\nb/c'\""));
  EXPECT_EQ("diacritizer: Could not create output file: 'a'$'\\n''b/c'.\n",
            stderr_);
}

// A set URDULEX_DATA is the one data folder: one that leads nowhere, or
// lacks the file, is an error naming the variable, never a turn to the
// shipped data.
TEST_F(UrduTest, AnUnusableDataVariableIsAnError) {
  BuildSampleTable();
  MakeFile("p", u8"کتاب\n");
  MakeFile("file", "");
  ASSERT_EQ(0, Run("mkdir empty && ln -s gone link"));
  // A table without context rules; a configuration without its rules.
  ASSERT_EQ(0, Run("mkdir -p table/diacritizer config/normalization && "
                   "cp t.lex table/diacritizer/wordformshashtable.lex"));
  MakeFile("config/normalization/config.ini", "NFCfilepath = nfc-urdu.txt\n");
  const std::string kNoTable =
      " holds no word-form table diacritizer/wordformshashtable.lex: give "
      "--table FILE, or unset URDULEX_DATA";
  const struct {
    const char* data;
    const char* args;
    std::string message;
  } kCases[] = {
      {"missing", "diacritize p",
       "URDULEX_DATA names no folder: missing: No such file or directory"},
      {"link", "diacritize p",
       "URDULEX_DATA names no folder: link: No such file or directory"},
      {"file", "codes p",
       "URDULEX_DATA names no folder: file: Not a directory"},
      {"$'a\\nb'", "diacritize p",
       "URDULEX_DATA names no folder: 'a'$'\\n''b': No such file or "
       "directory"},
      {"empty", "diacritize p", "URDULEX_DATA folder empty" + kNoTable},
      {"empty", "evaluate --gold p --table",
       "URDULEX_DATA folder empty" + kNoTable},
      {"empty", "codes p",
       "URDULEX_DATA folder empty holds no code table codemapper/rules.txt: "
       "give --table FILE, or unset URDULEX_DATA"},
      {"empty", "normalize p",
       "URDULEX_DATA folder empty holds no normalization configuration "
       "normalization/config.ini: give --config FILE, or unset URDULEX_DATA"},
      {"missing", "normalize p",
       "URDULEX_DATA names no folder: missing: No such file or directory"},
      {"missing", "evaluate --gold p --table",
       "URDULEX_DATA names no folder: missing: No such file or directory"},
      // The rules are taken from the variable's folder when only the table
      // is named.
      {"missing", "diacritize --table t.lex p",
       "URDULEX_DATA names no folder: missing: No such file or directory"},
      {"table", "diacritize p",
       "URDULEX_DATA folder table holds no context rules "
       "diacritizer/context.txt: give --rules FILE, or unset URDULEX_DATA"},
      {"config", "normalize p",
       "URDULEX_DATA folder config: NFC rules file "
       "config/normalization/nfc-urdu.txt could not be read: Could not open "
       "file: config/normalization/nfc-urdu.txt."},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.data) + " " + c.args);
    EXPECT_EQ(1, Run(std::string("bash -c \"URDULEX_DATA=") + c.data + " " +
                     Urdu() + " " + c.args + "\""));
    EXPECT_EQ("urdu: " + c.message + "\n", stderr_);
  }
}

// Inputs are opened one at a time, when they are reached, so that a run
// over more files than the process may hold open works; an output that is
// one of them is still refused before anything is read.
TEST_F(UrduTest, ManyInputsOpenOneAtATime) {
  std::string names, expected;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "f" + std::to_string(i) + ".txt";
    MakeFile(name, u8"کِتاب " + std::to_string(i) + "\n");
    names += " " + name;
    expected += u8"کتاب " + std::to_string(i) + "\n";
  }
  for (const char* jobs : {"1", "2"}) {
    SCOPED_TRACE(jobs);
    ASSERT_EQ(0, Run("bash -c \"ulimit -n 64 && " + Urdu() + " strip -j " +
                     jobs + " -o out" + names + "\""))
        << stderr_;
    EXPECT_EQ(expected, Contents(Path("out")));
    EXPECT_EQ(1, Run("bash -c \"ulimit -n 64 && " + Urdu() + " strip -j " +
                     jobs + " -o f150.txt" + names + "\""));
    EXPECT_EQ("urdu: input and output are the same file: f150.txt\n", stderr_);
    EXPECT_EQ(u8"کِتاب 150\n", Contents(Path("f150.txt")));
  }
}

// -j N cuts the input into blocks of whole lines (here a few dozen bytes,
// so that every case spans many) and writes them in order: output, report,
// counts, messages, status and an untouched output on failure are those of
// one thread.
// A line of megabytes is cut where a sentence ends: every sentence keeps
// its words' neighbours, on one thread or several, from UTF-8 or UTF-16.
TEST_F(UrduTest, LongLinesAreCutBetweenSentences) {
  // Each word's reading depends on the one before or after it.
  const std::string sentence = u8"میں نے کیا؟ ";
  const std::string one = Filter("diacritize", sentence);
  ASSERT_NE(sentence, one);
  std::string line, expected;
  for (int i = 0; i < 200000; ++i) {
    line += sentence;
    expected += one;
  }
  for (const char* args : {"diacritize -j 1", "diacritize -j 2",
                           "diacritize -j 1 -v", "diacritize --utf16"}) {
    std::string got = Filter(args, line);
    if (std::string(args).find("utf16") != std::string::npos) {
      MakeFile("got.u16", got);
      ASSERT_EQ(0, Run("iconv -f UTF-16 -t UTF-8 got.u16 > got.txt"));
      got = Contents(Path("got.txt"));
    }
    EXPECT_TRUE(expected == got) << args;
  }
}

TEST_F(UrduTest, ThreadsGiveTheOneThreadsBytes) {
  BuildSampleTable();
  std::string long_line;
  for (int i = 0; i < 30; ++i) long_line += u8"کتاب جن ";
  // A mark, CR LF, an empty line, a line longer than a block, letters the
  // rules change, and a last line without LF.
  const std::string text =
      u8"\uFEFFکتاب قلم\r\nجن میں دل xyz 12\n\n" + long_line +
      u8"\n\u0643\u064A \u0627\u0653 اُردو\r\n" + u8"مُحبت\u0651 لوگ\r";
  MakeFile("a.txt", text);
  MakeFile("b.txt", u8"\nقلم دل\r\nميں\n");
  // Homographs the context rules decide by neighbours that a block of a
  // few bytes would cut off.
  MakeFile("h.txt",
           u8"میں نے کیا کہا۔ وہ گھر میں ہے اور کیا کرتا ہے\n"
           u8"کیا آپ نے کام کیا؟ اس نے کہا کہ میں آؤں گا۔ جلد ہی\n");
  MakeFile("c.u16", urdulex::test::Utf16File(L"\u0643\u062A\u0627\u0628\r\n"
                                             L"\u062C\u0646\n\u062F\u0644"));
  MakeFile("d.1256", "\x98\xCA\xC7\xC8 \xE1\r\n\xC7\xCF\n");
  MakeFile("bad.txt",
           "a\nb\n" + std::string(50, 'c') + "\nc\xC3\x28\nd\n\xFF\n");
  const std::string config = kSource + "/data/normalization/config.ini";
  const std::string normalize = "normalize --config '" + config + "' ";
  const char* const kCases[] = {
      "diacritize --table t.lex -v --report r.tsv a.txt b.txt h.txt",
      "diacritize --table t.lex h.txt a.txt",
      "diacritize --table t.lex --ambiguous all --utf16 c.u16 a.txt",
      "diacritize --table t.lex --lines -v a.txt",
      "strip --keep-shadda --utf16 a.txt b.txt c.u16",
      "strip --from CP1256 d.1256 d.1256",
      "strip bad.txt",
      "strip --lenient bad.txt a.txt bad.txt",
      "codes a.txt c.u16",
      "codes bad.txt",
  };
  std::vector<std::string> cases(std::begin(kCases), std::end(kCases));
  for (const char* option : {"", "--check ", "--diff ", "--utf16 "}) {
    cases.push_back(normalize + option + "a.txt b.txt c.u16");
  }
  // Threads the system refuses (URDULEX_REFUSE_THREAD): the run goes on
  // with those it has, down to the calling thread alone.
  const struct {
    const char* threads;
    const char* refused;
  } kRuns[] = {{"1", ""},
               {"2", ""},
               {"4", ""},
               {"4", "URDULEX_REFUSE_THREAD=0 "},
               {"4", "URDULEX_REFUSE_THREAD=2 "}};
  for (const std::string& args : cases) {
    std::string expected[3];
    int expected_status = 0;
    for (const auto& run : kRuns) {
      const std::string threads = run.threads;
      for (const char* block : {"8", "40"}) {
        SCOPED_TRACE(run.refused + args + " -j " + threads + ", blocks of " +
                     block);
        MakeFile("out", "old");
        MakeFile("r.tsv", "old");
        const int status =
            Run(std::string(run.refused) + "URDU_BLOCK_BYTES=" + block + " " +
                Urdu() + " " + args + " -j " + threads + " -o out");
        const std::string got[3] = {Contents(Path("out")),
                                    Contents(Path("r.tsv")), stderr_};
        if (threads == "1") {
          std::copy(got, got + 3, expected);
          expected_status = status;
          // A failure leaves the output as it was.
          if (args.find("bad") != std::string::npos &&
              args.find("lenient") == std::string::npos) {
            EXPECT_EQ(1, status);
            EXPECT_EQ("old", got[0]);
          }
          continue;
        }
        EXPECT_EQ(expected_status, status);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(expected[i], got[i]) << i;
      }
    }
  }
}

// The table rewritten in place while a command reads its input from a
// FIFO: the first part of the input is more than the FIFO holds, so once
// it is written the command is reading, its table open. The command fails
// with one line and leaves its output, report and stats as they were; a table
// replaced by rename is no change of the file the command opened.
TEST_F(UrduTest, TableChangedWhileUsedFailsTheCommand) {
  BuildSampleTable();
  std::string other = kWords;
  other.replace(other.find(u8"کِتاب"), std::string(u8"کِتاب").size(), u8"کَتاب");
  MakeFile("other.txt", other);
  ASSERT_EQ(0, Run(Urdu() + " table build other.txt -o other.lex"));
  ASSERT_EQ(Contents(Path("t.lex")).size(), Contents(Path("other.lex")).size());
  const std::string table = Contents(Path("t.lex"));
  std::string first;
  while (first.size() < (1 << 18)) first += u8"کتاب قلم\n";
  MakeFile("first.txt", first);
  MakeFile("rest.txt", u8"کتاب\n");
  MakeFile("gold.txt", first + u8"کتاب\n");
  struct {
    std::string args;  // the input is "in"
    std::string change;
    bool fails;
  } cases[] = {
      {"diacritize --table t.lex in -o out.txt",
       "dd if=other.lex of=t.lex conv=notrunc status=none", true},
      {"diacritize --table t.lex --report report.tsv --stats stats.txt in "
       "-o out.txt",
       "dd if=other.lex of=t.lex conv=notrunc status=none", true},
      {"evaluate --table t.lex --gold gold.txt in -o out.txt",
       "dd if=other.lex of=t.lex conv=notrunc status=none", true},
      {"diacritize --table t.lex --report report.tsv in -o out.txt",
       "cp other.lex new.lex && mv new.lex t.lex", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args + " / " + c.change);
    MakeFile("t.lex", table);
    MakeFile("out.txt", "as it was");
    MakeFile("report.tsv", "as it was");
    MakeFile("stats.txt", "as it was");
    std::remove(Path("in").c_str());
    // The change comes on a later tick of the file clock than the table's
    // making.
    EXPECT_EQ(c.fails ? 1 : 0,
              Run("mkfifo in && { " + Urdu() + " " + c.args +
                  " 2> err & } && exec 3> in && cat first.txt >&3 && "
                  "while [ \"$(stat -c %z t.lex)\" = \"$(touch tick && stat "
                  "-c %z tick)\" ]; do :; done && " +
                  c.change + " && cat rest.txt >&3 && exec 3>&- && wait $!"));
    if (c.fails) {
      EXPECT_EQ("urdu: table t.lex changed while being read\n",
                Contents(Path("err")));
      // (not compared with EXPECT_EQ: a run that went on wrote 256 KB)
      EXPECT_TRUE(Contents(Path("out.txt")) == "as it was");
      EXPECT_TRUE(Contents(Path("report.tsv")) == "as it was");
      EXPECT_TRUE(Contents(Path("stats.txt")) == "as it was");
    } else {
      EXPECT_EQ("", Contents(Path("err")));
      EXPECT_NE(std::string::npos, Contents(Path("out.txt")).find(u8"کِتاب\n"));
    }
    EXPECT_EQ(0, Run("! ls -a | grep -q urdulex-"));
  }
}

// A sparse file of the size its header announces (2^24 slots, 1.1 GB of
// zeros after a few records): its links lead into a cycle, which the check
// names without making a record of every slot (2.4 GB), and diacritize
// before making an index of them: within the file and a few hundred MB.
TEST_F(UrduTest, SparseTablesAreCheckedCheaply) {
  const int32_t slots = 1 << 24;
  const off_t size = 6 + off_t{70} * slots;
  const std::string limit =
      urdulex::test::MemoryCap(static_cast<int>(size / 1024) + 300000);
  MakeFile("in.txt", u8"قلم کتاب\n");
  using urdulex::diactest::Record;
  struct {
    std::vector<std::string> records;  // then zeros
    std::string command;
    std::string expected;
  } cases[] = {
      {{},
       "table check t.lex",
       "urdu: t.lex: slot 0 links to 0, closing a cycle"},
      {{Record(L"a", "X", 1), Record(L"b", "X", 0)},
       "table check t.lex",
       "urdu: t.lex: slot 1 links to 0, closing a cycle"},
      {{},
       "diacritize --table t.lex in.txt -o out.txt",
       "urdu: table t.lex: Slot 0 links to 0, closing a cycle."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    MakeFile("t.lex", urdulex::diactest::TableFile({slots}, c.records));
    ASSERT_EQ(0, ::truncate(Path("t.lex").c_str(), size));
    EXPECT_EQ(1, Run(limit + Urdu() + " " + c.command + " > /dev/null"));
    EXPECT_EQ(c.expected + "\n", stderr_);
  }
}

}  // namespace

// normalize and strip give the same bytes, status and message on
// UTF-8 bytes as on UTF-16 units (the hidden knob URDU_FILTER_UNITS=1), on
// inputs that take either way: marks that compose, the rules' letters, a
// BOM, CR LF, NUL, UTF-16, invalid UTF-8 strict and --lenient, a line over
// the reader's 1 MB block with a letter and its marks across the cut, and
// blocks of a few lines on two threads.
TEST_F(UrduTest, FiltersOnUtf8AsOnUnits) {
  const std::string mixed =
      u8"\u0627\u0653\u0633 \u064A\u0647 \u0628\u064E\u06BE\u0627 "
      u8"\u06CC\u0651\u0654 \u0643\u0660 x\u0E27\u064E \U0001F600\u0654\r\n";
  std::string long_line;
  while (long_line.size() < (1u << 20) + 4096) {
    long_line += u8"\u0628\u0647\u0627\u064E\u0651\u0653 \u06D2\u0654\u064F";
  }
  // A letter and its marks with the reader's block end (every MB) after
  // `before` bytes of them: after five marks, and after more marks than a
  // letter holds back.
  std::string across = long_line + "\n";
  const auto letter_across = [&](size_t block_end, size_t before, int marks) {
    across.resize(block_end - before, 'a');
    across += u8"\u0627";
    for (int i = 0; i < marks; ++i) across += u8"\u064E";
    across += u8"\u0653\n";
  };
  letter_across(2u << 20, 2 + 10, 10);
  letter_across(3u << 20, 2 + 132, 70);
  const std::string inputs[] = {
      mixed + mixed + "\n" + mixed.substr(0, mixed.size() - 2),
      u8"\u0628\u064E\u06BE\u0627\n\u0627\u0653\n\u064A\n\u0647\n"
      u8"\u0660\r\n\u06D2\u064F\u0654",
      "\xEF\xBB\xBF" + mixed + std::string(1, '\0') + mixed,
      std::string("\xFF\xFE\x27\x06\x53\x06\x0A\x00\x4A\x06", 10),
      mixed + "\xD9\x8E\xC3(\xED\xA0\x80" + mixed + "\xD9",
      across,
  };
  for (const std::string& input : inputs) {
    MakeFile("in.txt", input);
    for (const char* args :
         {"normalize -j 1", "normalize -j 2", "normalize -j 2 --lenient",
          "normalize -j 1 --config '" URDULEX_SOURCE_DIR
          "/data/normalization/config.ini'",
          "strip -j 1", "strip -j 2", "strip -j 1 --lenient",
          "strip --keep-shadda -j 2", "codes -j 1", "codes -j 2"}) {
      std::string out[2], err[2];
      int status[2];
      for (int units = 0; units < 2; ++units) {
        status[units] = Run(std::string("URDU_BLOCK_BYTES=100 ") +
                            (units ? "URDU_FILTER_UNITS=1 " : "") + Urdu() +
                            " " + args + " in.txt > out");
        out[units] = Contents(Path("out"));
        err[units] = stderr_;
      }
      SCOPED_TRACE(args);
      EXPECT_EQ(status[1], status[0]);
      EXPECT_TRUE(out[1] == out[0]);
      EXPECT_EQ(err[1], err[0]);
    }
  }
}
