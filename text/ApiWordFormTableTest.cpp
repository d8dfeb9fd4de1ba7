// The public API of the word-form table: built, opened, looked up and run
// over text; two tables at once and one table from several threads; the
// tokenizer and the evaluation.

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "foundation/TestUtil.h"
#include "urdulex/urdulex.h"

namespace {

class ApiTableTest : public urdulex::test::TempDirTest {
 protected:
  // A table of `words`, built through the API.
  urdulex::WordFormTable Build(const std::string& name,
                               const std::vector<std::string>& words) {
    urdulex::WordFormTableBuilder builder;
    for (const std::string& word : words) builder.Add(word);
    builder.Build(Path(name));
    return urdulex::WordFormTable::Open(Path(name));
  }
};

TEST_F(ApiTableTest, BuilderListsTheWordsItSkips) {
  urdulex::WordFormTableBuilder builder;
  EXPECT_TRUE(builder.Add("کِتاب", 1, 2, 3));
  EXPECT_FALSE(builder.Add("کِتاب"));
  EXPECT_FALSE(builder.Add("\u064e"));
  const urdulex::BuildReport report = builder.Build(Path("t.lex"));
  EXPECT_EQ(1u, report.forms);
  ASSERT_EQ(2u, report.skipped.size());
  EXPECT_EQ(urdulex::SkipReason::kDuplicate, report.skipped[0].reason);
  EXPECT_STREQ("no letters", urdulex::SkipReasonName(report.skipped[1].reason));
  try {
    builder.Build(Path("t.lex"), 0x7FFFFFFF);
    ADD_FAILURE() << "no error";
  } catch (const urdulex::Error& e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find("slots"));
  }
}

TEST_F(ApiTableTest, DiacritizeByPolicy) {
  const urdulex::WordFormTable table = Build("t.lex", {"کِتاب", "کَتاب", "قَلَم"});
  const std::string text = "کتاب، قلم اور کِتاب";
  const struct {
    urdulex::Ambiguous policy;
    const char* expected;
  } cases[] = {
      // The writer's kasra leaves the last word one form.
      {urdulex::Ambiguous::kFirst, "کِتاب، قَلَم اور کِتاب"},
      {urdulex::Ambiguous::kCommon, "کتاب، قَلَم اور کِتاب"},
      {urdulex::Ambiguous::kKeep, "کتاب، قَلَم اور کِتاب"},
      {urdulex::Ambiguous::kAll, "کِتاب|کَتاب، قَلَم اور کِتاب"},
  };
  for (const auto& c : cases) {
    urdulex::Coverage coverage;
    EXPECT_EQ(c.expected, table.Diacritize(text, {false, c.policy}, &coverage));
    EXPECT_EQ(4u, coverage.words);
    EXPECT_EQ(3u, coverage.known);
    EXPECT_EQ(2u, coverage.ambiguous);
  }
  // Context rules choose by the neighbours, the fallback elsewhere; the
  // shipped rules know nothing of this table's words.
  const urdulex::ContextRules rules =
      urdulex::ContextRules::Parse("کتاب -> کَتاب: next=قلم\n");
  EXPECT_EQ(1u, rules.size());
  EXPECT_EQ("کَتاب، قَلَم اور کِتاب",
            table.Diacritize(text, {false, urdulex::Ambiguous::kContext,
                                    urdulex::Ambiguous::kFirst, &rules}));
  EXPECT_EQ("کتاب اور",
            table.Diacritize("کتاب اور", {false, urdulex::Ambiguous::kContext,
                                          urdulex::Ambiguous::kKeep, &rules}));
  EXPECT_EQ(table.Diacritize(text, {false, urdulex::Ambiguous::kFirst}),
            table.Diacritize(text));
  // The text's letters, or with normalize the form's: Arabic kaf and yeh.
  urdulex::DiacritizeOptions normalize{false, urdulex::Ambiguous::kFirst};
  EXPECT_EQ("كِتاب، قَلَم", table.Diacritize("كتاب، قلم", normalize));
  normalize.normalize = true;
  EXPECT_EQ("کِتاب، قَلَم", table.Diacritize("كتاب، قلم", normalize));
  EXPECT_THROW(table.Diacritize(text, {false, urdulex::Ambiguous::kContext,
                                       urdulex::Ambiguous::kContext}),
               urdulex::Error);
  try {
    urdulex::ContextRules::Parse("کتاب -> کَتاب: nxt=قلم\n", "mine");
    ADD_FAILURE() << "no error";
  } catch (const urdulex::Error& e) {
    EXPECT_EQ(0u, std::string(e.what()).rfind("mine:1:", 0)) << e.what();
  }
  // Every form of a bare word, or of an Arabic spelling; of a marked word
  // those its marks agree with.
  const std::vector<std::string> forms = {"کِتاب", "کَتاب"};
  EXPECT_EQ(forms, table.Forms("کتاب"));
  EXPECT_EQ(forms, table.Forms("كتاب"));
  EXPECT_EQ(std::vector<std::string>{"کَتاب"}, table.Forms("کَتاب"));
  EXPECT_TRUE(table.Forms("کُتاب").empty());
  EXPECT_TRUE(table.Forms("اور").empty());
}

