#include "diacritizer/WordFormLookup.h"

#include <algorithm>
#include <cstring>

#include "diacritizer/ChainDirectory.h"
#include "diacritizer/TableFormat.h"
#include "diacritizer/WordFormExtent.h"
#include "foundation/Error.h"
#include "foundation/Quote.h"
#include "foundation/TARNIException.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the mapped records are read as little-endian values"
#endif

namespace {

using wordform::kKeyBytes;
using wordform::kKeyUnits;
using wordform::kRecordSize;
using wordform::kSymbolBytes;

constexpr size_t kNextAt = kKeyBytes + wordform::kNextOffset;

// A hash for the mapped records: the key's home slot in the low 32 bits,
// its fingerprint in bits 32 to 38, under this tag.
constexpr uint64_t kHomeTag = uint64_t{1} << 63;

int32_t Int32At(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return static_cast<int32_t>(v);
}

bool StartsWithAt(const unsigned char* key) {
  return key[0] == '@' && key[1] == 0;
}

size_t RestoreRecord(const unsigned char* record, size_t units,
                     unsigned char* out) {
  return WordFormIndex::Restore(record, units, record + kKeyBytes,
                                wordform::SymbolBytes(record), out);
}

// The table's slot count when `bytes` is a sound mark and header followed
// by exactly one record per slot, with `*body` the offset of record 0;
// else 0 (the file is then judged by the loader's rules).
int32_t WholeTable(const unsigned char* bytes, size_t size, size_t* body) {
  wordform::TableHeader header;
  if (wordform::DecodeHeader(bytes, size, &header)) return 0;
  const wordform::TableExtent extent =
      wordform::ExtentOf(header.slots, size - header.size);
  if (wordform::JudgeExtent(extent, true)) return 0;
  *body = header.size;
  return header.slots;
}

}  // namespace

WordFormLookup::WordFormLookup() = default;
WordFormLookup::~WordFormLookup() = default;

WordFormLookup::Verdict WordFormLookup::Open(const std::string& path,
                                             bool all_forms,
                                             std::string* problem,
                                             const Limits& limits) {
  path_ = path;
  all_forms_ = all_forms;
  walk_slots_ = limits.walk_slots;
  long_walk_slots_ = kLongWalkFactor * limits.walk_slots;
  WordFormTableFile file;
  // Only a regular file is opened here: anything else is left to the
  // loader, which opens it once (a FIFO must not be opened twice).
  const MappedFile::Opened opened = file_.Open(path, limits.private_copy);
  if (opened == MappedFile::Opened::kNotRegular) {
    if (!ReadWordFormTableFile(path, &file, problem)) {
      return Verdict::kRejected;
    }
  } else {
    if (opened == MappedFile::Opened::kChanged) ThrowChanged();
    if (opened != MappedFile::Opened::kOpen) {
      throw IOException("hashmain", __LINE__, kErrorFileRead,
                        std::string(opened == MappedFile::Opened::kReadFailed
                                        ? "Could not read file: "
                                        : "Could not map file: ") +
                            urdulex::internal::QuoteName(path) +
                            ". Hash table reading problem occurred.");
    }
    const unsigned char* map = file_.data();
    const size_t size = file_.size();
    size_t body = 0;
    const int32_t slots = WholeTable(map, size, &body);
    if (slots > 0) {
      body_ = map + body;
      slots_ = slots;
      home_ = HomeSlotHash(slots);
      if (static_cast<size_t>(slots) <= limits.eager_records) {
        try {
          CheckWordFormTableLinks(body_, static_cast<size_t>(slots), slots);
        } catch (const TARNIException&) {
          CheckIntact();
          throw;
        }
        links_checked_ = true;
      }
      CheckIntact();
      return Verdict::kOpen;
    }
    // A file the loader refuses: its verdict, from the same bytes.
    bool read = false;
    try {
      read = ReadWordFormTableBytes(map, size, &file, problem);
    } catch (const TARNIException&) {
      CheckIntact();
      throw;
    }
    CheckIntact();
    file_.Close();
    if (!read) return Verdict::kRejected;
  }
  if (!CheckWordFormTableExtent(file, problem)) return Verdict::kExtent;
  owned_index_.reset(new WordFormIndex);
  // No file to walk is left: the index lists every form.
  all_forms_ = true;
  owned_index_->Build(file, all_forms_);
  index_.store(owned_index_.get(), std::memory_order_release);
  return Verdict::kOpen;
}

