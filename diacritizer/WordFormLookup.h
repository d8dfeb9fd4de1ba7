// WordFormLookup: a word-form table file opened for lookups, answering for
// every key what HashTable::Search (and so isValidWord) answers on the
// table loaded from the same file: the first form in chain order, or every
// form.
//
// A regular file is mapped read-only and shared with every process that
// maps it, so opening costs the same whatever the table's size: its
// verdicts (mark, header, records against slots) come from the header and
// the size of the one open file, and a lookup walks the chain of its key in
// the mapped records. The links of a small table are checked when it is
// opened; those of a large one as the walks meet them, so a bad link is
// reported by the first lookup that steps on it (InvalidFormatException,
// with the loader's message) and links no walk meets are never judged. A
// walk longer than a few steps (one long chain, or a cycle) has the whole
// table read into a WordFormIndex once, with every link checked as the
// loader checks them, and every later lookup goes there: constant time on
// any table the loader accepts. Any other file (a pipe, a FIFO) is read
// whole into a WordFormIndex at once, as before.
//
// The file is a MappedFile (foundation/MappedFile.h): a mapped file cut
// short by someone else while we read it has the next lookup throw Changed,
// and Unchanged tells a file rewritten in place, so a run asks it before it
// commits its output. With Limits::private_copy the file is read into
// private memory instead, and never changes afterwards.
// Refused files get exactly the verdicts and exceptions of
// ReadWordFormTableFile and CheckWordFormTableExtent.
//
// Once opened the lookups are const and may run on several threads at
// once. Keys are UTF-16LE bytes at any alignment.

#ifndef URDULEX_DIACRITIZER_WORDFORMLOOKUP_H_
#define URDULEX_DIACRITIZER_WORDFORMLOOKUP_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "diacritizer/ChainDirectory.h"
#include "diacritizer/WordFormIndex.h"
#include "foundation/MappedFile.h"

class WordFormLookup {
 public:
  // Tables of at most this many records have every link checked when
  // opened: a few hundred microseconds at most.
  static constexpr size_t kEagerRecords = size_t{1} << 14;
  // A walk of more slots than this builds the full index: normal chains
  // are a few slots long at any sensible load.
  static constexpr size_t kWalkSlots = 32;
  // Room for a restored form, in UTF-16 units.
  static constexpr size_t kMaxFormUnits = WordFormIndex::kMaxRestoredUnits;

  struct Limits {
    size_t eager_records = kEagerRecords;
    size_t walk_slots = kWalkSlots;
    // Reads a regular file into private memory rather than mapping it
    // shared: opening costs a read of the whole file, and the table is
    // the file as it was then, whatever happens to the file later.
    bool private_copy = false;
  };
  enum class Verdict {
    kOpen,
    kRejected,  // the header announces no table (ReadWordFormTableFile)
    kExtent,    // CheckWordFormTableExtent refuses the file
  };
  // The mapped file was cut short while we read it.
  class Changed {};

  WordFormLookup() = default;
  ~WordFormLookup();
  WordFormLookup(const WordFormLookup&) = delete;
  WordFormLookup& operator=(const WordFormLookup&) = delete;

  // Opens `path` once. kOpen, or the verdict with the reason in `*problem`;
  // throws what ReadWordFormTableFile throws. With `all_forms`, Forms can
  // be asked.
  Verdict Open(const std::string& path, bool all_forms, std::string* problem,
               const Limits& limits);
  Verdict Open(const std::string& path, bool all_forms, std::string* problem) {
    return Open(path, all_forms, problem, Limits());
  }

  bool mapped() const { return body_ != nullptr && !file_.copied(); }
  // Whether the table is still the file as it was at Open: false once the
  // mapped file was cut short, rewritten or touched. A table read whole
  // (a private copy, a FIFO) is always unchanged.
  bool Unchanged() const;
  // Whether lookups go to the full index (always for a file not mapped).
  bool indexed() const { return index_.load(std::memory_order_acquire); }

  // The hash Find, Prefetch and Touch take for a key.
  uint64_t Hash(const unsigned char* key, size_t units) const {
    if (index_.load(std::memory_order_acquire) != nullptr) {
      return WordFormIndex::HashKey(key, units);
    }
    return HomeHash(key, units);
  }
  // Hash of `count` keys at once (faster than one by one).
  void HashMany(const unsigned char* const* keys, const size_t* units,
                size_t count, uint64_t* out) const;
  void Prefetch(uint64_t hash) const {
    if (const WordFormIndex* index = index_.load(std::memory_order_acquire)) {
      index->PrefetchSlot(hash);
    } else if (const ChainDirectory* directory =
                   directory_.load(std::memory_order_acquire)) {
      directory->Prefetch(static_cast<uint32_t>(hash));
    } else {
      PrefetchRecord(hash);
    }
  }
  // Loads what Find will read first for `hash` (see WordFormIndex::Touch).
  unsigned Touch(uint64_t hash) const {
    if (const WordFormIndex* index = index_.load(std::memory_order_acquire)) {
      return index->Touch(hash);
    }
    if (const ChainDirectory* directory =
            directory_.load(std::memory_order_acquire)) {
      return directory->Touch(static_cast<uint32_t>(hash));
    }
    return TouchRecord(hash);
  }
  // Once Touch(hash) and TouchNext(hash, d) for every d below `depth` are
  // done: loads the record `depth` links down the chain from the home slot
  // (fetches the index entry, for depth 1, when the lookups go to the
  // index; with the chain directory, loads at depth 1 the first record on
  // the chain whose key may be the one hashed).
  unsigned TouchNext(uint64_t hash, size_t depth = 1) const {
    if (const WordFormIndex* index = index_.load(std::memory_order_acquire)) {
      if (depth == 1) index->PrefetchEntry(hash);
      return 0;
    }
    if (const ChainDirectory* directory =
            directory_.load(std::memory_order_acquire)) {
      size_t steps;
      if (depth == 1) {
        directory->FetchCandidate(static_cast<uint32_t>(hash), Print(hash),
                                  &steps);
      }
      return 0;
    }
    return TouchChain(hash, depth);
  }