TEST_F(ApiTableTest, TablesOpenTogetherKeepTheirOwnForms) {
  const urdulex::WordFormTable one = Build("one.lex", {"کِتاب"});
  const urdulex::WordFormTable two = Build("two.lex", {"کَتاب", "قَلَم"});
  EXPECT_EQ(std::vector<std::string>{"کِتاب"}, one.Forms("کتاب"));
  EXPECT_EQ(std::vector<std::string>{"کَتاب"}, two.Forms("کتاب"));
  EXPECT_EQ("کِتاب قلم", one.Diacritize("کتاب قلم"));
  EXPECT_EQ("کَتاب قَلَم", two.Diacritize("کتاب قلم"));
}

TEST_F(ApiTableTest, ThreadsShareOneTable) {
  const urdulex::WordFormTable table = Build("t.lex", {"کِتاب", "کَتاب", "قَلَم"});
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "کتاب قلم اور ";
  const urdulex::DiacritizeOptions common{false, urdulex::Ambiguous::kCommon};
  const std::string expected = table.Diacritize(text, common);
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (std::string& result : results) {
    threads.emplace_back([&] {
      result = table.Diacritize(text, common) + table.Forms("قلم")[0];
    });
  }
  for (std::thread& t : threads) t.join();
  for (const std::string& result : results) EXPECT_EQ(expected + "قَلَم", result);
}

// Tables built at once on several threads, each to its own file, are each
// whole and right (the outputs' records for the signal handler are shared).
TEST_F(ApiTableTest, ThreadsBuildAtOnce) {
  const std::vector<std::string> words = {"کِتاب", "کَتاب", "قَلَم"};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      urdulex::WordFormTableBuilder builder;
      // A word of its own in each table, so that no two are alike.
      builder.Add(i % 2 == 0 ? words[0] : words[1]);
      builder.Add(words[2]);
      builder.Add(std::string(i + 1, 'a'));
      builder.Build(Path("t" + std::to_string(i) + ".lex"));
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const urdulex::WordFormTable table =
        urdulex::WordFormTable::Open(Path("t" + std::to_string(i) + ".lex"));
    EXPECT_EQ(std::vector<std::string>{i % 2 == 0 ? words[0] : words[1]},
              table.Forms("کتاب"));
    EXPECT_EQ(std::vector<std::string>{words[2]}, table.Forms("قلم"));
    EXPECT_EQ(std::vector<std::string>{std::string(i + 1, 'a')},
              table.Forms(std::string(i + 1, 'a')));
  }
}

TEST_F(ApiTableTest, OpenRefusesWhatUrduRefuses) {
  const struct {
    std::string bytes;
    std::string message;
  } cases[] = {
      {"کِتاب\n", "looks like a word list, not a word-form table"},
      {std::string("\xFF\xFE\x02\x00", 4),
       "End of file encountered. Hash table reading problem occurred."},
  };
  for (const auto& c : cases) {
    try {
      urdulex::WordFormTable::Open(MakeFile("bad.lex", c.bytes));
      ADD_FAILURE() << c.message;
    } catch (const urdulex::Error& e) {
      EXPECT_NE(std::string::npos, std::string(e.what()).find(c.message))
          << e.what();
      EXPECT_EQ(std::string::npos, std::string(e.what()).find("Error Code"));
    }
  }
}

