#include "diacritizer/WordFormIndex.h"

#include <cstring>

#include "script/LexEnigneUtility.h"

namespace {

// Keys and restored words longer than this are left to Search. Table files
// hold keys of at most 20 units, whose restored words are at most 60.
constexpr size_t kMaxIndexedUnits = 254;
constexpr unsigned char kAbsent = 0xFF;
// Entries are addressed by 32-bit offsets.
constexpr size_t kMaxArenaBytes = UINT32_MAX - 4096;

// Chain steps allowed per slot while building. Tables made by the builder
// walk about one step per record; a table whose shared chains would need
// more is served by Search instead of stalling the load.
constexpr uint64_t kStepsPerSlot = 64;
constexpr uint64_t kMinSteps = 1 << 20;

enum : uint8_t { kUnknown, kVisiting, kEndsWell, kEndsBadly };

// For every slot, whether a search walk starting there reaches the end of
// its chain (kEndsWell) or meets an unused slot, a bad link or a cycle.
std::vector<uint8_t> ChainEnds(const WordFormHashTable& table) {
  const int64_t n = table.tableSize;
  std::vector<uint8_t> state(static_cast<size_t>(n), kUnknown);
  std::vector<int64_t> path;
  for (int64_t start = 0; start < n; ++start) {
    path.clear();
    int64_t s = start;
    uint8_t result;
    while (true) {
      if (state[s] == kEndsWell || state[s] == kEndsBadly) {
        result = state[s];
        break;
      }
      if (state[s] == kVisiting) {
        result = kEndsBadly;  // a cycle
        break;
      }
      state[s] = kVisiting;
      path.push_back(s);
      int64_t next = table.nodes[s].next;
      if (next == WordFormHashNode::kEndOfChain) {
        result = kEndsWell;
        break;
      }
      if (next < 0 || next >= n) {
        result = kEndsBadly;
        break;
      }
      s = next;
    }
    for (int64_t p : path) state[p] = result;
  }
  return state;
}

// Stored as 16-bit units: short enough and without wider characters, which
// a table file cannot hold but SetNodeAtIndex could.
bool Indexable(const std::wstring& text) {
  if (text.size() > kMaxIndexedUnits) return false;
  for (wchar_t c : text) {
    if (static_cast<uint32_t>(c) > 0xFFFF) return false;
  }
  return true;
}

void AppendUnits(std::vector<char>& out, const std::wstring& text) {
  for (wchar_t c : text) {
    uint32_t u = static_cast<uint32_t>(c);
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>((u >> 8) & 0xFF));
  }
}

}  // namespace

uint64_t WordFormIndex::HashKey(const wchar_t* key, size_t length) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < length; ++i) {
    h ^= static_cast<uint32_t>(key[i]);
    h *= 0x100000001b3ull;
  }
  h ^= h >> 32;
  h *= 0x9E3779B97F4A7C15ull;
  h ^= h >> 29;
  return h;
}

const WordFormIndex::Slot* WordFormIndex::Probe(const wchar_t* key,
                                                size_t length,
                                                uint64_t hash) const {
  const uint32_t check = static_cast<uint32_t>(hash >> 32);
  uint64_t i = hash & mask_;
  while (true) {
    const Slot* slot = &slots_[i];
    if (slot->offset == 0) return slot;
    if (slot->check == check) {
      const unsigned char* entry =
          reinterpret_cast<const unsigned char*>(arena_.data()) + slot->offset;
      if (entry[0] == length) {
        const unsigned char* units = entry + 2;
        size_t k = 0;
        while (k < length &&
               static_cast<uint32_t>(units[2 * k] | units[2 * k + 1] << 8) ==
                   static_cast<uint32_t>(key[k])) {
          ++k;
        }
        if (k == length) return slot;
      }
    }
    i = (i + 1) & mask_;
  }
}

