#include "diacritizer/WordFormIndex.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace {

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

constexpr size_t kMaxRestoredUnits = WordFormIndex::kMaxRestoredUnits;

// Entries and forms are addressed by 32-bit offsets; even a table of the
// most slots a file may announce, every record a key of full length with
// the longest restored form, stays below that.
constexpr uint64_t kMaxEntryBytes =
    2 + 2 * wordform::kKeyUnits + 2 * kMaxRestoredUnits + 8;
constexpr uint64_t kMaxFormBytes = 1 + 2 * kMaxRestoredUnits;
static_assert(kMaxEntryBytes * wordform::kMaxTableSlots + 1 <= UINT32_MAX,
              "entry offsets fit in 32 bits");
static_assert(kMaxFormBytes * wordform::kMaxTableSlots <= UINT32_MAX,
              "form offsets fit in 32 bits");

void Put32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint32_t Get32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

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

size_t WordFormIndex::Restore(const unsigned char* key, size_t units,
                              const unsigned char* symbols, size_t n,
                              unsigned char* out) {
  return Merge(key, units, symbols, n, out);
}

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
  // Four units per multiplication, so that the chain of dependent
  // multiplications of a usual word is one or two long; a final mix brings
  // every bit down to the low ones, which pick the slot.
  constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
  uint64_t h = 0xcbf29ce484222325ull ^ units;
  const unsigned char* p = key;
  size_t left = units;
  for (; left >= 4; left -= 4, p += 8) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    h = (h ^ v) * kMultiplier;
  }
  if (left > 0) {
    uint64_t v = 0;
    if (left >= 2) {
      uint32_t pair;
      std::memcpy(&pair, p, 4);
      v = pair;
      if (left == 3) v |= static_cast<uint64_t>(UnitAt(p, 2)) << 32;
    } else {
      v = UnitAt(p, 0);
    }
    h = (h ^ v) * kMultiplier;
  }
  h ^= h >> 32;
  h *= 0xD6E8FEB86659FD93ull;
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

const unsigned char* WordFormIndex::Entry(const unsigned char* key,
                                          size_t units, uint64_t hash) const {
  if (units == 0 || units > static_cast<size_t>(wordform::kKeyUnits)) {
    return nullptr;
  }
  const Slot* slot = Probe(key, units, hash);
  return slot->offset == 0 ? nullptr : arena_.data() + slot->offset;
}

const unsigned char* WordFormIndex::Find(const unsigned char* key, size_t units,
                                         uint64_t hash, size_t* bytes) const {
  const unsigned char* entry = Entry(key, units, hash);
  if (entry == nullptr) return nullptr;
  *bytes = 2 * static_cast<size_t>(entry[1]);
  return entry + 2 + 2 * units;
}

void WordFormIndex::Forms(const unsigned char* key, size_t units, uint64_t hash,
                          std::vector<Form>* out) const {
  out->clear();
  const unsigned char* entry = Entry(key, units, hash);
  if (entry == nullptr || !all_forms_) return;
  const unsigned char* extra = entry + 2 + 2 * units + 2 * entry[1];
  const unsigned char* form = forms_.data() + Get32(extra);
  for (uint32_t count = Get32(extra + 4); count > 0; --count) {
    const size_t bytes = 2 * static_cast<size_t>(form[0]);
    out->push_back(Form{form + 1, bytes});
    form += 1 + bytes;
  }
}

void WordFormIndex::Reset() {
  arena_.assign(1, 0);  // offset 0 marks an empty slot
  arena_.shrink_to_fit();
  forms_.clear();
  forms_.shrink_to_fit();
  slots_.assign(1, Slot{0, 0});
  slots_.shrink_to_fit();
  mask_ = 0;
  entries_ = 0;
  built_ = false;
  all_forms_ = false;
}