TEST_F(ApiTableTest, ErrorsTellTheirKind) {
  using Kind = urdulex::Error::Kind;
  const std::string words = MakeFile("words.txt", "کِتاب\n");
  const urdulex::WordFormTable table = Build("t.lex", {"کِتاب"});
  const struct {
    std::function<void()> call;
    Kind kind;
  } cases[] = {
      {[&] { urdulex::WordFormTable::Open(Path("missing.lex")); },
       Kind::kNoFile},
      {[&] { urdulex::WordFormTable::Open(Path("no/t.lex")); }, Kind::kNoFile},
      {[&] { urdulex::WordFormTable::Open(words); }, Kind::kFile},
      {[&] { urdulex::ContextRules::Open(words); }, Kind::kFile},
      {[&] { urdulex::UztCodec::Open(Path("missing.txt")); }, Kind::kNoFile},
      {[&] {
         table.Diacritize("کتاب", {false, urdulex::Ambiguous::kContext,
                                   urdulex::Ambiguous::kContext});
       },
       Kind::kArgument},
      {[&] { table.Diacritize("\xFF"); }, Kind::kFailed},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    try {
      cases[i].call();
      ADD_FAILURE() << "case " << i << ": no error";
    } catch (const urdulex::Error& e) {
      EXPECT_EQ(cases[i].kind, e.kind()) << "case " << i << ": " << e.what();
    }
  }
}

// The lists of two texts add up to those of both, in their order again;
// lists of two tables do not, and leave the sum as it was.
TEST_F(ApiTableTest, WordListsAddUp) {
  const urdulex::WordFormTable table = Build("t.lex", {"کِتاب", "کَتاب"});
  const urdulex::WordFormTable other = Build("o.lex", {"کِتاب", "کُتاب"});
  const auto lists_of = [](const urdulex::WordFormTable& t,
                           const std::string& text) {
    urdulex::WordLists lists;
    t.Diacritize(text, {}, nullptr, &lists);
    return lists;
  };
  urdulex::WordLists sum = lists_of(table, "قلم کتاب");
  sum += lists_of(table, "دوات دوات کتاب");
  EXPECT_EQ(sum.Text(), lists_of(table, "قلم کتاب دوات دوات کتاب").Text());
  EXPECT_EQ("دوات\t2\nقلم\t1\nکتاب\t2\tکِتاب|کَتاب\t0\t0\n", sum.Text());
  const std::string before = sum.Text();
  EXPECT_THROW(sum += lists_of(other, "کتاب"), urdulex::Error);
  EXPECT_EQ(before, sum.Text());

  // A WordListsSum gives the same lists, added one by one or as sums, and
  // a refused add leaves it as it was too.
  urdulex::WordListsSum total, half;
  EXPECT_EQ("", total.Text());
  total += lists_of(table, "قلم کتاب");
  half += lists_of(table, "دوات دوات کتاب");
  total += half;
  EXPECT_EQ(before, total.Text());
  EXPECT_EQ(before, total.Lists().Text());
  EXPECT_THROW(total += lists_of(other, "کتاب"), urdulex::Error);
  urdulex::WordListsSum moved = std::move(total);
  EXPECT_EQ(before, moved.Text());
  total = moved;
  total += moved;
  EXPECT_EQ("دوات\t4\nقلم\t2\nکتاب\t4\tکِتاب|کَتاب\t0\t0\n", total.Text());
}

