#include "tools/urdu/FormTables.h"

#include "diacritizer/Messages.h"
#include "foundation/Quote.h"

namespace urdu {

std::unique_ptr<FormTable> OpenWordFormTable(const std::string& name,
                                             bool all_forms) {
  try {
    return OpenFormTable(name, all_forms);
  } catch (const WordListError& e) {
    const std::string quoted = QuoteName(name);
    throw Error(e.message() +
                ": build a table from it with `urdu table build " + quoted +
                " -o table.lex` and give --table table.lex");
  }
}

}  // namespace urdu