bool WordFormLookup::Unchanged() const { return file_.Unchanged(); }

void WordFormLookup::CheckIntact() const {
  if (file_.cut()) ThrowChanged();
}

void WordFormLookup::ThrowChanged() const {
  throw urdulex::internal::Error(urdulex::internal::Error::kChanged,
                                 "table " +
                                     urdulex::internal::QuoteName(path_) +
                                     " changed while being read");
}

uint64_t WordFormLookup::HomeHash(const unsigned char* key,
                                  size_t units) const {
  if (units == 0 || units > static_cast<size_t>(kKeyUnits)) return kHomeTag;
  uint16_t unit[kKeyUnits];
  std::memcpy(unit, key, 2 * units);
  return kHomeTag | uint64_t{ChainDirectory::Fingerprint(key, units)} << 32 |
         home_(unit, units);
}

void WordFormLookup::HomeHashes(const Query* queries, size_t count,
                                uint64_t* out) const {
  constexpr size_t kLanes = HomeSlotHash::kLanes;
  const unsigned char* lane[kLanes];
  size_t lane_units[kLanes];
  uint32_t home[kLanes];
  for (size_t k = 0; k < count; k += kLanes) {
    const size_t n = count - k < kLanes ? count - k : kLanes;
    for (size_t j = 0; j < kLanes; ++j) {
      const size_t u = j < n ? queries[k + j].units : 0;
      lane_units[j] = u <= static_cast<size_t>(kKeyUnits) ? u : 0;
      lane[j] = j < n ? queries[k + j].key : nullptr;
    }
    home_.Many(lane, lane_units, home);
    for (size_t j = 0; j < n; ++j) {
      const uint64_t print =
          lane_units[j] > 0
              ? ChainDirectory::Fingerprint(queries[k + j].key, lane_units[j])
              : 0;
      out[k + j] = kHomeTag | print << 32 | home[j];
    }
  }
}

ChainWalk WordFormLookup::WalkChain(const unsigned char* key, size_t units,
                                    uint32_t home,
                                    std::vector<const unsigned char*>* all,
                                    const unsigned char** first,
                                    uint64_t* walked, size_t limit) const {
  *first = nullptr;
  if (limit == 0) limit = long_walk_slots_;
  size_t s = home;
  const unsigned char* record = body_ + s * kRecordSize;
  int32_t next = Int32At(record + kNextAt);
  if (next == wordform::kUnusedSlot) return ChainWalk::kAbsent;
  // As HashTable::Search: the records with the key in chain order, provided
  // the chain ends properly.
  for (size_t steps = 1;; ++steps) {
    if (steps > limit) return ChainWalk::kTooLong;
    if (steps > walk_slots_ && walked != nullptr) ++*walked;
    if (RecordHasKey(record, key, units)) {
      if (*first == nullptr) *first = record;
      if (all != nullptr) all->push_back(record);
    }
    if (next == wordform::kEndOfChain) {
      return *first != nullptr ? ChainWalk::kFound : ChainWalk::kAbsent;
    }
    if (next == wordform::kUnusedSlot) return ChainWalk::kAbsent;
    if (next < wordform::kEndOfChain || next >= slots_) {
      ThrowLinkOutsideTable(s, next, slots_);
    }
    s = static_cast<size_t>(next);
    record = body_ + s * kRecordSize;
    next = Int32At(record + kNextAt);
  }
}

WordFormLookup::Backend WordFormLookup::backend() const {
  if (index_.load(std::memory_order_acquire) != nullptr) {
    return Backend::kIndex;
  }
  if (directory_.load(std::memory_order_acquire) != nullptr) {
    return Backend::kDirectory;
  }
  return Backend::kWalk;
}

