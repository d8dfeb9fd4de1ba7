// HashTable: a fixed-size hash table whose slot array, collision chains
// included, is made elsewhere (a file, or SetNodeAtIndex) and only searched
// here. A key's home slot is Hash(key); all records whose keys share a home
// slot lie on one chain that starts there and follows `next` through any
// slots of the array.
//
// The table owns its slots; Search hands out copies. Only the first
// HeldSlots() slots are stored in `nodes`: Allocate holds them all, while
// AllocateHeld (used by the file loader) holds only as many as were set up
// front, so that a header announcing millions of slots over a few records
// costs the records, not the slots. The slots past them are unused and read
// as such; SetNodeAtIndex makes room when it sets one.
//
// Nothing here throws except the standard allocation failure of Allocate,
// AllocateHeld and SetNodeAtIndex. Not thread-safe for writers; concurrent
// Search calls on an unchanged table are fine.

#ifndef URDULEX_DIACRITIZER_HASHTABLE_H_
#define URDULEX_DIACRITIZER_HASHTABLE_H_

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The built-in home-slot function for one modulus M:
//   h = (a*h + c) mod M,  a = (a*b) mod (M-1),  starting with h = 0,
//   a = 31415, b = 27183, c the code of each character in turn,
// in unsigned 32-bit arithmetic that wraps before each remainder. Files
// are built with exactly this function. A modulus of 1 sends every key to
// slot 0 (the step for `a` would divide by zero).
//
// The multipliers do not depend on the key, so they are computed once per
// modulus, and the one remainder left per character is taken by
// multiplication instead of division.
class HomeSlotHash {
 public:
  HomeSlotHash() = default;
  explicit HomeSlotHash(int32_t modulus) : modulus_(modulus) {
    if (modulus <= 1) return;
    const uint32_t m = static_cast<uint32_t>(modulus);
    uint32_t a = kA;
    for (uint32_t& multiplier : multipliers_) {
      multiplier = a;
      a = (a * kB) % (m - 1);
    }
    // Lemire's remainder by multiplication: exact for every 32-bit value
    // and every divisor below 2^32.
    factor_ = UINT64_MAX / m + 1;
  }

  int32_t modulus() const { return modulus_; }

  // Home slot of the `n` characters at `key`.
  template <typename Char>
  uint32_t operator()(const Char* key, size_t n) const {
    if (modulus_ <= 1) return 0;
    uint32_t h = 0;
    uint32_t a = kA;
    for (size_t i = 0; i < n; ++i) {
      if (i < kCached) a = multipliers_[i];
      h = Mod(a * h + static_cast<uint32_t>(key[i]));
      if (i + 1 >= kCached) {
        a = (a * kB) % (static_cast<uint32_t>(modulus_) - 1);
      }
    }
    return h;
  }

  // The home slots of kLanes keys at once, keys[k] holding `units[k]` (at
  // most kManyUnits) UTF-16LE units, read in place: the chains of
  // multiplications and remainders of the keys are independent, so the
  // processor overlaps them. A lane of 0 units gives 0 (its key is not
  // read).
  static constexpr size_t kLanes = 4;
  static constexpr size_t kManyUnits = 24;
  void Many(const unsigned char* const* keys, const size_t* units,
            uint32_t* out) const {
    static constexpr unsigned char kNothing[2] = {};
    const unsigned char* key[kLanes];
    size_t last[kLanes];
    uint32_t h[kLanes] = {};
    size_t longest = 0;
    for (size_t k = 0; k < kLanes; ++k) {
      key[k] = units[k] > 0 ? keys[k] : kNothing;
      last[k] = units[k] > 0 ? units[k] - 1 : 0;
      if (units[k] > longest) longest = units[k];
    }
    if (modulus_ <= 1) longest = 0;
    for (size_t i = 0; i < longest; ++i) {
      const uint32_t a = multipliers_[i];
      for (size_t k = 0; k < kLanes; ++k) {
        // Past its end a lane reads its last unit again and keeps its
        // value.
        const size_t at = 2 * (i < last[k] ? i : last[k]);
        const uint32_t c = key[k][at] | uint32_t{key[k][at + 1]} << 8;
        const uint32_t next = Mod(a * h[k] + c);
        h[k] = i < units[k] ? next : h[k];
      }
    }
    for (size_t k = 0; k < kLanes; ++k) out[k] = h[k];
  }

  // The same without the prepared values, straight from the definition.
  static uint32_t Slow(const std::wstring& key, int32_t modulus) {
    const uint32_t m = static_cast<uint32_t>(modulus);
    if (modulus <= 1) return 0;
    uint32_t h = 0;
    uint32_t a = kA;
    for (wchar_t c : key) {
      h = (a * h + static_cast<uint32_t>(c)) % m;
      a = (a * kB) % (m - 1);
    }
    return h;
  }

 private:
  static constexpr uint32_t kA = 31415;
  static constexpr uint32_t kB = 27183;
  // Multipliers kept for the first characters of a key; keys are at most
  // 20 units in a table file, longer search keys compute the rest.
  static constexpr size_t kCached = kManyUnits;

  uint32_t Mod(uint32_t x) const {
#if defined(__SIZEOF_INT128__)
    __extension__ typedef unsigned __int128 Wide;
    const uint64_t low = factor_ * x;
    return static_cast<uint32_t>(
        (static_cast<Wide>(low) * static_cast<uint32_t>(modulus_)) >> 64);
#else
    return x % static_cast<uint32_t>(modulus_);
#endif
  }

