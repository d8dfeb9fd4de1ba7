// UniChar2IndexMap numbers the characters of an alphabet: each inserted
// 16-bit character code gets the next small index, in insertion order.
//
// The map is a two-level table: 256 page slots keyed by bits 8-15 of the
// code, each page 256 indexes keyed by bits 0-7, allocated on the first
// insertion into its range. A look-up is two array reads. The map owns its
// pages; a copy is deep. Nothing throws except std::bad_alloc when a page
// cannot be allocated. Not thread-safe while being filled.

#ifndef URDULEX_SCRIPT_URDUCHARSET_H_
#define URDULEX_SCRIPT_URDUCHARSET_H_

#include "foundation/PageTable.h"

class UniChar2IndexMap {
 public:
  // Index of a character that is not in the alphabet.
  static constexpr unsigned short kNoIndex = PageTable::kEmpty;
  // Page slots, and indexes per page: one each for 8 bits of the code.
  static constexpr int kPageCount = PageTable::kPageCount;
  static constexpr int kPageSize = PageTable::kPageSize;

  UniChar2IndexMap() : alphabetSize(0), numValidChars(0), totalNumChars(0) {}
  UniChar2IndexMap(const UniChar2IndexMap& other) = default;
  UniChar2IndexMap& operator=(const UniChar2IndexMap&) = delete;
  ~UniChar2IndexMap() = default;

  // Gives `c` the index GetTotalNumChars() (cut to 16 bits) and counts it.
  // A character inserted twice gets a second index; there is no check.
  bool Insert(unsigned short c);
  // Index of the low 16 bits of `c`, or kNoIndex.
  unsigned short GetIndex(wchar_t c) const {
    return pages.Get(static_cast<unsigned int>(c));
  }
  // Frees every page and zeroes the three counts.
  void Clear();

  // Kept for the owner; the map itself does not use them.
  int GetAlphabetSize() const { return alphabetSize; }
  void SetAlphabetSize(int size) { alphabetSize = size; }
  int GetNumValidChars() const { return numValidChars; }
  void SetNumValidChars(int count) { numValidChars = count; }
  // Number of insertions so far.
  int GetTotalNumChars() const { return totalNumChars; }

 private:
  int alphabetSize;
  int numValidChars;
  int totalNumChars;
  PageTable pages;
};

#endif  // URDULEX_SCRIPT_URDUCHARSET_H_
