// ChainDirectory: a directory of the chains of a word-form table read in
// place (the records as laid out in the file): per slot its link and a few
// bits of its key, 4 bytes (a twentieth of the records), and whether the
// walk from it ends at the end of a chain. A walk then reads the
// directory, which mostly stays in the cache, and only the one record
// whose key is likely the one sought; it stops there. Building it reads
// every record once and checks every link as the loader does.

#ifndef URDULEX_DIACRITIZER_CHAINDIRECTORY_H_
#define URDULEX_DIACRITIZER_CHAINDIRECTORY_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "diacritizer/TableFormat.h"
#include "foundation/LargePages.h"

// Outcome of a walk along a chain of the records.
enum class ChainWalk { kFound, kAbsent, kTooLong };

// Whether the record's key (up to its first zero unit) is `key`, `units`
// UTF-16LE units (at most wordform::kKeyUnits).
inline bool RecordHasKey(const unsigned char* record, const unsigned char* key,
                         size_t units) {
  // The keys are short: eight bytes at a time, without a call.
  const size_t bytes = 2 * units;
  size_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    uint64_t a, b;
    std::memcpy(&a, record + i, 8);
    std::memcpy(&b, key + i, 8);
    if (a != b) return false;
  }
  for (; i < bytes; i += 2) {
    uint16_t a, b;
    std::memcpy(&a, record + i, 2);
    std::memcpy(&b, key + i, 2);
    if (a != b) return false;
  }
  return units == static_cast<size_t>(wordform::kKeyUnits) ||
         (record[bytes] | record[bytes + 1]) == 0;
}

class ChainDirectory {
 public:
  // The directory of the `slots` records at `body`, whose walks read at
  // most `walk_slots` slots. A large table is read on up to `threads`
  // threads. Throws InvalidFormatException, with the loader's message, for
  // the first bad link (one leaving the table, or closing a cycle).
  ChainDirectory(const unsigned char* body, int32_t slots, size_t walk_slots,
                 unsigned threads);

  size_t size() const { return entries_.size(); }
  // The most slots a walk from any slot reads to the end of its chain (up
  // to kLongest).
  size_t longest() const { return longest_; }
  static constexpr size_t kLongest = UINT16_MAX;

  // Brings the entry of slot `home` into the cache.
  void Prefetch(uint32_t home) const {
    if (home < entries_.size()) __builtin_prefetch(&entries_[home]);
  }
  // Loads it (a bit of it, returned).
  unsigned Touch(uint32_t home) const {
    return home < entries_.size() ? entries_[home] & 1 : 0;
  }

  // A key's fingerprint, 7 bits: of the first and the last four units (all
  // of a shorter key), and the length.
  static uint32_t Fingerprint(const unsigned char* key, size_t units) {
    uint64_t head = 0, tail = 0;
    if (units >= 4) {
      std::memcpy(&head, key, 8);
      std::memcpy(&tail, key + 2 * units - 8, 8);
    } else {
      std::memcpy(&head, key, 2 * units);
      tail = head;
    }
    const uint64_t x =
        (head ^ (tail * 0x9E3779B97F4A7C15ull) ^ units) * 0xD6E8FEB86659FD93ull;
    return static_cast<uint32_t>(x >> 57);
  }

