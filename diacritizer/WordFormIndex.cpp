#include "diacritizer/WordFormIndex.h"

#include <cstring>

namespace {

constexpr unsigned char kAbsent = 0xFF;

// Chain steps allowed per record while building. Tables made by the
// builder walk less than one step per record; a file whose shared chains
// would need far more is served by Search instead of stalling the load.
constexpr uint64_t kStepsPerRecord = 64;
constexpr uint64_t kMinSteps = 1 << 20;

// Records handled together, so that their cache misses overlap.
constexpr size_t kBatch = 16;

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

// True when record `r` holds exactly the key of `units` units at `key`.
bool KeyEquals(const unsigned char* r, const unsigned char* key, size_t units) {
  return std::memcmp(r, key, 2 * units) == 0 &&
         (units == static_cast<size_t>(wordform::kKeyUnits) ||
          UnitAt(r, units) == 0);
}

void PutUnit(std::vector<unsigned char>& out, uint16_t u) {
  out.push_back(static_cast<unsigned char>(u & 0xFF));
  out.push_back(static_cast<unsigned char>(u >> 8));
}

// LexEnigneUtility::MergeSymbolicDiacritics on a record, appending the
// restored word to `out` as UTF-16LE; returns its length in units.
size_t MergeRecord(const unsigned char* record, size_t key_units,
                   std::vector<unsigned char>& out) {
  const unsigned char* symbols = record + wordform::kKeyBytes;
  size_t n = 0;
  while (n < static_cast<size_t>(wordform::kSymbolBytes) && symbols[n] != 0) {
    ++n;
  }
  size_t units = 0;
  size_t j = 0;
  for (size_t i = 0; i < key_units; ++i) {
    const uint16_t c = UnitAt(record, i);
    PutUnit(out, c);
    ++units;
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
        PutUnit(out, kShadda);
        ++units;
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
    if (mark != 0) {
      PutUnit(out, mark);
      ++units;
    }
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
      if (entry[0] == units && std::memcmp(entry + 2, key, 2 * units) == 0) {
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
  if (entry[1] == kAbsent) return nullptr;
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
  // About what the builder's tables need: a short key and its restored word.
  arena_.reserve(n * 36 + 1);
  arena_.push_back(0);  // offset 0 marks an empty slot

  const std::vector<uint8_t> ends = ChainEnds(file);
  const HomeSlotHash home(file.slots);
  const uint64_t budget = kStepsPerRecord * n + kMinSteps;
  uint64_t steps = 0;

  struct Pending {
    size_t slot;
    size_t units;
    uint64_t hash;
  } batch[kBatch];
  for (size_t first = 0; first < n; first += kBatch) {
    size_t count = 0;
    for (size_t s = first; s < n && s < first + kBatch; ++s) {
      if (file.Next(s) == wordform::kUnusedSlot) continue;
      const unsigned char* record = file.Record(s);
      const size_t units = file.KeyLength(s);
      if (units == 0 || UnitAt(record, 0) == kAtSign) continue;
      const uint64_t hash = HashKey(record, units);
      PrefetchSlot(hash);
      batch[count++] = Pending{s, units, hash};
    }
    for (size_t b = 0; b < count; ++b) {
      const size_t s = batch[b].slot;
      const size_t units = batch[b].units;
      const unsigned char* key = file.Record(s);
      Slot* slot = Probe(key, units, batch[b].hash);
      if (slot->offset != 0) continue;  // decided by an earlier record

      // The first record with this key on the walk from its home slot is
      // what Search returns first.
      uint16_t key_units[wordform::kKeyUnits];
      for (size_t i = 0; i < units; ++i) key_units[i] = UnitAt(key, i);
      const size_t h = home(key_units, units);
      int64_t found = -1;
      if (h < n && ends[h] == kEndsWell) {
        if (h == s) {
          found = static_cast<int64_t>(s);
        } else {
          for (int64_t t = static_cast<int64_t>(h); t >= 0;
               t = file.Next(static_cast<size_t>(t))) {
            if (++steps > budget) return Reset();
            if (KeyEquals(file.Record(static_cast<size_t>(t)), key, units)) {
              found = t;
              break;
            }
          }
        }
      }
      if (arena_.size() + 256 > UINT32_MAX) return Reset();
      const size_t at = arena_.size();
      arena_.push_back(static_cast<unsigned char>(units));
      arena_.push_back(kAbsent);
      arena_.insert(arena_.end(), key, key + 2 * units);
      if (found >= 0) {
        arena_[at + 1] = static_cast<unsigned char>(MergeRecord(
            file.Record(static_cast<size_t>(found)), units, arena_));
      }
      slot->check = static_cast<uint32_t>(batch[b].hash >> 32);
      slot->offset = static_cast<uint32_t>(at);
      ++entries_;
    }
  }
  built_ = true;
  return true;
}
