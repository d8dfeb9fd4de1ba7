// The word-form table file "wordformshashtable.lex": its layout, and the one
// decoder of its bytes for every reader of it (the loader, the mapped
// lookup, `table check` and `dump`). doc/wordform-table.md describes the
// format with a worked example. All integers little-endian.
//
//   file     := mark header record*
//   mark     := FF FE
//   header   := slots:int32 (slots > 0)
//             | FFFFFFFF slots:int32 extra:int32 (both non-zero)
//   record   := key:20 x uint16  symbols:20 x byte  id:uint32  tag:byte
//               flag:byte  next:int32
//
// Record k of the file is slot k; records past the last slot are ignored.
//
// The decoder works on bytes in memory and judges them without trusting
// them: every fault it finds is a TableProblem, a TableFault with the
// numbers that go with it. It has no words of its own: LoaderText and
// CheckText give each fault in the wording of the loader and of the table
// checker. Nothing here throws except the standard allocation failure.

#ifndef URDULEX_DIACRITIZER_TABLEFORMAT_H_
#define URDULEX_DIACRITIZER_TABLEFORMAT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace wordform {

constexpr char kFileName[] = "wordformshashtable.lex";

constexpr int kMarkSize = 2;
constexpr int kHeaderWordSize = 4;
// Header word announcing the extended header (slot count, extra word).
constexpr int32_t kExtendedHeader = -1;
// Mark and header, the extended header being the longer.
constexpr int kShortHeaderBytes = kMarkSize + kHeaderWordSize;
constexpr int kLongHeaderBytes = kMarkSize + 3 * kHeaderWordSize;

constexpr int kKeyUnits = 20;     // UTF-16 units of a key, zero-padded
constexpr int kSymbolBytes = 20;  // bytes of a symbolic string, zero-padded
constexpr int kKeyBytes = 2 * kKeyUnits;
// The part of a record after the key: symbols, id, tag, flag, next.
constexpr int kTailBytes = 30;
constexpr int kRecordSize = kKeyBytes + kTailBytes;  // 70

// Offsets within the record tail.
constexpr int kIdOffset = kSymbolBytes;       // 20
constexpr int kTagOffset = kIdOffset + 4;     // 24
constexpr int kFlagOffset = kTagOffset + 1;   // 25
constexpr int kNextOffset = kFlagOffset + 1;  // 26

// Chain links.
constexpr int32_t kEndOfChain = -2;
constexpr int32_t kUnusedSlot = -1;

// Largest slot count a file may announce. Readers hold only the slots a
// file has records for, so the limit is not what keeps a corrupt header
// from asking for memory; it bounds what a real table can be: 2^24 slots
// hold far more word forms than any language has, and a full table of
// them (1.2 GB of records) still fits in memory once loaded.
constexpr int32_t kMaxTableSlots = 1 << 24;

// What can be wrong with a table file, in the order a reader meets it.
enum class TableFault : uint8_t {
  kNone,
  // Mark and header.
  kNoMark,             // the file does not start with FF FE
  kHeaderCutShort,     // the file ends inside the header word
  kCountCutShort,      // ... inside the extended header's slot count
  kCheckWordCutShort,  // ... after the slot count, before its check word
  kNoSlots,            // a header word of 0
  kExtendedNoSlots,    // an extended slot count of 0
  kZeroCheckWord,      // an extended check word of 0
  kSlotsBelowOne,      // a negative slot count (`slots`)
  kTooManySlots,       // a slot count above kMaxTableSlots (`slots`)
  // Records against slots (`slots`, `records`, `bytes`).
  kNoRecord,        // no record after the header
  kPartialRecord,   // the last record is cut short
  kFewerRecords,    // fewer whole records than slots
  kSurplusRecords,  // more whole records than slots
  // Links (`slot`, `link`, `slots`).
  kLinkOutside,      // a link neither -1, -2 nor a slot
  kCycle,            // a link back to its own chain
  kChainIntoUnused,  // the chain through `slot` reaches unused `link`
  // Records and the hash (`slot`, its home slot in `link`).
  kHomeUnused,    // the record's home slot is unused
  kOffHomeChain,  // the record is not on its home slot's chain
};

