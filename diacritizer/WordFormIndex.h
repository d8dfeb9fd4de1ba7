// WordFormIndex: a compact answer table built from a loaded word-form table.
// For every key that HashTable::Search would find, it holds the key and the
// restored word of the first form in chain order, ready to be written as
// UTF-16LE bytes; every other key is absent. So Find(key) answers exactly
// what isValidWord would, but with one or two cache misses instead of a
// chain walk over strings behind pointers.
//
// Build copies what it needs; the index does not refer to the table
// afterwards. Nothing here throws except the standard allocation failure.

#ifndef URDULEX_DIACRITIZER_WORDFORMINDEX_H_
#define URDULEX_DIACRITIZER_WORDFORMINDEX_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "diacritizer/hashmain.h"

class WordFormIndex {
 public:
  WordFormIndex() = default;

  // Fills the index from `table`. False (and an empty index) when the table
  // has a hash or compare hook, whose answers cannot be precomputed, or
  // when its chains are so long and shared that building would cost more
  // than searching; callers then use HashTable::Search.
  bool Build(const WordFormHashTable& table);
  bool built() const { return built_; }
  size_t size() const { return entries_; }

  // Hash of a key given as `length` characters (each a 16-bit unit).
  static uint64_t HashKey(const wchar_t* key, size_t length);

  // Brings the slot of a hash into the cache ahead of Find.
  void Prefetch(uint64_t hash) const {
    if (built_) __builtin_prefetch(&slots_[hash & mask_]);
  }

  // The restored word for the key, as UTF-16LE bytes (`*bytes` of them), or
  // null when the key is not found. `hash` is HashKey(key, length).
  const char* Find(const wchar_t* key, size_t length, uint64_t hash,
                   size_t* bytes) const;

 private:
  struct Slot {
    uint32_t check;   // high half of the key's hash
    uint32_t offset;  // entry position in arena_; 0 = empty slot
  };

  // Empties the index; returns false for Build's early exits.
  bool Reset();
  // Returns the slot holding `key`, or the empty slot where it would go.
  const Slot* Probe(const wchar_t* key, size_t length, uint64_t hash) const;
  void Insert(const std::wstring& key, const std::wstring& restored,
              bool found);

  // Entry: key length (1 byte), restored length in units (1 byte, 0xFF for
  // a key known to be absent), the key as wchar_t, the restored word as
  // UTF-16LE bytes.
  std::vector<char> arena_;
  std::vector<Slot> slots_;
  uint64_t mask_ = 0;
  size_t entries_ = 0;
  bool built_ = false;
};

#endif  // URDULEX_DIACRITIZER_WORDFORMINDEX_H_
