// The word-form table of the diacritizer: the payload of one word form, the
// process-wide table `wordFormHashTable`, its loader and the word lookup.
//
// LoadWordFormHashTable reads "wordformshashtable.lex" (layout in
// WordFormFormat.h). It throws IOException, stamped with module "hashmain",
// when the file cannot be opened or read, and InvalidFormatException when
// the file is corrupt in a way that would make searches unsafe (a slot
// count above wordform::kMaxTableSlots, a link out of range, a cycle). A
// header that announces no usable table gives false.
//
// The table owns its slots; it is filled once and then only read.

#ifndef URDULEX_DIACRITIZER_HASHMAIN_H_
#define URDULEX_DIACRITIZER_HASHMAIN_H_

#include <cstdint>
#include <string>

#include "diacritizer/HashTable.h"

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

// Fills `wordFormHashTable` from `fileName`. True when loaded; false when
// the header announces no usable table (then the table is empty and, when
// `rejection` is given, it receives the reason). Throws as described above.
bool LoadWordFormHashTable(const std::string& fileName);
bool LoadWordFormHashTable(const std::string& fileName, std::string* rejection);

// Looks up `word`, trimmed of blanks. Found: `result` is the first stored
// form in chain order, with its diacritics, and the result is true. Not
// found: `result` is the trimmed word and the result is false.
bool isValidWord(std::wstring word, std::wstring& result);

#endif  // URDULEX_DIACRITIZER_HASHMAIN_H_