void WordFormIndex::Build(const WordFormTableFile& file, bool all_forms) {
  Reset();
  const size_t n = file.records.size();
  size_t capacity = 16;
  while (capacity < 2 * n) capacity *= 2;
  slots_.assign(capacity, Slot{0, 0});
  mask_ = capacity - 1;
  all_forms_ = all_forms;

  // The home slot of every usable key, in one pass over the records.
  constexpr uint32_t kNone = UINT32_MAX;
  const HomeSlotHash home(file.slots);
  std::vector<uint32_t> homes(n, kNone);
  std::vector<uint64_t> hashes(n);
  {
    uint16_t key[wordform::kKeyUnits];
    for (size_t s = 0; s < n; ++s) {
      const WordFormTableFile::Entry& entry = file.records[s];
      const unsigned char* text = file.Key(s);
      if (entry.next == wordform::kUnusedSlot || entry.key_units == 0 ||
          UnitAt(text, 0) == kAtSign) {
        continue;
      }
      for (size_t i = 0; i < entry.key_units; ++i) key[i] = UnitAt(text, i);
      homes[s] = home(key, entry.key_units);
      hashes[s] = HashKey(text, entry.key_units);
    }
  }

  // A search for key k walks from its home h along `next` and returns the
  // records with key k it meets, in that order, provided the walk ends at
  // the end of a chain (not in an unused slot). Taking each slot's `next`
  // as its parent makes the records a forest (the links are checked: no
  // cycle), and the walk from h visits h and its ancestors. One depth-first
  // pass numbers the records so that each subtree is a range of numbers,
  // its root first: record s is on the walk from h exactly when h's number
  // lies in s's range, and along a walk the numbers fall. So every answer
  // comes from one linear pass, however long and shared the chains are.
  // Per record: its number, and the end of its subtree's range with, in
  // the top bit, whether its walk ends at the end of a chain (the walk of
  // its tree's root: an unused slot, or one past the records, fails it).
  struct Span {
    uint32_t order;
    uint32_t end;
  };
  constexpr uint32_t kEndsWell = uint32_t{1} << 31;
  static_assert(wordform::kMaxTableSlots < kEndsWell, "spare top bit");
  std::vector<Span> spans(n);
  {
    // Children of slot s: children[first[s] .. first[s + 1]); the roots
    // are the children of the virtual slot n.
    auto parent = [&](size_t s) -> size_t {
      const int32_t next = file.records[s].next;
      return next >= 0 && static_cast<size_t>(next) < n
                 ? static_cast<size_t>(next)
                 : n;
    };
    std::vector<uint32_t> first(n + 2, 0);
    for (size_t s = 0; s < n; ++s) ++first[parent(s) + 1];
    for (size_t s = 0; s <= n; ++s) first[s + 1] += first[s];
    std::vector<uint32_t> children(n);
    {
      std::vector<uint32_t> fill(first.begin(), first.end() - 1);
      for (size_t s = 0; s < n; ++s) {
        children[fill[parent(s)]++] = static_cast<uint32_t>(s);
      }
    }
    uint32_t clock = 0;
    std::vector<std::pair<uint32_t, uint32_t>> stack;  // slot, next child
    for (uint32_t c = first[n]; c < first[n + 1]; ++c) {
      const uint32_t root = children[c];
      const uint32_t well =
          file.records[root].next == wordform::kEndOfChain ? kEndsWell : 0;
      spans[root].order = clock++;
      // Most records are alone on their chain, or end it.
      if (first[root] == first[root + 1]) {
        spans[root].end = clock | well;
        continue;
      }
      stack.emplace_back(root, first[root]);
      while (!stack.empty()) {
        const uint32_t s = stack.back().first;
        const uint32_t child = stack.back().second;
        if (child == first[s + 1]) {
          spans[s].end = clock | well;
          stack.pop_back();
          continue;
        }
        ++stack.back().second;
        const uint32_t t = children[child];
        spans[t].order = clock++;
        if (first[t] == first[t + 1]) {
          spans[t].end = clock | well;
        } else {
          stack.emplace_back(t, first[t]);
        }
      }
    }
  }

  // The records a search finds, by number from the highest down: in chain
  // order along every walk.
  std::vector<uint32_t> found(n, kNone);  // number -> record
  for (size_t s = 0; s < n; ++s) {
    const uint32_t h = homes[s];
    if (h >= n) continue;
    const Span span = spans[s];
    const Span home_span = h == s ? span : spans[h];
    if ((home_span.end & kEndsWell) != 0 && span.order <= home_span.order &&
        home_span.order < (span.end & ~kEndsWell)) {
      found[span.order] = static_cast<uint32_t>(s);
    }
  }
  std::vector<Span>().swap(spans);
  std::vector<uint32_t>().swap(homes);
  found.erase(std::remove(found.begin(), found.end(), kNone), found.end());
  std::reverse(found.begin(), found.end());
  const size_t kept = found.size();

  // The first record of a key in chain order makes its entry; with
  // all_forms, `group` numbers the entries and gives each record its
  // entry's number.
  const size_t extra = all_forms ? 8 : 0;
  std::vector<uint32_t> group;
  std::vector<uint32_t> entry_at;  // entry number -> offset
  if (all_forms) group.resize(kept);
  arena_.reserve(kept * 40 + 1);
  for (size_t i = 0; i < kept; ++i) {
    if (i + kLanes < kept) {
      const uint32_t ahead = found[i + kLanes];
      PrefetchSlot(hashes[ahead]);
      __builtin_prefetch(&file.records[ahead]);
    }
    if (i + kLanes / 2 < kept)
      __builtin_prefetch(file.Key(found[i + kLanes / 2]));
    const uint32_t s = found[i];
    const WordFormTableFile::Entry& entry = file.records[s];
    const unsigned char* key = file.Key(s);
    const size_t units = entry.key_units;
    const uint64_t hash = hashes[s];
    Slot* slot = Probe(key, units, hash);
    if (slot->offset != 0) {  // a later form of a key met before
      if (all_forms) {
        const unsigned char* e = arena_.data() + slot->offset;
        group[i] = Get32(e + 2 + 2 * units + 2 * e[1]);
      }
      continue;
    }
    const size_t at = arena_.size();
    arena_.resize(at + 2 + 2 * units + 2 * kMaxRestoredUnits + extra);
    unsigned char* out = arena_.data() + at;
    out[0] = static_cast<unsigned char>(units);
    std::memcpy(out + 2, key, 2 * units);
    const size_t restored = Merge(key, units, file.Symbols(s),
                                  entry.symbol_bytes, out + 2 + 2 * units);
    out[1] = static_cast<unsigned char>(restored);
    const size_t size = 2 + 2 * units + 2 * restored + extra;
    if (all_forms) {
      group[i] = static_cast<uint32_t>(entry_at.size());
      Put32(out + size - 8, group[i]);
      entry_at.push_back(static_cast<uint32_t>(at));
    }
    arena_.resize(at + size);
    slot->check = static_cast<uint32_t>(hash >> 32);
    slot->offset = static_cast<uint32_t>(at);
    ++entries_;
  }
  if (all_forms) BuildForms(file, found, group, entry_at);
  built_ = true;
}