void WordFormLookup::Expect(uint64_t lookups, unsigned threads) const {
  const uint64_t slots = static_cast<uint64_t>(slots_);
  if (backend() == Backend::kIndex || slots == 0) return;
  if (lookups / kLookupsPerSlot >= slots) {
    UseIndex();
  } else if (lookups * kSlotsPerLookup >= slots) {
    UseDirectory(threads);
    // Some walk would run past the bound and build the index midway.
    const ChainDirectory* directory =
        directory_.load(std::memory_order_acquire);
    if (directory != nullptr && directory->longest() > long_walk_slots_) {
      UseIndex();
    }
  }
}

void WordFormLookup::UseDirectory(unsigned threads) const {
  if (backend() != Backend::kWalk) return;
  try {
    std::call_once(directed_, [this, threads] {
      // Every page of the table is read.
      file_.Populate();
      owned_directory_.reset(
          new ChainDirectory(body_, slots_, long_walk_slots_, threads));
      directory_.store(owned_directory_.get(), std::memory_order_release);
    });
  } catch (const TARNIException&) {
    CheckIntact();
    throw;
  }
  CheckIntact();
}

const WordFormIndex& WordFormLookup::FullIndex() const {
  std::call_once(built_, [this] {
    // Links not yet checked are checked first, at a byte a slot, so that a
    // table the loader refuses (a cycle, as in a sparse file of zeros) is
    // refused before the index, many times that, is allocated.
    if (!links_checked_ &&
        directory_.load(std::memory_order_acquire) == nullptr) {
      CheckWordFormTableLinks(body_, static_cast<size_t>(slots_), slots_);
    }
    // The records read in place; a bad link has the loader's message.
    std::unique_ptr<WordFormIndex> index(new WordFormIndex);
    if (!index->Build(body_, static_cast<size_t>(slots_), slots_, all_forms_)) {
      CheckWordFormTableLinks(body_, static_cast<size_t>(slots_), slots_);
    }
    owned_index_ = std::move(index);
    index_.store(owned_index_.get(), std::memory_order_release);
  });
  return *index_.load(std::memory_order_acquire);
}

void WordFormLookup::UseIndex() const {
  if (backend() == Backend::kIndex) return;
  try {
    FullIndex();
  } catch (const TARNIException&) {
    CheckIntact();
    throw;
  }
  CheckIntact();
}

// --- FindMany ---
//
// A batch runs as a software pipeline over a ring of probe states, one a
// key: the keys of a group are hashed and what their lookups read first is
// fetched; kSecond keys later, what they read next; kThird keys later the
// lookups run on what has arrived. A probe holds what a back end does at
// each step. Its Find returns false when a walk was too long: the index,
// built for it, answered, and the rest of the batch goes there.

namespace {

constexpr size_t kGroup = 4;  // keys hashed together
// Keys between the steps of a lookup, and keys in flight.
constexpr size_t kSecond = 16;
constexpr size_t kThird = 32;
constexpr size_t kRing = 64;
static_assert(kThird + kGroup <= kRing, "the ring holds the keys in flight");

// A hash moved on by the second step of a walk through the directory: both
// top bits, the slots read so far in bits 40 to 47, the fingerprint as in a
// home hash, and the slot to go on from (ChainDirectory::kNoSlot: none).
constexpr uint64_t kAheadTag = uint64_t{3} << 62;

}  // namespace

class WordFormLookup::IndexProbe {
 public:
  explicit IndexProbe(const WordFormIndex& index) : index_(index) {}
  void Hash(const Query* queries, size_t count, uint64_t* out) const {
    for (size_t k = 0; k < count; ++k) {
      out[k] = WordFormIndex::HashKey(queries[k].key, queries[k].units);
    }
  }
  void Prefetch(uint64_t hash) const { index_.PrefetchSlot(hash); }
  unsigned Step(uint64_t* hash) const {
    index_.PrefetchEntry(*hash);
    return 0;
  }
  bool Find(const Query& query, uint64_t hash, Answer* answer, unsigned char**,
            uint64_t*) const {
    size_t bytes = 0;
    answer->form = index_.Find(query.key, query.units, hash, &bytes);
    answer->units = bytes / 2;
    return true;
  }