  int32_t modulus_ = 0;
  uint64_t factor_ = 0;
  uint32_t multipliers_[kCached] = {};
};

// One slot: the bare word, its payload and the chain link.
template <typename T>
class HashNode {
 public:
  // Link values other than a slot index.
  static constexpr int32_t kEndOfChain = -2;  // last slot of its chain
  static constexpr int32_t kUnused = -1;      // slot that holds no record

  HashNode() : next(kUnused) {}

  std::wstring key;  // empty in an unused slot
  T data;
  int32_t next;
};

template <typename T>
class HashTable {
 public:
  using HashFunction = std::function<unsigned(const std::wstring&, int)>;
  using CompareFunction =
      std::function<bool(const std::wstring&, const std::wstring&)>;

  HashTable() = default;
  ~HashTable() { Deallocate(); }
  HashTable(const HashTable&) = delete;
  HashTable& operator=(const HashTable&) = delete;

  // Discards the current slots, then makes `slots` unused slots with the
  // given modulus (capped at `slots`). False, with the table left empty,
  // when either is below 1.
  bool Allocate(int slots, int requested_modulus) {
    return AllocateHeld(slots, requested_modulus, slots);
  }

  // Allocate, holding only the first `held` slots (0 to `slots`); the rest
  // are unused and take no memory. Every Search answers as after Allocate.
  bool AllocateHeld(int slots, int requested_modulus, int held) {
    Deallocate();
    if (slots < 1 || requested_modulus < 1) return false;
    held_ = held < 0 ? 0 : held > slots ? slots : held;
    if (held_ > 0) nodes.reset(new HashNode<T>[static_cast<size_t>(held_)]);
    tableSize = slots;
    modulus = requested_modulus <= slots ? requested_modulus : slots;
    hash_ = HomeSlotHash(modulus);
    return true;
  }

  void Deallocate() {
    nodes.reset();
    held_ = 0;
    tableSize = 0;
    modulus = 0;
    extra1 = 0;
    extra2 = -1;
    hashHook = nullptr;
    compareHook = nullptr;
    hash_ = HomeSlotHash();
  }

  // Home slot of `key`, below `modulus` (see HomeSlotHash); 0 without
  // slots.
  unsigned Hash(const std::wstring& key) const {
    if (tableSize <= 0) return 0;
    if (hashHook) return hashHook(key, modulus);
    // `modulus` is a public field: a caller may have changed it.
    if (hash_.modulus() == modulus) return hash_(key.data(), key.size());
    return HomeSlotHash::Slow(key, modulus);
  }

  // Copies key, payload and link of `node` into slot `index`. False when
  // there are no slots or the index is out of range.
  bool SetNodeAtIndex(int index, HashNode<T>& node) {
    if (tableSize <= 0 || index < 0 || index >= tableSize) return false;
    if (index >= held_) Hold(index);
    nodes[index] = node;
    return true;
  }

  // Number of slots stored in `nodes`: nodes[0] to nodes[HeldSlots() - 1].
  int32_t HeldSlots() const { return held_; }
  // Slot `index` (0 to tableSize - 1), held or not.
  const HashNode<T>& Node(int index) const {
    static const HashNode<T> unused;
    return index >= 0 && index < held_ ? nodes[index] : unused;
  }

  // Collects, in chain order, every record on the chain of key's home slot
  // whose key equals `key` (keys that are empty or start with '@' never
  // match). True when something was found and the chain ends properly;
  // a chain that runs into an unused slot gives false. A link outside the
  // table, or a walk longer than the table (a cycle), also ends the search
  // with false, so a corrupt table can neither crash nor hang it.
  bool Search(const std::wstring& key,
              std::vector<HashNode<T>>& results) const {
    results.clear();
    if (tableSize <= 0) return false;
    // A slot past the held ones is unused: its `next` of -1 would end the
    // search with false before anything else happened.
    int64_t s = static_cast<int64_t>(Hash(key));
    if (s >= held_ || nodes[s].next == HashNode<T>::kUnused) return false;
    int64_t steps = 0;
    while (s != HashNode<T>::kEndOfChain) {
      if (s < 0 || s >= held_ || ++steps > tableSize) return false;
      const HashNode<T>& node = nodes[s];
      bool match = compareHook ? compareHook(node.key, key) : node.key == key;
      if (match && !node.key.empty() && node.key[0] != L'@') {
        results.push_back(node);
      }
      s = node.next;
      if (s == HashNode<T>::kUnused) return false;
    }
    return !results.empty();
  }

  std::unique_ptr<HashNode<T>[]> nodes;
  int32_t tableSize = 0;
  int32_t modulus = 0;
  int32_t extra1 = 0;
  int32_t extra2 = -1;
  HashFunction hashHook;
  CompareFunction compareHook;

 private:
  // Holds slots up to `index`, growing geometrically so that setting the
  // slots one by one stays linear.
  void Hold(int index) {
    int64_t want = std::max<int64_t>(index + 1, 2 * int64_t{held_});
    if (want > tableSize) want = tableSize;
    std::unique_ptr<HashNode<T>[]> grown(
        new HashNode<T>[static_cast<size_t>(want)]);
    for (int32_t i = 0; i < held_; ++i) grown[i] = std::move(nodes[i]);
    nodes = std::move(grown);
    held_ = static_cast<int32_t>(want);
  }

  int32_t held_ = 0;
  HomeSlotHash hash_;
};

#endif  // URDULEX_DIACRITIZER_HASHTABLE_H_
