// Fuzz target for the word-form table loader. Each input is written to a
// scratch file and loaded twice: into the table, and into the diacritizer's
// index. Neither may crash, hang or leak; when both accept the file, the
// index must answer every key of the file, and some keys that are not in
// it, exactly as a search of the table does: its first form, and every
// form in chain order.
//
// Inputs are capped at kMaxInput bytes; the slot count comes from the input,
// so a small file can still announce a large (sparse) table, which must
// cost its records only.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "diacritizer/WordFormIndex.h"
#include "diacritizer/hashmain.h"
#include "foundation/TARNIException.h"
#include "fuzz/FuzzUtil.h"
#include "script/LexEnigneUtility.h"

namespace {

constexpr size_t kMaxInput = 1 << 16;

std::string Utf16(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  static urdulex::fuzz::ScratchFile scratch("hashtable_fuzz");
  scratch.Write(data, size);

  WordFormTableFile file;
  WordFormIndex index;
  bool read = false;
  try {
    std::string why;
    read = ReadWordFormTableFile(scratch.path(), &file, &why);
    if (read) index.Build(file, true);
  } catch (const TARNIException&) {
  }
  bool loaded = false;
  try {
    loaded = LoadWordFormHashTable(scratch.path());
  } catch (const TARNIException&) {
  }
  if (read != loaded) std::abort();  // one reader, two users
  if (read) {
    // The counts of the read account for every byte after the header.
    wordform::TableHeader header;
    wordform::DecodeHeader(data, size, &header);
    if (header.size + file.records_in_file * wordform::kRecordSize +
            file.partial_bytes !=
        size) {
      std::abort();
    }
  }
  if (!loaded) {
    wordFormHashTable.Deallocate();
    return 0;
  }

  std::vector<std::wstring> keys;
  for (int32_t s = 0; s < wordFormHashTable.HeldSlots(); ++s) {
    const std::wstring& key = wordFormHashTable.nodes[s].key;
    if (key.empty()) continue;
    keys.push_back(key);
    keys.push_back(key + L"x");
    keys.push_back(key.substr(1));
  }
  LexEnigneUtility util;
  std::vector<WordFormIndex::Form> forms;
  for (const std::wstring& key : keys) {
    std::vector<WordFormHashNode> found;
    std::vector<std::string> expected;
    if (wordFormHashTable.Search(key, found)) {
      for (const WordFormHashNode& node : found) {
        expected.push_back(Utf16(util.MergeSymbolicDiacritics(
            node.key, node.data.symbolicDiacritics)));
      }
    }
    const std::string bytes = Utf16(key);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const uint64_t hash = WordFormIndex::HashKey(p, key.size());
    size_t n = 0;
    const unsigned char* got = index.Find(p, key.size(), hash, &n);
    if ((got == nullptr) != expected.empty()) std::abort();
    if (got != nullptr &&
        std::string(reinterpret_cast<const char*>(got), n) != expected[0]) {
      std::abort();
    }
    index.Forms(p, key.size(), hash, &forms);
    if (forms.size() != expected.size()) std::abort();
    for (size_t i = 0; i < forms.size(); ++i) {
      if (std::string(reinterpret_cast<const char*>(forms[i].bytes),
                      forms[i].size) != expected[i]) {
        std::abort();
      }
    }
  }
  wordFormHashTable.Deallocate();
  return 0;
}
