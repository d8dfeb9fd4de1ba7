// Messages a user can act on: the library's error reports without the
// class names and source lines meant for its developers, and a word-form
// table that is really a word list named as such.

#ifndef URDULEX_TOOLS_URDU_MESSAGES_H_
#define URDULEX_TOOLS_URDU_MESSAGES_H_

#include <memory>
#include <string>

#include "diacritizer/Diacritize.h"

namespace urdu {

// `message` without the "Error Code (0x10) in FileReader (91): " of every
// library report in it.
std::string PlainMessage(const std::string& message);

// Opens the word-form table `path` (see FormTable). When it cannot be used
// and holds UTF-8 text, the Error says that it looks like a word list and
// how to build a table from it.
std::unique_ptr<FormTable> OpenFormTable(const std::string& path,
                                         bool all_forms);

}  // namespace urdu

#endif  // URDULEX_TOOLS_URDU_MESSAGES_H_
