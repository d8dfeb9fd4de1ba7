#include "diacritizer/ChainDirectory.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <numeric>
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
  ends_well_.assign((n + 63) / 64, 0);
  // Large tables are read on the threads asked for, a range each; the
  // ranges start at multiples of 64 slots, a word of a bit map each.
  const size_t ranges =
      n >= kSlotsPerThread ? std::min<size_t>(threads, n / kSlotsPerThread) : 1;
  const Ranges on{n, ranges};
  // The slots' links and fingerprints: false at a link outside the table.
  const bool sound = on.Run([this](size_t, size_t begin, size_t end) {
    for (size_t s = begin; s < end; ++s) {
      const unsigned char* record = body_ + s * wordform::kRecordSize;
      const int32_t next = NextOf(record);
      if (next < wordform::kEndOfChain || next >= slots_) return false;
      const size_t units = wordform::KeyUnits(record);
      const uint32_t print = units > 0 ? Fingerprint(record, units) : 0;
      entries_[s] = static_cast<uint32_t>(next + 2) | print << kLinkBits;
    }
    return true;
  });
  if (!sound) {
    // The loader's message for the first bad link.
    CheckWordFormTableLinks(body_, n, slots_);
  }
  if (!SettleChains(on)) SettleWalks();
}

bool ChainDirectory::Ranges::Run(
    const std::function<bool(size_t, size_t, size_t)>& work) const {
  std::vector<char> done(count, 0);
  std::vector<std::thread> crew;
  // The ranges of threads the system refuses are read here.
  size_t here = 1;
  while (here < count && urdulex::internal::StartThread(&crew, [&, r = here] {
           done[r] = work(r, Begin(r), Begin(r + 1));
         })) {
    ++here;
  }
  done[0] = work(0, Begin(0), Begin(1));
  for (size_t r = here; r < count; ++r) {
    done[r] = work(r, Begin(r), Begin(r + 1));
  }
  for (std::thread& t : crew) t.join();
  return std::find(done.begin(), done.end(), 0) == done.end();
}

bool ChainDirectory::SettleChains(const Ranges& on) {
  // The slots each range's links lead to, a bit each: false when a link
  // leads to an unused slot or to a slot already led to.
  const size_t words = ends_well_.size();
  std::vector<std::vector<uint64_t>> led(on.count);
  if (!on.Run([&](size_t r, size_t begin, size_t end) {
        std::vector<uint64_t>& to = led[r];
        to.assign(words, 0);
        for (size_t s = begin; s < end; ++s) {
          const uint32_t link = entries_[s] & kLinkMask;
          if (link < 2) continue;
          const uint32_t t = link - 2;
          const uint64_t bit = uint64_t{1} << (t % 64);
          if ((entries_[t] & kLinkMask) == 1 || (to[t / 64] & bit) != 0) {
            return false;
          }
          to[t / 64] |= bit;
        }
        return true;
      })) {
    return false;
  }
  // Each range walks the chains that start in it, a used slot no link
  // leads to, several at once so that their loads overlap, and counts the
  // slots read. The slots of a cycle are on no such chain.
  std::vector<size_t> used(on.count, 0), read(on.count, 0);
  std::vector<size_t> longest(on.count, 0);
  if (!on.Run([&](size_t r, size_t begin, size_t end) {
        const size_t first = begin / 64, last = (end + 63) / 64;
        for (size_t w = first; w < last; ++w) {
          uint64_t any = 0;
          for (const std::vector<uint64_t>& to : led) {
            if ((any & to[w]) != 0) return false;
            any |= to[w];
          }
          led[0][w] = any;
        }
        constexpr size_t kWalks = 8;
        uint32_t at[kWalks];
        size_t length[kWalks];
        size_t walking = 0, s = begin;
        // Counted here, not in the vectors that other threads write near.
        size_t used_here = 0, read_here = 0, longest_here = 0;
        // The next chain's start into walk k; false when there is none.
        const auto start = [&](size_t k) {
          for (; s < end; ++s) {
            if ((entries_[s] & kLinkMask) == 1) continue;
            ++used_here;
            ends_well_[s / 64] |= uint64_t{1} << (s % 64);
            if ((led[0][s / 64] >> (s % 64) & 1) != 0) continue;
            at[k] = static_cast<uint32_t>(s++);
            length[k] = 1;
            return true;
          }
          return false;
        };
        while (walking < kWalks && start(walking)) ++walking;
        while (walking > 0) {
          for (size_t k = 0; k < walking;) {
            const uint32_t link = entries_[at[k]] & kLinkMask;
            if (link >= 2) {
              // Longer than the table: a cycle, met through a slot that
              // another range finds linked to twice.
              if (++length[k] > on.size) return false;
              at[k] = link - 2;
              ++k;
              continue;
            }
            read_here += length[k];
            longest_here = std::max(longest_here, length[k]);
            if (!start(k)) {
              --walking;
              at[k] = at[walking];
              length[k] = length[walking];
            }
          }
        }
        used[r] = used_here;
        read[r] = read_here;
        longest[r] = longest_here;
        return true;
      })) {
    return false;
  }
  if (std::accumulate(read.begin(), read.end(), size_t{0}) !=
      std::accumulate(used.begin(), used.end(), size_t{0})) {
    return false;
  }
  longest_ =
      std::min(*std::max_element(longest.begin(), longest.end()), kLongest);
  return true;
}

void ChainDirectory::SettleWalks() {
  const size_t n = entries_.size();
  // Whether each walk ends at the end of a chain, per slot: settled at
  // once for a slot that ends its chain (or is unused), by the walks below
  // for the others.
  enum : uint8_t { kOpen, kOnPath, kWell, kBad };
  std::unique_ptr<uint8_t[]> state(new uint8_t[n]);
  for (size_t s = 0; s < n; ++s) {
    const uint32_t link = entries_[s] & kLinkMask;
    state[s] = link == 0 ? kWell : link == 1 ? kBad : kOpen;
  }
  // The slots with a link: a walk goes on until a slot already settled,
  // then settles its path, and the slots each walk reads (at most
  // kLongest). A walk that meets its own path has found a cycle.
  std::vector<uint16_t> reads(n, 1);
  std::vector<uint32_t> path;
  bool sound = true;
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
  if (!sound) {
    // The loader's message for the cycle.
    CheckWordFormTableLinks(body_, n, slots_);
  }
  if (n > 0) longest_ = *std::max_element(reads.begin(), reads.end());
  std::fill(ends_well_.begin(), ends_well_.end(), 0);
  for (size_t s = 0; s < n; ++s) {
    if (state[s] == kWell) ends_well_[s / 64] |= uint64_t{1} << (s % 64);
  }
}
