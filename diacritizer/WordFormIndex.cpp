#include "diacritizer/WordFormIndex.h"

#include <cstring>

namespace {

// Entries are addressed by 32-bit offsets.
constexpr size_t kMaxArenaBytes = UINT32_MAX;

// Chain steps allowed per record while building. Tables made by the
// builder walk less than one step per record; a file whose shared chains
// would need far more is served by Search instead of stalling the load.
constexpr uint64_t kStepsPerRecord = 64;
constexpr uint64_t kMinSteps = 1 << 20;

constexpr uint16_t kAtSign = 0x0040;
constexpr uint16_t kShadda = 0x0651;

enum : uint8_t { kUnknown, kVisiting, kEndsWell, kEndsBadly };

uint16_t UnitAt(const unsigned char* p, size_t i) {
  return static_cast<uint16_t>(p[2 * i] | p[2 * i + 1] << 8);
}

// For every record, whether a search walk starting there reaches the end
// of its chain (kEndsWell), or meets an unused slot or a cycle.
std::vector<uint8_t> ChainEnds(const WordFormTableFile& file) {
  const size_t n = file.records;
  std::vector<uint8_t> state(n, kUnknown);
  std::vector<size_t> path;
  for (size_t start = 0; start < n; ++start) {
    path.clear();
    size_t s = start;
    uint8_t result;
    while (true) {
      if (state[s] == kEndsWell || state[s] == kEndsBadly) {
        result = state[s];
        break;
      }
      if (state[s] == kVisiting) {
        result = kEndsBadly;
        break;
      }
      state[s] = kVisiting;
      path.push_back(s);
      int32_t next = file.Next(s);
      if (next == wordform::kEndOfChain) {
        result = kEndsWell;
        break;
      }
      if (next < 0 || static_cast<size_t>(next) >= n) {
        result = kEndsBadly;  // unused slot (or a link the loader refuses)
        break;
      }
      s = static_cast<size_t>(next);
    }
    for (size_t p : path) state[p] = result;
  }
  return state;
}

// memcmp for the short keys here, without the call.
bool SameBytes(const unsigned char* a, const unsigned char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// The longest restored word: every letter of a full key with a shadda and
// a vowel.
constexpr size_t kMaxRestoredUnits = 3 * wordform::kKeyUnits;

// LexEnigneUtility::MergeSymbolicDiacritics on a record, written to `out`
// as UTF-16LE; returns its length in units.
size_t MergeRecord(const unsigned char* record, size_t key_units,
                   unsigned char* out) {
  const unsigned char* symbols = record + wordform::kKeyBytes;
  size_t n = 0;
  while (n < static_cast<size_t>(wordform::kSymbolBytes) && symbols[n] != 0) {
    ++n;
  }
  size_t units = 0;
  auto put = [&](uint16_t u) {
    out[2 * units] = static_cast<unsigned char>(u & 0xFF);
    out[2 * units + 1] = static_cast<unsigned char>(u >> 8);
    ++units;
  };
  size_t j = 0;
  for (size_t i = 0; i < key_units; ++i) {
    const uint16_t c = UnitAt(record, i);
    put(c);
    if (c == 0x0020 || c == 0x200C || c == 0x200D) continue;
    uint16_t mark = 0;
    switch (j < n ? symbols[j] : 0) {
      case 'Z':
        mark = 0x064E;
        break;
      case 'R':
        mark = 0x0650;
        break;
      case 'P':
        mark = 0x064F;
        break;
      case 'J':
        mark = 0x0652;
        break;
      case 'K':
        mark = 0x0670;
        break;
      case 'D':
        mark = 0x064B;
        break;
      case 'S': {
        put(kShadda);
        switch (j + 1 < n ? symbols[j + 1] : 0) {
          case 'Z':
            mark = 0x064E;
            break;
          case 'R':
            mark = 0x0650;
            break;
          case 'P':
            mark = 0x064F;
            break;
          default:
            break;
        }
        ++j;  // the vowel's place, used or not
        break;
      }
      default:
        break;
    }
    ++j;
    if (mark != 0) put(mark);
  }
  return units;
}

}  // namespace

uint64_t WordFormIndex::HashKey(const unsigned char* key, size_t units) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < units; ++i) {
    h ^= UnitAt(key, i);
    h *= 0x100000001b3ull;
  }
  h ^= h >> 32;
  h *= 0x9E3779B97F4A7C15ull;
  h ^= h >> 29;
  return h;
}

