// WordFormIndex: the diacritizer's lookup structure, built from a table
// file. For every key that HashTable::Search would find in the table loaded
// from that file, it holds the key and the restored word of the first form
// in chain order, ready to be written as UTF-16LE bytes; every other key is
// absent. So Find(key) answers exactly what isValidWord would, with one or
// two cache misses instead of a chain walk over strings behind pointers,
// and callers can overlap those misses for several keys with the Prefetch
// calls.
//
// Keys are given as UTF-16LE bytes. Build copies what it needs; the index
// does not refer to the file afterwards. Nothing here throws except the
// standard allocation failure.

#ifndef URDULEX_DIACRITIZER_WORDFORMINDEX_H_
#define URDULEX_DIACRITIZER_WORDFORMINDEX_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "diacritizer/hashmain.h"

// Memory for the index's arrays. Their accesses are random, so with small
// pages nearly every lookup would also miss the address translation cache;
// large blocks are aligned and offered to the system for huge pages.
template <typename T>
class LargePageAllocator {
 public:
  using value_type = T;
  LargePageAllocator() = default;
  template <typename U>
  LargePageAllocator(const LargePageAllocator<U>&) {}
  T* allocate(size_t n);
  void deallocate(T* p, size_t) { std::free(p); }
  template <typename U>
  bool operator==(const LargePageAllocator<U>&) const {
    return true;
  }
  template <typename U>
  bool operator!=(const LargePageAllocator<U>&) const {
    return false;
  }
};

// Blocks from this size on are placed on huge-page boundaries.
constexpr size_t kLargePage = size_t{2} << 20;
void AdviseLargePages(void* p, size_t bytes);

template <typename T>
T* LargePageAllocator<T>::allocate(size_t n) {
  if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
  const size_t bytes = n * sizeof(T);
  void* p;
  if (bytes >= kLargePage) {
    const size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    p = std::aligned_alloc(kLargePage, rounded);
    if (p != nullptr) AdviseLargePages(p, rounded);
  } else {
    p = std::malloc(bytes == 0 ? 1 : bytes);
  }
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<T*>(p);
}

class WordFormIndex {
 public:
  WordFormIndex() = default;

  // Fills the index from a file whose links have been checked
  // (ReadWordFormTableFile). False, with an empty index, when its chains are
  // so long and shared that building would cost more than searching; the
  // caller then loads the table and uses Search instead.
  bool Build(const WordFormTableFile& file);
  bool built() const { return built_; }
  size_t size() const { return entries_; }

  // Hash of a key of `units` 16-bit units at `key` (UTF-16LE bytes).
  static uint64_t HashKey(const unsigned char* key, size_t units);

  // Step one of a lookup: brings the key's first slot into the cache.
  void PrefetchSlot(uint64_t hash) const {
    __builtin_prefetch(&slots_[hash & mask_]);
  }
  // Step two: brings the entry that slot points to into the cache (an
  // entry of a short word may still cross into a second cache line).
  void PrefetchEntry(uint64_t hash) const {
    const Slot& slot = slots_[hash & mask_];
    if (slot.offset != 0) {
      const unsigned char* entry = arena_.data() + slot.offset;
      __builtin_prefetch(entry);
      __builtin_prefetch(entry + 63);
    }
  }

  // Loads the key's first slot and the first byte of the entry it points
  // to, and returns that byte. Unlike the prefetches, which the processor
  // may drop, these are real loads: a caller touching many keys in a row
  // has their cache misses overlap, and the Find calls after hit the cache.
  unsigned char Touch(uint64_t hash) const {
    const unsigned char* entry = arena_.data() + slots_[hash & mask_].offset;
    // An entry of a short word may still cross into a second cache line.
    __builtin_prefetch(entry + 63);
    return *entry;
  }

  // The restored word for the key, as UTF-16LE bytes (`*bytes` of them), or
  // null when the key is not found. `hash` is HashKey(key, units).
  const unsigned char* Find(const unsigned char* key, size_t units,
                            uint64_t hash, size_t* bytes) const;

 private:
  struct Slot {
    uint32_t check;   // high half of the key's hash
    uint32_t offset;  // entry position in arena_; 0 = empty slot
  };

  bool Reset();
  // The slot holding the key, or the empty slot where it would go.
  Slot* Probe(const unsigned char* key, size_t units, uint64_t hash);
  const Slot* Probe(const unsigned char* key, size_t units,
                    uint64_t hash) const;

  // Entry: key length in units, restored length in units, then both as
  // UTF-16LE bytes. Only keys a search finds have one.
  std::vector<unsigned char, LargePageAllocator<unsigned char>> arena_;
  std::vector<Slot, LargePageAllocator<Slot>> slots_ =
      std::vector<Slot, LargePageAllocator<Slot>>(1, Slot{0, 0});
  uint64_t mask_ = 0;
  size_t entries_ = 0;
  bool built_ = false;
};

// Answers what Find answers, for a table whose index would cost too much to
// build (Build gave false): walks the chains of the table file itself, as
// HashTable::Search walks the table loaded from it. Memory stays that of the
// file's compact records, with no strings per slot as the loaded table
// has. The file is borrowed and must outlive the object.
class WordFormFileSearch {
 public:
  explicit WordFormFileSearch(const WordFormTableFile& file);

  // The restored word for the key (`units` UTF-16LE units), `*bytes` bytes
  // long and valid until the next call, or null when it is not found.
  const unsigned char* Find(const unsigned char* key, size_t units,
                            size_t* bytes);

 private:
  const WordFormTableFile& file_;
  HomeSlotHash home_;
  std::vector<unsigned char> restored_;
};

#endif  // URDULEX_DIACRITIZER_WORDFORMINDEX_H_
