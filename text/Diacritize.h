// Running text diacritized: a word-form table opened for lookups by bare
// form, and the diacritizer that runs text through it.
//
// A word is looked up by its bare form as SeparateSymbolicDiacritics gives
// it (the form of the table's keys), so a word written with some of its
// marks is found too. A found word is replaced by the table's form, the
// first in chain order as the `diacritizer` program writes it; a word with
// several forms (a homograph) may instead be given all of them joined by
// '|', only the marks they share, or be left as it came (Ambiguous). Any
// other word, and every separator, is written exactly as it came.
//
// The table is a WordFormLookup, opened by OpenWordFormTable; its failures
// are reported as urdulex::internal::Error naming the table. Once open, it may
// be shared by threads (its lookups are const and safe to run at once). The
// Diacritizer borrows the table and the writer.

#ifndef URDULEX_TEXT_DIACRITIZE_H_
#define URDULEX_TEXT_DIACRITIZE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "diacritizer/WordFormLookup.h"
#include "text/ContextRules.h"
#include "text/MarkedWord.h"
#include "text/TextIO.h"
#include "text/Tokenizer.h"
#include "urdulex/wordform_table.h"

namespace urdulex::internal {

// The bare form of `word` as SeparateSymbolicDiacritics gives it, appended
// to `out`. False (and nothing appended) when `word` has no mark to lift,
// so that it is its own bare form.
bool AppendBareForm(const char16_t* word, size_t n, std::u16string* out);

// The first of `forms` (the forms of one bare word, so the same letters)
// with only the marks that every form has on the same letter: a shadda
// where all have it, a vowel mark where all have the same one.
std::u16string CommonMarks(const std::vector<std::u16string>& forms);

// The words of `counts`, most frequent first, equal counts in the order of
// their UTF-16 text: the order of the unknown and ambiguous word lists.
std::vector<std::pair<std::u16string, uint64_t>> ByCount(
    const std::unordered_map<std::u16string, uint64_t>& counts);

// Opens the word-form table `path` into `table` (see WordFormLookup: a
// regular file is mapped; with `private_copy` it is read into private
// memory instead). With `all_forms`, every form of a word can be asked for
// (TableForms). Throws Error("table NAME: ...") when the table cannot be
// used, of kind kWordList when the file holds a word list (UTF-8 text, from
// which a table is built: TableBuilder.h); the lookups fail alike
// (RethrowTableError).
void OpenWordFormTable(const std::string& path, bool all_forms,
                       bool private_copy, WordFormLookup* table);

// Call inside a catch block for a lookup in `table`: throws its exception
// again as Error("table NAME: ..."); any other exception (the Error of kind
// kChanged "table NAME changed while being read" among them) goes on as it
// is.
[[noreturn]] void RethrowTableError(const WordFormLookup& table);

// Throws Error(kChanged, "table NAME changed while being read") once the table
// is no longer the file as it was opened (WordFormLookup::Unchanged): a command
// asks before it commits what it wrote.
void CheckUnchanged(const WordFormLookup& table);

// WordFormLookup::AllForms of the bare word `key`, failing as the lookups.
WordFormLookup::Forms TableForms(const WordFormLookup& table,
                                 const char16_t* key, size_t n);

// The counts of a run over text are urdulex::Coverage: only words holding
// an Arabic-script letter are looked up and counted as words; the others
// (numbers, Latin words, markup) are passed through and counted apart.

// "7 Urdu words, 3 known (42.86%), 4 unknown, 2 ambiguous; 5 other tokens
// passed through".
std::string FormatCoverage(const Coverage& coverage);

class Diacritizer {
 public:
  // What a word with several forms becomes (kCommon: CommonMarks of its
  // forms).
  using Ambiguous = urdulex::Ambiguous;
  struct Options {
    bool lines = false;  // one word a line
    Ambiguous ambiguous = Ambiguous::kFirst;
    bool count_unknown = false;    // keep the unknown words for Unknown()
    bool count_ambiguous = false;  // count the words with several forms
    bool list_ambiguous = false;   // keep them for AmbiguousWords()
    // UTF-8 output of words one form each is made from the input's UTF-8
    // bytes, the words looked up alone decoded (false: all the text is
    // decoded, as for every other run; the output is the same).
    bool utf8 = true;
    // Found words are written with the table's letters (and the text's
    // directional marks) rather than with the text's letters and the
    // table's marks.
    bool normalize = false;
    // Rules that choose among the readings of a word by its neighbours in
    // its sentence, before `ambiguous` does (null: none).
    const ContextRules* context = nullptr;
  };

