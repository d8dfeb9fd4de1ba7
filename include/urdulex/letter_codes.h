// Letter codes: a line of Urdu text as the decimal codes of its letters,
// through a code table file (doc/code-table.md), as the `codemapper`
// program writes them.
//
// A LetterCodes object is a handle: copies share one table, never changed
// after Open, so one object may be used from many threads at once. Open
// throws Error naming the file and what is wrong with it.

#ifndef URDULEX_LETTER_CODES_H_
#define URDULEX_LETTER_CODES_H_

#include <memory>
#include <string>
#include <string_view>

namespace urdulex {

class LetterCodes {
 public:
  static LetterCodes Open(const std::string& table_path);

  // The codes of one line of UTF-8 text (without its line end).
  std::string Map(std::string_view line) const;

  struct Table;

 private:
  explicit LetterCodes(std::shared_ptr<const Table> table)
      : table_(std::move(table)) {}
  std::shared_ptr<const Table> table_;
};

}  // namespace urdulex

#endif  // URDULEX_LETTER_CODES_H_
