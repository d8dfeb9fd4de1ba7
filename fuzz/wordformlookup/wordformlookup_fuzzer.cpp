// Differential fuzz target for the mapped word-form lookup. The input's
// first byte chooses how; the rest are words or a table file:
//
//   bit 7 clear: the rest is lines of words over a small alphabet (a few
//     letters, marks and '@'), so that keys collide and share chains. A
//     table is built from them (WordFormTableBuilder), with from one slot a
//     word to twice the fewest the builder takes (bits 0-2).
//   bit 7 set: the rest is a table file as it is.
//
// The file is opened mapped (WordFormLookup, every form asked for), with
// its links checked at open or as the walks meet them (bit 3), walks cut
// at a few slots so that they switch to the full index (bit 4), and the
// chains' directory (bit 5) or the index (bit 6) made first; and it is
// loaded into the table of the diacritizer's loader. Both must take or
// refuse the file alike (the extent check counting as the loader's), and
// for every key of the file, some keys next to them and keys of the input,
// answer alike: Find the first form and AllForms every form of Search, in
// chain order. A bad link met by a lookup must be one the loader refused.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "diacritizer/TableBuilder.h"
#include "diacritizer/WordFormExtent.h"
#include "diacritizer/WordFormLookup.h"
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

// The words of the lines, one character per byte.
std::vector<std::wstring> Words(const uint8_t* data, size_t size) {
  static const wchar_t kAlphabet[] = {
      0x0627, 0x0628, 0x062A, 0x062C, 0x062F, 0x0631, 0x0633, 0x06A9,
      0x0644, 0x0645, 0x064E, 0x0650, 0x064F, 0x0651, 0x0652, L'@'};
  std::vector<std::wstring> words(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      words.emplace_back();
    } else {
      words.back().push_back(kAlphabet[data[i] % 16]);
    }
  }
  return words;
}

[[noreturn]] void Differ() { std::abort(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > kMaxInput) return 0;
  static urdulex::fuzz::ScratchFile scratch("wordformlookup_fuzz");
  const uint8_t how = data[0];
  std::vector<std::wstring> words;
  if ((how & 0x80) == 0) {
    words = Words(data + 1, size - 1);
    wordform::WordFormTableBuilder builder;
    for (const std::wstring& word : words) builder.Add(word, 0, 0, 0);
    if (builder.size() == 0) return 0;
    const int64_t fewest = builder.SlotsForLoad(1.0);
    const int64_t slots = fewest + (fewest * (how & 7)) / 7;
    std::string table;
    if (!builder.Build(slots, &table).ok()) return 0;
    scratch.Write(table.data(), table.size());
  } else {
    scratch.Write(data + 1, size - 1);
  }

  // The loader's verdict: read, then the extent check.
  bool loaded = false;
  try {
    WordFormTableFile file;
    std::string why;
    loaded = ReadWordFormTableFile(scratch.path(), &file, &why) &&
             CheckWordFormTableExtent(file, &why) &&
             LoadWordFormHashTable(scratch.path());
  } catch (const TARNIException&) {
  }
  WordFormLookup::Limits limits;
  if ((how & 0x08) != 0) limits.eager_records = 0;
  if ((how & 0x10) != 0) limits.walk_slots = 2;
  WordFormLookup lookup;
  bool opened = false;
  try {
    std::string why;
    opened = lookup.Open(scratch.path(), true, &why, limits) ==
             WordFormLookup::Verdict::kOpen;
    // Readied for a lookup per slot (the directory), or for many more
    // (the index).
    const uint64_t slots = static_cast<uint64_t>(lookup.slots());
    if (opened && (how & 0x20) != 0) lookup.Expect(slots);
    if (opened && (how & 0x40) != 0) {
      lookup.Expect(WordFormLookup::kLookupsPerSlot * slots);
    }
  } catch (const TARNIException&) {
    if (loaded) Differ();
  }
  if (opened != loaded && !(opened && !limits.eager_records)) Differ();
  if (!loaded) {
    wordFormHashTable.Deallocate();
    return 0;
  }
  if (!opened) Differ();

  std::vector<std::wstring> keys;
  for (int32_t s = 0; s < wordFormHashTable.HeldSlots(); ++s) {
    const std::wstring& key = wordFormHashTable.nodes[s].key;
    if (key.empty()) continue;
    keys.push_back(key);
    keys.push_back(key + L"\x0627");
    keys.push_back(key.substr(1));
  }
  LexEnigneUtility util;
  for (const std::wstring& word : words) {
    std::wstring bare;
    std::string symbols;
    util.SeparateSymbolicDiacritics(word, bare, symbols);
    keys.push_back(bare);
  }
  keys.emplace_back();
  unsigned char room[WordFormLookup::RoomBytes(1)];
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
    const WordFormLookup::Answer got = lookup.Find(p, key.size(), room);
    if ((got.form == nullptr) != expected.empty()) Differ();
    if (got.form != nullptr &&
        std::string(reinterpret_cast<const char*>(got.form), 2 * got.units) !=
            expected[0]) {
      Differ();
    }
    const WordFormLookup::Forms held = lookup.AllForms(p, key.size());
    const std::vector<std::u16string>& forms = *held;
    if (forms.size() != expected.size()) Differ();
    for (size_t i = 0; i < forms.size(); ++i) {
      if (Utf16(std::wstring(forms[i].begin(), forms[i].end())) !=
          expected[i]) {
        Differ();
      }
    }
  }
  wordFormHashTable.Deallocate();
  return 0;
}