const char* WordFormIndex::Find(const wchar_t* key, size_t length,
                                uint64_t hash, size_t* bytes) const {
  if (!built_ || length == 0 || length > kMaxIndexedUnits) return nullptr;
  const Slot* slot = Probe(key, length, hash);
  if (slot->offset == 0) return nullptr;
  const unsigned char* entry =
      reinterpret_cast<const unsigned char*>(arena_.data()) + slot->offset;
  if (entry[1] == kAbsent) return nullptr;
  *bytes = 2 * static_cast<size_t>(entry[1]);
  return arena_.data() + slot->offset + 2 + 2 * static_cast<size_t>(entry[0]);
}

void WordFormIndex::Insert(const std::wstring& key,
                           const std::wstring& restored, bool found) {
  uint64_t hash = HashKey(key.data(), key.size());
  Slot* slot = const_cast<Slot*>(Probe(key.data(), key.size(), hash));
  slot->check = static_cast<uint32_t>(hash >> 32);
  slot->offset = static_cast<uint32_t>(arena_.size());
  arena_.push_back(static_cast<char>(key.size()));
  arena_.push_back(static_cast<char>(found ? restored.size()
                                           : static_cast<size_t>(kAbsent)));
  AppendUnits(arena_, key);
  if (found) AppendUnits(arena_, restored);
  ++entries_;
}

bool WordFormIndex::Reset() {
  arena_.clear();
  arena_.shrink_to_fit();
  slots_.clear();
  slots_.shrink_to_fit();
  mask_ = 0;
  entries_ = 0;
  built_ = false;
  return false;
}

bool WordFormIndex::Build(const WordFormHashTable& table) {
  Reset();
  if (!table.nodes || table.hashHook || table.compareHook) return false;
  const int64_t n = table.tableSize;

  size_t candidates = 0;
  for (int64_t s = 0; s < n; ++s) {
    const WordFormHashNode& node = table.nodes[s];
    if (node.next != WordFormHashNode::kUnused && !node.key.empty()) {
      ++candidates;
    }
  }
  size_t capacity = 16;
  while (capacity < 2 * candidates) capacity *= 2;
  slots_.assign(capacity, Slot{0, 0});
  mask_ = capacity - 1;
  arena_.reserve(candidates * 40 + 1);
  arena_.push_back(0);  // offset 0 marks an empty slot

  const std::vector<uint8_t> ends = ChainEnds(table);
  const uint64_t budget = kStepsPerSlot * static_cast<uint64_t>(n) + kMinSteps;
  uint64_t steps = 0;
  LexEnigneUtility utility;
  for (int64_t s = 0; s < n; ++s) {
    const WordFormHashNode& node = table.nodes[s];
    const std::wstring& key = node.key;
    if (node.next == WordFormHashNode::kUnused || key.empty() ||
        key[0] == L'@') {
      continue;
    }
    if (!Indexable(key)) return Reset();
    uint64_t hash = HashKey(key.data(), key.size());
    if (Probe(key.data(), key.size(), hash)->offset != 0) continue;

    // The first record with this key on the walk from its home slot is
    // what Search would return first.
    const WordFormHashNode* first = nullptr;
    int64_t at = static_cast<int64_t>(table.Hash(key));
    if (at < n && ends[at] == kEndsWell) {
      while (at >= 0) {
        if (++steps > budget) return Reset();
        const WordFormHashNode& candidate = table.nodes[at];
        if (candidate.key == key) {
          first = &candidate;
          break;
        }
        at = candidate.next;
      }
    }
    if (first == nullptr) {
      Insert(key, std::wstring(), false);
      continue;
    }
    std::wstring restored = utility.MergeSymbolicDiacritics(
        first->key, first->data.symbolicDiacritics);
    if (!Indexable(restored)) return Reset();
    Insert(key, restored, true);
    if (arena_.size() > kMaxArenaBytes) return Reset();
  }
  built_ = true;
  return true;
}
