// The word-form tables of `urdu diacritize` and `urdu evaluate`, opened in
// this one place.

#ifndef URDULEX_TOOLS_URDU_FORMTABLES_H_
#define URDULEX_TOOLS_URDU_FORMTABLES_H_

#include <string>

#include "text/Diacritize.h"

namespace urdulex::internal {

// Opens the word-form table `name` into `table`; with `all_forms`, every
// form of a word can be asked for (TableForms). Throws Error with the
// message `urdu` prints: a word list given as the table gets the advice to
// build a table from it.
void OpenTable(const std::string& name, bool all_forms, WordFormLookup* table);

}  // namespace urdulex::internal

#endif  // URDULEX_TOOLS_URDU_FORMTABLES_H_