 private:
  const WordFormIndex& index_;
};

// The walks in the mapped records, from the directory or not.
class WordFormLookup::WalkProbe {
 public:
  explicit WalkProbe(const WordFormLookup& table) : table_(table) {}
  void Hash(const Query* queries, size_t count, uint64_t* out) const {
    table_.HomeHashes(queries, count, out);
  }
  // The home record.
  void Prefetch(uint64_t hash) const {
    const uint32_t home = static_cast<uint32_t>(hash);
    if (home >= static_cast<uint32_t>(table_.slots_)) return;
    const unsigned char* record = table_.body_ + home * size_t{kRecordSize};
    __builtin_prefetch(record);
    __builtin_prefetch(record + kRecordSize - 1);
  }
  // Loads the record after the home slot on its chain.
  unsigned Step(uint64_t* hash) const {
    const uint32_t home = static_cast<uint32_t>(*hash);
    if (home >= static_cast<uint32_t>(table_.slots_)) return 0;
    const unsigned char* record = table_.body_ + home * size_t{kRecordSize};
    const int32_t next = Int32At(record + kNextAt);
    if (next < 0 || next >= table_.slots_) return 0;
    record = table_.body_ + static_cast<size_t>(next) * kRecordSize;
    __builtin_prefetch(record + kRecordSize - 1);
    return *record;
  }
  bool Find(const Query& query, uint64_t hash, Answer* answer,
            unsigned char** room, uint64_t* steps) const {
    if (!Searched(query)) return Absent(answer);
    const unsigned char* record = nullptr;
    const ChainWalk walk =
        table_.WalkChain(query.key, query.units, static_cast<uint32_t>(hash),
                         nullptr, &record, steps);
    return Answered(query, walk, record, answer, room);
  }

 protected:
  // Whether a search may find the key at all.
  static bool Searched(const Query& query) {
    return query.units > 0 && query.units <= static_cast<size_t>(kKeyUnits) &&
           !StartsWithAt(query.key);
  }
  static bool Absent(Answer* answer) {
    answer->form = nullptr;
    answer->units = 0;
    return true;
  }
  // The answer of a walk: the form of the record found restored into the
  // room, or from the index a long walk builds.
  bool Answered(const Query& query, ChainWalk walk, const unsigned char* record,
                Answer* answer, unsigned char** room) const {
    if (walk == ChainWalk::kAbsent) return Absent(answer);
    if (walk == ChainWalk::kFound) {
      answer->form = *room;
      answer->units = RestoreRecord(record, query.units, *room);
      *room += 2 * answer->units;
      return true;
    }
    IndexProbe(table_.FullIndex())
        .Find(query, WordFormIndex::HashKey(query.key, query.units), answer,
              room, nullptr);
    return false;
  }

  const WordFormLookup& table_;
};

class WordFormLookup::DirectoryProbe : public WalkProbe {
 public:
  DirectoryProbe(const WordFormLookup& table, const ChainDirectory& directory)
      : WalkProbe(table), directory_(directory) {}
  void Prefetch(uint64_t hash) const {
    directory_.Prefetch(static_cast<uint32_t>(hash));
  }
  // Moves the hash on to the first slot of its chain whose key may be the
  // one hashed (whose record is fetched) or to none, so that Find starts
  // there, and answers at once for a key the table does not hold.
  unsigned Step(uint64_t* hash) const {
    size_t steps = 1;
    const uint32_t s = directory_.FetchCandidate(static_cast<uint32_t>(*hash),
                                                 Print(*hash), &steps);
    if (s == ChainDirectory::kPastBound || steps > 0xFF) {
      return 0;  // Find walks again
    }
    *hash = kAheadTag | uint64_t{steps} << 40 |
            (*hash & (uint64_t{0x7F} << 32)) | s;
    return 0;
  }
  // Its walks read the directory: cheap, and not counted.
  bool Find(const Query& query, uint64_t hash, Answer* answer,
            unsigned char** room, uint64_t*) const {
    if (!Searched(query)) return Absent(answer);
    const unsigned char* record = nullptr;
    // From the home slot, or from where Step left off.
    const bool ahead = (hash >> 62) == 3;
    const ChainWalk walk = directory_.Walk(
        query.key, query.units, static_cast<uint32_t>(hash), Print(hash),
        ahead ? (hash >> 40) & 0xFF : 1, &record, nullptr);
    return Answered(query, walk, record, answer, room);
  }

