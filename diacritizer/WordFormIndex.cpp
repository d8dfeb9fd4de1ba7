#include "diacritizer/WordFormIndex.h"

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
  // The symbols, and none after them: a symbol is read for every letter,
  // and after a shadda one more, with no check of its place.
  unsigned char symbol_at[2 * wordform::kKeyUnits + 2] = {};
  std::memcpy(symbol_at, symbols,
              n < static_cast<size_t>(wordform::kSymbolBytes)
                  ? n
                  : static_cast<size_t>(wordform::kSymbolBytes));
  size_t units = 0;
  auto put = [&](uint16_t u) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(u & 0xFF),
                                    static_cast<unsigned char>(u >> 8)};
    std::memcpy(out + 2 * units, bytes, 2);
  };
  size_t j = 0;
  for (size_t i = 0; i < key_units; ++i) {
    const uint16_t c = UnitAt(key, i);
    put(c);
    ++units;
    if (c == 0x0020 || c == 0x200C || c == 0x200D) continue;
    const unsigned char symbol = symbol_at[j];
    uint16_t mark;
    if (symbol == 'S') {
      put(kShadda);
      ++units;
      mark = kVowelOf[symbol_at[j + 1]];
      ++j;  // the vowel's place, used or not
    } else {
      mark = kMarkOf[symbol];
    }
    ++j;
    // Written whatever it is, kept when it is a mark: the room holds
    // three units a letter.
    put(mark);
    units += mark != 0;
  }
  return units;
}

}  // namespace

