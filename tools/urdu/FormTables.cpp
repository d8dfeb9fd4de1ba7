#include "tools/urdu/FormTables.h"

#include "foundation/Quote.h"

namespace urdulex::internal {

void OpenTable(const std::string& name, bool all_forms, WordFormLookup* table) {
  try {
    OpenWordFormTable(name, all_forms, false, table);
  } catch (const Error& e) {
    if (e.kind() != Error::kWordList) throw;
    const std::string quoted = QuoteName(name);
    throw Error(e.message() +
                ": build a table from it with `urdu table build " + quoted +
                " -o table.lex` and give --table table.lex");
  }
}

}  // namespace urdulex::internal
