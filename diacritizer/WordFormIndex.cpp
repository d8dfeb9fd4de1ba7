#include "diacritizer/WordFormIndex.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace {

// Entries are addressed by 32-bit offsets.
constexpr size_t kMaxArenaBytes = UINT32_MAX;

// Chain steps allowed per record while building. Tables made by the
// builder walk less than one step per record; a file whose shared chains
// would need far more is served by Search instead of stalling the load.
constexpr uint64_t kStepsPerRecord = 64;
constexpr uint64_t kMinSteps = 1 << 20;

// Walks, and insertions, kept in flight together so that their cache
// misses overlap.
constexpr size_t kLanes = 16;

constexpr uint16_t kAtSign = 0x0040;
constexpr uint16_t kShadda = 0x0651;

uint16_t UnitAt(const unsigned char* p, size_t i) {
  return static_cast<uint16_t>(p[2 * i] | p[2 * i + 1] << 8);
}

// memcmp for the short keys here, without the call.
bool SameBytes(const unsigned char* a, const unsigned char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// The mark each symbol writes (0 for none), and the vowel written after a
// shadda.
struct MarkTables {
  uint16_t mark[256] = {};
  uint16_t vowel[256] = {};
  constexpr MarkTables() {
    Set('Z', 0x064E, true);
    Set('R', 0x0650, true);
    Set('P', 0x064F, true);
    Set('J', 0x0652, false);
    Set('K', 0x0670, false);
    Set('D', 0x064B, false);
  }
  constexpr void Set(char symbol, uint16_t code, bool is_vowel) {
    const unsigned char i = static_cast<unsigned char>(symbol);
    mark[i] = code;
    if (is_vowel) vowel[i] = code;
  }
};
constexpr MarkTables kMarks;
constexpr const uint16_t* kMarkOf = kMarks.mark;
constexpr const uint16_t* kVowelOf = kMarks.vowel;

// The longest restored word: every letter of a full key with a shadda and
// a vowel.
constexpr size_t kMaxRestoredUnits = 3 * wordform::kKeyUnits;

// LexEnigneUtility::MergeSymbolicDiacritics of a key of `key_units` units
// (UTF-16LE) and `n` symbols, written to `out` as UTF-16LE; returns its
// length in units.
size_t Merge(const unsigned char* key, size_t key_units,
             const unsigned char* symbols, size_t n, unsigned char* out) {
  size_t units = 0;
  auto put = [&](uint16_t u) {
    out[2 * units] = static_cast<unsigned char>(u & 0xFF);
    out[2 * units + 1] = static_cast<unsigned char>(u >> 8);
    ++units;
  };
  size_t j = 0;
  for (size_t i = 0; i < key_units; ++i) {
    const uint16_t c = UnitAt(key, i);
    put(c);
    if (c == 0x0020 || c == 0x200C || c == 0x200D) continue;
    const unsigned char symbol = j < n ? symbols[j] : 0;
    uint16_t mark;
    if (symbol == 'S') {
      put(kShadda);
      mark = j + 1 < n ? kVowelOf[symbols[j + 1]] : 0;
      ++j;  // the vowel's place, used or not
    } else {
      mark = kMarkOf[symbol];
    }
    ++j;
    if (mark != 0) put(mark);
  }
  return units;
}

}  // namespace

