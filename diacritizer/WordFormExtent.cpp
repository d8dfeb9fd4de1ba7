#include "diacritizer/WordFormExtent.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

#include "diacritizer/WordFormFormat.h"

namespace {

int32_t Int32At(const unsigned char* p) {
  return static_cast<int32_t>(
      static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
      static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool CheckWordFormTableExtent(const std::string& fileName,
                              std::string* problem) {
  using namespace wordform;
  // A pipe would be read a second time, and wait for a writer that is gone.
  struct stat st;
  if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;
  std::FILE* file = std::fopen(fileName.c_str(), "rb");
  if (file == nullptr) return true;
  unsigned char head[kMarkSize + 3 * kHeaderWordSize];
  const size_t got = std::fread(head, 1, sizeof(head), file);
  std::fclose(file);
  if (got < kMarkSize + kHeaderWordSize || head[0] != 0xFF || head[1] != 0xFE) {
    return true;
  }
  int64_t slots = Int32At(head + kMarkSize);
  int64_t start = kMarkSize + kHeaderWordSize;
  if (slots == kExtendedHeader) {
    start = kMarkSize + 3 * kHeaderWordSize;
    if (got < static_cast<size_t>(start) ||
        Int32At(head + kMarkSize + 2 * kHeaderWordSize) == 0) {
      return true;
    }
    slots = Int32At(head + kMarkSize + kHeaderWordSize);
  }
  if (slots < 1 || slots > kMaxTableSlots) return true;

  const int64_t body = static_cast<int64_t>(st.st_size) - start;
  if (body < 0) return true;
  const int64_t records = body / kRecordSize;
  const int64_t partial = body % kRecordSize;
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
