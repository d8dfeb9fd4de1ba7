// The word-form table of the diacritizer: the payload of one word form, the
// process-wide table `wordFormHashTable`, its loader and the word lookup.
//
// LoadWordFormHashTable reads "wordformshashtable.lex" (layout and decoder
// in TableFormat.h, in whose LoaderText words it reports). It throws
// IOException, stamped with module "hashmain", when the file cannot be
// opened or read, and InvalidFormatException when the file is corrupt in a
// way that would make searches unsafe (a slot count above
// wordform::kMaxTableSlots, a link out of range, a cycle). A header that
// announces no usable table gives false.
//
// Every file is read once, to its end, and everything said about it (the
// records, whether it is cut short) comes from that one read, so a table
// from a pipe is judged as the same bytes in a regular file.
//
// The table owns its slots; it is filled once and then only read. It holds
// the records the file has, not the slots its header announces (see
// HashTable::AllocateHeld).

#ifndef URDULEX_DIACRITIZER_HASHMAIN_H_
#define URDULEX_DIACRITIZER_HASHMAIN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "diacritizer/HashTable.h"
#include "diacritizer/TableFormat.h"

// One stored word form: the symbolic diacritic string that restores the
// word from its bare key, and three values carried along uninterpreted.
class WordFormHashNodeData {
 public:
  std::string symbolicDiacritics;
  uint32_t id = 0xFFFFFFFFu;
  uint8_t tag = 0;
  uint8_t flag = 0;
};

using WordFormHashTable = HashTable<WordFormHashNodeData>;
using WordFormHashNode = HashNode<WordFormHashNodeData>;

// The table of the diacritizer, empty until LoadWordFormHashTable succeeds.
extern WordFormHashTable wordFormHashTable;

// A table file read and checked, each record parsed into a compact entry
// with its key and symbols kept in one text buffer. LoadWordFormHashTable
// fills the table from it; the diacritizer builds its lookup index from it
// directly.
struct WordFormTableFile {
  struct Entry {
    int32_t next;
    uint32_t id;
    uint32_t text;         // position of the key in `text`
    uint8_t key_units;     // key length, up to the first zero unit
    uint8_t symbol_bytes;  // symbols length, up to the first zero byte
    uint8_t tag;
    uint8_t flag;
  };

  // The slot count of the header, set as soon as the header announced one
  // (a load then replaces the old table even if the file is refused later).
  int32_t slots = 0;
  // One per whole record read, at most `slots`; the slots after them are
  // unused.
  std::vector<Entry> records;
  // What the file held after its header, counted in the read that loaded
  // it: whole records, those past the last slot included, and the bytes of
  // a last record cut short.
  uint64_t records_in_file = 0;
  uint32_t partial_bytes = 0;
  // Per record: the key as UTF-16LE, then the symbols.
  std::vector<unsigned char> text;

  // The link of slot k: -1 for slots past the records.
  int32_t Next(size_t k) const {
    return k < records.size() ? records[k].next : wordform::kUnusedSlot;
  }
  const unsigned char* Key(size_t k) const {
    return text.data() + records[k].text;
  }
  const unsigned char* Symbols(size_t k) const {
    return Key(k) + 2 * records[k].key_units;
  }
  // Parses one 70-byte record and appends it.
  void Add(const unsigned char* record);
};

// Reads and checks `fileName` with the rules, messages and exceptions of
// LoadWordFormHashTable, without touching `wordFormHashTable`.
bool ReadWordFormTableFile(const std::string& fileName, WordFormTableFile* file,
                           std::string* rejection);

// ReadWordFormTableFile for a file holding the `size` bytes at `bytes`
// (mark included): the same verdicts, messages and exceptions.
bool ReadWordFormTableBytes(const unsigned char* bytes, size_t size,
                            WordFormTableFile* file, std::string* rejection);

// The link checks of the loader over `count` records of a table of `slots`
// slots laid out as in the file (kRecordSize bytes each, from `records`):
// throws InvalidFormatException, with the loader's message, for the first
// link out of range or closing a cycle.
void CheckWordFormTableLinks(const unsigned char* records, size_t count,
                             int32_t slots);
// The loader's error for slot `slot` linking to `next`, outside a table of
// `slots` slots.
[[noreturn]] void ThrowLinkOutsideTable(size_t slot, int32_t next,
                                        int32_t slots);

// Fills `wordFormHashTable` from `fileName`. True when loaded; false when
// the header announces no usable table (when `rejection` is given, it
// receives the reason). Throws as described above. A load that fails before
// the header has announced a slot count (the file cannot be opened, a header
// word or check word of 0) leaves the table as it was; any later failure
// leaves it empty.
bool LoadWordFormHashTable(const std::string& fileName);
bool LoadWordFormHashTable(const std::string& fileName, std::string* rejection);

// Fills `table` from a file read by ReadWordFormTableFile: slot k is
// record k, the slots past the records are unused and not held.
void FillWordFormHashTable(const WordFormTableFile& file,
                           WordFormHashTable* table);

// Looks up `word`, trimmed of blanks. Found: `result` is the first stored
// form in chain order, with its diacritics, and the result is true. Not
// found: `result` is the trimmed word and the result is false.
bool isValidWord(std::wstring word, std::wstring& result);

#endif  // URDULEX_DIACRITIZER_HASHMAIN_H_