  // From slot `s` on along its chain, the first slot whose fingerprint is
  // `print`; kNoSlot when the chain ends first (an unused slot ends it
  // too), kPastBound once `*steps`, counting the slots read, passes the
  // bound of a walk.
  static constexpr uint32_t kPastBound = UINT32_MAX - 1;
  static constexpr uint32_t kNoSlot = UINT32_MAX;
  uint32_t Candidate(uint32_t s, uint32_t print, size_t* steps) const {
    for (;; ++*steps) {
      if (*steps > walk_slots_) return kPastBound;
      const uint32_t entry = entries_[s];
      const uint32_t link = entry & kLinkMask;
      if (link == 1) return kNoSlot;  // an unused slot ends a search
      if ((entry >> kLinkBits) == print) return s;
      if (link == 0) return kNoSlot;
      s = link - 2;
    }
  }
  // The same from the home slot `home`, with the record found fetched;
  // kPastBound also for a home outside the directory. `*steps` starts at 1.
  uint32_t FetchCandidate(uint32_t home, uint32_t print, size_t* steps) const {
    if (home >= entries_.size()) return kPastBound;
    *steps = 1;
    const uint32_t s = Candidate(home, print, steps);
    if (s < kPastBound) {
      // Prefetches, not loads: a load that misses would hold up the work
      // of the lookups before it until it arrives.
      const unsigned char* record = body_ + size_t{s} * wordform::kRecordSize;
      __builtin_prefetch(record);
      __builtin_prefetch(record + 2 * wordform::kKeyUnits +
                         wordform::kSymbolBytes - 1);
    }
    return s;
  }
  // The search for `key` (of fingerprint `print`) from slot `s` (a home
  // slot with `steps` 1, or where FetchCandidate left off with its count;
  // kNoSlot: none): kFound with the first record of the key in chain order
  // in `*first`, kAbsent, or kTooLong past the bound. The slots read past
  // the first are added to `*walked` when given.
  ChainWalk Walk(const unsigned char* key, size_t units, uint32_t s,
                 uint32_t print, size_t steps, const unsigned char** first,
                 uint64_t* walked) const {
    *first = nullptr;
    ChainWalk walk = ChainWalk::kAbsent;
    while (true) {
      if (s >= entries_.size()) break;  // kNoSlot
      s = Candidate(s, print, &steps);
      if (s >= kPastBound) {
        if (s == kPastBound) walk = ChainWalk::kTooLong;
        break;
      }
      const unsigned char* record = body_ + size_t{s} * wordform::kRecordSize;
      if (RecordHasKey(record, key, units)) {
        // A key holding a zero unit is no key of the table; the walk ends
        // well from here, or no search finds the key.
        bool zero = false;
        for (size_t i = 0; i < units; ++i) {
          zero |= (key[2 * i] | key[2 * i + 1]) == 0;
        }
        if (!zero && (ends_well_[s / 64] >> (s % 64) & 1) != 0) {
          *first = record;
          walk = ChainWalk::kFound;
        }
        break;
      }
      const uint32_t link = entries_[s] & kLinkMask;
      if (link < 2) break;  // the chain ends here
      s = link - 2;
      ++steps;
    }
    if (walked != nullptr) *walked += steps - 1;
    return walk;
  }

 private:
  // The slots [0, size) cut into `count` ranges that start at multiples of
  // 64.
  struct Ranges {
    size_t size;
    size_t count;
    size_t Begin(size_t r) const {
      return r == count ? size : size * r / count / 64 * 64;
    }
    // Runs work(r, Begin(r), Begin(r + 1)) for every range r, on a thread
    // each where the system gives one; false when any returned false.
    bool Run(const std::function<bool(size_t, size_t, size_t)>& work) const;
  };
  // Settles longest_ and ends_well_ from entries_ for a table of chains
  // that never meet (no slot linked to twice), end at the end of a chain
  // and hold no cycle, on the ranges' threads; false for any other table.
  bool SettleChains(const Ranges& on);
  // The same for any table, slot by slot; throws the loader's message for
  // a cycle.
  void SettleWalks();

  static constexpr int kLinkBits = 25;
  static constexpr uint32_t kLinkMask = (uint32_t{1} << kLinkBits) - 1;

  const unsigned char* body_;
  int32_t slots_;
  size_t walk_slots_;
  size_t longest_ = 0;
  // Per slot: its link plus 2 in the low kLinkBits bits (0: end of chain,
  // 1: unused slot), its key's fingerprint above.
  std::vector<uint32_t, LargePageAllocator<uint32_t>> entries_;
  std::vector<uint64_t> ends_well_;  // a bit per slot
};

#endif  // URDULEX_DIACRITIZER_CHAINDIRECTORY_H_