// A text long enough to go over the cores gives the text, counts and lists
// of its pieces diacritized one by one.
TEST_F(ApiTableTest, LongTextIsItsPieces) {
  const urdulex::WordFormTable table = Build("t.lex", {"کِتاب", "کَتاب", "قَلَم"});
  const char* words[] = {"کتاب", "قلم", "دوات", "کِتاب", "،", "اور"};
  std::vector<std::string> pieces(3);
  unsigned seed = 1;
  for (std::string& piece : pieces) {
    while (piece.size() < (size_t{2} << 20)) {
      for (int w = 0; w < 9; ++w) {
        seed = seed * 1103515245u + 12345u;
        piece += words[(seed >> 16) % std::size(words)];
        piece += ' ';
      }
      // The middle piece is one line, longer than a block.
      if (&piece != &pieces[1]) piece += (seed >> 8) % 3 == 0 ? "\r\n" : "\n";
    }
  }
  pieces[1] += '\n';
  pieces.back() += "قلم";  // no line end at the end
  std::string text, expected;
  urdulex::Coverage sum, whole;
  urdulex::WordListsSum lists_sum;
  urdulex::WordLists lists, whole_lists;
  for (const std::string& piece : pieces) {
    text += piece;
    expected += table.Diacritize(piece, {}, &whole, &lists);
    sum += whole;
    lists_sum += lists;
  }
  EXPECT_EQ(expected, table.Diacritize(text, {}, &whole, &whole_lists));
  EXPECT_EQ(sum.Stats(), whole.Stats());
  EXPECT_EQ(lists_sum.Text(), whole_lists.Text());
}

// A table is the file as it was opened: rewritten in place, cut short or
// emptied afterwards, the file changes nothing for the open table (and no
// signal reaches the process).
TEST_F(ApiTableTest, OpenTableNeverChanges) {
  Build("other.lex", {"کَتاب", "قَلَم"});
  const std::string other = Contents(Path("other.lex"));
  const struct {
    const char* what;
    std::string command;  // run on t.lex
  } cases[] = {
      {"rewritten in place",
       "dd if=other.lex of=t.lex conv=notrunc status=none"},
      {"cut short", "truncate -s 100 t.lex"},
      {"emptied", ": > t.lex"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const urdulex::WordFormTable table = Build("t.lex", {"کِتاب", "قَلَم"});
    ASSERT_EQ(other.size(), Contents(Path("t.lex")).size());
    ASSERT_EQ(0, Run(c.command));
    EXPECT_EQ("کِتاب قَلَم", table.Diacritize("کتاب قلم"));
    EXPECT_EQ(std::vector<std::string>{"کِتاب"}, table.Forms("کتاب"));
  }
}

TEST(ApiTokenizeTest, WordsSeparatorsAndOffsets) {
  const std::string text = "یہ کِتاب، «قلم» 42";
  // A byte-order mark is no token, and the offsets count it.
  const std::string marked = "\xEF\xBB\xBF" + text;
  for (const urdulex::Token& token : urdulex::Tokenize(marked)) {
    EXPECT_EQ(token.text, marked.substr(token.offset, token.text.size()));
  }
  std::string joined, words;
  for (const urdulex::Token& token : urdulex::Tokenize(text)) {
    EXPECT_EQ(token.text, text.substr(token.offset, token.text.size()));
    joined += token.text;
    if (token.kind == urdulex::Token::Kind::kWord) {
      words +=
          token.text + (token.marked ? "*" : "") + (token.urdu ? " " : "? ");
    }
  }
  EXPECT_EQ(text, joined);
  EXPECT_EQ("یہ کِتاب* قلم 42? ", words);
  const std::vector<urdulex::Token> lines =
      urdulex::Tokenize(" کتاب قلم \n", {true});
  EXPECT_EQ(urdulex::Token::Kind::kBlank, lines[0].kind);
  EXPECT_EQ("کتاب قلم", lines[1].text);
}

TEST(ApiEvaluateTest, MeasuresAndMismatch) {
  const urdulex::Evaluation e = urdulex::Evaluate("کِتاب قَلَم", "کَتاب قَلَم");
  EXPECT_EQ(2u, e.words);
  EXPECT_EQ(7u, e.letters);
  EXPECT_DOUBLE_EQ(1.0 / 7, e.DiacriticErrorRate());
  EXPECT_DOUBLE_EQ(0.5, e.WordErrorRate());
  EXPECT_EQ(0, e.Report().find("words\t2\nletters\t7\nDER\t14.29%"));
  try {
    urdulex::Evaluate("کتاب قلم", "کتاب");
    ADD_FAILURE() << "no error";
  } catch (const urdulex::Error& e) {
    EXPECT_EQ("predicted ends before gold:1: word 2 \"قلم\"",
              std::string(e.what()));
  }
}

}  // namespace