 private:
  static uint32_t Print(uint64_t hash) {
    return static_cast<uint32_t>(hash >> 32) & 0x7F;
  }
  const ChainDirectory& directory_;
};

template <typename Probe>
size_t WordFormLookup::Pipeline(const Probe& probe, const Query* queries,
                                size_t n, Answer* answers, unsigned char** room,
                                uint64_t* steps, unsigned* touched) const {
  uint64_t ring[kRing];
  size_t stepped = 0;  // keys whose second step was taken
  size_t found = 0;    // keys answered
  for (size_t at = 0; at < n; at += kGroup) {
    const size_t end = std::min(n, at + kGroup);
    uint64_t hashes[kGroup];
    probe.Hash(queries + at, end - at, hashes);
    for (size_t k = at; k < end; ++k) {
      ring[k % kRing] = hashes[k - at];
      probe.Prefetch(hashes[k - at]);
    }
    for (; stepped + kSecond < end; ++stepped) {
      *touched += probe.Step(&ring[stepped % kRing]);
    }
    for (; found + kThird < end; ++found) {
      if (!probe.Find(queries[found], ring[found % kRing], &answers[found],
                      room, steps)) {
        return found + 1;
      }
    }
  }
  for (; stepped < n; ++stepped) *touched += probe.Step(&ring[stepped % kRing]);
  for (; found < n; ++found) {
    if (!probe.Find(queries[found], ring[found % kRing], &answers[found], room,
                    steps)) {
      return found + 1;
    }
  }
  return n;
}

void WordFormLookup::FindMany(const Query* queries, size_t n, Answer* answers,
                              unsigned char* room) const {
  uint64_t long_steps = 0;  // past walk_slots_, of the walks in the records
  uint64_t* const steps = &long_steps;
  unsigned touched = 0;
  for (size_t done = 0; done < n;) {
    if (const WordFormIndex* index = index_.load(std::memory_order_acquire)) {
      done += Pipeline(IndexProbe(*index), queries + done, n - done,
                       answers + done, &room, steps, &touched);
      continue;
    }
    try {
      if (const ChainDirectory* directory =
              directory_.load(std::memory_order_acquire)) {
        done += Pipeline(DirectoryProbe(*this, *directory), queries + done,
                         n - done, answers + done, &room, steps, &touched);
      } else {
        done += Pipeline(WalkProbe(*this), queries + done, n - done,
                         answers + done, &room, steps, &touched);
      }
    } catch (const TARNIException&) {
      CheckIntact();
      throw;
    }
    CheckIntact();
  }
  // The loads of the second steps are kept.
  __asm__ volatile("" : : "r"(touched));
  if (long_steps > 0 &&
      long_steps_.fetch_add(long_steps, std::memory_order_relaxed) +
              long_steps >
          kStepsPerSlot * static_cast<uint64_t>(slots_)) {
    UseIndex();
  }
}

