// WordFormIndex: the lookup structure of the diacritizer and of the
// diacritization of running text (Diacritize.h), built from a table file. For
// every key that HashTable::Search would find in the table loaded from that
// file, it holds the key and the restored word of the first form in chain
// order, ready to be written as UTF-16LE bytes, and on request every form in
// chain order; every other key is absent. So Find(key) answers exactly what
// isValidWord would, with one or two cache misses instead of a chain walk over
// strings behind pointers, and callers can overlap those misses for several
// keys with the Prefetch calls. Building costs time and memory linear in the
// records whatever the shape of the chains, one chain through the whole table
// included.
//
// Keys are given as UTF-16LE bytes. Build copies what it needs; the index
// does not refer to the file afterwards. Nothing here throws except the
// standard allocation failure.

#ifndef URDULEX_DIACRITIZER_WORDFORMINDEX_H_
#define URDULEX_DIACRITIZER_WORDFORMINDEX_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "diacritizer/hashmain.h"
#include "foundation/LargePages.h"

class WordFormIndex {
 public:
  WordFormIndex() = default;

  // Fills the index from a file whose links have been checked
  // (ReadWordFormTableFile): no link out of range, no cycle. With
  // `all_forms`, Forms can also list every form of a key.
  void Build(const WordFormTableFile& file, bool all_forms = false);
  // The same from `count` records laid out as in the file, read in place
  // (no copy), of a table of `slots` slots, checking the links on the way:
  // false, and the index left empty, when a link leaves the table or
  // closes a cycle (CheckWordFormTableLinks says which).
  bool Build(const unsigned char* records, size_t count, int32_t slots,
             bool all_forms = false);
  bool built() const { return built_; }
  size_t size() const { return entries_; }

  // Hash of a key of `units` 16-bit units at `key` (UTF-16LE bytes).
  static uint64_t HashKey(const unsigned char* key, size_t units);

  // The longest restored word: every letter of a full key with a shadda
  // and a vowel.
  static constexpr size_t kMaxRestoredUnits = 3 * wordform::kKeyUnits;
  // MergeSymbolicDiacritics of a key of `units` units (UTF-16LE) and `n`
  // symbols, written to `out` (room for kMaxRestoredUnits units) as
  // UTF-16LE; returns its length in units.
  static size_t Restore(const unsigned char* key, size_t units,
                        const unsigned char* symbols, size_t n,
                        unsigned char* out);

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

  // One restored form: `size` UTF-16LE bytes at `bytes`.
  struct Form {
    const unsigned char* bytes;
    size_t size;
  };
  // Replaces `out` with every form of the key, in chain order (nothing
  // when the key is not found). Only after Build with `all_forms`.
  void Forms(const unsigned char* key, size_t units, uint64_t hash,
             std::vector<Form>* out) const;
  // Whether it was built with `all_forms`.
  bool all_forms() const { return all_forms_; }

 private:
  struct Slot {
    uint32_t check;   // high half of the key's hash
    uint32_t offset;  // entry position in arena_; 0 = empty slot
  };

  void Reset();
  // Build over either kind of records (see WordFormIndex.cpp).
  template <typename Records>
  bool BuildFrom(const Records& records, bool all_forms);
  // Fills forms_: `found` holds the records a search finds, in chain
  // order, `group[i]` the number of found[i]'s entry, and `entry_at` the
  // offset of each numbered entry.
  template <typename Records>
  void BuildForms(const Records& file, const std::vector<uint32_t>& found,
                  const std::vector<uint32_t>& group,
                  const std::vector<uint32_t>& entry_at);
  // Appends the entry of a key with the form its symbols give, and `extra`
  // bytes after it; returns its offset.
  uint32_t AddEntry(const unsigned char* key, size_t units,
                    const unsigned char* symbols, size_t symbol_bytes,
                    size_t extra);
  // The slot holding the key, or the empty slot where it would go.
  Slot* Probe(const unsigned char* key, size_t units, uint64_t hash);
  const Slot* Probe(const unsigned char* key, size_t units,
                    uint64_t hash) const;

  // The entry of the key, or null.
  const unsigned char* Entry(const unsigned char* key, size_t units,
                             uint64_t hash) const;

  // Entry: key length in units, restored length in units, then both as
  // UTF-16LE bytes; with all_forms, then the position in forms_ of the
  // key's forms and their count (32 bits each). Only keys a search finds
  // have one.
  std::vector<unsigned char, LargePageAllocator<unsigned char>> arena_ =
      std::vector<unsigned char, LargePageAllocator<unsigned char>>(1, 0);
  // Per key, its forms in chain order, each as its length in units and its
  // UTF-16LE bytes.
  std::vector<unsigned char> forms_;
  std::vector<Slot, LargePageAllocator<Slot>> slots_ =
      std::vector<Slot, LargePageAllocator<Slot>>(1, Slot{0, 0});
  uint64_t mask_ = 0;
  size_t entries_ = 0;
  bool built_ = false;
  bool all_forms_ = false;
};

#endif  // URDULEX_DIACRITIZER_WORDFORMINDEX_H_
