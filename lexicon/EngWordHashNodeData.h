// The payload of an English word's slot in the English index: the entries
// for which the word is an exact translation and the entries whose glosses
// contain it, each with the parts of speech under which it is reached.
//
// Each list stays strictly ascending by entry identifier (unsigned order):
// inserting an identifier already present widens its part-of-speech set
// instead, and a removal stops at the first larger identifier. Nothing here
// throws besides the standard allocation failure.

#ifndef URDULEX_LEXICON_ENGWORDHASHNODEDATA_H_
#define URDULEX_LEXICON_ENGWORDHASHNODEDATA_H_

#include <cstdint>
#include <vector>

struct RefIDWithPOS {
  uint32_t refID = 0;
  uint8_t pos = 0;  // one bit per part of speech
};

class EngWordHashNodeData {
 public:
  void InsertIntoExactWords(RefIDWithPOS item);
  void InsertIntoGlossWords(RefIDWithPOS item);
  // Removing an identifier that is absent changes nothing.
  void DeleteFromExactWords(uint32_t refID);
  void DeleteFromGlossWords(uint32_t refID);

  std::vector<RefIDWithPOS> exactWords;
  std::vector<RefIDWithPOS> glossWords;
};

#endif  // URDULEX_LEXICON_ENGWORDHASHNODEDATA_H_
