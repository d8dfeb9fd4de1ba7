// Building word-form table files from word lists, for the programs and the
// public API's table builder.
//
// WordFormTableBuilder turns a list of diacritized words into the bytes of a
// table file (layout in TableFormat.h) that HashTable::Search answers for
// every stored form, the forms of one bare word in list order. Nothing here
// throws except the standard allocation failure; errors come back as a
// failed Status.
//
// Given the canonical key (text/CanonicalKey.h, which this library may not
// call: the caller hands it over), a builder stores a form a second time
// under the canonical key of its key where that differs and some symbol
// string restores the very same form from it: the key less its khari
// zabars (U+0670), each written back by the symbol K on the letter before
// it, which must have no other mark. These second records follow every
// form stored under its own key, so along every chain those come first, in
// list order.

#ifndef URDULEX_DIACRITIZER_TABLEBUILDER_H_
#define URDULEX_DIACRITIZER_TABLEBUILDER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Error.h"
#include "urdulex/wordform_table.h"

namespace wordform {

using urdulex::internal::Status;

// Why a listed word was not stored, and its name (SkipReasonName), are
// those of the public API.
using urdulex::SkipReason;
using urdulex::SkipReasonName;

// Appends the canonical key of word[0, n) to `out`; true when it differs
// from the word (the signature of AppendCanonicalKey).
using CanonicalKeyFunction = bool (*)(const char16_t* word, size_t n,
                                      std::u16string* out);

class WordFormTableBuilder {
 public:
  WordFormTableBuilder() = default;
  // A builder that also stores forms under `canonical_key` (none if null).
  explicit WordFormTableBuilder(CanonicalKeyFunction canonical_key)
      : canonical_key_(canonical_key) {}

  // Splits `word` and keeps it, or says why not; keeps its second record
  // too when it has one (a second record is never a reason to skip).
  std::optional<SkipReason> Add(const std::wstring& word, uint32_t id,
                                uint8_t tag, uint8_t flag);
  // Forms stored under their own keys.
  size_t size() const { return entries_.size(); }
  // Forms stored a second time, under their canonical keys.
  size_t canonical_forms() const { return canonical_.size(); }

  // Slot count for a load factor in (0, 1]: at least one slot per record
  // (every form, second records included).
  // A count beyond kMaxTableSlots comes back as kMaxTableSlots + 1, which
  // Build refuses.
  int64_t SlotsForLoad(double load) const;

  // Lays the forms out in `slots` slots (modulus = slots) and returns the
  // file bytes, mark included. A failure when the slot count is below the
  // number of records or above kMaxTableSlots.
  Status Build(int64_t slots, std::string* bytes) const;

 private:
  struct Entry {
    std::wstring key;
    std::string symbols;
    uint32_t id;
    uint8_t tag;
    uint8_t flag;
  };
  // The second record of `entry`, if it has one that is not stored yet.
  void AddCanonical(const Entry& entry);

  CanonicalKeyFunction canonical_key_ = nullptr;
  std::vector<Entry> entries_;
  std::vector<Entry> canonical_;  // the second records, in list order
  // Keys and symbols stored. A second record's symbols hold a K, which
  // the symbols of no form split from a word do (its khari zabars stay in
  // its key), so it never repeats a form stored under its own key.
  std::set<std::pair<std::wstring, std::string>> seen_;
};

// A line of a word list that was not stored.
struct SkippedLine {
  size_t line;  // 1-based
  std::wstring word;
  SkipReason reason;
};

// A table built from a word list.
struct ListBuild {
  std::string bytes;           // the table file, mark included
  size_t forms = 0;            // stored under their own keys
  size_t canonical_forms = 0;  // stored again, under their canonical keys
  int64_t slots = 0;
  size_t stored = 0;       // lines stored
  size_t skipped[7] = {};  // lines skipped, by SkipReason
  size_t blank_lines = 0;
  size_t left_out = 0;  // lines whose flag has a bit of `leave_out_flags`
  std::vector<SkippedLine> skipped_lines;  // in list order
};

// "LIST:LINE: word: reason", newline included, the word in UTF-8.
std::string SkippedLineText(const std::string& list_name,
                            const SkippedLine& skipped);

// Load factor of a table when neither slots nor load are given.
constexpr double kDefaultLoad = 0.8;

// Builds a table from the bytes of a word list (see DecodeTextLines): one
// diacritized word a line, optionally followed by tab-separated id (-1 to
// 4294967295), tag and flag (0 to 255); blank lines are skipped. The table
// has `slots` slots, or when that is 0 as many as the forms need at load
// factor `load` (kDefaultLoad when 0). A failure ("LIST:3: tag is not a
// number from 0 to 255", "7 slots cannot hold 8 forms") when the list or
// the slot count is refused. A line whose flag has a bit of
// `leave_out_flags` is left out (the shipped lexicon's flag 4 marks a less
// certain vocalization). With `canonical_key` the forms are stored under
// their canonical keys too (WordFormTableBuilder), not counted as lines.
Status BuildTableFromList(const std::string& list_name,
                          const std::string& list_bytes, int64_t slots,
                          double load, ListBuild* build,
                          uint8_t leave_out_flags = 0,
                          CanonicalKeyFunction canonical_key = nullptr);

// "669 forms in 837 slots (load 0.799283) written to OUTPUT; skipped 0",
// with the skipped lines by reason and the blank lines when there are any.
// Second records, when there are any, are named after the load, which
// counts them: "(load 0.8; 45 more under canonical keys)".
std::string BuildSummary(const ListBuild& build, const std::string& output);

// Splits a word list into lines (LF ends a line; a CR stays). The list is
// UTF-16 when it starts with a byte-order mark (either order), else UTF-8
// (a UTF-8 mark is skipped). A failure naming the line after a colon on
// malformed text.
Status DecodeTextLines(const std::string& bytes,
                       std::vector<std::wstring>* lines);

// UTF-8 of 16-bit text (lone surrogates become U+FFFD).
std::string ToUtf8(const std::wstring& text);

}  // namespace wordform

#endif  // URDULEX_DIACRITIZER_TABLEBUILDER_H_
