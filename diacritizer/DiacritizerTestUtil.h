// Helpers for the word-form table and diacritizer tests: a scratch
// directory per test, table files assembled byte by byte, 16-bit text
// files, and a way to run a built program there and collect its results.

#ifndef URDULEX_DIACRITIZER_DIACRITIZERTESTUTIL_H_
#define URDULEX_DIACRITIZER_DIACRITIZERTESTUTIL_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "diacritizer/TableFormat.h"
#include "foundation/TestUtil.h"

namespace urdulex {
namespace diactest {

inline void PutLittleEndian(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

// One 70-byte record. Keys and symbols longer than their fields are cut,
// so a test can also write a field with no terminator.
inline std::string Record(const std::wstring& key, const std::string& symbols,
                          int32_t next, uint32_t id = 0xFFFFFFFFu,
                          uint8_t tag = 0, uint8_t flag = 0) {
  std::string out;
  for (int u = 0; u < wordform::kKeyUnits; ++u) {
    uint32_t c = u < static_cast<int>(key.size()) ? key[u] : 0;
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  for (int b = 0; b < wordform::kSymbolBytes; ++b) {
    out.push_back(b < static_cast<int>(symbols.size()) ? symbols[b] : '\0');
  }
  PutLittleEndian(out, id);
  out.push_back(static_cast<char>(tag));
  out.push_back(static_cast<char>(flag));
  PutLittleEndian(out, static_cast<uint32_t>(next));
  return out;
}

inline std::string UnusedRecord() { return Record(L"", "", -1); }

// Records for a table of `slots` slots that is one chain 0 -> 1 -> ... in
// which the key in slot s has home slot s, so the walk of every search
// runs to the end of the table; keys[s] is the key of slot s. `home` must
// be allocated with `slots` slots.
template <typename Table>
std::vector<std::string> OneLongChain(const Table& home, int slots,
                                      const std::string& symbols,
                                      std::vector<std::wstring>* keys) {
  const size_t n = static_cast<size_t>(slots);
  keys->assign(n, std::wstring());
  size_t filled = 0;
  for (wchar_t a = 0x0621; filled < n; ++a) {
    for (wchar_t b = 0x0621; b < 0x0621 + 200 && filled < n; ++b) {
      for (wchar_t c = 0x0621; c < 0x0621 + 200 && filled < n; ++c) {
        std::wstring key = {a, b, c};
        std::wstring& place = (*keys)[home.Hash(key)];
        if (!place.empty()) continue;
        place = key;
        ++filled;
      }
    }
  }
  std::vector<std::string> records;
  for (size_t s = 0; s < n; ++s) {
    int32_t next = s + 1 < n ? static_cast<int32_t>(s + 1) : -2;
    records.push_back(Record((*keys)[s], symbols, next));
  }
  return records;
}

// Mark, the given header words, then the records.
inline std::string TableFile(const std::vector<int32_t>& header,
                             const std::vector<std::string>& records) {
  std::string out = "\xFF\xFE";
  for (int32_t word : header) PutLittleEndian(out, static_cast<uint32_t>(word));
  for (const std::string& r : records) out += r;
  return out;
}

// 16-bit text as a file holds it: mark FF FE, then low byte first.
inline std::string Utf16(const std::wstring& text, bool mark = true) {
  return test::Utf16File(text, mark);
}

// The shared scratch-directory fixture; Write makes a file there.
class ScratchDirTest : public test::TempDirTest {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    return MakeFile(name, bytes);
  }
};

}  // namespace diactest
}  // namespace urdulex

#endif  // URDULEX_DIACRITIZER_DIACRITIZERTESTUTIL_H_
