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
// walk longer than a few hundred slots (one long chain, or a cycle), or
// long walks that add up to what the index costs, have the whole table
// read into a WordFormIndex once, with every link checked as the loader
// checks them, and every later lookup goes there: constant time on any
// table the loader accepts. Which structure a run looks up in is chosen
// once, by Expect, before its lookups. Any other file (a pipe, a FIFO) is read
// whole into a WordFormIndex at once, as before.
//
// The file is a MappedFile (foundation/MappedFile.h): a mapped file cut
// short by someone else while we read it has the next lookup throw
// urdulex::internal::Error of kind kChanged (foundation/Error.h), and
// Unchanged tells a file rewritten in place, so a run asks it before it
// commits its output. With Limits::private_copy the file is read into
// private memory instead, and never changes afterwards.
// Refused files get exactly the verdicts and exceptions of
// ReadWordFormTableFile and CheckWordFormTableExtent.
//
// Once opened the lookups are const and may run on several threads at
// once. Keys are UTF-16LE bytes at any alignment. The lookups throw
// InvalidFormatException for a bad link met, Error (kChanged) for a mapped
// file cut short under them.

#ifndef URDULEX_DIACRITIZER_WORDFORMLOOKUP_H_
#define URDULEX_DIACRITIZER_WORDFORMLOOKUP_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "diacritizer/WordFormIndex.h"
#include "foundation/MappedFile.h"

class ChainDirectory;
enum class ChainWalk;

class WordFormLookup {
 public:
  // Tables of at most this many records have every link checked when
  // opened: a few hundred microseconds at most.
  static constexpr size_t kEagerRecords = size_t{1} << 14;
  // A walk of more slots than this is long: normal chains are a few slots
  // long at any sensible load, but chains that have coalesced reach tens
  // in a table of millions (46 slots at most in one of a million forms).
  static constexpr size_t kWalkSlots = 32;
  // A walk goes on to this many times kWalkSlots. One longer (a chain
  // that long, or a cycle) builds the full index, which answers every key
  // in constant time; so do long walks once the slots they stepped past
  // kWalkSlots add up to kStepsPerSlot times the slot count, about what
  // the index costs to build: it has then paid for itself.
  static constexpr size_t kLongWalkFactor = 8;
  static constexpr uint64_t kStepsPerSlot = 8;
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
  WordFormLookup();
  ~WordFormLookup();
  WordFormLookup(const WordFormLookup&) = delete;
  WordFormLookup& operator=(const WordFormLookup&) = delete;

  // Opens `path` once. kOpen, or the verdict with the reason in `*problem`;
  // throws what ReadWordFormTableFile throws. With `all_forms`, an index
  // built for the lookups also lists every form of a key, for a caller
  // that asks AllForms often; without, AllForms walks the key's chain in
  // the file.
  Verdict Open(const std::string& path, bool all_forms, std::string* problem,
               const Limits& limits);
  Verdict Open(const std::string& path, bool all_forms, std::string* problem) {
    return Open(path, all_forms, problem, Limits());
  }
  // The path given to Open.
  const std::string& path() const { return path_; }

  bool mapped() const { return body_ != nullptr && !file_.copied(); }
  // Whether the table is still the file as it was at Open: false once the
  // mapped file was cut short, rewritten or touched. A table read whole
  // (a private copy, a FIFO) is always unchanged.
  bool Unchanged() const;
  int32_t slots() const { return slots_; }

  // Where the lookups go now.
  enum class Backend { kWalk, kDirectory, kIndex };
  Backend backend() const;

  // The caller is about to make about `lookups` lookups, on up to
  // `threads` threads: the back end that pays for them is made ready now
  // (read on that many threads, where it can be). Building the directory
  // reads every record once: it pays from a lookup for every
  // kSlotsPerLookup slots. The index costs about twice that, and pays from
  // kLookupsPerSlot lookups a slot. Throws as FindMany.
  void Expect(uint64_t lookups, unsigned threads = 1) const;
  // The choice is made here, once, from the lookups announced and the
  // table: a directory whose chains run longer than a walk may go has the
  // index built at once too. A later Expect only moves on to a structure
  // its own lookups pay for; the lookups themselves build nothing on a
  // table whose chains are in bounds (see kLongWalkFactor).
  static constexpr uint64_t kSlotsPerLookup = 4;
  static constexpr uint64_t kLookupsPerSlot = 8;