size_t WordFormIndex::Restore(const unsigned char* key, size_t units,
                              const unsigned char* symbols, size_t n,
                              unsigned char* out) {
  return Merge(key, units, symbols, n, out);
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

namespace {

// The records of a loaded file (ReadWordFormTableFile).
class LoadedRecords {
 public:
  explicit LoadedRecords(const WordFormTableFile& file) : file_(file) {}
  size_t size() const { return file_.records.size(); }
  int32_t slots() const { return file_.slots; }
  int32_t next(size_t s) const { return file_.records[s].next; }
  size_t units(size_t s) const { return file_.records[s].key_units; }
  const unsigned char* key(size_t s) const { return file_.Key(s); }
  const unsigned char* symbols(size_t s) const { return file_.Symbols(s); }
  size_t symbol_bytes(size_t s) const { return file_.records[s].symbol_bytes; }
  void Prefetch(size_t s) const {
    __builtin_prefetch(&file_.records[s]);
    __builtin_prefetch(file_.Key(s));
  }

 private:
  const WordFormTableFile& file_;
};

// The records of a file read in place, as laid out there. units() counts
// a key's length each time: the build asks once per record and keeps it.
class FileRecords {
 public:
  FileRecords(const unsigned char* body, size_t count, int32_t slots)
      : body_(body), count_(count), slots_(slots) {}
  size_t size() const { return count_; }
  int32_t slots() const { return slots_; }
  int32_t next(size_t s) const {
    uint32_t v;
    std::memcpy(&v, Record(s) + wordform::kKeyBytes + wordform::kNextOffset, 4);
    return static_cast<int32_t>(v);
  }
  size_t units(size_t s) const { return wordform::KeyUnits(Record(s)); }
  const unsigned char* key(size_t s) const { return Record(s); }
  const unsigned char* symbols(size_t s) const {
    return Record(s) + wordform::kKeyBytes;
  }
  size_t symbol_bytes(size_t s) const {
    return wordform::SymbolBytes(Record(s));
  }
  void Prefetch(size_t s) const {
    __builtin_prefetch(Record(s));
    __builtin_prefetch(Record(s) + wordform::kRecordSize - 1);
  }

 private:
  const unsigned char* Record(size_t s) const {
    return body_ + s * size_t{wordform::kRecordSize};
  }
  const unsigned char* body_;
  size_t count_;
  int32_t slots_;
};

// A scratch array of the build: on large pages when large, and not
// cleared, unlike std::vector's (its pages are zeroed once, by the
// system).
template <typename T>
class Scratch {
 public:
  explicit Scratch(size_t n)
      : data_(LargePageAllocator<T>().allocate(n)), n_(n) {}
  ~Scratch() { LargePageAllocator<T>().deallocate(data_, n_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + n_; }

 private:
  T* data_;
  size_t n_;
};

}  // namespace

void WordFormIndex::Build(const WordFormTableFile& file, bool all_forms) {
  // The loader has checked the links: no cycle, nothing out of range.
  BuildFrom(LoadedRecords(file), all_forms);
}

bool WordFormIndex::Build(const unsigned char* records, size_t count,
                          int32_t slots, bool all_forms) {
  if (BuildFrom(FileRecords(records, count, slots), all_forms)) return true;
  Reset();
  return false;
}

template <typename Records>
bool WordFormIndex::BuildFrom(const Records& file, bool all_forms) {
  Reset();
  const size_t n = file.size();
  size_t capacity = 16;
  while (capacity < 2 * n) capacity *= 2;
  slots_.assign(capacity, Slot{0, 0});
  mask_ = capacity - 1;
  all_forms_ = all_forms;

  // The home slot of every usable key, in one pass over the records; the
  // home slots of four keys at a time, whose chains of multiplications
  // overlap.
  constexpr uint32_t kNone = UINT32_MAX;
  const HomeSlotHash home(file.slots());
  Scratch<uint32_t> homes(n);
  Scratch<uint8_t> units(n);
  {
    constexpr size_t kLanes4 = HomeSlotHash::kLanes;
    const unsigned char* lane[kLanes4];
    size_t lane_units[kLanes4];
    size_t lane_record[kLanes4];
    uint32_t lane_home[kLanes4];
    size_t filled = 0;
    auto flush = [&] {
      for (size_t j = filled; j < kLanes4; ++j) lane_units[j] = 0;
      home.Many(lane, lane_units, lane_home);
      for (size_t j = 0; j < filled; ++j) homes[lane_record[j]] = lane_home[j];
      filled = 0;
    };
    for (size_t s = 0; s < n; ++s) {
      if (s + 8 < n) file.Prefetch(s + 8);
      const unsigned char* text = file.key(s);
      const size_t u = file.units(s);
      units[s] = static_cast<uint8_t>(u);
      homes[s] = kNone;
      if (file.next(s) == wordform::kUnusedSlot || u == 0 ||
          UnitAt(text, 0) == kAtSign) {
        continue;
      }
      lane[filled] = text;
      lane_units[filled] = u;
      lane_record[filled] = s;
      if (++filled == kLanes4) flush();
    }
    if (filled > 0) flush();
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
  Scratch<Span> spans(n);
  Scratch<uint32_t> parent(n);
  // The children of the records in the walk below, then the records by
  // number.
  Scratch<uint32_t> by_order(n);
  {
    // Parents first: each record's `next` when it is a record, else n.
    const int32_t slots = file.slots();
    for (size_t s = 0; s < n; ++s) {
      const int32_t next = file.next(s);
      if (next < wordform::kEndOfChain || next >= slots) return false;
      parent[s] = next >= 0 && static_cast<size_t>(next) < n
                      ? static_cast<uint32_t>(next)
                      : static_cast<uint32_t>(n);
    }
    // Children of slot s: children[first(s) .. first(s + 1)); the roots
    // are the children of the virtual slot n. Counted, summed into the
    // end of each slot's range, then filled from the back, which leaves
    // the start of slot s's range in at[s + 1].
    Scratch<uint32_t> at(n + 3);
    std::fill(at.begin(), at.end(), 0);
    for (size_t s = 0; s < n; ++s) ++at[parent[s] + 1];
    for (size_t s = 0; s <= n; ++s) at[s + 1] += at[s];
    at[n + 2] = static_cast<uint32_t>(n);
    Scratch<uint32_t>& children = by_order;
    for (size_t s = n; s-- > 0;) {
      children[--at[parent[s] + 1]] = static_cast<uint32_t>(s);
    }
    auto first = [&at](size_t s) { return at[s + 1]; };
    uint32_t clock = 0;
    std::vector<std::pair<uint32_t, uint32_t>> stack;  // slot, next child
    for (uint32_t c = first(n); c < first(n + 1); ++c) {
      const uint32_t root = children[c];
      const uint32_t well =
          file.next(root) == wordform::kEndOfChain ? kEndsWell : 0;
      spans[root].order = clock++;
      // Most records are alone on their chain, or end it.
      if (first(root) == first(root + 1)) {
        spans[root].end = clock | well;
        continue;
      }
      stack.emplace_back(root, first(root));
      while (!stack.empty()) {
        const uint32_t s = stack.back().first;
        const uint32_t child = stack.back().second;
        if (child == first(s + 1)) {
          spans[s].end = clock | well;
          stack.pop_back();
          continue;
        }
        ++stack.back().second;
        const uint32_t t = children[child];
        spans[t].order = clock++;
        if (first(t) == first(t + 1)) {
          spans[t].end = clock | well;
        } else {
          stack.emplace_back(t, first(t));
        }
      }
    }
    // The records on a cycle, and those leading into one, have no root.
    if (clock != n) return false;
  }

  // Whether a search finds record s: its key's walk passes through it and
  // ends at the end of a chain.
  auto is_found = [&](size_t s) {
    const uint32_t h = homes[s];
    if (h >= n) return false;
    const Span span = spans[s];
    const Span home_span = h == s ? span : spans[h];
    return (home_span.end & kEndsWell) != 0 && span.order <= home_span.order &&
           home_span.order < (span.end & ~kEndsWell);
  };

  if (!all_forms) {
    // Only the first form of a key in chain order counts: the records are
    // taken in file order, which reads them front to back, and a key met
    // again keeps the form of the record with the higher number.
    Scratch<uint32_t> order_of(slots_.size());  // per slot, its record's
    arena_.reserve(n * 40 + 1);
    constexpr size_t kBatch = 16;
    uint32_t batch[kBatch];
    uint64_t hashes[kBatch];
    size_t queued = 0;
    auto insert = [&] {
      for (size_t k = 0; k < queued; ++k) {
        hashes[k] = HashKey(file.key(batch[k]), units[batch[k]]);
        PrefetchSlot(hashes[k]);
      }
      for (size_t k = 0; k < queued; ++k) {
        const uint32_t r = batch[k];
        const unsigned char* key = file.key(r);
        const size_t key_units = units[r];
        Slot* slot = Probe(key, key_units, hashes[k]);
        const size_t index = static_cast<size_t>(slot - slots_.data());
        if (slot->offset != 0) {
          if (spans[r].order < order_of[index]) continue;
          --entries_;  // the form of a record nearer the home slot
        }
        slot->check = static_cast<uint32_t>(hashes[k] >> 32);
        slot->offset =
            AddEntry(key, key_units, file.symbols(r), file.symbol_bytes(r), 0);
        order_of[index] = spans[r].order;
        ++entries_;
      }
      queued = 0;
    };
    for (size_t r = 0; r < n; ++r) {
      if (!is_found(r)) continue;
      batch[queued] = static_cast<uint32_t>(r);
      if (++queued == kBatch) insert();
    }
    insert();
    built_ = true;
    return true;
  }

  // The records a search finds, by number from the highest down: in chain
  // order along every walk.
  std::vector<uint32_t> found;
  {
    // number -> record, in the children's place
    std::fill(by_order.begin(), by_order.end(), kNone);
    for (size_t r = 0; r < n; ++r) {
      if (is_found(r)) by_order[spans[r].order] = static_cast<uint32_t>(r);
    }
    size_t count = 0;
    for (uint32_t r : by_order) count += r != kNone;
    found.reserve(count);
    for (size_t i = n; i-- > 0;) {
      if (by_order[i] != kNone) found.push_back(by_order[i]);
    }
  }
  const size_t kept = found.size();

  // The first record of a key in chain order makes its entry; with
  // all_forms, `group` numbers the entries and gives each record its
  // entry's number.
  const size_t extra = 8;
  std::vector<uint32_t> group(kept);
  std::vector<uint32_t> entry_at;  // entry number -> offset
  arena_.reserve(kept * 40 + 1);
  for (size_t i = 0; i < kept; ++i) {
    if (i + kLanes < kept) file.Prefetch(found[i + kLanes]);
    if (i + kLanes / 2 < kept) {
      const uint32_t ahead = found[i + kLanes / 2];
      PrefetchSlot(HashKey(file.key(ahead), units[ahead]));
    }
    const uint32_t s = found[i];
    const unsigned char* key = file.key(s);
    const size_t key_units = units[s];
    const uint64_t hash = HashKey(key, key_units);
    Slot* slot = Probe(key, key_units, hash);
    if (slot->offset != 0) {  // a later form of a key met before
      const unsigned char* e = arena_.data() + slot->offset;
      group[i] = Get32(e + 2 + 2 * key_units + 2 * e[1]);
      continue;
    }
    const uint32_t at =
        AddEntry(key, key_units, file.symbols(s), file.symbol_bytes(s), extra);
    group[i] = static_cast<uint32_t>(entry_at.size());
    Put32(arena_.data() + arena_.size() - 8, group[i]);
    entry_at.push_back(at);
    slot->check = static_cast<uint32_t>(hash >> 32);
    slot->offset = at;
    ++entries_;
  }
  BuildForms(file, found, group, entry_at);
  built_ = true;
  return true;
}

uint32_t WordFormIndex::AddEntry(const unsigned char* key, size_t units,
                                 const unsigned char* symbols,
                                 size_t symbol_bytes, size_t extra) {
  const size_t at = arena_.size();
  arena_.resize(at + 2 + 2 * units + 2 * kMaxRestoredUnits + extra);
  unsigned char* out = arena_.data() + at;
  out[0] = static_cast<unsigned char>(units);
  std::memcpy(out + 2, key, 2 * units);
  const size_t restored =
      Merge(key, units, symbols, symbol_bytes, out + 2 + 2 * units);
  out[1] = static_cast<unsigned char>(restored);
  arena_.resize(at + 2 + 2 * units + 2 * restored + extra);
  return static_cast<uint32_t>(at);
}

template <typename Records>
void WordFormIndex::BuildForms(const Records& file,
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
          Merge(file.key(s), file.units(s), file.symbols(s),
                file.symbol_bytes(s), forms_.data() + at + 1);
      forms_[at] = static_cast<unsigned char>(restored);
      forms_.resize(at + 1 + 2 * restored);
    }
  }
}