// A fault and its numbers; the numbers a fault does not name are 0.
struct TableProblem {
  TableFault fault = TableFault::kNone;
  int64_t slot = 0;
  int64_t link = 0;
  int64_t slots = 0;
  uint64_t records = 0;
  uint64_t bytes = 0;

  explicit operator bool() const { return fault != TableFault::kNone; }
};

// The fault in the words of the loader (LoadWordFormHashTable, the
// `diacritizer` program): a sentence ("The table header announces no
// slots."), or for records against slots the words that follow the file's
// name ("is cut short: 5 slots announced, 3 complete records found").
std::string LoaderText(const TableProblem& problem);
// The fault in the words of the table checker (`table check` and `dump`),
// which follow the file's name and a colon ("header announces 0 slots").
std::string CheckText(const TableProblem& problem);

inline int32_t Int32At(const unsigned char* p) {
  return static_cast<int32_t>(
      static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
      static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

// Mark and header as decoded.
struct TableHeader {
  int32_t slots = 0;      // as announced, also when refused
  bool extended = false;  // the long form
  size_t size = 0;        // bytes of mark and header: where record 0 starts
};

// Decodes the mark and header at the start of the `size` bytes at `bytes`
// (the whole file or its first bytes), filling `header` as far as it gets.
// The first fault, from kNoMark to kTooManySlots, or none.
TableProblem DecodeHeader(const unsigned char* bytes, size_t size,
                          TableHeader* header);

// Whether the header word at `word` announces the extended header, two
// more words.
inline bool ExtendedHeaderFollows(const unsigned char* word) {
  return Int32At(word) == kExtendedHeader;
}

// What a file holds after its header: whole records, those past the last
// slot included, and the bytes of a last record cut short.
struct TableExtent {
  int32_t slots = 0;
  uint64_t records = 0;
  uint32_t partial_bytes = 0;
};
inline TableExtent ExtentOf(int32_t slots, uint64_t body_bytes) {
  TableExtent extent;
  extent.slots = slots;
  extent.records = body_bytes / kRecordSize;
  extent.partial_bytes = static_cast<uint32_t>(body_bytes % kRecordSize);
  return extent;
}
// The first fault of records against slots: a record cut short, none at
// all, fewer whole records than slots (only when `fewer_is_fault`: a file
// may leave its last slots out), or more.
TableProblem JudgeExtent(const TableExtent& extent, bool fewer_is_fault);

// One record's fields, read in place.
struct RecordFields {
  const unsigned char* key;  // key_units UTF-16LE units
  size_t key_units;          // up to the first zero unit
  const unsigned char* symbols;
  size_t symbol_bytes;  // up to the first zero byte
  uint32_t id;
  uint8_t tag;
  uint8_t flag;
  int32_t next;
};

// The key's length in units, up to its first zero unit, of the record at
// `record` (kRecordSize bytes): eight bytes at a time.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
inline size_t KeyUnits(const unsigned char* record) {
  constexpr uint64_t kOnes = 0x0001000100010001ull;
  for (size_t at = 0; at < static_cast<size_t>(kKeyBytes); at += 8) {
    uint64_t w;
    std::memcpy(&w, record + at, 8);
    // The lowest set bit marks the first zero unit (little-endian).
    const uint64_t zero = (w - kOnes) & ~w & (kOnes << 15);
    if (zero != 0) {
      return at / 2 + static_cast<size_t>(__builtin_ctzll(zero)) / 16;
    }
  }
  return kKeyUnits;
}

// The length of the record's symbols, up to their first zero byte.
inline size_t SymbolBytes(const unsigned char* record) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  for (size_t at = 0; at < static_cast<size_t>(kSymbolBytes); at += 8) {
    uint64_t w;
    std::memcpy(&w, record + kKeyBytes + at, 8);  // within the record
    const uint64_t zero = (w - kOnes) & ~w & (kOnes << 7);
    if (zero != 0) {
      const size_t n = at + static_cast<size_t>(__builtin_ctzll(zero)) / 8;
      return n < static_cast<size_t>(kSymbolBytes) ? n : kSymbolBytes;
    }
  }
  return kSymbolBytes;
}
#else
inline size_t KeyUnits(const unsigned char* record) {
  size_t n = 0;
  while (n < static_cast<size_t>(kKeyUnits) &&
         (record[2 * n] | record[2 * n + 1]) != 0) {
    ++n;
  }
  return n;
}
inline size_t SymbolBytes(const unsigned char* record) {
  size_t n = 0;
  while (n < static_cast<size_t>(kSymbolBytes) && record[kKeyBytes + n] != 0) {
    ++n;
  }
  return n;
}
#endif

// The link of the record at `record`.
inline int32_t RecordNext(const unsigned char* record) {
  return Int32At(record + kKeyBytes + kNextOffset);
}

// The fields of the record at `record` (kRecordSize bytes).
inline RecordFields DecodeRecord(const unsigned char* record) {
  const unsigned char* tail = record + kKeyBytes;
  RecordFields fields;
  fields.key = record;
  fields.key_units = KeyUnits(record);
  fields.symbols = tail;
  fields.symbol_bytes = SymbolBytes(record);
  fields.id = static_cast<uint32_t>(Int32At(tail + kIdOffset));
  fields.tag = tail[kTagOffset];
  fields.flag = tail[kFlagOffset];
  fields.next = Int32At(tail + kNextOffset);
  return fields;
}

// How the links are judged.
enum class ChainRule {
  kLoader,  // a chain may end in an unused slot, as a search takes it
  kStrict,  // every chain must end with -2 (`table check`)
};

// The first fault of the links of a table of `slots` slots that holds
// `held` records, `next(s)` the link of record s (the slots past them are
// unused): a link outside the table (all links are judged first), then,
// walking the chains from slot 0 up, a link closing a cycle or, by
// kStrict, a chain running into an unused slot. With `lengths`, by
// kStrict, lengths[s] is the number of slots the walk from used slot s
// visits (filled only when there is no fault). Time follows the records,
// memory is a byte a record (and the lengths).
template <typename Next>
TableProblem CheckChains(size_t held, int64_t slots, Next next, ChainRule rule,
                         std::vector<uint32_t>* lengths = nullptr) {
  TableProblem problem;
  for (size_t s = 0; s < held; ++s) {
    const int32_t link = next(s);
    if (link < kEndOfChain || link >= slots) {
      problem.fault = TableFault::kLinkOutside;
      problem.slot = static_cast<int64_t>(s);
      problem.link = link;
      problem.slots = slots;
      return problem;
    }
  }
  // Every slot has at most one successor, so a walk that meets a slot of
  // its own path has found a cycle. Each slot is walked once.
  const bool strict = rule == ChainRule::kStrict;
  enum : uint8_t { kNew, kOnPath, kDone };
  std::vector<uint8_t> state(held, kNew);
  if (lengths != nullptr) lengths->assign(held, 0);
  std::vector<int64_t> path;
  for (size_t start = 0; start < held; ++start) {
    if (state[start] != kNew) continue;
    // By kStrict an unused slot is no chain; it is judged when reached.
    if (strict && next(start) == kUnusedSlot) continue;
    path.clear();
    int64_t s = static_cast<int64_t>(start);
    while (s >= 0) {
      if (strict && (static_cast<size_t>(s) >= held ||
                     next(static_cast<size_t>(s)) == kUnusedSlot)) {
        problem.fault = TableFault::kChainIntoUnused;
        problem.slot = path.back();
        problem.link = s;
        return problem;
      }
      if (static_cast<size_t>(s) >= held || state[s] != kNew) break;
      state[s] = kOnPath;
      path.push_back(s);
      const int32_t link = next(static_cast<size_t>(s));
      if (link >= 0 && static_cast<size_t>(link) < held &&
          state[link] == kOnPath) {
        problem.fault = TableFault::kCycle;
        problem.slot = s;
        problem.link = link;
        return problem;
      }
      s = link;
    }
    uint32_t tail = 0;
    if (lengths != nullptr && s >= 0 && static_cast<size_t>(s) < held) {
      tail = (*lengths)[s];
    }
    for (size_t i = path.size(); i-- > 0;) {
      state[path[i]] = kDone;
      if (lengths != nullptr) (*lengths)[path[i]] = ++tail;
    }
  }
  return problem;
}

// CheckChains over `held` records laid out as in the file, from `records`.
TableProblem CheckRecordChains(const unsigned char* records, size_t held,
                               int64_t slots, ChainRule rule);

}  // namespace wordform

#endif  // URDULEX_DIACRITIZER_TABLEFORMAT_H_