  Diacritizer(const WordFormLookup& table, const Options& options,
              TextWriter& out)
      : table_(table), options_(options), out_(out) {}

  // Diacritizes the whole text of `reader`.
  void Run(TextReader& reader);

  // Readies `table` for a text of `bytes` bytes (-1: unknown), as Run does
  // for its reader (WordFormLookup::Expect): a text of many words per slot
  // of the table gets the full index built before its first lookup. For
  // callers that give the text to Run in pieces, such as threads taking
  // blocks, which pass the `threads` that take them: what is built is
  // built on that many.
  static void PrepareFor(const WordFormLookup& table, int64_t bytes,
                         unsigned threads = 1);

  // The forms `word` is given a reading from: every form of the word,
  // found as Run finds it, and of a word written with marks only those
  // whose marks agree with its own, in the table's order.
  std::vector<std::u16string> FormsOf(const char16_t* word, size_t n);

  const Coverage& coverage() const { return coverage_; }
  // The unknown words with their counts, most frequent first, equal counts
  // in the order of their UTF-16 text.
  std::vector<std::pair<std::u16string, uint64_t>> Unknown() const;
  // The bare forms of the words found with several forms, with their
  // counts, in the same order.
  std::vector<std::pair<std::u16string, uint64_t>> AmbiguousWords() const;
  // Of those, by the same bare forms, how often the context rules chose
  // the reading and how often none did and the fallback decided (kept
  // only with count_unknown).
  std::vector<std::pair<std::u16string, uint64_t>> ChosenByRules() const;
  std::vector<std::pair<std::u16string, uint64_t>> LeftToFallback() const;
  // The words left as written for their marks agree with no form, and
  // those split into known parts, as Unknown() lists them (kept only with
  // count_unknown).
  std::vector<std::pair<std::u16string, uint64_t>> KeptWords() const;
  std::vector<std::pair<std::u16string, uint64_t>> SplitWords() const;
  // Whether the options need every form of a word (the table's all_forms).
  static bool NeedsAllForms(const Options& options) {
    return options.ambiguous != Ambiguous::kFirst || options.count_ambiguous ||
           options.list_ambiguous;
  }

 private:
  struct Word {
    uint32_t token;
    uint32_t key;  // offset in keys_, or kInText
    uint32_t length;
    uint32_t text;          // offset of the word in the UTF-16 text
    uint32_t units;         // its length there
    bool plain;             // letters alone, looked up as written (SplitPlain)
    uint32_t sentence = 0;  // of the text being looked up, from 0
  };
  static constexpr uint32_t kInText = UINT32_MAX;
  using Answer = WordFormLookup::Answer;
  // Words looked up in one batch (WordFormLookup::FindMany).
  static constexpr size_t kBatch = 1024;
  // Bytes of text per word looked up, about, for the table's Expect: a
  // word and its separator.
  static constexpr int64_t kBytesPerWord = 8;
  // Bytes of UTF-8 text tokenized and looked up at a time.
  static constexpr size_t kPiece = 16 << 10;
  // Units of text past which a line is taken in pieces, for the context
  // rules: cut after the end of a sentence, or where there is none
  // anywhere (the words near the cut then lack some neighbours).
  static constexpr size_t kLongestSentence = 1 << 20;

