#include "diacritizer/WordFormLookup.h"

#include <algorithm>
#include <cstring>

#include "diacritizer/TableFormat.h"
#include "diacritizer/WordFormExtent.h"
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

// A hash for the mapped records: the key's home slot and fingerprint
// under this tag (see WordFormLookup::IsHome).
constexpr uint64_t kHomeTag = WordFormLookup::kHomeTag;

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

WordFormLookup::~WordFormLookup() = default;

WordFormLookup::Verdict WordFormLookup::Open(const std::string& path,
                                             bool all_forms,
                                             std::string* problem,
                                             const Limits& limits) {
  all_forms_ = all_forms;
  walk_slots_ = limits.walk_slots;
  WordFormTableFile file;
  // Only a regular file is opened here: anything else is left to the
  // loader, which opens it once (a FIFO must not be opened twice).
  const MappedFile::Opened opened = file_.Open(path, limits.private_copy);
  if (opened == MappedFile::Opened::kNotRegular) {
    if (!ReadWordFormTableFile(path, &file, problem)) {
      return Verdict::kRejected;
    }
  } else {
    if (opened == MappedFile::Opened::kChanged) throw Changed();
    if (opened != MappedFile::Opened::kOpen) {
      throw IOException("hashmain", __LINE__, kErrorFileRead,
                        std::string(opened == MappedFile::Opened::kReadFailed
                                        ? "Could not read file: "
                                        : "Could not map file: ") +
                            urdu::QuoteName(path) +
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
  owned_index_->Build(file, all_forms);
  index_.store(owned_index_.get(), std::memory_order_release);
  return Verdict::kOpen;
}

bool WordFormLookup::Unchanged() const { return file_.Unchanged(); }

void WordFormLookup::CheckIntact() const {
  if (file_.cut()) throw Changed();
}

uint64_t WordFormLookup::HomeHash(const unsigned char* key,
                                  size_t units) const {
  if (units == 0 || units > static_cast<size_t>(kKeyUnits)) return kHomeTag;
  uint16_t unit[kKeyUnits];
  std::memcpy(unit, key, 2 * units);
  return kHomeTag | uint64_t{ChainDirectory::Fingerprint(key, units)} << 32 |
         home_(unit, units);
}

void WordFormLookup::HashMany(const unsigned char* const* keys,
                              const size_t* units, size_t count,
                              uint64_t* out) const {
  if (index_.load(std::memory_order_acquire) != nullptr) {
    for (size_t k = 0; k < count; ++k) {
      out[k] = WordFormIndex::HashKey(keys[k], units[k]);
    }
    return;
  }
  constexpr size_t kLanes = HomeSlotHash::kLanes;
  const unsigned char* lane[kLanes];
  size_t lane_units[kLanes];
  uint32_t home[kLanes];
  for (size_t k = 0; k < count; k += kLanes) {
    const size_t n = count - k < kLanes ? count - k : kLanes;
    for (size_t j = 0; j < kLanes; ++j) {
      const size_t u = j < n ? units[k + j] : 0;
      lane_units[j] = u <= static_cast<size_t>(kKeyUnits) ? u : 0;
      lane[j] = j < n ? keys[k + j] : nullptr;
    }
    home_.Many(lane, lane_units, home);
    for (size_t j = 0; j < n; ++j) {
      const uint64_t print = lane_units[j] > 0 ? ChainDirectory::Fingerprint(
                                                     keys[k + j], lane_units[j])
                                               : 0;
      out[k + j] = kHomeTag | print << 32 | home[j];
    }
  }
}

void WordFormLookup::PrefetchRecord(uint64_t hash) const {
  if (static_cast<uint32_t>(hash) >= static_cast<uint32_t>(slots_)) return;
  const unsigned char* record =
      body_ + static_cast<uint32_t>(hash) * size_t{kRecordSize};
  __builtin_prefetch(record);
  __builtin_prefetch(record + kRecordSize - 1);
}

unsigned WordFormLookup::TouchChain(uint64_t hash, size_t depth) const {
  if (static_cast<uint32_t>(hash) >= static_cast<uint32_t>(slots_)) return 0;
  const unsigned char* record =
      body_ + static_cast<uint32_t>(hash) * size_t{kRecordSize};
  for (; depth > 0; --depth) {
    const int32_t next = Int32At(record + kNextAt);
    if (next < 0 || next >= slots_) return 0;
    record = body_ + static_cast<size_t>(next) * kRecordSize;
  }
  __builtin_prefetch(record + kRecordSize - 1);
  return *record;
}

unsigned WordFormLookup::TouchRecord(uint64_t hash) const {
  if (static_cast<uint32_t>(hash) >= static_cast<uint32_t>(slots_)) return 0;
  const unsigned char* record =
      body_ + static_cast<uint32_t>(hash) * size_t{kRecordSize};
  __builtin_prefetch(record + kRecordSize - 1);
  return *record;
}

ChainWalk WordFormLookup::WalkChain(const unsigned char* key, size_t units,
                                    uint32_t home,
                                    std::vector<const unsigned char*>* all,
                                    const unsigned char** first,
                                    uint64_t* walked) const {
  *first = nullptr;
  size_t s = home;
  const unsigned char* record = body_ + s * kRecordSize;
  int32_t next = Int32At(record + kNextAt);
  if (next == wordform::kUnusedSlot) return ChainWalk::kAbsent;
  // As HashTable::Search: the records with the key in chain order, provided
  // the chain ends properly.
  for (size_t steps = 1;; ++steps) {
    if (steps > walk_slots_) return ChainWalk::kTooLong;
    if (steps > 1 && walked != nullptr) ++*walked;
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

void WordFormLookup::UseDirectory(unsigned threads) const {
  if (indexed() || directory_.load(std::memory_order_acquire) != nullptr) {
    return;
  }
  try {
    std::call_once(directed_, [this, threads] {
      // Every page of the table is read.
      file_.Populate();
      owned_directory_.reset(
          new ChainDirectory(body_, slots_, walk_slots_, threads));
      directory_.store(owned_directory_.get(), std::memory_order_release);
    });
  } catch (const TARNIException&) {
    CheckIntact();
    throw;
  }
  CheckIntact();
}

unsigned WordFormLookup::StepAhead(uint64_t* hash) const {
  const ChainDirectory* directory = directory_.load(std::memory_order_acquire);
  if (directory == nullptr || indexed() || !IsHome(*hash)) {
    return TouchNext(*hash, 1);
  }
  size_t steps = 1;
  const uint32_t s = directory->FetchCandidate(static_cast<uint32_t>(*hash),
                                               Print(*hash), &steps);
  if (s == ChainDirectory::kPastBound || steps > 0xFF) {
    return 0;  // Find walks again
  }
  *hash =
      kAheadTag | uint64_t{steps} << 40 | (*hash & (uint64_t{0x7F} << 32)) | s;
  return 0;
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
  if (indexed()) return;
  try {
    FullIndex();
  } catch (const TARNIException&) {
    CheckIntact();
    throw;
  }
  CheckIntact();
}

const unsigned char* WordFormLookup::FindMapped(const unsigned char* key,
                                                size_t units, uint64_t hash,
                                                unsigned char* room,
                                                size_t* bytes,
                                                uint64_t* steps) const {
  if (units == 0 || units > static_cast<size_t>(kKeyUnits) ||
      StartsWithAt(key)) {
    return nullptr;
  }
  const ChainDirectory* directory = directory_.load(std::memory_order_acquire);
  if (!IsHome(hash) && (directory == nullptr || !IsAhead(hash))) {
    hash = HomeHash(key, units);
  }
  const unsigned char* record = nullptr;
  const WordFormIndex* index = nullptr;
  ChainWalk walk;
  try {
    if (directory != nullptr) {
      // From the home slot, or from where StepAhead left off.
      walk = directory->Walk(
          key, units, static_cast<uint32_t>(hash), Print(hash),
          IsAhead(hash) ? (hash >> 40) & 0xFF : 1, &record, steps);
    } else {
      walk = WalkChain(key, units, static_cast<uint32_t>(hash), nullptr,
                       &record, steps);
    }
    if (walk == ChainWalk::kTooLong) index = &FullIndex();
  } catch (const TARNIException&) {
    CheckIntact();
    throw;
  }
  CheckIntact();
  if (walk == ChainWalk::kAbsent) return nullptr;
  if (walk == ChainWalk::kFound) {
    *bytes = 2 * RestoreRecord(record, units, room);
    return room;
  }
  return index->Find(key, units, WordFormIndex::HashKey(key, units), bytes);
}

void WordFormLookup::Forms(const unsigned char* key, size_t units,
                           std::vector<std::u16string>* out) const {
  out->clear();
  const WordFormIndex* index = index_.load(std::memory_order_acquire);
  if (index == nullptr) {
    if (units == 0 || units > static_cast<size_t>(kKeyUnits) ||
        StartsWithAt(key)) {
      return;
    }
    std::vector<const unsigned char*> records;
    const unsigned char* first = nullptr;
    ChainWalk walk;
    try {
      walk = WalkChain(key, units, static_cast<uint32_t>(Hash(key, units)),
                       &records, &first, nullptr);
      if (walk == ChainWalk::kTooLong) index = &FullIndex();
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
