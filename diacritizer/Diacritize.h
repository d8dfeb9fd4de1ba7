// The engine of `urdu diacritize`: a word-form table opened for lookups by
// bare form, and the diacritizer that runs text through it.
//
// A word is looked up by its bare form as SeparateSymbolicDiacritics gives
// it (the form of the table's keys), so a word written with some of its
// marks is found too. A found word is replaced by the table's form, the
// first in chain order as the `diacritizer` program writes it; a word with
// several forms (a homograph) may instead be given all of them joined by
// '|', only the marks they share, or be left as it came (Ambiguous). Any
// other word, and every separator, is written exactly as it came.
//
// FormTable throws urdu::Error when the table cannot be used; once made,
// it may be shared by threads (its lookups are const and safe to run at
// once). The Diacritizer borrows the table and the writer.

#ifndef URDULEX_DIACRITIZER_DIACRITIZE_H_
#define URDULEX_DIACRITIZER_DIACRITIZE_H_

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "diacritizer/Tokenizer.h"
#include "diacritizer/WordFormLookup.h"
#include "foundation/TextIO.h"

namespace urdu {

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

class FormTable {
 public:
  // Room for a form Find restores, in units.
  static constexpr size_t kMaxFormUnits = WordFormLookup::kMaxFormUnits;

  // Opens the table file (see WordFormLookup: a regular file is mapped).
  // With `all_forms`, every form of a word can be asked for (AllForms).
  // Throws Error("table NAME: ..."), and so do the lookups when they meet
  // a bad link or find the file cut short under them.
  FormTable(const std::string& path, bool all_forms,
            const WordFormLookup::Limits& limits = WordFormLookup::Limits());
  FormTable(const FormTable&) = delete;
  FormTable& operator=(const FormTable&) = delete;

  uint64_t Hash(const char16_t* key, size_t n) const {
    return lookup_.Hash(Bytes(key), n);
  }
  // Hash of `count` keys (UTF-16LE bytes) at once.
  void HashMany(const unsigned char* const* keys, const size_t* units,
                size_t count, uint64_t* out) const {
    lookup_.HashMany(keys, units, count, out);
  }
  void Prefetch(uint64_t hash) const { lookup_.Prefetch(hash); }
  // See WordFormLookup::TouchNext.
  unsigned TouchNext(uint64_t hash, size_t depth) const {
    return lookup_.TouchNext(hash, depth);
  }
  // Brings what Find will read for `hash` into the cache; see
  // WordFormIndex::Touch.
  unsigned Touch(uint64_t hash) const { return lookup_.Touch(hash); }
  // The first form of the bare word `key` in chain order, as `*units`
  // UTF-16LE units (at any alignment, in the table or in `room`, which
  // has kMaxFormUnits units), or null when the table does not know it.
  // `hash` is Hash(key, n).
  // `steps` as for WordFormLookup::Find.
  const unsigned char* Find(const char16_t* key, size_t n, uint64_t hash,
                            char16_t* room, size_t* units,
                            uint64_t* steps = nullptr) const {
    size_t bytes = 0;
    const unsigned char* form = nullptr;
    try {
      form =
          lookup_.Find(Bytes(key), n, hash,
                       reinterpret_cast<unsigned char*>(room), &bytes, steps);
    } catch (...) {
      Fail();
    }
    *units = bytes / 2;
    return form;
  }
  // Throws Error("table NAME changed while being read") once the table is
  // no longer the file as it was opened (WordFormLookup::Unchanged): a
  // command asks before it commits what it wrote.
  void CheckUnchanged() const;
  // See WordFormLookup::UseIndex and UseDirectory.
  void UseIndex() const;
  void UseDirectory() const;
  int32_t slots() const { return lookup_.slots(); }
  bool indexed() const { return lookup_.indexed(); }
  uint64_t IndexAfterSteps() const {
    return WordFormLookup::kIndexAfter * static_cast<uint64_t>(lookup_.slots());
  }
  // Every form of `key` in chain order (empty when unknown). Only with
  // `all_forms`. The forms of the kFormsCacheWords words asked for last
  // are kept; the forms handed out stay valid as long as they are held.
  using Forms = std::shared_ptr<const std::vector<std::u16string>>;
  Forms AllForms(const char16_t* key, size_t n) const;
  // Bare words whose forms are kept at most, the least recently asked
  // for going first: a text of ever new words does not grow the cache.
  static constexpr size_t kFormsCacheWords = 65536;
  // Bare words whose forms are kept now.
  size_t CachedWords() const;

 private:
  static const unsigned char* Bytes(const char16_t* p) {
    return reinterpret_cast<const unsigned char*>(p);
  }

  // Rethrows the exception in flight, a table's as Error("table NAME...").
  [[noreturn]] void Fail() const;

