#include "diacritizer/WordFormExtent.h"

#include <cstdint>

bool CheckWordFormTableExtent(const WordFormTableFile& file,
                              std::string* problem) {
  const uint64_t slots = static_cast<uint64_t>(file.slots);
  const uint64_t records = file.records_in_file;
  const uint32_t partial = file.partial_bytes;
  if (records == slots && partial == 0) return true;
  const std::string counts =
      std::to_string(slots) + " slots announced, " + std::to_string(records) +
      (records == 1 ? " complete record" : " complete records");
  if (records < slots || partial != 0) {
    *problem = "is cut short: " + counts;
    if (partial != 0) {
      *problem += " and a partial one of " + std::to_string(partial) + " bytes";
    }
  } else {
    *problem = "holds more records than slots: " + counts;
  }
  *problem += " found";
  return false;
}
