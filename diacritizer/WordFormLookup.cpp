#include "diacritizer/WordFormLookup.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "diacritizer/TableFormat.h"
#include "diacritizer/WordFormExtent.h"
#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "foundation/Threads.h"

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

// Whether the record's key (up to its first zero unit) is `key`.
bool SameKey(const unsigned char* record, const unsigned char* key,
             size_t units) {
  // The keys are short: eight bytes at a time, without a call.
  const size_t bytes = 2 * units;
  size_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    uint64_t a, b;
    std::memcpy(&a, record + i, 8);
    std::memcpy(&b, key + i, 8);
    if (a != b) return false;
  }
  for (; i < bytes; i += 2) {
    uint16_t a, b;
    std::memcpy(&a, record + i, 2);
    std::memcpy(&b, key + i, 2);
    if (a != b) return false;
  }
  return units == static_cast<size_t>(kKeyUnits) ||
         (record[bytes] | record[bytes + 1]) == 0;
}

size_t RestoreRecord(const unsigned char* record, size_t units,
                     unsigned char* out) {
  return WordFormIndex::Restore(record, units, record + kKeyBytes,
                                wordform::SymbolBytes(record), out);
}

// --- The SIGBUS guard of the mappings ---
//
// A mapped file that someone cuts short raises SIGBUS on the pages it no
// longer has. The handler puts zero pages over the whole mapping, so that
// the faulting read and every later one go on, and marks the mapping cut;
// the lookups check the mark and throw. The mappings are kept in a list
// that only grows (a dropped mapping's entry is reused, never freed), so
// the handler walks it without a lock, however many tables are open.
//
// Any other SIGBUS is not ours: one sent by kill or raise (si_code <= 0),
// or a fault outside every mapping. It goes to the handler that was there
// before ours, called in place so that ours stays; or, when there was
// none, it does what the default does: our handler steps aside and the
// signal ends the process (a fault repeats as the handler returns, a sent
// signal is raised again). Ignored before, a sent signal stays ignored.

}  // namespace

struct WordFormLookup::Guard {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> cut{false};
  Guard* next = nullptr;
};

namespace {

using Guard = WordFormLookup::Guard;

std::atomic<Guard*> g_guards{nullptr};
std::mutex g_guard_mutex;
bool g_installed = false;
struct sigaction g_previous;

extern "C" void OnBus(int sig, siginfo_t* info, void* context) {
  const int saved = errno;
  if (info != nullptr && info->si_code > 0) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Guard* guard = g_guards.load(std::memory_order_acquire);
         guard != nullptr; guard = guard->next) {
      const uintptr_t begin = guard->begin.load(std::memory_order_acquire);
      const uintptr_t end = guard->end.load(std::memory_order_acquire);
      if (begin == 0 || at < begin || at >= end) continue;
      void* zeros =
          ::mmap(reinterpret_cast<void*>(begin), end - begin, PROT_READ,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
      if (zeros != MAP_FAILED) {
        guard->cut.store(true, std::memory_order_release);
        errno = saved;
        return;
      }
      break;
    }
  }
  // Not ours.
  const struct sigaction& before = g_previous;
  if ((before.sa_flags & SA_SIGINFO) != 0 && before.sa_sigaction != nullptr) {
    errno = saved;
    before.sa_sigaction(sig, info, context);
    return;
  }
  if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN &&
      before.sa_handler != nullptr) {
    errno = saved;
    before.sa_handler(sig);
    return;
  }
  const bool sent = info == nullptr || info->si_code <= 0;
  if (before.sa_handler == SIG_IGN && sent) {
    errno = saved;
    return;
  }
  // As the default: the process ends by this signal, once the handler
  // returns (SIGBUS is blocked while it runs).
  struct sigaction default_action;
  std::memset(&default_action, 0, sizeof(default_action));
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  ::sigaction(SIGBUS, &default_action, nullptr);
  if (sent) ::raise(SIGBUS);
  errno = saved;
}