void AdviseLargePages(void* p, size_t bytes) {
#ifdef MADV_HUGEPAGE
  // Only advice: where huge pages are not available nothing changes.
  madvise(p, bytes, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

uint64_t WordFormIndex::HashKey(const unsigned char* key, size_t units) {
  // FNV-1a over pairs of units, so the chain of dependent multiplications
  // is half as long; then a final mix for the low bits.
  uint64_t h = 0xcbf29ce484222325ull ^ units;
  size_t i = 0;
  for (; i + 2 <= units; i += 2) {
    const uint32_t pair = static_cast<uint32_t>(key[2 * i]) |
                          static_cast<uint32_t>(key[2 * i + 1]) << 8 |
                          static_cast<uint32_t>(key[2 * i + 2]) << 16 |
                          static_cast<uint32_t>(key[2 * i + 3]) << 24;
    h = (h ^ pair) * 0x100000001b3ull;
  }
  if (i < units) h = (h ^ UnitAt(key, i)) * 0x100000001b3ull;
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
  const size_t n = file.records.size();
  size_t capacity = 16;
  while (capacity < 2 * n) capacity *= 2;
  slots_.assign(capacity, Slot{0, 0});
  mask_ = capacity - 1;

  // The home slot of every usable key, in one pass over the records; slots
  // no key calls home need no walk.
  constexpr uint32_t kNoHome = UINT32_MAX;
  const HomeSlotHash home(file.slots);
  std::vector<uint32_t> homes(n, kNoHome);
  std::vector<uint64_t> hashes(n);
  std::vector<uint32_t> starts;
  {
    std::vector<uint8_t> is_home(n, 0);
    uint16_t key[wordform::kKeyUnits];
    for (size_t s = 0; s < n; ++s) {
      const WordFormTableFile::Entry& entry = file.records[s];
      const unsigned char* text = file.Key(s);
      if (entry.next == wordform::kUnusedSlot || entry.key_units == 0 ||
          UnitAt(text, 0) == kAtSign) {
        continue;
      }
      for (size_t i = 0; i < entry.key_units; ++i) key[i] = UnitAt(text, i);
      const uint32_t h = home(key, entry.key_units);
      homes[s] = h;
      hashes[s] = HashKey(text, entry.key_units);
      if (h < n) is_home[h] = 1;
    }
    for (size_t h = 0; h < n; ++h) {
      if (is_home[h]) starts.push_back(static_cast<uint32_t>(h));
    }
  }

  // A search for key k walks from its home h and returns first the first
  // record with key k on the way, provided the walk ends at the end of a
  // chain (not in an unused slot). So one walk from each home decides every
  // key of that home that it meets; keys it does not meet are not found.
  // Several walks go on at once, each step's record fetched ahead.
  struct Candidate {
    uint32_t slot;
    uint64_t hash;
  };
  std::vector<Candidate> accepted;  // records that may answer, walk by walk
  accepted.reserve(n);
  const uint64_t budget = kStepsPerRecord * n + kMinSteps;
  uint64_t steps = 0;
  struct Walk {
    uint32_t home;
    int64_t at;  // current slot, or -1 when the lane is idle
    std::vector<Candidate> met;
  };
  Walk lanes[kLanes];
  size_t next_start = 0;
  size_t busy = 0;
  for (Walk& lane : lanes) lane.at = -1;
  do {
    busy = 0;
    for (Walk& lane : lanes) {
      if (lane.at < 0) {
        if (next_start == starts.size()) continue;
        lane.home = starts[next_start++];
        lane.at = lane.home;
        lane.met.clear();
      }
      ++busy;
      if (++steps > budget) return Reset();
      const size_t s = static_cast<size_t>(lane.at);
      if (homes[s] == lane.home) {
        lane.met.push_back(Candidate{static_cast<uint32_t>(s), hashes[s]});
      }
      const int32_t next = file.records[s].next;
      if (next >= 0 && static_cast<size_t>(next) < n) {
        lane.at = next;
        __builtin_prefetch(&file.records[next]);
        __builtin_prefetch(&homes[next]);
        __builtin_prefetch(&hashes[next]);
        continue;
      }
      // End of the walk: only a proper chain end lets a search succeed.
      if (next == wordform::kEndOfChain) {
        accepted.insert(accepted.end(), lane.met.begin(), lane.met.end());
      }
      lane.at = -1;
    }
  } while (busy > 0);

  // Within a walk the first record of a key wins; the index keeps it.
  arena_.reserve(accepted.size() * 40 + 1);
  arena_.push_back(0);  // offset 0 marks an empty slot
  for (size_t i = 0; i < accepted.size(); ++i) {
    if (i + kLanes < accepted.size()) {
      const Candidate& ahead = accepted[i + kLanes];
      PrefetchSlot(ahead.hash);
      __builtin_prefetch(&file.records[ahead.slot]);
    }
    if (i + kLanes / 2 < accepted.size()) {
      __builtin_prefetch(file.Key(accepted[i + kLanes / 2].slot));
    }
    const uint32_t s = accepted[i].slot;
    const WordFormTableFile::Entry& entry = file.records[s];
    const unsigned char* key = file.Key(s);
    const size_t units = entry.key_units;
    const uint64_t hash = accepted[i].hash;
    Slot* slot = Probe(key, units, hash);
    if (slot->offset != 0) continue;  // met before on its walk
    const size_t at = arena_.size();
    const size_t room = 2 + 2 * units + 2 * kMaxRestoredUnits;
    if (at + room > kMaxArenaBytes) return Reset();
    arena_.resize(at + room);
    unsigned char* out = arena_.data() + at;
    out[0] = static_cast<unsigned char>(units);
    std::memcpy(out + 2, key, 2 * units);
    const size_t restored = Merge(key, units, file.Symbols(s),
                                  entry.symbol_bytes, out + 2 + 2 * units);
    out[1] = static_cast<unsigned char>(restored);
    arena_.resize(at + 2 + 2 * units + 2 * restored);
    slot->check = static_cast<uint32_t>(hash >> 32);
    slot->offset = static_cast<uint32_t>(at);
    ++entries_;
  }
  built_ = true;
  return true;
}

WordFormFileSearch::WordFormFileSearch(const WordFormTableFile& file)
    : file_(file), home_(file.slots), restored_(2 * kMaxRestoredUnits) {}

const unsigned char* WordFormFileSearch::Find(const unsigned char* key,
                                              size_t units, size_t* bytes) {
  // No stored key is empty or longer than a record's key field.
  if (units == 0 || units > static_cast<size_t>(wordform::kKeyUnits)) {
    return nullptr;
  }
  uint16_t text[wordform::kKeyUnits];
  for (size_t i = 0; i < units; ++i) text[i] = UnitAt(key, i);
  if (text[0] == kAtSign) return nullptr;
  const int64_t size = file_.slots;
  int64_t s = home_(text, units);
  if (s >= size ||
      file_.Next(static_cast<size_t>(s)) == wordform::kUnusedSlot) {
    return nullptr;
  }
  int64_t first = -1;  // the first record with the key, in chain order
  int64_t steps = 0;
  while (s != wordform::kEndOfChain) {
    if (s < 0 || s >= size || ++steps > size) return nullptr;
    const size_t k = static_cast<size_t>(s);
    if (first < 0 && k < file_.records.size() &&
        file_.records[k].key_units == units &&
        SameBytes(file_.Key(k), key, 2 * units)) {
      first = s;
    }
    s = file_.Next(k);
    if (s == wordform::kUnusedSlot) return nullptr;
  }
  if (first < 0) return nullptr;
  const size_t k = static_cast<size_t>(first);
  *bytes = 2 * Merge(file_.Key(k), units, file_.Symbols(k),
                     file_.records[k].symbol_bytes, restored_.data());
  return restored_.data();
}