  // TouchNext(*hash, 1), and with the chain directory more: `*hash` moves
  // on to the first slot of its chain whose key may be the one hashed
  // (whose record is fetched) or to none, so that Find starts there, and
  // answers at once for a key the table does not hold. Find takes the
  // hash either way.
  unsigned StepAhead(uint64_t* hash) const;

  // The first form of `key` in chain order, as `*bytes` UTF-16LE bytes, or
  // null when the table does not know the key. The form is either in the
  // table or restored into `room` (kMaxFormUnits units). Throws
  // InvalidFormatException for a bad link met, Changed as said above.
  // When `steps` is given, the slots walked past the home slot are added
  // to it (see UseIndex).
  const unsigned char* Find(const unsigned char* key, size_t units,
                            uint64_t hash, unsigned char* room, size_t* bytes,
                            uint64_t* steps = nullptr) const {
    if (const WordFormIndex* index = index_.load(std::memory_order_acquire)) {
      // A hash taken before the switch to the index is taken again.
      if (IsHome(hash) || IsAhead(hash)) {
        hash = WordFormIndex::HashKey(key, units);
      }
      return index->Find(key, units, hash, bytes);
    }
    return FindMapped(key, units, hash, room, bytes, steps);
  }
  // From now on every lookup goes to the full index, built now if need be.
  // A caller whose walks have stepped past their home slots more than
  // kIndexAfter times the slot count calls it: building the index costs
  // about one or two such steps (each a cache miss) per slot, so a run
  // pays for it only once it has spent about as much on walking, and its
  // lookups are cheaper from then on. Throws as Find.
  void UseIndex() const;
  static constexpr uint64_t kIndexAfter = 2;
  // From now on the walks go through a directory of the chains, built now
  // if need be: per slot its link and a few bits of its key, 4 bytes (a
  // twentieth of the records), and whether the walk from it ends at the
  // end of a chain. A walk then reads the directory, which mostly stays
  // in the cache, and only the one record whose key is likely the one
  // sought; it stops there. Building it reads every record once and
  // checks every link as the loader does (throws as Find); it pays for a
  // run of at least a few lookups per four slots. A large table is read
  // on up to `threads` threads.
  void UseDirectory(unsigned threads = 1) const;
  int32_t slots() const { return slots_; }

  // Hashes for the mapped records: the key's home slot under this tag,
  // and a fingerprint of the key in bits 32 to 38. An index hash that
  // happens to look like one is merely computed again.
  static constexpr uint64_t kHomeTag = uint64_t{1} << 63;
  static bool IsHome(uint64_t hash) {
    return (hash >> 39) == (kHomeTag >> 39) &&
           static_cast<uint32_t>(hash) < (uint32_t{1} << 24);
  }

  // A hash moved on by StepAhead: both top bits, the slots read so far in
  // bits 40 to 47, the fingerprint as in a home hash, and the slot to go
  // on from (kNoSlot: none).
  static constexpr uint64_t kAheadTag = uint64_t{3} << 62;
  static bool IsAhead(uint64_t hash) { return (hash >> 62) == 3; }

  // Every form of `key` in chain order (none when unknown). Only after an
  // Open with `all_forms`. Throws as Find.
  void Forms(const unsigned char* key, size_t units,
             std::vector<std::u16string>* out) const;

 private:
  // The fingerprint of a hash (see IsHome).
  static uint32_t Print(uint64_t hash) {
    return static_cast<uint32_t>(hash >> 32) & 0x7F;
  }
  ChainWalk WalkChain(const unsigned char* key, size_t units, uint32_t home,
                      std::vector<const unsigned char*>* all,
                      const unsigned char** first, uint64_t* steps) const;
  uint64_t HomeHash(const unsigned char* key, size_t units) const;
  void PrefetchRecord(uint64_t hash) const;
  unsigned TouchRecord(uint64_t hash) const;
  unsigned TouchChain(uint64_t hash, size_t depth) const;
  const unsigned char* FindMapped(const unsigned char* key, size_t units,
                                  uint64_t hash, unsigned char* room,
                                  size_t* bytes, uint64_t* steps) const;
  const WordFormIndex& FullIndex() const;
  void CheckIntact() const;

  MappedFile file_;                      // when the file is mapped or copied
  const unsigned char* body_ = nullptr;  // record 0
  int32_t slots_ = 0;
  HomeSlotHash home_;
  bool all_forms_ = false;
  bool links_checked_ = false;  // at Open
  size_t walk_slots_ = kWalkSlots;

  mutable std::once_flag directed_;
  mutable std::unique_ptr<ChainDirectory> owned_directory_;
  mutable std::atomic<const ChainDirectory*> directory_{nullptr};
  mutable std::once_flag built_;
  mutable std::unique_ptr<WordFormIndex> owned_index_;
  mutable std::atomic<const WordFormIndex*> index_{nullptr};
};

#endif  // URDULEX_DIACRITIZER_WORDFORMLOOKUP_H_