// Whether our handler serves SIGBUS, installing it the first time. False
// once another handler took its place (installed after ours): mappings
// opened from then on would go unguarded.
bool GuardInstalled() {
  if (!g_installed) {
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_sigaction = OnBus;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (::sigaction(SIGBUS, &action, &g_previous) != 0) return false;
    g_installed = true;
    return true;
  }
  struct sigaction current;
  return ::sigaction(SIGBUS, nullptr, &current) == 0 &&
         (current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == OnBus;
}

// Guards `size` mapped bytes at `begin`; null when our handler no longer
// serves SIGBUS (the mapping would go unguarded: the caller reads the
// file instead).
Guard* AddGuard(const void* begin, size_t size) {
  std::lock_guard<std::mutex> lock(g_guard_mutex);
  if (!GuardInstalled()) return nullptr;
  const long page = ::sysconf(_SC_PAGESIZE);
  const uintptr_t b = reinterpret_cast<uintptr_t>(begin);
  const uintptr_t e = b + (size + static_cast<size_t>(page) - 1) /
                              static_cast<size_t>(page) *
                              static_cast<size_t>(page);
  Guard* guard = g_guards.load(std::memory_order_relaxed);
  while (guard != nullptr &&
         guard->begin.load(std::memory_order_relaxed) != 0) {
    guard = guard->next;
  }
  if (guard == nullptr) {
    guard = new Guard;  // never freed: the handler may be walking the list
    guard->next = g_guards.load(std::memory_order_relaxed);
    g_guards.store(guard, std::memory_order_release);
  }
  guard->cut.store(false, std::memory_order_relaxed);
  guard->end.store(e, std::memory_order_release);
  guard->begin.store(b, std::memory_order_release);
  return guard;
}

void DropGuard(Guard* guard) {
  if (guard == nullptr) return;
  std::lock_guard<std::mutex> lock(g_guard_mutex);
  guard->begin.store(0, std::memory_order_release);
  guard->end.store(0, std::memory_order_release);
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

// `size` bytes of the file open as `fd` read into private memory (an
// anonymous mapping, unmapped as a file's is); MAP_FAILED when they cannot
// be. Throws Changed when the file ends before.
void* ReadPrivately(int fd, size_t size) {
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (p == MAP_FAILED) return p;
  unsigned char* bytes = static_cast<unsigned char*>(p);
  for (size_t done = 0; done < size;) {
    const ssize_t n =
        ::pread(fd, bytes + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::munmap(p, size);
      if (n == 0) throw WordFormLookup::Changed();
      return MAP_FAILED;
    }
    done += static_cast<size_t>(n);
  }
  ::mprotect(p, size, PROT_READ);
  return p;
}

}  // namespace

WordFormLookup::~WordFormLookup() {
  DropGuard(guard_);
  if (map_ != nullptr) {
    ::munmap(const_cast<unsigned char*>(map_), map_size_);
  }
  if (fd_ >= 0) ::close(fd_);
}

WordFormLookup::Verdict WordFormLookup::Open(const std::string& path,
                                             bool all_forms,
                                             std::string* problem,
                                             const Limits& limits) {
  all_forms_ = all_forms;
  walk_slots_ = limits.walk_slots;
  WordFormTableFile file;
  // Only a regular file is opened here: anything else is left to the
  // loader, which opens it once (a FIFO must not be opened twice).
  struct stat st;
  int fd = -1;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    do {
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) {
    if (!ReadWordFormTableFile(path, &file, problem)) {
      return Verdict::kRejected;
    }
  } else {
    // Kept open, so that Unchanged asks the file mapped, whatever its
    // name leads to by then.
    fd_ = fd;
    watch_.Start("", fd_);
    const size_t size = static_cast<size_t>(st.st_size);
    void* p = nullptr;
    // A file is mapped only while our SIGBUS handler can guard the
    // mapping; once another took its place (installed later), it is read
    // into private memory instead.
    bool copy = limits.private_copy;
    if (size > 0 && !copy) {
      p = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd_, 0);
      if (p != MAP_FAILED) {
        guard_ = AddGuard(p, size);
        if (guard_ == nullptr) {
          ::munmap(p, size);
          copy = true;
        }
      }
    }
    if (size > 0 && copy) p = ReadPrivately(fd_, size);
    if (p == MAP_FAILED) {
      throw IOException(
          "hashmain", __LINE__, kErrorFileRead,
          std::string(copy ? "Could not read file: " : "Could not map file: ") +
              urdu::QuoteName(path) + ". Hash table reading problem occurred.");
    }
    map_ = static_cast<const unsigned char*>(p);
    map_size_ = size;
    if (copy) {
      // The copy is the file as opened only if nothing changed it during
      // the read; from then on nothing can.
      const bool same = watch_.Unchanged();
      ::close(fd_);
      fd_ = -1;
      copied_ = true;
      if (!same) throw Changed();
    }
    size_t body = 0;
    const int32_t slots = WholeTable(map_, size, &body);
    if (slots > 0) {
      body_ = map_ + body;
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
      read = ReadWordFormTableBytes(map_, size, &file, problem);
    } catch (const TARNIException&) {
      CheckIntact();
      throw;
    }
    CheckIntact();
    DropGuard(guard_);
    guard_ = nullptr;
    if (map_ != nullptr) ::munmap(const_cast<unsigned char*>(map_), size);
    map_ = nullptr;
    copied_ = false;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!read) return Verdict::kRejected;
  }
  if (!CheckWordFormTableExtent(file, problem)) return Verdict::kExtent;
  owned_index_.reset(new WordFormIndex);
  owned_index_->Build(file, all_forms);
  index_.store(owned_index_.get(), std::memory_order_release);
  return Verdict::kOpen;
}

