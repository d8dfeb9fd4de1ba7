// CharSetMap numbers characters densely: the n-th character inserted gets
// index n. It is a two-level table over the low 16 bits of a character (a
// page of 256 entries for each high byte), so a look-up is two array reads.
// Characters above U+FFFF share the entry of their low 16 bits.
//
// The map owns its pages; a copy is deep. Insert does not check for
// duplicates: inserting a character again gives it a new index. Nothing
// throws except std::bad_alloc when a page cannot be allocated.

#ifndef URDULEX_NORMALIZATION_CHARSETMAP_H_
#define URDULEX_NORMALIZATION_CHARSETMAP_H_

#include <cstdint>

#include "foundation/PageTable.h"

class CharSetMap {
 public:
  // The index of a character that is not in the map.
  static constexpr unsigned short kAbsent = PageTable::kEmpty;

  CharSetMap() : totalNumOfChars(0) {}
  CharSetMap(const CharSetMap& other) = default;
  CharSetMap& operator=(const CharSetMap& other) = default;
  ~CharSetMap() = default;

  // Gives `c` the index GetTotalNumOfChars() (cut to 16 bits) and counts it.
  // Always true.
  bool Insert(wchar_t c);

  // Index of `c`, or kAbsent.
  unsigned short GetIndex(wchar_t c) const {
    return pages.Get(static_cast<uint32_t>(c));
  }

  int GetTotalNumOfChars() const { return totalNumOfChars; }

  // Frees every page; the count goes back to 0.
  void Clear();

 private:
  int totalNumOfChars;
  PageTable pages;
};

#endif  // URDULEX_NORMALIZATION_CHARSETMAP_H_