void WordFormIndex::BuildForms(const WordFormTableFile& file,
                               const std::vector<uint32_t>& found,
                               const std::vector<uint32_t>& group,
                               const std::vector<uint32_t>& entry_at) {
  // The records of each entry together, still in chain order.
  const size_t groups = entry_at.size();
  std::vector<uint32_t> start(groups + 1, 0);
  for (uint32_t g : group) ++start[g + 1];
  for (size_t g = 0; g < groups; ++g) start[g + 1] += start[g];
  std::vector<uint32_t> records(found.size());
  {
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (size_t i = 0; i < found.size(); ++i) {
      records[fill[group[i]]++] = found[i];
    }
  }
  forms_.reserve(found.size() * 24);
  for (size_t g = 0; g < groups; ++g) {
    unsigned char* entry = arena_.data() + entry_at[g];
    unsigned char* extra = entry + 2 + 2 * entry[0] + 2 * entry[1];
    Put32(extra, static_cast<uint32_t>(forms_.size()));
    Put32(extra + 4, start[g + 1] - start[g]);
    for (uint32_t k = start[g]; k < start[g + 1]; ++k) {
      const uint32_t s = records[k];
      const size_t at = forms_.size();
      forms_.resize(at + 1 + 2 * kMaxRestoredUnits);
      const size_t restored =
          Merge(file.Key(s), file.records[s].key_units, file.Symbols(s),
                file.records[s].symbol_bytes, forms_.data() + at + 1);
      forms_[at] = static_cast<unsigned char>(restored);
      forms_.resize(at + 1 + 2 * restored);
    }
  }
}