const WordFormIndex::Slot* WordFormIndex::Probe(const unsigned char* key,
                                                size_t units,
                                                uint64_t hash) const {
  const uint32_t check = static_cast<uint32_t>(hash >> 32);
  uint64_t i = hash & mask_;
  while (true) {
    const Slot* slot = &slots_[i];
    if (slot->offset == 0) return slot;
    if (slot->check == check) {
      const unsigned char* entry = arena_.data() + slot->offset;
      if (entry[0] == units && SameBytes(entry + 2, key, 2 * units)) {
        return slot;
      }
    }
    i = (i + 1) & mask_;
  }
}

WordFormIndex::Slot* WordFormIndex::Probe(const unsigned char* key,
                                          size_t units, uint64_t hash) {
  return const_cast<Slot*>(
      static_cast<const WordFormIndex*>(this)->Probe(key, units, hash));
}

const unsigned char* WordFormIndex::Find(const unsigned char* key, size_t units,
                                         uint64_t hash, size_t* bytes) const {
  if (units == 0 || units > static_cast<size_t>(wordform::kKeyUnits)) {
    return nullptr;
  }
  const Slot* slot = Probe(key, units, hash);
  if (slot->offset == 0) return nullptr;
  const unsigned char* entry = arena_.data() + slot->offset;
  *bytes = 2 * static_cast<size_t>(entry[1]);
  return entry + 2 + 2 * units;
}

bool WordFormIndex::Reset() {
  arena_.clear();
  arena_.shrink_to_fit();
  slots_.assign(1, Slot{0, 0});
  slots_.shrink_to_fit();
  mask_ = 0;
  entries_ = 0;
  built_ = false;
  return false;
}

bool WordFormIndex::Build(const WordFormTableFile& file) {
  Reset();
  const size_t n = file.records;
  size_t capacity = 16;
  while (capacity < 2 * n) capacity *= 2;
  slots_.assign(capacity, Slot{0, 0});
  mask_ = capacity - 1;

  // The home slot of every usable key, in one pass over the file; slots no
  // key calls home need no walk.
  constexpr uint32_t kNoHome = UINT32_MAX;
  const HomeSlotHash home(file.slots);
  std::vector<uint32_t> homes(n, kNoHome);
  std::vector<uint8_t> is_home(n, 0);
  for (size_t s = 0; s < n; ++s) {
    if (file.Next(s) == wordform::kUnusedSlot) continue;
    const unsigned char* record = file.Record(s);
    const size_t units = file.KeyLength(s);
    if (units == 0 || UnitAt(record, 0) == kAtSign) continue;
    uint16_t key[wordform::kKeyUnits];
    for (size_t i = 0; i < units; ++i) key[i] = UnitAt(record, i);
    const uint32_t h = home(key, units);
    homes[s] = h;
    if (h < n) is_home[h] = 1;
  }
  // About what a short key and its restored word take.
  arena_.reserve(n * 36 + 1);
  arena_.push_back(0);  // offset 0 marks an empty slot

  // A search for key k walks from its home h and returns first the first
  // record with key k on the way, provided the walk ends properly. So one
  // walk from each home decides every key of that home that it meets;
  // keys it does not meet are not found.
  const std::vector<uint8_t> ends = ChainEnds(file);
  const uint64_t budget = kStepsPerRecord * n + kMinSteps;
  uint64_t steps = 0;
  for (size_t h = 0; h < n; ++h) {
    if (!is_home[h] || ends[h] != kEndsWell) continue;
    for (int64_t t = static_cast<int64_t>(h); t >= 0;
         t = file.Next(static_cast<size_t>(t))) {
      if (++steps > budget) return Reset();
      const size_t s = static_cast<size_t>(t);
      if (homes[s] != h) continue;
      const unsigned char* key = file.Record(s);
      const size_t units = file.KeyLength(s);
      const uint64_t hash = HashKey(key, units);
      Slot* slot = Probe(key, units, hash);
      if (slot->offset != 0) continue;  // met before on this walk
      const size_t at = arena_.size();
      if (at + 2 + 2 * units + 2 * kMaxRestoredUnits > kMaxArenaBytes) {
        return Reset();
      }
      arena_.resize(at + 2 + 2 * units + 2 * kMaxRestoredUnits);
      unsigned char* entry = arena_.data() + at;
      entry[0] = static_cast<unsigned char>(units);
      std::memcpy(entry + 2, key, 2 * units);
      const size_t restored = MergeRecord(key, units, entry + 2 + 2 * units);
      entry[1] = static_cast<unsigned char>(restored);
      arena_.resize(at + 2 + 2 * units + 2 * restored);
      slot->check = static_cast<uint32_t>(hash >> 32);
      slot->offset = static_cast<uint32_t>(at);
      ++entries_;
    }
  }
  built_ = true;
  return true;
}
