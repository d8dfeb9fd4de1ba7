// Messages a user can act on: a word-form table that is really a word
// list named as such. PlainMessage (foundation/ApiSupport.h) takes the
// class names and source lines out of the library's reports.

#ifndef URDULEX_DIACRITIZER_MESSAGES_H_
#define URDULEX_DIACRITIZER_MESSAGES_H_

#include <memory>
#include <string>

#include "diacritizer/Diacritize.h"
#include "foundation/ApiSupport.h"

namespace urdu {

// The Error of a table file that holds a word list: UTF-8 text, from
// which a table is built (WordFormTable.h).
class WordListError : public Error {
 public:
  using Error::Error;
};

// Opens the word-form table `path` (see FormTable). When it cannot be used
// and holds UTF-8 text, throws a WordListError saying that it looks like a
// word list. With `private_copy`, the file is read into private memory
// (WordFormLookup::Limits).
std::unique_ptr<FormTable> OpenFormTable(const std::string& path,
                                         bool all_forms,
                                         bool private_copy = false);

}  // namespace urdu

#endif  // URDULEX_DIACRITIZER_MESSAGES_H_
