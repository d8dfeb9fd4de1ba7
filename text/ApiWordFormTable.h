// What urdulex::WordFormTable holds, for the other parts of the API that
// use a table (Evaluate). Internal; not installed.

#ifndef URDULEX_TEXT_APIWORDFORMTABLE_H_
#define URDULEX_TEXT_APIWORDFORMTABLE_H_

#include <memory>
#include <string>

#include "text/Diacritize.h"
#include "urdulex/wordform_table.h"

namespace urdulex {

struct WordFormTable::Data {
  std::string path;
  // Every form can be asked for; shared by threads, read only.
  std::unique_ptr<const WordFormLookup> table;
};

}  // namespace urdulex

#endif  // URDULEX_TEXT_APIWORDFORMTABLE_H_
