// Layout of the word-form table file "wordformshashtable.lex", in one place
// for the loader, the table builder and the tests. doc/wordform-table.md
// describes the format with a worked example. All integers little-endian.
//
//   file     := mark header record*
//   mark     := FF FE
//   header   := slots:int32 (slots > 0)
//             | FFFFFFFF slots:int32 extra:int32 (both non-zero)
//   record   := key:20 x uint16  symbols:20 x byte  id:uint32  tag:byte
//               flag:byte  next:int32
//
// Record k of the file is slot k; records past the last slot are ignored.

#ifndef URDULEX_DIACRITIZER_WORDFORMFORMAT_H_
#define URDULEX_DIACRITIZER_WORDFORMFORMAT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace wordform {

constexpr char kFileName[] = "wordformshashtable.lex";

constexpr int kMarkSize = 2;
constexpr int kHeaderWordSize = 4;
// Header word announcing the extended header (slot count, extra word).
constexpr int32_t kExtendedHeader = -1;

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

}  // namespace wordform

#endif  // URDULEX_DIACRITIZER_WORDFORMFORMAT_H_
