// HashTable: a fixed-size hash table whose slot array, collision chains
// included, is made elsewhere (a file, or SetNodeAtIndex) and only searched
// here. A key's home slot is Hash(key); all records whose keys share a home
// slot lie on one chain that starts there and follows `next` through any
// slots of the array.
//
// The table owns its slots; Search hands out copies. Nothing here throws
// except the standard allocation failure of Allocate. Not thread-safe for
// writers; concurrent Search calls on an unchanged table are fine.

#ifndef URDULEX_DIACRITIZER_HASHTABLE_H_
#define URDULEX_DIACRITIZER_HASHTABLE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    Deallocate();
    if (slots < 1 || requested_modulus < 1) return false;
    nodes.reset(new HashNode<T>[static_cast<size_t>(slots)]);
    for (int i = 0; i < slots; ++i) nodes[i].next = HashNode<T>::kUnused;
    tableSize = slots;
    modulus = requested_modulus <= slots ? requested_modulus : slots;
    PrepareHash();
    return true;
  }

  void Deallocate() {
    nodes.reset();
    tableSize = 0;
    modulus = 0;
    extra1 = 0;
    extra2 = -1;
    hashHook = nullptr;
    compareHook = nullptr;
    multipliers_.clear();
    prepared_modulus_ = 0;
  }

  // Home slot of `key`, below `modulus`:
  //   h = (a*h + c) mod M,  a = (a*b) mod (M-1),  a = 31415, b = 27183
  // in unsigned 32-bit arithmetic that wraps before each remainder. Files
  // are built with exactly this function. A modulus of 1 sends every key to
  // slot 0 (the step for `a` would divide by zero).
  unsigned Hash(const std::wstring& key) const {
    if (tableSize <= 0) return 0;
    if (hashHook) return hashHook(key, modulus);
    const uint32_t m = static_cast<uint32_t>(modulus);
    if (m <= 1) return 0;
    uint32_t h = 0;
    if (prepared_modulus_ == modulus) {
      // The multipliers do not depend on the key: take them from the table
      // made for this modulus and divide only once per character.
      const size_t cached = multipliers_.size();
      uint32_t a = kHashA;
      for (size_t i = 0; i < key.size(); ++i) {
        a = i < cached ? multipliers_[i] : a;
        h = FastMod(a * h + static_cast<uint32_t>(key[i]));
        if (i + 1 >= cached) a = (a * kHashB) % (m - 1);
      }
      return h;
    }
    uint32_t a = kHashA;
    for (wchar_t c : key) {
      h = (a * h + static_cast<uint32_t>(c)) % m;
      a = (a * kHashB) % (m - 1);
    }
    return h;
  }

  // Copies key, payload and link of `node` into slot `index`. False when
  // there are no slots or the index is out of range.
  bool SetNodeAtIndex(int index, HashNode<T>& node) {
    if (!nodes || index < 0 || index >= tableSize) return false;
    nodes[index] = node;
    return true;
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
    if (!nodes) return false;
    int64_t s = static_cast<int64_t>(Hash(key));
    if (s >= tableSize || nodes[s].next == HashNode<T>::kUnused) return false;
    int64_t steps = 0;
    while (s != HashNode<T>::kEndOfChain) {
      if (s < 0 || s >= tableSize || ++steps > tableSize) return false;
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
  static constexpr uint32_t kHashA = 31415;
  static constexpr uint32_t kHashB = 27183;
  // Multipliers kept for the first characters of a key; keys are at most
  // 20 units in a table file, longer search keys compute the rest.
  static constexpr size_t kCachedMultipliers = 32;

  void PrepareHash() {
    multipliers_.clear();
    prepared_modulus_ = 0;
    const uint32_t m = static_cast<uint32_t>(modulus);
    if (m <= 1) return;
    uint32_t a = kHashA;
    for (size_t i = 0; i < kCachedMultipliers; ++i) {
      multipliers_.push_back(a);
      a = (a * kHashB) % (m - 1);
    }
    // Lemire's remainder by multiplication: exact for every 32-bit value
    // and every divisor below 2^32.
    fastmod_factor_ = UINT64_MAX / m + 1;
    prepared_modulus_ = modulus;
  }

  uint32_t FastMod(uint32_t x) const {
    __extension__ typedef unsigned __int128 Wide;
    const uint64_t low = fastmod_factor_ * x;
    return static_cast<uint32_t>(
        (static_cast<Wide>(low) * static_cast<uint32_t>(prepared_modulus_)) >>
        64);
  }

  std::vector<uint32_t> multipliers_;
  uint64_t fastmod_factor_ = 0;
  int32_t prepared_modulus_ = 0;
};

#endif  // URDULEX_DIACRITIZER_HASHTABLE_H_