  // A key: `units` UTF-16LE units at `key`.
  struct Query {
    const unsigned char* key;
    size_t units;
  };
  // The first form of a key in chain order: `units` UTF-16LE units at
  // `form`, or a null `form` when the table does not know the key.
  struct Answer {
    const unsigned char* form;
    size_t units;
  };
  // The room FindMany may write for `n` queries, in bytes.
  static constexpr size_t RoomBytes(size_t n) { return 2 * kMaxFormUnits * n; }
  // Answers `queries[0, n)` in `answers[0, n)`. A form is in the table or
  // restored into `room` (RoomBytes(n) bytes, filled from the start), and
  // stays there until the next lookup in that room. The lookups of a batch
  // overlap their cache misses: the keys of a group are hashed and what
  // their lookups read first is fetched; a few keys later, what they read
  // next (the record a walk will compare, or the index entry); a few keys
  // later still, the lookups run on what has arrived. Throws as said above.
  void FindMany(const Query* queries, size_t n, Answer* answers,
                unsigned char* room) const;
  // One key (room: RoomBytes(1) bytes).
  Answer Find(const unsigned char* key, size_t units,
              unsigned char* room) const {
    const Query query{key, units};
    Answer answer;
    FindMany(&query, 1, &answer, room);
    return answer;
  }

  // Every form of `key` in chain order (empty when unknown). The forms of the
  // kFormsCacheWords keys asked for last are kept; the forms handed out stay
  // valid as long as they are held. Throws as FindMany.
  using Forms = std::shared_ptr<const std::vector<std::u16string>>;
  Forms AllForms(const unsigned char* key, size_t units) const;
  Forms AllForms(const char16_t* key, size_t units) const {
    return AllForms(reinterpret_cast<const unsigned char*>(key), units);
  }
  // Keys whose forms are kept at most, the least recently asked for going
  // first: a text of ever new words does not grow the cache.
  static constexpr size_t kFormsCacheWords = 65536;
  // The tags (the byte each record carries) of the records of `key`, in
  // chain order: empty when the key is unknown, or when the table is not
  // a mapped file (it was read whole into an index that keeps no tags).
  // Throws as FindMany.
  std::vector<uint8_t> Tags(const unsigned char* key, size_t units) const;
  // Keys whose forms are kept now.
  size_t CachedWords() const;

 private:
  // The batch of FindMany on one back end (see WordFormLookup.cpp).
  class IndexProbe;
  class DirectoryProbe;
  class WalkProbe;
  template <typename Probe>
  size_t Pipeline(const Probe& probe, const Query* queries, size_t n,
                  Answer* answers, unsigned char** room, uint64_t* steps,
                  unsigned* touched) const;

  // The home hashes of `count` keys: the home slot in the low 32 bits, the
  // key's fingerprint in bits 32 to 38.
  void HomeHashes(const Query* queries, size_t count, uint64_t* out) const;
  uint64_t HomeHash(const unsigned char* key, size_t units) const;
  // Walks at most `limit` slots (0: long_walk_slots_), adding those past
  // walk_slots_ to `*steps` when given.
  ChainWalk WalkChain(const unsigned char* key, size_t units, uint32_t home,
                      std::vector<const unsigned char*>* all,
                      const unsigned char** first, uint64_t* steps,
                      size_t limit = 0) const;
  // Every form, with no cache.
  void ListForms(const unsigned char* key, size_t units,
                 std::vector<std::u16string>* out) const;
  // From now on the lookups go to the full index (or the directory),
  // built now if need be. Throw as FindMany.
  void UseIndex() const;
  void UseDirectory(unsigned threads) const;
  const WordFormIndex& FullIndex() const;
  // The Error of a file cut short or found changed; thrown by CheckIntact
  // when the file was cut.
  [[noreturn]] void ThrowChanged() const;
  void CheckIntact() const;

  std::string path_;
  MappedFile file_;                      // when the file is mapped or copied
  const unsigned char* body_ = nullptr;  // record 0
  int32_t slots_ = 0;
  HomeSlotHash home_;
  bool all_forms_ = false;
  bool links_checked_ = false;  // at Open
  size_t walk_slots_ = kWalkSlots;
  size_t long_walk_slots_ = kLongWalkFactor * kWalkSlots;

  mutable std::once_flag directed_;
  mutable std::unique_ptr<ChainDirectory> owned_directory_;
  mutable std::atomic<const ChainDirectory*> directory_{nullptr};
  mutable std::once_flag built_;
  mutable std::unique_ptr<WordFormIndex> owned_index_;
  mutable std::atomic<const WordFormIndex*> index_{nullptr};
  // Slots the walks have stepped past walk_slots_, on every thread.
  mutable std::atomic<uint64_t> long_steps_{0};

  // The forms of the keys asked for last, guarded so that threads may
  // share the table. `recent_` holds the keys of `forms_` (which stay
  // where they are), the most recently asked for first.
  struct Cached {
    Forms forms;
    std::list<const std::u16string*>::iterator place;
  };
  mutable std::mutex forms_mutex_;
  mutable std::unordered_map<std::u16string, Cached> forms_;
  mutable std::list<const std::u16string*> recent_;
};

#endif  // URDULEX_DIACRITIZER_WORDFORMLOOKUP_H_
