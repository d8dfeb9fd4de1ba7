// Building word-form table files from word lists, for the programs and the
// public API's table builder.
//
// WordFormTableBuilder turns a list of diacritized words into the bytes of a
// table file (layout in TableFormat.h) that HashTable::Search answers for
// every stored form, the forms of one bare word in list order. Nothing here
// throws except the standard allocation failure; errors come back as a
// failed Status.

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

class WordFormTableBuilder {
 public:
  // Splits `word` and keeps it, or says why not.
  std::optional<SkipReason> Add(const std::wstring& word, uint32_t id,
                                uint8_t tag, uint8_t flag);
  size_t size() const { return entries_.size(); }

  // Slot count for a load factor in (0, 1]: at least one slot per form.
  // A count beyond kMaxTableSlots comes back as kMaxTableSlots + 1, which
  // Build refuses.
  int64_t SlotsForLoad(double load) const;

  // Lays the forms out in `slots` slots (modulus = slots) and returns the
  // file bytes, mark included. A failure when the slot count is below the
  // number of forms or above kMaxTableSlots.
  Status Build(int64_t slots, std::string* bytes) const;

 private:
  struct Entry {
    std::wstring key;
    std::string symbols;
    uint32_t id;
    uint8_t tag;
    uint8_t flag;
  };
  std::vector<Entry> entries_;
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
  std::string bytes;  // the table file, mark included
  size_t forms = 0;
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
// certain vocalization).
Status BuildTableFromList(const std::string& list_name,
                          const std::string& list_bytes, int64_t slots,
                          double load, ListBuild* build,
                          uint8_t leave_out_flags = 0);

// "669 forms in 837 slots (load 0.799283) written to OUTPUT; skipped 0",
// with the skipped lines by reason and the blank lines when there are any.
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
