// Word-form tables: the diacritized forms of Urdu words, looked up by their
// bare letters, and the diacritizer of running text over them.
//
// WordFormTable::Open judges a table file as the programs do; a file it
// refuses throws Error saying why. The file is read
// once, whole, into private memory: the table is the file as it was at
// Open, whatever is done to the file afterwards (rewritten in place, cut
// short, replaced), and no signal handler is involved. A table is a
// handle: copies share one table, which is never changed after Open, so
// one object may be used from many threads at once.
//
// WordFormTableBuilder makes table files from diacritized words.

#ifndef URDULEX_WORDFORM_TABLE_H_
#define URDULEX_WORDFORM_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace urdulex {

// What a word with several forms becomes.
enum class Ambiguous {
  kFirst,    // its first form, as for any known word
  kCommon,   // the first form with only the marks all its forms share
  kKeep,     // the word as it came
  kAll,      // every form, joined by '|'
  kContext,  // the form context rules choose by its neighbours in its
             // sentence; where none applies, as `fallback` says
};

// Rules that choose the reading of a homograph by the words around it
// (doc/context-rules.md). A handle: copies share the rules, which never
// change, so one object may be used from many threads at once.
class ContextRules {
 public:
  // The rules shipped with the library, built into it.
  static const ContextRules& Shipped();
  // The rules of a file; a file that is no rules file throws Error saying
  // where ("NAME:LINE:COLUMN: ...").
  static ContextRules Open(const std::string& path);
  // The rules of `text`, named `name` in messages.
  static ContextRules Parse(std::string_view text,
                            const std::string& name = "rules");

  size_t size() const;  // the number of rules

  struct Data;

 private:
  friend class WordFormTable;
  explicit ContextRules(std::shared_ptr<const Data> data)
      : data_(std::move(data)) {}
  std::shared_ptr<const Data> data_;
};

struct DiacritizeOptions {
  bool lines = false;  // each line one word
  Ambiguous ambiguous = Ambiguous::kContext;
  // With kContext: what a word no rule decides becomes (not kContext).
  Ambiguous fallback = Ambiguous::kFirst;
  // With kContext: the rules (null: ContextRules::Shipped()).
  const ContextRules* rules = nullptr;
  // A found word written as the table's form, not as the table's marks on
  // the text's letters (Arabic kaf and yeh, a decomposed madda, an izafat
  // ۂ become the form's letters); its directional marks stay.
  bool normalize = false;
};

struct Evaluation;
class WordFormTable;
Evaluation Evaluate(std::string_view gold, std::string_view predicted,
                    const WordFormTable* table);

// The counts of a diacritization.
struct Coverage {
  uint64_t words = 0;  // Urdu words (with an Arabic-script letter), looked up
  uint64_t known = 0;
  uint64_t unknown = 0;
  uint64_t ambiguous = 0;  // known, with more than one form
  uint64_t other = 0;      // other words (numbers, Latin), passed through
  uint64_t kept = 0;       // known, left as written: their marks fit no form
  uint64_t split = 0;      // words found as known parts (a compound, words run
                           // together); their parts count among words and known

  // Adds the counts of `other`: those of the two texts together.
  Coverage& operator+=(const Coverage& other);
  // The counts as lines: "# urdu diacritize stats 1", then `name<TAB>count`
  // for words, known, unknown, ambiguous, other, kept and split, in that
  // order (doc/stats.md).
  std::string Stats() const;
};

// A word of the lists of a diacritization and the times it came.
struct WordCount {
  std::string word;
  uint64_t count = 0;
};

// A word found with several forms: its bare form, the times it came, its
// forms in the table's order, and with context rules the times they chose
// its reading and the times the fallback did (the writer's marks chose the
// rest).
struct Homograph {
  std::string bare;
  uint64_t count = 0;
  std::vector<std::string> forms;
  uint64_t by_rules = 0;
  uint64_t by_fallback = 0;
};

// The words behind the counts of a diacritization: those the table does
// not know, those with several forms, those left as written for their
// marks fit no form, and those split into known parts. Each list most
// frequent first, equal counts in the order of their UTF-16 text.
struct WordLists {
  std::vector<WordCount> unknown;
  std::vector<Homograph> homographs;
  std::vector<WordCount> kept;
  std::vector<WordCount> split;
  bool context = false;  // made with context rules: by_rules, by_fallback

