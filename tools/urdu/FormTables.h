// The word-form tables of `urdu diacritize` and `urdu evaluate`, opened in
// this one place.

#ifndef URDULEX_TOOLS_URDU_FORMTABLES_H_
#define URDULEX_TOOLS_URDU_FORMTABLES_H_

#include <memory>
#include <string>

#include "diacritizer/Diacritize.h"

namespace urdu {

// Opens the word-form table `name`; with `all_forms`, every form of a word
// can be asked for (FormTable::AllForms). Throws Error with the message
// `urdu` prints.
std::unique_ptr<FormTable> OpenWordFormTable(const std::string& name,
                                             bool all_forms);

}  // namespace urdu

#endif  // URDULEX_TOOLS_URDU_FORMTABLES_H_