bool WordFormLookup::Unchanged() const {
  if (guard_ != nullptr && guard_->cut.load(std::memory_order_acquire)) {
    return false;
  }
  return fd_ < 0 || watch_.Unchanged();
}

void WordFormLookup::CheckIntact() const {
  if (guard_ != nullptr && guard_->cut.load(std::memory_order_acquire)) {
    throw Changed();
  }
}

inline uint32_t WordFormLookup::Fingerprint(const unsigned char* key,
                                            size_t units) {
  // The first and the last four units (all of a shorter key), and the
  // length.
  uint64_t head = 0, tail = 0;
  if (units >= 4) {
    std::memcpy(&head, key, 8);
    std::memcpy(&tail, key + 2 * units - 8, 8);
  } else {
    std::memcpy(&head, key, 2 * units);
    tail = head;
  }
  const uint64_t x =
      (head ^ (tail * 0x9E3779B97F4A7C15ull) ^ units) * 0xD6E8FEB86659FD93ull;
  return static_cast<uint32_t>(x >> 57);
}

uint64_t WordFormLookup::HomeHash(const unsigned char* key,
                                  size_t units) const {
  if (units == 0 || units > static_cast<size_t>(kKeyUnits)) return kHomeTag;
  uint16_t unit[kKeyUnits];
  std::memcpy(unit, key, 2 * units);
  return kHomeTag | uint64_t{Fingerprint(key, units)} << 32 |
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
      const uint64_t print =
          lane_units[j] > 0 ? Fingerprint(keys[k + j], lane_units[j]) : 0;
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

WordFormLookup::Walk WordFormLookup::WalkChain(
    const unsigned char* key, size_t units, uint32_t home,
    std::vector<const unsigned char*>* all, const unsigned char** first,
    uint64_t* walked) const {
  *first = nullptr;
  size_t s = home;
  const unsigned char* record = body_ + s * kRecordSize;
  int32_t next = Int32At(record + kNextAt);
  if (next == wordform::kUnusedSlot) return Walk::kAbsent;
  // As HashTable::Search: the records with the key in chain order, provided
  // the chain ends properly.
  for (size_t steps = 1;; ++steps) {
    if (steps > walk_slots_) return Walk::kTooLong;
    if (steps > 1 && walked != nullptr) ++*walked;
    if (SameKey(record, key, units)) {
      if (*first == nullptr) *first = record;
      if (all != nullptr) all->push_back(record);
    }
    if (next == wordform::kEndOfChain) {
      return *first != nullptr ? Walk::kFound : Walk::kAbsent;
    }
    if (next == wordform::kUnusedSlot) return Walk::kAbsent;
    if (next < wordform::kEndOfChain || next >= slots_) {
      ThrowLinkOutsideTable(s, next, slots_);
    }
    s = static_cast<size_t>(next);
    record = body_ + s * kRecordSize;
    next = Int32At(record + kNextAt);
  }
}

// Slots of the table a thread reads, at least, when the directory is made
// on several.
constexpr size_t kSlotsPerThread = 1 << 16;

void WordFormLookup::UseDirectory(unsigned threads) const {
  if (indexed() || directory_.load(std::memory_order_acquire) != nullptr) {
    return;
  }
  try {
    std::call_once(directed_, [this, threads] {
      const size_t n = static_cast<size_t>(slots_);
      std::unique_ptr<Directory> directory(new Directory);
      auto& entries = directory->entries;
      entries.resize(n);
      // Every page of the table is read: mapped in one call rather than
      // a fault at a time (the kernels that know the advice).
#ifdef MADV_POPULATE_READ
      if (map_ != nullptr) {
        ::madvise(const_cast<unsigned char*>(map_), map_size_,
                  MADV_POPULATE_READ);
      }
#endif
      // Whether each walk ends at the end of a chain, per slot: settled at
      // once for a slot that ends its chain (or is unused), by the walks
      // below for the others.
      enum : uint8_t { kOpen, kOnPath, kWell, kBad };
      std::unique_ptr<uint8_t[]> state(new uint8_t[n]);
      // The slots [begin, end): false at a link outside the table.
      const auto fill = [this, &entries, &state](size_t begin, size_t end) {
        for (size_t s = begin; s < end; ++s) {
          const unsigned char* record = body_ + s * kRecordSize;
          const int32_t next = Int32At(record + kNextAt);
          if (next < wordform::kEndOfChain || next >= slots_) return false;
          const size_t units = wordform::KeyUnits(record);
          const uint32_t print = units > 0 ? Fingerprint(record, units) : 0;
          entries[s] = static_cast<uint32_t>(next + 2) | print << kLinkBits;
          state[s] = next == wordform::kEndOfChain   ? kWell
                     : next == wordform::kUnusedSlot ? kBad
                                                     : kOpen;
        }
        return true;
      };
      // Large tables are read on the threads asked for, a range each.
      const size_t ranges = n >= kSlotsPerThread
                                ? std::min<size_t>(threads, n / kSlotsPerThread)
                                : 1;
      std::vector<char> filled(ranges, 0);
      {
        // The ranges of threads the system refuses are read here.
        std::vector<std::thread> crew;
        size_t here = 1;
        while (here < ranges &&
               urdu::StartThread(&crew, [&fill, &filled, r = here, n, ranges] {
                 filled[r] = fill(n * r / ranges, n * (r + 1) / ranges);
               })) {
          ++here;
        }
        filled[0] = fill(0, n / ranges);
        for (size_t r = here; r < ranges; ++r) {
          filled[r] = fill(n * r / ranges, n * (r + 1) / ranges);
        }
        for (std::thread& t : crew) t.join();
      }
      bool sound = std::find(filled.begin(), filled.end(), 0) == filled.end();
      // The slots with a link: a walk goes on until a slot already
      // settled, then settles its path. A walk that meets its own path has
      // found a cycle.
      std::vector<uint32_t> path;
      for (size_t start = 0; sound && start < n; ++start) {
        if (state[start] != kOpen) continue;
        path.clear();
        size_t s = start;
        uint8_t end;
        while (true) {
          state[s] = kOnPath;
          path.push_back(static_cast<uint32_t>(s));
          s = (entries[s] & kLinkMask) - 2;  // a link: state kOpen
          if (state[s] == kOnPath) {
            sound = false;
            break;
          }
          if (state[s] != kOpen) {
            end = state[s];
            break;
          }
        }
        if (!sound) break;
        for (uint32_t p : path) state[p] = end;
      }
      if (!sound) {
        // The loader's message for the first bad link.
        CheckWordFormTableLinks(body_, n, slots_);
      }
      directory->ends_well.assign((n + 63) / 64, 0);
      for (size_t s = 0; s < n; ++s) {
        if (state[s] == kWell) {
          directory->ends_well[s / 64] |= uint64_t{1} << (s % 64);
        }
      }
      owned_directory_ = std::move(directory);
      directory_.store(owned_directory_.get(), std::memory_order_release);
    });
  } catch (const TARNIException&) {
    CheckIntact();
    throw;
  }
  CheckIntact();
}

inline uint32_t WordFormLookup::Candidate(const Directory& directory,
                                          uint32_t s, uint32_t print,
                                          size_t* steps) const {
  for (;; ++*steps) {
    if (*steps > walk_slots_) return kPastBound;
    const uint32_t entry = directory.entries[s];
    const uint32_t link = entry & kLinkMask;
    if (link == 1) return kNoSlot;  // an unused slot ends a search
    if ((entry >> kLinkBits) == print) return s;
    if (link == 0) return kNoSlot;
    s = link - 2;
  }
}

uint32_t WordFormLookup::FetchCandidate(const Directory& directory,
                                        uint64_t hash, size_t* steps) const {
  const uint32_t home = static_cast<uint32_t>(hash);
  if (home >= directory.entries.size()) return kPastBound;
  *steps = 1;
  const uint32_t s = Candidate(directory, home, Print(hash), steps);
  if (s < kPastBound) {
    // Prefetches, not loads: a load that misses would hold up the work
    // of the lookups before it until it arrives.
    const unsigned char* record = body_ + size_t{s} * kRecordSize;
    __builtin_prefetch(record);
    __builtin_prefetch(record + 2 * kKeyUnits + kSymbolBytes - 1);
  }
  return s;
}

unsigned WordFormLookup::StepAhead(uint64_t* hash) const {
  const Directory* directory = directory_.load(std::memory_order_acquire);
  if (directory == nullptr || indexed() || !IsHome(*hash)) {
    return TouchNext(*hash, 1);
  }
  size_t steps = 1;
  const uint32_t s = FetchCandidate(*directory, *hash, &steps);
  if (s == kPastBound || steps > 0xFF) return 0;  // Find walks again
  *hash =
      kAheadTag | uint64_t{steps} << 40 | (*hash & (uint64_t{0x7F} << 32)) | s;
  return 0;
}

inline WordFormLookup::Walk WordFormLookup::WalkDirectory(
    const Directory& directory, const unsigned char* key, size_t units,
    uint64_t hash, const unsigned char** first, uint64_t* walked) const {
  *first = nullptr;
  const uint32_t print = Print(hash);
  // From the home slot, or from where StepAhead left off.
  size_t steps = IsAhead(hash) ? (hash >> 40) & 0xFF : 1;
  Walk walk = Walk::kAbsent;
  for (uint32_t s = static_cast<uint32_t>(hash);;) {
    if (s >= directory.entries.size()) break;  // kNoSlot
    s = Candidate(directory, s, print, &steps);
    if (s >= kPastBound) {
      if (s == kPastBound) walk = Walk::kTooLong;
      break;
    }
    const unsigned char* record = body_ + size_t{s} * kRecordSize;
    if (SameKey(record, key, units)) {
      // A key holding a zero unit is no key of the table; the walk ends
      // well from here, or no search finds the key.
      bool zero = false;
      for (size_t i = 0; i < units; ++i) {
        zero |= (key[2 * i] | key[2 * i + 1]) == 0;
      }
      if (!zero && (directory.ends_well[s / 64] >> (s % 64) & 1) != 0) {
        *first = record;
        walk = Walk::kFound;
      }
      break;
    }
    const uint32_t link = directory.entries[s] & kLinkMask;
    if (link < 2) break;  // the chain ends here
    s = link - 2;
    ++steps;
  }
  if (walked != nullptr) *walked += steps - 1;
  return walk;
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
  const Directory* directory = directory_.load(std::memory_order_acquire);
  if (!IsHome(hash) && (directory == nullptr || !IsAhead(hash))) {
    hash = HomeHash(key, units);
  }
  const unsigned char* record = nullptr;
  const WordFormIndex* index = nullptr;
  Walk walk;
  try {
    if (directory != nullptr) {
      walk = WalkDirectory(*directory, key, units, hash, &record, steps);
    } else {
      walk = WalkChain(key, units, static_cast<uint32_t>(hash), nullptr,
                       &record, steps);
    }
    if (walk == Walk::kTooLong) index = &FullIndex();
  } catch (const TARNIException&) {
    CheckIntact();
    throw;
  }
  CheckIntact();
  if (walk == Walk::kAbsent) return nullptr;
  if (walk == Walk::kFound) {
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
    Walk walk;
    try {
      walk = WalkChain(key, units, static_cast<uint32_t>(Hash(key, units)),
                       &records, &first, nullptr);
      if (walk == Walk::kTooLong) index = &FullIndex();
    } catch (const TARNIException&) {
      CheckIntact();
      throw;
    }
    CheckIntact();
    if (walk == Walk::kAbsent) return;
    if (walk == Walk::kFound) {
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