  void Process(const char16_t* text, const std::vector<Token>& tokens);
  void Emit(const char16_t* text, const Token& token, const Word* word,
            const Answer* answer);
  // Looks the keys of words_ (those in the text are in `text`) up in
  // batches, calling emit(t, word, answer) for each token t in order, with
  // the word of a looked-up one and its answer, else nulls.
  template <typename EmitToken>
  void LookUp(const char16_t* text, size_t tokens, EmitToken&& emit);
  // The way of Run for UTF-8 text: tokens of bytes, words_ of wide_.
  void RunUtf8(TextReader& reader);
  void ProcessUtf8(const char* text, const std::vector<Token>& tokens);
  void EmitUtf8(const char* text, const Token& token, const Word* word,
                const Answer* answer);
  void PassUtf8(const char* original, size_t n) {
    if (original != pass8_ + pass_bytes_) {
      FlushPassed();
      pass8_ = original;
    }
    pass_bytes_ += n;
  }
  // Text written as it came goes out in runs as long as the words found
  // allow: fewer, longer writes.
  void Pass(const char16_t* original, size_t n) {
    if (original != pass_ + pass_units_) {
      FlushPassed();
      pass_ = original;
    }
    pass_units_ += n;
  }
  void FlushPassed() {
    if (pass_units_ > 0) out_.Put(pass_, pass_units_);
    pass_units_ = 0;
    if (pass_bytes_ > 0) out_.PutUtf8(pass8_, pass_bytes_);
    pass_bytes_ = 0;
  }

  // A word that is not written as the table's first form as it stands:
  // found with marks or letters to carry over, with several forms, or not
  // found by the key `key` (whose answer is `answer`). Counts it, and
  // writes it unless it is to be written as it came (false).
  bool PutWord(const char16_t* word, size_t n, const Token& token,
               const char16_t* key, size_t key_units, const Answer& answer);
  // Every form of the word (its MarkedWord in `marked`), found by `key`
  // (null: its own key) or else by its canonical key, or by that key
  // without an izafat's hamza at the end; empty when none is found.
  void Readings(const char16_t* word, size_t n, bool ignorable,
                const char16_t* key, size_t key_units, bool found,
                const MarkedWord& marked, std::vector<std::u16string>* out);
  // Keeps the forms whose letters are the word's (Aligned); false when
  // none is left.
  bool KeepAligned(const MarkedWord& marked,
                   std::vector<std::u16string>* forms);
  // The readings whose marks agree with the writer's, in `agreeing` (of
  // `readings`, MarkedWords in `marked_readings_`).
  void Agreeing(const MarkedWord& word,
                const std::vector<std::u16string>& readings,
                std::vector<size_t>* agreeing);
  // Writes `form` on the word's letters (or as it is, with normalize).
  void PutReading(const char16_t* word, size_t n, const Token& token,
                  const MarkedWord& marked, const std::u16string& form,
                  std::u16string* out);
  // The reading the context rules choose for words_[current_], of the
  // rules' form `form`, among `candidates` (its index there), or -1.
  int ChooseByContext(int form, const std::vector<std::u16string>& candidates);
  // Splits the unknown word into known parts and writes them to `out`,
  // adding to `ambiguous` the parts with several forms; returns the number
  // of parts, 0 when it has no such split.
  size_t Split(const char16_t* word, const Token& token, std::u16string* out,
               size_t* ambiguous);
  // Split for a word of letters alone (no marks, nothing its key folds or
  // leaves out) when the first reading is wanted: its units are its key,
  // every part it may have is asked for in one batch, and a known part is
  // written as the table's first form, as such a whole word is. Writes the
  // parts and returns their number, returns 0 when the word has no split,
  // and -1 when it is not such a word (Split decides then).
  int SplitPlain(const char16_t* word, size_t n);
  // Asks for the ends of the words words_[w, w + n) of a batch that are
  // plain and unknown, for SplitPlain.
  void AskTails(const char16_t* text, size_t w, size_t n);
  // The form of the context rules (ContextRules::FormOf) whose key is
  // key[0, n), or -1. A line taken as one word has no neighbours: the
  // rules never choose there.
  int RuleForm(const char16_t* key, size_t n) const {
    return options_.context == nullptr || options_.lines
               ? -1
               : options_.context->FormOf(key, n);
  }
  // Writes the plain word[0, n), found by its own key as the rules' form
  // `form`, with the first reading or the one the rules choose (false: it
  // is to be written as it came). Such a word is its key: what it may
  // become is worked out once (rule_forms_).
  bool PutRuleForm(int form, const char16_t* word, size_t n, const Token& token,
                   const Answer& answer);
  static bool IsPlain(const Token& token) {
    return token.letter && !token.marked && !token.folds && !token.ignorable;
  }