  std::string path_;
  WordFormLookup lookup_;
  // The forms of the words asked for last: the one thing a lookup
  // changes, guarded so that threads may share a table. `recent_` holds
  // the words of `forms_` (their keys, which stay where they are), the
  // most recently asked for first.
  struct Cached {
    Forms forms;
    std::list<const std::u16string*>::iterator place;
  };
  mutable std::mutex forms_mutex_;
  mutable std::unordered_map<std::u16string, Cached> forms_;
  mutable std::list<const std::u16string*> recent_;
};

// Counts of `urdu diacritize -v`. Only words holding an Arabic-script
// letter count as tokens; the others (numbers, Latin words, markup) are
// passed through and counted apart.
struct Coverage {
  uint64_t tokens = 0;  // words looked up
  uint64_t known = 0;
  uint64_t unknown = 0;
  uint64_t ambiguous = 0;  // known, with more than one form
  uint64_t other = 0;      // words without an Arabic-script letter
};

// "7 Urdu words, 3 known (42.86%), 4 unknown, 2 ambiguous; 5 other tokens
// passed through".
std::string FormatCoverage(const Coverage& coverage);

class Diacritizer {
 public:
  // What a word with several forms becomes.
  enum class Ambiguous {
    kFirst,   // the first form, as for any known word
    kCommon,  // CommonMarks of its forms
    kKeep,    // the word as it came
    kAll,     // form1|form2
  };
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
  };

  Diacritizer(const FormTable& table, const Options& options, TextWriter& out)
      : table_(table), options_(options), out_(out) {}

  // Diacritizes the whole text of `reader`.
  void Run(TextReader& reader);

  // Readies `table` for a text of `bytes` bytes (-1: unknown), as Run does
  // for its reader: a text of many words per slot of the table gets the
  // full index built before its first lookup. For callers that give the
  // text to Run in pieces, such as threads taking blocks.
  static void PrepareFor(const FormTable& table, int64_t bytes);

  const Coverage& coverage() const { return coverage_; }
  // The unknown words with their counts, most frequent first, equal counts
  // in the order of their UTF-16 text.
  std::vector<std::pair<std::u16string, uint64_t>> Unknown() const;
  // The bare forms of the words found with several forms, with their
  // counts, in the same order.
  std::vector<std::pair<std::u16string, uint64_t>> AmbiguousWords() const;
  // Whether the options need every form of a word (FormTable's all_forms).
  static bool NeedsAllForms(const Options& options) {
    return options.ambiguous != Ambiguous::kFirst || options.count_ambiguous ||
           options.list_ambiguous;
  }

 private:
  struct Word {
    uint32_t token;
    uint32_t key;  // offset in keys_, or kInText
    uint32_t length;
    uint64_t hash;
    uint32_t text;   // offset of the word in the UTF-16 text
    uint32_t units;  // its length there
  };
  static constexpr uint32_t kInText = UINT32_MAX;
  // Lookups in flight together, so that their cache misses overlap.
  static constexpr size_t kBatch = 32;
  // Input bytes per step of IndexAfterSteps from which Run builds the
  // full index before the first lookup (a word and its separator are
  // about ten bytes; a few steps per word are typical on a loaded table).
  static constexpr uint64_t kBytesPerSlotForIndex = 32;
  // Input bytes per slot from which it has the chains' directory made
  // (a word in about every four slots).
  static constexpr uint64_t kBytesPerSlotForDirectory = 2;
  // Bytes of UTF-8 text tokenized and looked up at a time.
  static constexpr size_t kPiece = 16 << 10;

  void Process(const char16_t* text, const std::vector<Token>& tokens);
  void Emit(const char16_t* text, const Token& token, const Word* word);
  // Hashes the keys of words_ (those in the text are in `text`) and
  // looks them up in batches, calling emit(t, word) for each token t in
  // order, with the word of a looked-up one, else null.
  template <typename EmitToken>
  void LookUp(const char16_t* text, size_t tokens, EmitToken&& emit);
  // The way of Run for UTF-8 text: tokens of bytes, words_ of wide_.
  void RunUtf8(TextReader& reader);
  void ProcessUtf8(const char* text, const std::vector<Token>& tokens);
  void EmitUtf8(const char* text, const Token& token, const Word* word);
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
  // A word with directional marks or tatweels not found without them is
  // looked up as it is written, for a table may hold it so; null when that
  // fails too.
  const unsigned char* FindAsWritten(const char16_t* word, size_t n,
                                     size_t* units);
  // Writes a form of the word `token`, with the word's directional marks
  // when it was found without them.
  void PutForm(const char16_t* original, const Token& token,
               const char16_t* form, size_t units);

  const FormTable& table_;
  Options options_;
  TextWriter& out_;
  Coverage coverage_;
  std::vector<Token> tokens_;
  std::vector<Word> words_;
  std::u16string keys_;
  std::unordered_map<std::u16string, uint64_t> unknown_;
  std::unordered_map<std::u16string, uint64_t> ambiguous_;
  unsigned touched_ = 0;        // keeps the loads of Touch
  uint64_t steps_ = 0;          // slots walked past the home slots
  bool as_written_ = false;     // the word being written was found so
  std::u16string written_key_;  // its key then
  std::u16string scratch_;
  const char16_t* pass_ = nullptr;  // the run Pass has not yet written
  size_t pass_units_ = 0;
  const char* pass8_ = nullptr;  // the same for UTF-8 text
  size_t pass_bytes_ = 0;
  Units wide_;                     // the words of UTF-8 text in UTF-16
  std::vector<uint32_t> wide_at_;  // where each word is there, how long
  char16_t room_[FormTable::kMaxFormUnits];  // a form Find restored
};

}  // namespace urdu

#endif  // URDULEX_DIACRITIZER_DIACRITIZE_H_
