// What urdulex::WordFormTable holds, for the other parts of the API that
// use a table (Evaluate). Internal; not installed.

#ifndef URDULEX_DIACRITIZER_APIWORDFORMTABLE_H_
#define URDULEX_DIACRITIZER_APIWORDFORMTABLE_H_

#include <memory>
#include <mutex>
#include <string>

#include "diacritizer/Diacritize.h"
#include "urdulex/wordform_table.h"

namespace urdulex {

struct WordFormTable::Data {
  std::string path;
  std::unique_ptr<urdu::FormTable> table;  // every form can be asked for
  // FormTable keeps the forms it has looked up.
  std::mutex mutex;
};

}  // namespace urdulex

#endif  // URDULEX_DIACRITIZER_APIWORDFORMTABLE_H_