  // Adds the lists of `other`, as those of the two texts together: counts
  // of the same word in the same list added, the lists in their order
  // again. Throws Error (and changes nothing) when a homograph has other
  // forms in `other` (lists of two tables), or when one was made with
  // context rules and the other without, both with homographs.
  WordLists& operator+=(const WordLists& other);
  // The lists as UTF-8 lines: `word<TAB>count` of each unknown word;
  // `bare<TAB>count<TAB>form1|form2` of each homograph, with context rules
  // `<TAB>by_rules<TAB>by_fallback` more; `word<TAB>count<TAB>kept`;
  // `word<TAB>count<TAB>split` (doc/stats.md).
  std::string Text() const;
};

// The sum of the lists of many diacritizations (the files of a corpus, say),
// in time linear in what is added: the counts are kept by word, and sorted
// into lists only when asked for. WordLists::operator+= sorts the whole sum
// on every add.
class WordListsSum {
 public:
  WordListsSum();
  ~WordListsSum();
  WordListsSum(const WordListsSum& other);
  WordListsSum& operator=(const WordListsSum& other);
  WordListsSum(WordListsSum&&) noexcept;
  WordListsSum& operator=(WordListsSum&&) noexcept;

  // Adds `lists`, or another sum; throws Error, and changes nothing, where
  // WordLists::operator+= does.
  WordListsSum& operator+=(const WordLists& lists);
  WordListsSum& operator+=(const WordListsSum& other);

  // The sum as WordLists, and as WordLists::Text gives it.
  WordLists Lists() const;
  std::string Text() const;

  struct Counts;

 private:
  std::unique_ptr<Counts> counts_;
};

class WordFormTable {
 public:
  static WordFormTable Open(const std::string& path);

  // Every form of `word` in the table's order, found as Diacritize finds
  // it (by its bare form, else its canonical key); of a word written with
  // marks only the forms whose marks include them. Empty when the table
  // does not know it.
  std::vector<std::string> Forms(std::string_view word) const;

  // The text with every known word replaced by its form; separators and
  // unknown words are left as they are. `coverage`, when given, receives
  // the counts, and `lists` the words behind them. A text of more than
  // 4 MB is taken in blocks of lines on threads of the call's own, one a
  // core, gone when it returns; the result is the same.
  std::string Diacritize(std::string_view text,
                         const DiacritizeOptions& options = DiacritizeOptions(),
                         Coverage* coverage = nullptr,
                         WordLists* lists = nullptr) const;

  const std::string& path() const;

  struct Data;

 private:
  friend Evaluation Evaluate(std::string_view gold, std::string_view predicted,
                             const WordFormTable* table);
  explicit WordFormTable(std::shared_ptr<Data> data) : data_(std::move(data)) {}
  std::shared_ptr<Data> data_;
};

// Why a word was not stored (BuildReport lists the words skipped).
enum class SkipReason {
  kNoLetters,      // nothing but marks
  kNotRestorable,  // splitting and merging do not give the word back
  kLongKey,        // more bare letters than a table key holds
  kLongSymbols,    // more symbols than a table record holds
  kAtSign,         // a bare word starting with '@', which is never found
  kWideCharacter,  // a character above U+FFFF, or U+0000
  kDuplicate,      // the same form as an earlier word
};

// "no letters", "not restorable", ... as the build summary writes them.
const char* SkipReasonName(SkipReason reason);

struct SkippedWord {
  std::string word;
  SkipReason reason;
};

struct BuildReport {
  size_t forms = 0;
  int64_t slots = 0;
  std::vector<SkippedWord> skipped;
};

class WordFormTableBuilder {
 public:
  WordFormTableBuilder();
  ~WordFormTableBuilder();
  WordFormTableBuilder(WordFormTableBuilder&&) noexcept;
  WordFormTableBuilder& operator=(WordFormTableBuilder&&) noexcept;

  // Adds a diacritized word with the values carried along; false when the
  // word is skipped (the report of Build lists it with its reason).
  bool Add(std::string_view word, uint32_t id = 0xFFFFFFFFu, uint8_t tag = 0,
           uint8_t flag = 0);

  // Writes the table file `path` (replaced whole), with `slots` slots, or
  // when 0 as many as the forms need at the builder's usual load factor.
  // Throws Error when the slot count cannot hold the forms or the file
  // cannot be written.
  BuildReport Build(const std::string& path, int64_t slots = 0) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace urdulex

#endif  // URDULEX_WORDFORM_TABLE_H_