  const WordFormLookup& table_;
  Options options_;
  TextWriter& out_;
  Coverage coverage_;
  std::vector<Token> tokens_;
  std::vector<Word> words_;
  std::u16string keys_;
  std::unordered_map<std::u16string, uint64_t> unknown_;
  std::unordered_map<std::u16string, uint64_t> ambiguous_;
  std::unordered_map<std::u16string, uint64_t> kept_;
  std::unordered_map<std::u16string, uint64_t> split_;
  MarkedWord marked_;
  std::vector<MarkedWord> marked_readings_;
  std::vector<std::u16string> readings_;
  std::vector<size_t> agreeing_;
  std::u16string word_out_;
  MarkedWord reading_;
  std::u16string found_key_;  // the key the readings were found by
  std::u16string part_key_;
  // Split's room, kept from word to word.
  std::vector<uint32_t> split_at_;
  std::vector<uint8_t> split_part_;
  std::vector<std::u16string> split_chosen_;
  std::vector<size_t> split_parts_, split_next_;
  MarkedWord split_piece_;
  // SplitPlain's batches: the queries, where each ends, their answers,
  // the answer chosen from each cut and the room of the forms.
  std::vector<WordFormLookup::Query> split_queries_;
  std::vector<int32_t> split_query_;
  std::vector<Answer> split_batch_;
  std::vector<Answer> split_answers_;
  std::vector<unsigned char> split_room_;
  // The ends of a batch's unknown plain words (the part from each cut to
  // the end), asked for together by AskTails; `tail_` is those of the word
  // being written, if asked.
  struct Tails {
    uint32_t first;  // in tail_answers_, one per cut
    uint32_t count;  // cuts
    enum State : uint8_t { kNotAsked, kAsked, kNotPlain, kNoSplit } state;
  };
  std::vector<Tails> tails_;
  std::vector<WordFormLookup::Query> tail_queries_;
  std::vector<uint32_t> tail_slots_;  // of each query, in tail_answers_
  std::vector<Answer> tail_batch_;
  std::vector<Answer> tail_answers_;
  std::vector<unsigned char> tail_room_;
  const Tails* tail_ = nullptr;
  // The word being written and its text (ChooseByContext).
  size_t current_ = 0;
  const char16_t* text_ = nullptr;
  std::vector<ContextWord> window_;
  std::u16string window_store_[5];  // the keys of the words not plain
  std::pair<const char16_t*, size_t> window_table_keys_[5];  // for Tags
  MarkedWord context_word_;
  std::vector<std::u16string> candidates_;
  // What a plain word of each of the rules' forms may become: its forms
  // that agree with it, and each written on it.
  struct RuleFormWord {
    bool ready = false;
    bool several = false;  // the table has several forms of it
    std::u16string found_key;
    std::vector<std::u16string> readings;
    std::vector<std::u16string> written;
  };
  // By rule form, made when the form is first met: most texts meet few.
  std::vector<std::unique_ptr<RuleFormWord>> rule_forms_;
  // The times a rule chose the reading of a word, and the times none did,
  // by the key its readings were found by (kept with count_unknown).
  std::unordered_map<std::u16string, uint64_t> decided_;
  std::unordered_map<std::u16string, uint64_t> fallen_back_;
  bool direct_ = false;  // the word's letters are the forms' (PutReading)
  // A batch of lookups, the room of its forms (made first, so that they
  // sit below the buffers that grow).
  // Room for a batch of `batch_` lookups, grown to the batches met (up to
  // kBatch): a text of a few words allocates a few hundred bytes, not the
  // fraction of a megabyte of a full batch.
  size_t batch_ = 0;
  std::unique_ptr<WordFormLookup::Query[]> queries_;
  std::unique_ptr<Answer[]> answers_;
  std::unique_ptr<unsigned char[]> room_;
  bool as_written_ = false;     // the word being written was found so
  std::u16string written_key_;  // its key then
  std::u16string scratch_;
  const char16_t* pass_ = nullptr;  // the run Pass has not yet written
  size_t pass_units_ = 0;
  const char* pass8_ = nullptr;  // the same for UTF-8 text
  size_t pass_bytes_ = 0;
  Units wide_;                     // the words of UTF-8 text in UTF-16
  std::vector<uint32_t> wide_at_;  // where each word is there, how long
  // The room of Split's probes.
  unsigned char written_room_[WordFormLookup::RoomBytes(1)];
};

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_DIACRITIZE_H_
