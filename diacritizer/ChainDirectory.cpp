#include "diacritizer/ChainDirectory.h"

#include <algorithm>
#include <memory>
#include <thread>

#include "diacritizer/hashmain.h"
#include "foundation/Threads.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the records are read as little-endian values"
#endif

namespace {

// Slots of the table a thread reads, at least, when the directory is made
// on several.
constexpr size_t kSlotsPerThread = 1 << 16;

int32_t NextOf(const unsigned char* record) {
  uint32_t v;
  std::memcpy(&v, record + wordform::kKeyBytes + wordform::kNextOffset, 4);
  return static_cast<int32_t>(v);
}

}  // namespace

ChainDirectory::ChainDirectory(const unsigned char* body, int32_t slots,
                               size_t walk_slots, unsigned threads)
    : body_(body), slots_(slots), walk_slots_(walk_slots) {
  const size_t n = static_cast<size_t>(slots_);
  entries_.resize(n);
  // Whether each walk ends at the end of a chain, per slot: settled at
  // once for a slot that ends its chain (or is unused), by the walks below
  // for the others.
  enum : uint8_t { kOpen, kOnPath, kWell, kBad };
  std::unique_ptr<uint8_t[]> state(new uint8_t[n]);
  // The slots [begin, end): false at a link outside the table.
  const auto fill = [this, &state](size_t begin, size_t end) {
    for (size_t s = begin; s < end; ++s) {
      const unsigned char* record = body_ + s * wordform::kRecordSize;
      const int32_t next = NextOf(record);
      if (next < wordform::kEndOfChain || next >= slots_) return false;
      const size_t units = wordform::KeyUnits(record);
      const uint32_t print = units > 0 ? Fingerprint(record, units) : 0;
      entries_[s] = static_cast<uint32_t>(next + 2) | print << kLinkBits;
      state[s] = next == wordform::kEndOfChain   ? kWell
                 : next == wordform::kUnusedSlot ? kBad
                                                 : kOpen;
    }
    return true;
  };
  // Large tables are read on the threads asked for, a range each.
  const size_t ranges =
      n >= kSlotsPerThread ? std::min<size_t>(threads, n / kSlotsPerThread) : 1;
  std::vector<char> filled(ranges, 0);
  {
    // The ranges of threads the system refuses are read here.
    std::vector<std::thread> crew;
    size_t here = 1;
    while (here < ranges && urdulex::internal::StartThread(
                                &crew, [&fill, &filled, r = here, n, ranges] {
                                  filled[r] = fill(n * r / ranges,
                                                   n * (r + 1) / ranges);
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
  // The slots with a link: a walk goes on until a slot already settled,
  // then settles its path, and the slots each walk reads (at most
  // kLongest). A walk that meets its own path has found a cycle.
  std::vector<uint16_t> reads(n, 1);
  std::vector<uint32_t> path;
  for (size_t start = 0; sound && start < n; ++start) {
    if (state[start] != kOpen) continue;
    path.clear();
    size_t s = start;
    uint8_t end;
    while (true) {
      state[s] = kOnPath;
      path.push_back(static_cast<uint32_t>(s));
      s = (entries_[s] & kLinkMask) - 2;  // a link: state kOpen
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
    size_t read = reads[s];
    for (size_t i = path.size(); i-- > 0;) {
      state[path[i]] = end;
      read = std::min(read + 1, kLongest);
      reads[path[i]] = static_cast<uint16_t>(read);
    }
  }
  if (sound && n > 0) longest_ = *std::max_element(reads.begin(), reads.end());
  if (!sound) {
    // The loader's message for the first bad link.
    CheckWordFormTableLinks(body_, n, slots_);
  }
  ends_well_.assign((n + 63) / 64, 0);
  for (size_t s = 0; s < n; ++s) {
    if (state[s] == kWell) ends_well_[s / 64] |= uint64_t{1} << (s % 64);
  }
}
