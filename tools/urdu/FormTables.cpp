#include "tools/urdu/FormTables.h"

#include "diacritizer/Messages.h"

namespace urdu {

std::unique_ptr<FormTable> OpenWordFormTable(const std::string& name,
                                             bool all_forms) {
  return OpenFormTable(name, all_forms);
}

}  // namespace urdu
