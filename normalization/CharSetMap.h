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

class CharSetMap {
 public:
  // The index of a character that is not in the map.
  static constexpr unsigned short kAbsent = 0xFFFF;

  CharSetMap();
  CharSetMap(const CharSetMap& other);
  CharSetMap& operator=(const CharSetMap& other);
  ~CharSetMap();

  // Gives `c` the index GetTotalNumOfChars() (cut to 16 bits) and counts it.
  // Always true.
  bool Insert(wchar_t c);

  // Index of `c`, or kAbsent.
  unsigned short GetIndex(wchar_t c) const {
    const uint32_t code = static_cast<uint32_t>(c);
    const unsigned short* page = pages[(code >> 8) & 0xFF];
    return page == nullptr ? kAbsent : page[code & 0xFF];
  }

  int GetTotalNumOfChars() const { return totalNumOfChars; }

  // Frees every page; the count goes back to 0.
  void Clear();

 private:
  static constexpr int kPages = 256;
  static constexpr int kPageSize = 256;

  void CopyFrom(const CharSetMap& other);

  int totalNumOfChars;
  unsigned short* pages[kPages];
};

#endif  // URDULEX_NORMALIZATION_CHARSETMAP_H_