WordFormLookup::Forms WordFormLookup::AllForms(const unsigned char* key,
                                               size_t units) const {
  std::u16string k(units, u'\0');
  if (units > 0) std::memcpy(&k[0], key, 2 * units);
  {
    std::lock_guard<std::mutex> lock(forms_mutex_);
    auto it = forms_.find(k);
    if (it != forms_.end()) {
      recent_.splice(recent_.begin(), recent_, it->second.place);
      return it->second.forms;
    }
  }
  auto forms = std::make_shared<std::vector<std::u16string>>();
  ListForms(key, units, forms.get());
  // Another thread may have put the same key in meanwhile: emplace keeps
  // the first.
  std::lock_guard<std::mutex> lock(forms_mutex_);
  auto added = forms_.emplace(std::move(k), Cached{std::move(forms), {}});
  Cached& cached = added.first->second;
  if (!added.second) {
    recent_.splice(recent_.begin(), recent_, cached.place);
    return cached.forms;
  }
  recent_.push_front(&added.first->first);
  cached.place = recent_.begin();
  Forms result = cached.forms;
  if (forms_.size() > kFormsCacheWords) {
    forms_.erase(*recent_.back());
    recent_.pop_back();
  }
  return result;
}

std::vector<uint8_t> WordFormLookup::Tags(const unsigned char* key,
                                          size_t units) const {
  std::vector<uint8_t> tags;
  if (body_ == nullptr || units == 0 ||
      units > static_cast<size_t>(kKeyUnits) || StartsWithAt(key)) {
    return tags;
  }
  std::vector<const unsigned char*> records;
  const unsigned char* first = nullptr;
  ChainWalk walk;
  try {
    // As long as the table: longer, the chain has a cycle the check names.
    walk =
        WalkChain(key, units, static_cast<uint32_t>(HomeHash(key, units)),
                  &records, &first, nullptr, static_cast<size_t>(slots_) + 1);
    if (walk == ChainWalk::kTooLong) {
      CheckWordFormTableLinks(body_, static_cast<size_t>(slots_), slots_);
    }
  } catch (const TARNIException&) {
    CheckIntact();
    throw;
  }
  CheckIntact();
  if (walk != ChainWalk::kFound) return tags;
  for (const unsigned char* record : records) {
    tags.push_back(record[kKeyBytes + wordform::kTagOffset]);
  }
  return tags;
}

size_t WordFormLookup::CachedWords() const {
  std::lock_guard<std::mutex> lock(forms_mutex_);
  return forms_.size();
}

void WordFormLookup::ListForms(const unsigned char* key, size_t units,
                               std::vector<std::u16string>* out) const {
  out->clear();
  const WordFormIndex* index = index_.load(std::memory_order_acquire);
  if (index == nullptr || !index->all_forms()) {
    if (units == 0 || units > static_cast<size_t>(kKeyUnits) ||
        StartsWithAt(key)) {
      return;
    }
    std::vector<const unsigned char*> records;
    const unsigned char* first = nullptr;
    ChainWalk walk;
    try {
      const uint32_t home = static_cast<uint32_t>(HomeHash(key, units));
      walk = WalkChain(key, units, home, &records, &first, nullptr);
      if (walk == ChainWalk::kTooLong && all_forms_) {
        index = &FullIndex();
      } else if (walk == ChainWalk::kTooLong) {
        // No index lists the forms: the whole chain is walked, as long as
        // the table is; longer, it has a cycle, which the check names.
        records.clear();
        walk = WalkChain(key, units, home, &records, &first, nullptr,
                         static_cast<size_t>(slots_) + 1);
        if (walk == ChainWalk::kTooLong) {
          CheckWordFormTableLinks(body_, static_cast<size_t>(slots_), slots_);
          walk = ChainWalk::kAbsent;
        }
      }
    } catch (const TARNIException&) {
      CheckIntact();
      throw;
    }
    CheckIntact();
    if (walk == ChainWalk::kAbsent) return;
    if (walk == ChainWalk::kFound) {
      unsigned char room[2 * kMaxFormUnits];
      for (const unsigned char* record : records) {
        const size_t n = RestoreRecord(record, units, room);
        out->emplace_back(n, u'\0');
        std::memcpy(&(*out)[out->size() - 1][0], room, 2 * n);
      }
      return;
    }
  }
  std::vector<WordFormIndex::Form> found;
  index->Forms(key, units, WordFormIndex::HashKey(key, units), &found);
  for (const WordFormIndex::Form& form : found) {
    out->emplace_back(form.size / 2, u'\0');
    if (form.size > 0) std::memcpy(&out->back()[0], form.bytes, form.size);
  }
}
